// File-system helpers shared by the hosts and the writers. Paths are byte
// strings; on this platform they are handed to the system as they are.
#pragma once

#include <string>

namespace kavro::host {

bool path_is_file(const std::string& path);
bool path_is_folder(const std::string& path);
// A file whose owner has no write permission: this platform's read-only
// attribute.
bool path_is_read_only(const std::string& path);

}  // namespace kavro::host
