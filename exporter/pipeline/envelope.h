// The opening and closing that every intermediate file shares: the XML
// declaration, the root element of the kind, the head (who, when, from which
// scene, with which tool) and the body start.
#pragma once

#include <functional>
#include <string>

namespace kavro {

class ExportLog;
class ExportScene;
class OutputFile;

enum class FileKind { kImd = 0, kIca = 1, kIva = 2, kIma = 3, kItp = 4, kIta = 5, kIsd = 6 };

struct FileKindInfo {
  const char* root;
  const char* version;
  const char* title;
};
const FileKindInfo& file_kind_info(FileKind kind);

constexpr const char* kToolVersion = "1.6.0.20090528";
constexpr int kHostVersionYear = 2008;
// "3dsmax 2008 KVS_Export"
std::string generator_name();

void write_head(OutputFile& out, const ExportScene& scene, FileKind kind);
void write_closing(OutputFile& out, FileKind kind);

// The whole life of one intermediate file: opens `path` for export (the
// read-only rule included), writes the head, the body and the closing, and
// puts the file in place. False when the file cannot be opened or written.
bool write_enveloped_file(const ExportScene& scene, ExportLog& log, const std::string& path,
                          FileKind kind, const std::function<void(OutputFile&)>& body);

// The text of the about box.
std::string about_text();

}  // namespace kavro
