// Feeds arbitrary bytes to the settings file reader (as a file and as text),
// to menusettings.bin and to the scene settings chunk, and checks that what
// the reader makes of them survives a write and a read.
#include "exporter/ui/settings_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/recording_host.h"
#include "tests/fuzz/scratch_file.h"

namespace {

const kavro::fuzz::ScratchFile& scratch() {
  static const kavro::fuzz::ScratchFile file(".k3es");
  return file;
}

kavro::ExportOptions defaults() {
  kavro::ExportOptions o{};
  kavro::reset_options(o, true);
  o.save_scene_settings = 1;
  return o;
}

bool terminated(const char* field, std::size_t size) {
  return std::memchr(field, '\0', size) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  kavro::host::RecordingHost host;

  kavro::ExportOptions from_text = defaults();
  kavro::apply_settings_text(text, from_text);
  if (!terminated(from_text.output_file_name, 256) || !terminated(from_text.output_folder, 256) ||
      !terminated(from_text.merge_imd_path, 260)) {
    std::abort();
  }

  // The file reader sees the same lines.
  if (scratch().write(data, size)) {
    kavro::ExportOptions from_file = defaults();
    if (!kavro::read_settings_file(scratch().path(), from_file)) std::abort();
    if (std::memcmp(&from_file, &from_text, sizeof from_file) != 0) std::abort();
  }

  // Written and read back, every option the file holds comes back, except
  // the text fields, which keep what is before a line break, and the numbers
  // that "%g" shortens.
  kavro::ExportOptions written = from_text;
  std::string file = kavro::settings_file_text(written, host.local_time());
  kavro::ExportOptions back = defaults();
  kavro::apply_settings_text(file, back);
  for (const kavro::OptionKeyword& k : kavro::option_keywords()) {
    if (!k.in_settings_file || k.type == kavro::OptionType::kText ||
        k.type == kavro::OptionType::kFloat) {
      continue;
    }
    if (kavro::format_option_value(back, k) != kavro::format_option_value(written, k)) {
      std::abort();
    }
  }
  // A second write of what was read gives the same file.
  if (kavro::settings_file_text(back, host.local_time()) != file) std::abort();

  // The binary forms never read past their end, whatever the size.
  kavro::ExportOptions block = defaults();
  std::vector<std::uint8_t> bytes(data, data + size);
  bool restored = kavro::restore_options_chunk(bytes, block);
  if (restored != (size == kavro::kOptionsChunkSize)) std::abort();
  if (restored &&
      (!terminated(block.output_file_name, 256) || !terminated(block.merge_imd_path, 260) ||
       static_cast<int>(block.compress_node) < 0 || static_cast<int>(block.compress_node) > 4 ||
       static_cast<int>(block.triangulation) < 0 || static_cast<int>(block.triangulation) > 3)) {
    std::abort();
  }
  kavro::ExportOptions menu = defaults();
  if (scratch().write(data, size)) {
    bool read = kavro::read_menu_settings(scratch().path(), menu, host);
    if (read != (size == kavro::kMenuSettingsSize)) std::abort();
  }
  return 0;
}
