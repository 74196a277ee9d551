// Checks made before a file reaches the importer: the element counts that
// the headers of OFF and PLY files declare must fit the file's size. The
// importer trusts such counts and reserves memory for them first, so a
// damaged header of a few bytes could otherwise ask for gigabytes.
#pragma once

#include <string>

namespace kavro::host {

// Empty when the file may be imported; otherwise what is wrong with it.
std::string precheck_scene_file(const std::string& path);

}  // namespace kavro::host
