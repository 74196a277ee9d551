// The few system services the material editor hand-off needs: environment
// variables, folder creation and the command interpreter. Texts are byte
// strings in the host code page; the conversion to the system's encoding
// happens here.
#pragma once

#include <string>

namespace kavro::host {

// The value of an environment variable in the host code page; false when it
// is not set.
bool environment_value(const std::string& name, std::string& value);

// Creates one folder level; true when it was created.
bool create_folder(const std::string& path);

// Runs a command line through the system's command interpreter (/bin/sh -c
// on this system) and waits for it. The result is the command's exit status;
// a command that could not be run or did not exit normally gives a nonzero
// result.
int run_command_interpreter(const std::string& command_line);

}  // namespace kavro::host
