#include "host/console_host.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/clock.h"
#include "host/cp932.h"
#include "host/files.h"

namespace kavro::host {

namespace {

// Host code page text as the terminal shows it: UTF-8, with every byte below
// 0x20 but tab, and 0x7F, written as \xNN, so that text from the user's files
// (names, image lists, documents) can never drive the terminal.
std::string terminal_text(const std::string& cp932) {
  const std::string utf8 = cp932_to_utf8(cp932);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7F) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

ConsoleHost::ConsoleHost()
    : ConsoleHost(stderr, ::isatty(STDERR_FILENO) != 0,
                  ::isatty(STDIN_FILENO) != 0 ? stdin : nullptr) {}

ConsoleHost::ConsoleHost(std::FILE* err, bool err_is_terminal, std::FILE* terminal_in)
    : err_(err), err_is_terminal_(err_is_terminal), terminal_in_(terminal_in) {}

void ConsoleHost::clear_progress_line() {
  if (progress_shown_) {
    std::fputs("\r\033[K", err_);
    progress_shown_ = false;
  }
}

void ConsoleHost::message_box(const std::string& text, const std::string& caption,
                              MessageIcon icon) {
  if (quiet_ && icon == MessageIcon::kInformation) return;
  clear_progress_line();
  std::fprintf(err_, "%s: %s\n", terminal_text(caption).c_str(), terminal_text(text).c_str());
  std::fflush(err_);
}

void ConsoleHost::listener_print(const std::string& line) {
  if (quiet_) return;
  clear_progress_line();
  // Listener lines already end with their own line ends; only those are
  // written as they are.
  std::size_t text_end = line.size();
  while (text_end > 0 && line[text_end - 1] == '\n') --text_end;
  std::fputs(terminal_text(line.substr(0, text_end)).c_str(), err_);
  std::fputs(line.c_str() + text_end, err_);
  std::fflush(err_);
}

void ConsoleHost::progress_start(const std::string& title) {
  progress_title_ = title;
}

void ConsoleHost::progress_update(int percent, const std::string& text) {
  if (!err_is_terminal_ || quiet_) return;
  std::fprintf(err_, "\r\033[K%s: %3d%% %s", terminal_text(progress_title_).c_str(), percent,
               terminal_text(text).c_str());
  std::fflush(err_);
  progress_shown_ = true;
}

void ConsoleHost::progress_end() {
  clear_progress_line();
  std::fflush(err_);
}

LocalTime ConsoleHost::local_time() {
  return clock_now();
}

std::string ConsoleHost::user_name() {
  char buffer[257] = {};
  if (::getlogin_r(buffer, sizeof buffer) == 0 && buffer[0] != '\0') return buffer;
  if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) {
    return pw->pw_name;
  }
  if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') return user;
  return "unknown";
}

std::string ConsoleHost::computer_name() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) == 0 && buffer[0] != '\0') return buffer;
  return "unknown";
}

std::string ConsoleHost::settings_dir() {
  std::string dir;
  if (const char* own = std::getenv("KAVRO_SETTINGS_DIR"); own != nullptr && *own != '\0') {
    dir = own;
  } else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
    dir = std::string(xdg) + "/kavro";
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    dir = std::string(home) + "/.config/kavro";
  } else {
    dir = ".config/kavro";
  }
  // An absolute folder, so that file names are always joined with "/".
  if (dir[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) != nullptr) dir = std::string(cwd) + "/" + dir;
  }
  // The environment is UTF-8; the host's paths are in its code page.
  Cp932Result host_dir = utf8_to_cp932(dir);
  return host_dir.ok ? host_dir.text : dir;
}

bool ConsoleHost::file_exists(const std::string& path) {
  return path_is_file(path);
}
bool ConsoleHost::folder_exists(const std::string& path) {
  return path_is_folder(path);
}
bool ConsoleHost::is_read_only(const std::string& path) {
  return path_is_read_only(path);
}

OverwriteAnswer ConsoleHost::ask_overwrite(const std::string& path) {
  if (policy_ == OverwritePolicy::kYes) return OverwriteAnswer::kYes;
  if (policy_ == OverwritePolicy::kNo) return OverwriteAnswer::kNo;
  if (terminal_in_ == nullptr) return OverwriteAnswer::kYes;  // nobody to ask: write, as a batch
  clear_progress_line();
  for (;;) {
    std::fprintf(
        err_, "Export: \"%s\" already exists.\nOverwrite ? [y]es, yes to [a]ll, [n]o, [c]ancel: ",
        terminal_text(path).c_str());
    std::fflush(err_);
    char line[64] = {};
    if (std::fgets(line, sizeof line, terminal_in_) == nullptr) return OverwriteAnswer::kCancel;
    switch (line[0]) {
      case 'y':
      case 'Y':
        return OverwriteAnswer::kYes;
      case 'a':
      case 'A':
        return OverwriteAnswer::kYesToAll;
      case 'n':
      case 'N':
        return OverwriteAnswer::kNo;
      case 'c':
      case 'C':
        return OverwriteAnswer::kCancel;
      default:
        break;
    }
  }
}

}  // namespace kavro::host
