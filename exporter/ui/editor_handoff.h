// The hand-off to the external 3D material editor. In editor mode the files
// go into the editor's work folder instead of the output folder, and after a
// successful export the editor's starter is run on them.
//
// The editor folder is "tools/KVS_3DMaterialEditor" below QRLSYSTEM_ROOT when
// that folder exists, else the value of KVS_3DME_ROOT (not checked), else
// there is none. The work folder "CGToolWork" inside it is created when it is
// missing (one level). The starter's command line is the starter path, then
// " -name " and the output file name, then " -ica", " -ima", " -imd",
// " -ita", " -itp", " -iva" for each output that is on, in that order, then
// " -merge " and the quoted merge path when merging is on. It runs through
// the system's command interpreter (/bin/sh -c here) and is waited for.
// Words the shell would read (blanks, quotes, ";", "$" ...) are quoted for
// it, so that every name and path reaches the starter as it is and none runs
// as a command; ordinary names and paths stand in the line unquoted.
#pragma once

#include <string>

#include "exporter/pipeline/options.h"
#include "exporter/pipeline/stages.h"

namespace kavro::host {
class Host;
}

namespace kavro::ui {

constexpr const char* kEditorSubfolder = "tools/KVS_3DMaterialEditor";
constexpr const char* kEditorWorkFolder = "CGToolWork";
constexpr const char* kEditorStarter = "KVS_3DME_Starter.exe";

// The editor folder in slash form, or "" when the editor is not found.
std::string find_editor_folder(host::Host& host);

// A name joined to a folder: no separator when the folder ends in "/" or
// "\", else the first "/" or "\" of the folder, else "/".
std::string join_editor_path(const std::string& folder, const std::string& name);

// The starter's command line for an editor folder and the export's options.
std::string editor_command_line(const std::string& editor_folder, const ExportOptions& options);

class MaterialEditorHandoff : public EditorHandoff {
 public:
  bool prepare(host::Host& host, std::string& work_folder) override;
  void start(host::Host& host, const ExportOptions& options) override;
};

}  // namespace kavro::ui
