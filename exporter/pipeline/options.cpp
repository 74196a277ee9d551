#include "exporter/pipeline/options.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exporter/pipeline/messages.h"
#include "host/host.h"

namespace kavro {

void reset_options(ExportOptions& o, bool clear_names) {
  o.magnify = 1.0f;
  o.start_frame = 0;
  o.end_frame = 0;
  o.compress_node = CompressNode::kNone;
  o.compress_material = 0;
  o.output_imd = 1;
  o.output_ica = 0;
  o.output_iva = 0;
  o.output_ima = 0;
  o.output_itp = 0;
  o.output_ita = 0;
  o.output_isd = 0;
  o.vertex_style = VertexStyle::kDirect;
  o.output_texture = OutputTexture::kUsed;
  o.interpolation = Interpolation::kFrame;
  o.frame_step_mode = FrameStepMode::kOne;
  o.interp_end_to_start = 0;
  o.tolerance_translate = 0.01f;
  o.tolerance_rotate = 0.1f;
  o.tolerance_scale = 0.1f;
  o.tolerance_tex_translate = 0.01f;
  o.tolerance_tex_rotate = 0.1f;
  o.tolerance_tex_scale = 0.1f;
  o.tolerance_color = 2;
  o.force_full_weight = 0;
  o.frame_range = FrameRange::kAll;
  o.use_primitive_strip = 1;
  o.merge_imd = 0;
  o.export_all = ExportScope::kAll;
  o.process_mode = ProcessMode::kIntermediateFile;
  o.force_quads = 1;
  o.triangulation = Triangulation::kAsIs;
  std::memset(o.merge_imd_path, 0, sizeof o.merge_imd_path);
  for (auto& side : o.dialog_rect) side = -1;
  if (clear_names) {
    std::memset(o.output_file_name, 0, sizeof o.output_file_name);
    std::memset(o.output_folder, 0, sizeof o.output_folder);
  }
}

void copy_options(const ExportOptions& from, ExportOptions& to) {
  // Fields 1 to 35 are one contiguous run up to save_scene_settings.
  std::memcpy(&to, &from, offsetof(ExportOptions, save_scene_settings));
  std::memcpy(to.dialog_rect, from.dialog_rect, sizeof to.dialog_rect);
}

void apply_lower_bounds(ExportOptions& o) {
  constexpr float kLow = 0.0001f;
  // Written as "not at least" so that a NaN read from a file is bounded too.
  if (!(o.magnify >= kLow)) o.magnify = 1.0f;
  if (!(o.tolerance_rotate >= kLow)) o.tolerance_rotate = 0.1f;
  if (!(o.tolerance_scale >= kLow)) o.tolerance_scale = 0.1f;
  if (!(o.tolerance_tex_rotate >= kLow)) o.tolerance_tex_rotate = 0.1f;
  if (!(o.tolerance_tex_scale >= kLow)) o.tolerance_tex_scale = 0.1f;
  if (!(o.tolerance_translate >= kLow)) o.tolerance_translate = 0.01f;
  if (!(o.tolerance_tex_translate >= kLow)) o.tolerance_tex_translate = 0.01f;
}

bool validate_for_export(const ExportOptions& o, host::Host& host) {
  bool valid = true;
  if (!o.output_imd && !o.output_ica && !o.output_iva && !o.output_ima && !o.output_itp &&
      !o.output_ita) {
    show_error(host, "No output file.", "Nothing set to export.");
    valid = false;
  }
  if (o.process_mode == ProcessMode::kIntermediateFile && !host.folder_exists(o.output_folder)) {
    show_error(host, "Invalid Output Folder.", "Invalid Intermediate Folder");
    valid = false;
  }
  if (o.output_file_name[0] == '\0') {
    show_error(host, "Output File Name is empty.", "No Output File Name");
    valid = false;
  }
  if (o.merge_imd && o.process_mode == ProcessMode::k3dMaterialEditor &&
      o.merge_imd_path[0] == '\0') {
    show_error(host, "Merge Imd File Path is empty.", "No Imd Path");
    valid = false;
  }
  return valid;
}

ExportOptions& current_options() {
  static ExportOptions options = [] {
    ExportOptions o{};
    reset_options(o, true);
    o.save_scene_settings = 1;
    o.settings_from_scene = 0;
    o.menu_settings_read = 0;
    return o;
  }();
  return options;
}

void set_text_field(char* field, std::size_t size, const std::string& text) {
  std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

// ---------------------------------------------------------------------------

namespace {

#define KAVRO_FIELD(name) offsetof(ExportOptions, name), sizeof(ExportOptions::name)

std::vector<OptionKeyword> build_keywords() {
  using T = OptionType;
  return {
      {"export", T::kSwitch, KAVRO_FIELD(export_all), {"all", "selection"}, true},
      {"output_file_name", T::kText, KAVRO_FIELD(output_file_name), {}, true},
      {"process_mode",
       T::kSwitch,
       KAVRO_FIELD(process_mode),
       {"intermediate_file", "3d_material_editor"},
       true},
      {"output_folder", T::kText, KAVRO_FIELD(output_folder), {}, true},
      {"merge_imd", T::kSwitch, KAVRO_FIELD(merge_imd), {"on", "off"}, true},
      {"merge_imd_path", T::kText, KAVRO_FIELD(merge_imd_path), {}, true},
      {"magnify", T::kFloat, KAVRO_FIELD(magnify), {}, true},
      {"compress_node",
       T::kChoice,
       KAVRO_FIELD(compress_node),
       {"none", "cull", "merge", "unite", "unite_combine"},
       true},
      {"compress_material", T::kSwitch, KAVRO_FIELD(compress_material), {"on", "off"}, true},
      {"frame_range", T::kSwitch, KAVRO_FIELD(frame_range), {"range", "all"}, true},
      {"start_frame", T::kInt, KAVRO_FIELD(start_frame), {}, true},
      {"end_frame", T::kInt, KAVRO_FIELD(end_frame), {}, true},
      {"output_imd", T::kSwitch, KAVRO_FIELD(output_imd), {"on", "off"}, true},
      {"output_ica", T::kSwitch, KAVRO_FIELD(output_ica), {"on", "off"}, true},
      {"output_iva", T::kSwitch, KAVRO_FIELD(output_iva), {"on", "off"}, true},
      {"output_ima", T::kSwitch, KAVRO_FIELD(output_ima), {"on", "off"}, true},
      {"output_itp", T::kSwitch, KAVRO_FIELD(output_itp), {"on", "off"}, true},
      {"output_ita", T::kSwitch, KAVRO_FIELD(output_ita), {"on", "off"}, true},
      {"vertex_style", T::kSwitch, KAVRO_FIELD(vertex_style), {"index", "direct"}, true},
      {"output_texture", T::kSwitch, KAVRO_FIELD(output_texture), {"all", "used"}, true},
      {"force_full_weight", T::kSwitch, KAVRO_FIELD(force_full_weight), {"on", "off"}, true},
      {"use_primitive_strip", T::kSwitch, KAVRO_FIELD(use_primitive_strip), {"on", "off"}, true},
      {"triangulation",
       T::kChoice,
       KAVRO_FIELD(triangulation),
       {"as_is", "as_is_checking", "generate_quads", "all_tris"},
       true},
      {"interpolation", T::kSwitch, KAVRO_FIELD(interpolation), {"linear", "frame"}, true},
      {"interp_end_to_start", T::kSwitch, KAVRO_FIELD(interp_end_to_start), {"on", "off"}, true},
      {"frame_step_mode", T::kChoice, KAVRO_FIELD(frame_step_mode), {"auto", "1", "2", "4"}, true},
      {"tolerance_scale", T::kFloat, KAVRO_FIELD(tolerance_scale), {}, true},
      {"tolerance_rotate", T::kFloat, KAVRO_FIELD(tolerance_rotate), {}, true},
      {"tolerance_translate", T::kFloat, KAVRO_FIELD(tolerance_translate), {}, true},
      {"tolerance_tex_scale", T::kFloat, KAVRO_FIELD(tolerance_tex_scale), {}, true},
      {"tolerance_tex_rotate", T::kFloat, KAVRO_FIELD(tolerance_tex_rotate), {}, true},
      {"tolerance_tex_translate", T::kFloat, KAVRO_FIELD(tolerance_tex_translate), {}, true},
      {"tolerance_color", T::kInt, KAVRO_FIELD(tolerance_color), {}, true},
      // Not kept in settings files; the command line can still set them.
      {"output_isd", T::kSwitch, KAVRO_FIELD(output_isd), {"on", "off"}, false},
      {"force_quads", T::kSwitch, KAVRO_FIELD(force_quads), {"on", "off"}, false},
  };
}

#undef KAVRO_FIELD

// Whole-number fields hold std::int32_t or an enumeration stored as one; they
// are copied as their bytes, which is defined for both.
std::int32_t get_int(const ExportOptions& o, const OptionKeyword& k) {
  std::int32_t v;
  std::memcpy(&v, reinterpret_cast<const char*>(&o) + k.offset, sizeof v);
  return v;
}
void set_int(ExportOptions& o, const OptionKeyword& k, std::int32_t v) {
  std::memcpy(reinterpret_cast<char*>(&o) + k.offset, &v, sizeof v);
}
float& float_field(ExportOptions& o, const OptionKeyword& k) {
  return *reinterpret_cast<float*>(reinterpret_cast<char*>(&o) + k.offset);
}
const float& float_field(const ExportOptions& o, const OptionKeyword& k) {
  return *reinterpret_cast<const float*>(reinterpret_cast<const char*>(&o) + k.offset);
}

// atof and atoi, except that a number beyond the field's range gives the
// field's largest value of that sign instead of undefined behaviour.
float atof_to_float(const char* text) {
  double v = std::strtod(text, nullptr);
  if (v > FLT_MAX && v != HUGE_VAL) return FLT_MAX;
  if (v < -FLT_MAX && v != -HUGE_VAL) return -FLT_MAX;
  return static_cast<float>(v);
}

std::int32_t atoi_saturated(const char* text) {
  long long v = std::strtoll(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

}  // namespace

const std::vector<OptionKeyword>& option_keywords() {
  static const std::vector<OptionKeyword> table = build_keywords();
  return table;
}

const OptionKeyword* find_option_keyword(const std::string& key) {
  for (const auto& k : option_keywords()) {
    if (key == k.key) return &k;
  }
  return nullptr;
}

void apply_option_value(ExportOptions& o, const OptionKeyword& k, const std::string& value) {
  switch (k.type) {
    case OptionType::kFloat:
      float_field(o, k) = atof_to_float(value.c_str());
      break;
    case OptionType::kInt:
      set_int(o, k, atoi_saturated(value.c_str()));
      break;
    case OptionType::kSwitch:
      set_int(o, k, value == k.words[0] ? 1 : 0);
      break;
    case OptionType::kChoice:
      for (std::size_t i = 0; i < k.words.size(); ++i) {
        if (value == k.words[i]) set_int(o, k, static_cast<std::int32_t>(i));
      }
      break;
    case OptionType::kText:
      set_text_field(reinterpret_cast<char*>(&o) + k.offset, k.size, value);
      break;
  }
}

bool option_value_valid(const OptionKeyword& k, const std::string& value) {
  switch (k.type) {
    case OptionType::kFloat: {
      if (value.empty()) return false;
      errno = 0;
      char* end = nullptr;
      double v = std::strtod(value.c_str(), &end);
      return errno == 0 && *end == '\0' && std::isfinite(v);
    }
    case OptionType::kInt: {
      if (value.empty()) return false;
      errno = 0;
      char* end = nullptr;
      long v = std::strtol(value.c_str(), &end, 10);
      return errno == 0 && *end == '\0' && v >= INT32_MIN && v <= INT32_MAX;
    }
    case OptionType::kSwitch:
    case OptionType::kChoice:
      for (const char* w : k.words) {
        if (value == w) return true;
      }
      return false;
    case OptionType::kText:
      return value.size() < k.size;
  }
  return false;
}

std::string format_setting_number(float value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
  std::string text = buffer;
  if (std::isfinite(value) && std::floor(value) == value) text += ".0";
  return text;
}

std::string format_option_value(const ExportOptions& o, const OptionKeyword& k) {
  switch (k.type) {
    case OptionType::kFloat:
      return format_setting_number(float_field(o, k));
    case OptionType::kInt:
      return std::to_string(get_int(o, k));
    case OptionType::kSwitch:
      return get_int(o, k) == 1 ? k.words[0] : k.words[1];
    case OptionType::kChoice: {
      std::int32_t v = get_int(o, k);
      if (v >= 0 && static_cast<std::size_t>(v) < k.words.size()) return k.words[v];
      return std::to_string(v);
    }
    case OptionType::kText:
      return std::string(reinterpret_cast<const char*>(&o) + k.offset);
  }
  return {};
}

}  // namespace kavro
