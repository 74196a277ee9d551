// The export options record. Its field order and sizes are a stored binary
// layout (the 924-byte scene settings block), checked at compile time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kavro::host {
class Host;
}

namespace kavro {

// The values of the options that take one of several words, named by the
// words of the settings file. The numbers are the values the options record
// stores. A record read from a file may hold a number outside its list:
// every use treats such a value as the code around it says (mostly as the
// first name listed).
enum class ExportScope : std::int32_t { kSelection = 0, kAll = 1 };  // "export"
enum class ProcessMode : std::int32_t { k3dMaterialEditor = 0, kIntermediateFile = 1 };
enum class CompressNode : std::int32_t { kNone, kCull, kMerge, kUnite, kUniteCombine };
enum class FrameRange : std::int32_t { kAll = 0, kRange = 1 };
enum class VertexStyle : std::int32_t { kDirect = 0, kIndex = 1 };
enum class OutputTexture : std::int32_t { kUsed = 0, kAll = 1 };
enum class Interpolation : std::int32_t { kFrame = 0, kLinear = 1 };
enum class FrameStepMode : std::int32_t { kAuto, kOne, kTwo, kFour };  // "auto", "1", "2", "4"
enum class Triangulation : std::int32_t { kAsIs, kAsIsChecking, kGenerateQuads, kAllTris };

// The node compression modes that unite the nodes into one.
constexpr bool unites_nodes(CompressNode mode) {
  return mode == CompressNode::kUnite || mode == CompressNode::kUniteCombine;
}

struct ExportOptions {
  float magnify;
  std::int32_t start_frame;
  std::int32_t end_frame;
  CompressNode compress_node;
  std::int32_t compress_material;  // 0 off, 1 on
  std::int32_t output_imd;
  std::int32_t output_ica;
  std::int32_t output_iva;
  std::int32_t output_ima;
  std::int32_t output_itp;
  std::int32_t output_ita;
  std::int32_t output_isd;
  VertexStyle vertex_style;
  OutputTexture output_texture;
  Interpolation interpolation;
  FrameStepMode frame_step_mode;
  std::int32_t interp_end_to_start;
  float tolerance_translate;
  float tolerance_rotate;
  float tolerance_scale;
  float tolerance_tex_translate;
  float tolerance_tex_rotate;
  float tolerance_tex_scale;
  std::int32_t tolerance_color;
  std::int32_t force_full_weight;
  FrameRange frame_range;
  std::int32_t use_primitive_strip;
  std::int32_t merge_imd;
  ExportScope export_all;
  ProcessMode process_mode;
  char output_file_name[256];
  char output_folder[256];
  char merge_imd_path[260];
  std::int32_t force_quads;
  Triangulation triangulation;
  std::uint8_t save_scene_settings;
  std::uint8_t settings_from_scene;
  std::uint8_t menu_settings_read;
  std::uint8_t padding;
  std::int32_t dialog_rect[4];  // left, top, right, bottom
  std::int32_t export_flags;
};

static_assert(sizeof(ExportOptions) == 924, "the stored options block is 924 bytes");
static_assert(offsetof(ExportOptions, start_frame) == 4);
static_assert(offsetof(ExportOptions, compress_node) == 12);
static_assert(offsetof(ExportOptions, output_imd) == 20);
static_assert(offsetof(ExportOptions, output_ita) == 40);
static_assert(offsetof(ExportOptions, output_isd) == 44);
static_assert(offsetof(ExportOptions, vertex_style) == 48);
static_assert(offsetof(ExportOptions, interp_end_to_start) == 64);
static_assert(offsetof(ExportOptions, tolerance_translate) == 68);
static_assert(offsetof(ExportOptions, tolerance_tex_scale) == 88);
static_assert(offsetof(ExportOptions, tolerance_color) == 92);
static_assert(offsetof(ExportOptions, force_full_weight) == 96);
static_assert(offsetof(ExportOptions, process_mode) == 116);
static_assert(offsetof(ExportOptions, output_file_name) == 120);
static_assert(offsetof(ExportOptions, output_folder) == 376);
static_assert(offsetof(ExportOptions, merge_imd_path) == 632);
static_assert(offsetof(ExportOptions, force_quads) == 892);
static_assert(offsetof(ExportOptions, triangulation) == 896);
static_assert(offsetof(ExportOptions, save_scene_settings) == 900);
static_assert(offsetof(ExportOptions, settings_from_scene) == 901);
static_assert(offsetof(ExportOptions, menu_settings_read) == 902);
static_assert(offsetof(ExportOptions, dialog_rect) == 904);
static_assert(offsetof(ExportOptions, export_flags) == 920);

// Sets fields 1 to 30, 34 and 35 to their defaults, empties merge_imd_path,
// sets dialog_rect to -1; the names are emptied only when clear_names is true.
void reset_options(ExportOptions& options, bool clear_names);

// Copies fields 1 to 35 and dialog_rect (current to working, or back).
void copy_options(const ExportOptions& from, ExportOptions& to);

// Lower bounds enforced when an exporter starts.
void apply_lower_bounds(ExportOptions& options);

// Checks run by the dialog's Export and Apply buttons. Every failing check
// shows its own message; returns true when all pass.
bool validate_for_export(const ExportOptions& options, host::Host& host);

// The process-wide record, shared by every exporter, the batch runner and the
// settings files. Starts reset to defaults with the names cleared.
ExportOptions& current_options();

// Copies text into a fixed field, cut to fit and always terminated.
void set_text_field(char* field, std::size_t size, const std::string& text);
template <std::size_t N>
void set_text_field(char (&field)[N], const std::string& text) {
  set_text_field(field, N, text);
}

// ---------------------------------------------------------------------------
// Keywords: the words under which options are stored in settings files and
// set on the command line. This table is the one place that knows them.

enum class OptionType {
  kFloat,   // a decimal number
  kInt,     // an integer
  kChoice,  // one of words; an unknown word leaves the option unchanged
  kSwitch,  // two words; the first means 1, any other value 0
  kText,    // text copied into a fixed field
};

struct OptionKeyword {
  const char* key;
  OptionType type;
  std::size_t offset;              // of the field in ExportOptions
  std::size_t size;                // of a text field
  std::vector<const char*> words;  // kChoice: by value; kSwitch: {word for 1, word for 0}
  bool in_settings_file;           // false for keys only the command line knows
};

const std::vector<OptionKeyword>& option_keywords();
const OptionKeyword* find_option_keyword(const std::string& key);

// Applies one value with the settings-file rules: numbers as atof/atoi, a
// switch is 1 only for its exact word, a choice changes only for a known word.
void apply_option_value(ExportOptions& options, const OptionKeyword& keyword,
                        const std::string& value);

// Strict check for the command line: a known word, a complete number.
bool option_value_valid(const OptionKeyword& keyword, const std::string& value);

// The stored form of an option's value (numbers with "%g" and ".0" for whole
// values, integers with "%d").
std::string format_option_value(const ExportOptions& options, const OptionKeyword& keyword);

// A float as the settings file writes it: "%g", plus ".0" when whole.
std::string format_setting_number(float value);

}  // namespace kavro
