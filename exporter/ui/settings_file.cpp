#include "exporter/ui/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/text.h"
#include "host/cp932.h"
#include "host/file_journal.h"

namespace kavro {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the stored options block is the little-endian memory image of the record");

// The option lines of a settings file, by group, in the order they are
// written. Each group is preceded by a blank line and its comment.
struct Group {
  const char* comment;
  std::vector<const char*> keys;
};

const std::vector<Group>& settings_groups() {
  static const std::vector<Group> groups = {
      {"# Output Options",
       {"export", "output_file_name", "process_mode", "output_folder", "merge_imd",
        "merge_imd_path"}},
      {"# General Options",
       {"magnify", "compress_node", "compress_material", "frame_range", "start_frame",
        "end_frame"}},
      {"# Output File Selection",
       {"output_imd", "output_ica", "output_iva", "output_ima", "output_itp", "output_ita"}},
      {"# Imd Options",
       {"vertex_style", "output_texture", "force_full_weight", "use_primitive_strip",
        "triangulation"}},
      {"# Animation Options", {"interpolation", "interp_end_to_start", "frame_step_mode"}},
      {"# Tolerance Options",
       {"tolerance_scale", "tolerance_rotate", "tolerance_translate", "tolerance_tex_scale",
        "tolerance_tex_rotate", "tolerance_tex_translate", "tolerance_color"}},
  };
  return groups;
}

// A text value is written up to its first line break: the format has no
// escapes, and whatever followed a break would be read as a line of its own.
std::string single_line(std::string value) {
  std::size_t cut = value.find_first_of("\r\n");
  if (cut != std::string::npos) value.resize(cut);
  return value;
}

// Applies one line. A line is used only when it starts with a known key and
// "=" and holds a double quote; its value runs from the first double quote to
// the next one, or to the end of the line.
void apply_line(std::string_view line, ExportOptions& options) {
  if (line.empty() || line[0] == '#') return;
  std::size_t open = line.find('"');
  if (open == std::string_view::npos) return;
  std::size_t close = line.find('"', open + 1);
  std::string_view value = line.substr(
      open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
  auto starts_with_key = [&](std::string_view key) {
    return line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
           line[key.size()] == '=';
  };
  if (starts_with_key("settings_version")) return;
  for (const OptionKeyword& k : option_keywords()) {
    if (k.in_settings_file && starts_with_key(k.key)) {
      apply_option_value(options, k, std::string(value));
      return;
    }
  }
}

// Reads a whole regular file; false when it cannot be opened or read.
bool read_whole_file(const std::string& path, std::string& text) {
  int fd = ::open(host::system_path(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  host::note_file_read(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  text.clear();
  char buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ok;
}

void put_le32(std::uint8_t* out, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::int32_t get_le32(const std::uint8_t* in) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t{in[i]} << (8 * i);
  return static_cast<std::int32_t>(v);
}

}  // namespace

std::string settings_file_text(ExportOptions& options, const host::LocalTime& when) {
  set_text_field(options.output_folder, slash_form(options.output_folder));
  set_text_field(options.merge_imd_path, slash_form(options.merge_imd_path));

  std::vector<std::string> lines = {
      "# KVS_Export settings",
      "settings_version=\"1.0\"",
      format("generator_name=\"%s%d%s\"", "3dsmax ", 2008, " KVS_Export"),
      "generator_version=\"1.6.0.20090528\"",
      format("date=\"%d-%.2d-%.2dT%.2d:%.2d:%.2d\"", when.year, when.month, when.day, when.hour,
             when.minute, when.second),
  };
  for (const Group& group : settings_groups()) {
    lines.emplace_back();
    lines.emplace_back(group.comment);
    for (const char* key : group.keys) {
      const OptionKeyword* k = find_option_keyword(key);
      std::string value = format_option_value(options, *k);
      if (k->type == OptionType::kText) value = single_line(value);
      lines.push_back(std::string(key) + "=\"" + value + "\"");
    }
  }
  // Every line ends with a line end except the last one, tolerance_color.
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\n";
    text += lines[i];
  }
  return text;
}

void apply_settings_text(const std::string& text, ExportOptions& options) {
  std::string_view rest(text);
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    apply_line(line, options);
  }
}

bool read_settings_file(const std::string& path, ExportOptions& options) {
  std::string text;
  if (!read_whole_file(path, text)) return false;
  apply_settings_text(text, options);
  return true;
}

bool write_settings_file(const std::string& path, ExportOptions& options, host::Host& host) {
  std::string text = settings_file_text(options, host.local_time());
  OutputFile file;
  if (!file.open(path) || (file.write(text), !file.commit())) {
    show_error(host, format("Can't save file. %s", path.c_str()), "Can't save k3es settings file");
    return false;
  }
  return true;
}

std::string k3es_save_name(const std::string& chosen) {
  std::size_t dot = chosen.rfind('.');
  if (dot != std::string::npos && chosen.compare(dot + 1, std::string::npos, "k3es") == 0) {
    return chosen;
  }
  return chosen + ".k3es";
}

std::array<std::uint8_t, kMenuSettingsSize> menu_settings_bytes(const ExportOptions& options) {
  std::array<std::uint8_t, kMenuSettingsSize> bytes{};
  bytes[0] = options.save_scene_settings;
  for (int i = 0; i < 4; ++i) put_le32(&bytes[1 + 4 * i], options.dialog_rect[i]);
  return bytes;
}

bool read_menu_settings(const std::string& path, ExportOptions& options, host::Host& host) {
  options.menu_settings_read = 1;
  std::string data;
  if (!read_whole_file(path, data)) return false;
  if (data.size() != kMenuSettingsSize) {
    show_message(host,
                 format("Warning: %s is %zu bytes long instead of %zu; it is ignored.",
                        path.c_str(), data.size(), kMenuSettingsSize),
                 "Menu Settings", host::MessageIcon::kWarning);
    return false;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  options.save_scene_settings = bytes[0] != 0 ? 1 : 0;
  for (int i = 0; i < 4; ++i) options.dialog_rect[i] = get_le32(bytes + 1 + 4 * i);
  return true;
}

bool write_menu_settings(const std::string& path, const ExportOptions& options, host::Host& host) {
  std::array<std::uint8_t, kMenuSettingsSize> bytes = menu_settings_bytes(options);
  OutputFile file;
  if (!file.open(path) || (file.write_bytes(bytes.data(), bytes.size()), !file.commit())) {
    show_error(host, format("Can't open file. %s", path.c_str()), "Can't open menu settings file");
    return false;
  }
  return true;
}

std::vector<std::uint8_t> options_chunk(const ExportOptions& options) {
  std::vector<std::uint8_t> block(kOptionsChunkSize);
  std::memcpy(block.data(), &options, kOptionsChunkSize);
  return block;
}

bool restore_options_chunk(const std::vector<std::uint8_t>& block, ExportOptions& options) {
  if (block.size() != kOptionsChunkSize) return false;
  // The menu switch and whether menusettings.bin was consulted belong to
  // this session, not to the scene.
  std::uint8_t menu_settings_read = options.menu_settings_read;
  std::uint8_t save_scene_settings = options.save_scene_settings;
  ExportOptions defaults{};
  reset_options(defaults, true);
  std::memcpy(&options, block.data(), kOptionsChunkSize);
  options.menu_settings_read = menu_settings_read;
  options.save_scene_settings = save_scene_settings;

  options.output_file_name[sizeof options.output_file_name - 1] = '\0';
  options.output_folder[sizeof options.output_folder - 1] = '\0';
  options.merge_imd_path[sizeof options.merge_imd_path - 1] = '\0';
  for (const OptionKeyword& k : option_keywords()) {
    if (k.type != OptionType::kSwitch && k.type != OptionType::kChoice) continue;
    std::int32_t value;
    std::memcpy(&value, reinterpret_cast<const char*>(&options) + k.offset, sizeof value);
    if (k.type == OptionType::kSwitch) {
      value = value != 0 ? 1 : 0;
    } else if (value < 0 || static_cast<std::size_t>(value) >= k.words.size()) {
      std::memcpy(&value, reinterpret_cast<const char*>(&defaults) + k.offset, sizeof value);
    }
    std::memcpy(reinterpret_cast<char*>(&options) + k.offset, &value, sizeof value);
  }
  options.settings_from_scene = options.settings_from_scene != 0 ? 1 : 0;
  return true;
}

std::string join_settings_path(const std::string& folder, const std::string& name) {
  if (folder.empty()) return "\\" + name;
  char separator = 0;
  bool ends_in_separator = false;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    auto c = static_cast<unsigned char>(folder[i]);
    ends_in_separator = false;
    if (is_lead_byte(c)) {
      ++i;  // the second byte of a double-byte character is never a separator
    } else if (c == '\\' || c == '/') {
      if (separator == 0) separator = static_cast<char>(c);
      ends_in_separator = true;
    }
  }
  if (ends_in_separator) return folder + name;
  return folder + (separator != 0 ? separator : '\\') + name;
}

}  // namespace kavro
