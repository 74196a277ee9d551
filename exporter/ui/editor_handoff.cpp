#include "exporter/ui/editor_handoff.h"

#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"
#include "host/host.h"
#include "host/system.h"

namespace kavro::ui {

namespace {

// Slash form without trailing "/".
std::string folder_form(const std::string& path) {
  std::string out = slash_form(path);
  // "/" (0x2F) is never the second byte of a two-byte character.
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

// The command interpreter here is /bin/sh. A word made only of bytes the
// shell gives no meaning to is passed as it is; any other word is put in
// single quotes, so that a name or folder with blanks, quotes, ";" or "$"
// reaches the starter as one argument and never runs as a command. Two-byte
// characters are taken whole: the command line reaches the shell in UTF-8,
// where their second bytes are no longer ASCII.
bool shell_plain(unsigned char c) {
  return c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '.' || c == '/' || c == '-' || c == ':' || c == '@' || c == '%' ||
         c == '+' || c == ',' || c == '=';
}

std::string shell_word(const std::string& word) {
  bool plain = !word.empty();
  for (std::size_t i = 0; i < word.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(word[i]);
    if (is_lead_byte(c)) {
      ++i;
    } else {
      plain = plain && shell_plain(c);
    }
  }
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Text inside double quotes: the four bytes the shell still reads there get
// a backslash.
std::string in_double_quotes(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (is_lead_byte(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
      out += c;
      out += text[++i];
      continue;
    }
    if (c == '"' || c == '\\' || c == '$' || c == '`') out += '\\';
    out += c;
  }
  return out;
}

void show_not_found(host::Host& host) {
  show_error(host, "3D Material Editor is not found.", "Not Found");
}

}  // namespace

std::string find_editor_folder(host::Host& host) {
  std::string root;
  if (host::environment_value("QRLSYSTEM_ROOT", root)) {
    std::string folder = folder_form(root) + "/" + kEditorSubfolder;
    if (host.folder_exists(folder)) return folder;
  }
  std::string own;
  if (host::environment_value("KVS_3DME_ROOT", own)) return slash_form(own);
  return {};
}

std::string join_editor_path(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  char last = folder.back();
  std::size_t n = folder.size();
  // The last byte is a separator only when it does not end a two-byte character.
  bool ends_in_separator = (last == '/' || last == '\\') && last_separator(folder) == n - 1;
  if (ends_in_separator) return folder + name;
  char separator = '/';
  for (std::size_t i = 0; i < n; ++i) {
    if (is_lead_byte(static_cast<unsigned char>(folder[i]))) {
      ++i;
    } else if (folder[i] == '/' || folder[i] == '\\') {
      separator = folder[i];
      break;
    }
  }
  return folder + separator + name;
}

std::string editor_command_line(const std::string& editor_folder, const ExportOptions& o) {
  std::string line = shell_word(join_editor_path(editor_folder, kEditorStarter));
  line += " -name ";
  line += shell_word(o.output_file_name);
  if (o.output_ica) line += " -ica";
  if (o.output_ima) line += " -ima";
  if (o.output_imd) line += " -imd";
  if (o.output_ita) line += " -ita";
  if (o.output_itp) line += " -itp";
  if (o.output_iva) line += " -iva";
  if (o.merge_imd) {
    line += " -merge \"";
    line += in_double_quotes(o.merge_imd_path);
    line += "\"";
  }
  return line;
}

bool MaterialEditorHandoff::prepare(host::Host& host, std::string& work_folder) {
  std::string editor = find_editor_folder(host);
  if (editor.empty()) return false;
  work_folder = join_editor_path(editor, kEditorWorkFolder);
  // A folder that cannot be created shows up as the writers' file errors.
  if (!host.folder_exists(work_folder)) host::create_folder(work_folder);
  return true;
}

void MaterialEditorHandoff::start(host::Host& host, const ExportOptions& options) {
  std::string editor = find_editor_folder(host);
  if (editor.empty()) {
    show_not_found(host);
    return;
  }
  if (host::run_command_interpreter(editor_command_line(editor, options)) != 0) {
    show_error(host, "Failed to start 3D Material Editor", "Failed");
  }
}

}  // namespace kavro::ui
