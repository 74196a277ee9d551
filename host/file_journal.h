// The journal of files read: while it is on, every reader of scene files,
// bitmaps, image lists, pre-converted images, settings files and scripts
// notes the file it opened, so that a run can say which files its results
// depend on (Make-style dependency files for build systems).
#pragma once

#include <string>
#include <vector>

namespace kavro::host {

// Starts (and empties) or stops the journal; it is off at start.
void start_file_journal();
void stop_file_journal();
// Notes a file that was opened for reading (a path in the host code page).
void note_file_read(const std::string& path);
// The files noted, each once, in the order first read.
std::vector<std::string> files_read();

}  // namespace kavro::host
