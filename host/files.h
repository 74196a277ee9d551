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

// A path that names the same file from any current folder: rooted ("/" or
// "\\") or beginning with a drive letter.
bool path_is_absolute(const std::string& path);

// The path made absolute against the process's current folder, with the "."
// segments at its start dropped ("." alone is the current folder). An
// absolute path is returned as it is, and so is every path when the current
// folder cannot be named in the host code page.
std::string absolute_path(const std::string& path);

}  // namespace kavro::host
