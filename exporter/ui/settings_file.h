// The three places export options are kept, as byte formats:
//
// - the export settings file (".k3es"): 50 text lines of key="value" in a
//   fixed order, which users save, load and hand to batches;
// - menusettings.bin: 17 bytes, the "Save / Load Scene Settings" switch and
//   the options dialog's screen rectangle;
// - the scene settings chunk: the whole 924-byte options record, stored in a
//   scene by the exporter's class.
//
// Reading is forgiving: a settings file line that is not a known key="value"
// line is ignored, a value longer than its field is cut to the field, and a
// binary file of the wrong size is ignored with a warning. Writing replaces a
// file whole or not at all (temporary file, then rename).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "exporter/pipeline/options.h"
#include "host/host.h"

namespace kavro {

constexpr std::size_t kMenuSettingsSize = 17;
constexpr std::size_t kOptionsChunkSize = sizeof(ExportOptions);
constexpr std::uint16_t kOptionsChunkId = 1;

// --- Export settings file ----------------------------------------------------

// The text of a settings file for `options` written at `when`, lines ending in
// "\n" (the file turns them into CR LF). The two paths, output_folder and
// merge_imd_path, are put in slash form in `options` itself first.
std::string settings_file_text(ExportOptions& options, const host::LocalTime& when);

// Applies every recognised line of a settings file's text to `options`;
// options whose keys are absent keep their values. Accepts LF and CR LF, and
// lines of any length.
void apply_settings_text(const std::string& text, ExportOptions& options);

// Reads a settings file over `options`. False, without a message and with
// `options` unchanged, when the path is not a readable regular file.
bool read_settings_file(const std::string& path, ExportOptions& options);

// Writes the settings file of `options` (see settings_file_text) with the
// host's local time. When it cannot be written, shows "Can't save file. %s"
// and leaves any old file as it was; returns false then.
bool write_settings_file(const std::string& path, ExportOptions& options, host::Host& host);

// The name a chosen save name is written under: ".k3es" is appended unless the
// text after the name's last "." is exactly "k3es".
std::string k3es_save_name(const std::string& chosen);

// --- menusettings.bin --------------------------------------------------------

std::array<std::uint8_t, kMenuSettingsSize> menu_settings_bytes(const ExportOptions& options);

// Sets menu_settings_read, then reads save_scene_settings and dialog_rect.
// False when the file cannot be opened (no message) or is not 17 bytes long
// (a warning naming the file; nothing is taken from it).
bool read_menu_settings(const std::string& path, ExportOptions& options, host::Host& host);

// Writes the 17 bytes; shows "Can't open file. %s" when that fails.
bool write_menu_settings(const std::string& path, const ExportOptions& options, host::Host& host);

// --- Scene settings chunk ----------------------------------------------------

// The options record as stored in a scene: 924 bytes, little-endian, text
// fields with the bytes after their terminator as they are.
std::vector<std::uint8_t> options_chunk(const ExportOptions& options);

// Reads a stored block over `options`. False, with `options` unchanged, when
// the block is not 924 bytes long. A stored block can come from anywhere, so
// what it holds is brought into the record's ranges: text fields end within
// their size, two-valued options become 0 or 1, a choice out of range takes
// its default. save_scene_settings and menu_settings_read keep their values:
// they are this session's menu switch and runtime flag, not the scene's.
bool restore_options_chunk(const std::vector<std::uint8_t>& block, ExportOptions& options);

// --- Settings folder ---------------------------------------------------------

// Joins a file name to a folder: an empty folder gets "\" before the name, a
// folder ending in "\" or "/" gets nothing, any other folder repeats the first
// "\" or "/" it holds (or "\" when it holds neither). Double-byte characters
// are stepped over whole.
std::string join_settings_path(const std::string& folder, const std::string& name);

}  // namespace kavro
