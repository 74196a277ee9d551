#include "exporter/batch/k3be.h"

#include <cstdlib>
#include <cstring>

#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"

namespace kavro {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// Characters a -name must not hold (the second byte of a two-byte character
// is never taken for one of them).
bool has_forbidden_name_character(const std::string& name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (is_lead_byte(c)) {
      ++i;
    } else if (std::strchr("=;:/\\*?<>|", c) != nullptr && c != '\0') {
      return true;
    }
  }
  return false;
}

bool only_characters(const std::string& value, const char* allowed) {
  for (char c : value) {
    bool digit = c >= '0' && c <= '9';
    if (!digit && (c == '\0' || std::strchr(allowed, c) == nullptr)) return false;
  }
  return true;
}

bool is_number(const std::string& value) {
  return only_characters(value, "+-.Ee");
}
bool is_integer(const std::string& value) {
  return only_characters(value, "+-");
}

// Option words that switch an output or a flag: "on" gives 1, anything else 0.
struct SwitchOption {
  const char* word;
  std::int32_t ExportOptions::*field;
};
const SwitchOption kSwitches[] = {
    {"-imd", &ExportOptions::output_imd},
    {"-ica", &ExportOptions::output_ica},
    {"-iva", &ExportOptions::output_iva},
    {"-ima", &ExportOptions::output_ima},
    {"-itp", &ExportOptions::output_itp},
    {"-ita", &ExportOptions::output_ita},
    {"-end_to_start", &ExportOptions::interp_end_to_start},
};

struct ToleranceOption {
  const char* word;
  float ExportOptions::*field;
};
const ToleranceOption kTolerances[] = {
    {"-tolerance_s", &ExportOptions::tolerance_scale},
    {"-tolerance_r", &ExportOptions::tolerance_rotate},
    {"-tolerance_t", &ExportOptions::tolerance_translate},
    {"-tolerance_tex_s", &ExportOptions::tolerance_tex_scale},
    {"-tolerance_tex_r", &ExportOptions::tolerance_tex_rotate},
    {"-tolerance_tex_t", &ExportOptions::tolerance_tex_translate},
};

}  // namespace

bool k3be_header_ok(const std::string& line) {
  return line.compare(0, sizeof kK3beHeader - 1, kK3beHeader) == 0;
}

std::string next_word(const std::string& line, std::size_t& pos) {
  while (pos < line.size() && is_blank(line[pos])) ++pos;
  std::size_t start = pos;
  while (pos < line.size() && !is_blank(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

std::string read_value(const std::string& line, std::size_t& pos, bool* unterminated) {
  if (unterminated != nullptr) *unterminated = false;
  std::size_t at = pos;
  while (at < line.size() && is_blank(line[at])) ++at;
  if (at >= line.size() || line[at] != '"') {
    pos = at;
    return {};
  }
  std::size_t close = line.find('"', at + 1);
  if (close == std::string::npos) {
    if (unterminated != nullptr) *unterminated = true;
    pos = line.size();
    return line.substr(at + 1);
  }
  pos = close + 1;
  return line.substr(at + 1, close - at - 1);
}

std::string k3be_slash_form(const std::string& value) {
  return slash_form(value);
}

std::string k3be_folder_form(const std::string& value) {
  std::string out = slash_form(value);
  // "/" is never the second byte of a two-byte character, so trailing ones
  // can be dropped from the end.
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

std::string default_output_name(const std::string& scene_name) {
  std::size_t dot = scene_name.rfind('.');
  std::size_t sep = last_separator(scene_name);
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return scene_name;
  return scene_name.substr(0, dot);
}

std::vector<std::string> split_list(const std::string& value) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t comma = value.find(',', start);
    if (comma == std::string::npos) comma = value.size();
    std::size_t b = start, e = comma;
    while (b < e && is_blank(value[b])) ++b;
    while (e > b && is_blank(value[e - 1])) --e;
    if (e > b) pieces.push_back(value.substr(b, e - b));
    start = comma + 1;
  }
  return pieces;
}

SceneOptions parse_scene_options(const std::string& line, std::size_t pos,
                                 const std::string& default_name, ExportOptions& options) {
  SceneOptions out;
  out.output_name = default_name;
  bool start_given = false, end_given = false;
  auto fail = [&out](std::string message) {
    out.ok = false;
    out.message = std::move(message);
    return out;
  };
  for (;;) {
    std::string word = next_word(line, pos);
    if (word.empty()) break;
    bool unterminated = false;
    std::string value = read_value(line, pos, &unterminated);
    if (value.empty())
      return fail(format("\"%s\" is wrong (value is not specified)", word.c_str()));
    if (unterminated) {
      return fail(
          format("\"%s\" is wrong (value has no closing quote): %s", word.c_str(), value.c_str()));
    }

    if (word == "-name") {
      if (has_forbidden_name_character(value)) {
        return fail(
            "\"-name\" is wrong (please don't use [=] [;] [:] [/] [\\] [*] [?] [<] [>] [|]): " +
            value);
      }
      out.output_name = value;
      continue;
    }
    if (word == "-root") {
      out.root = value;
      continue;
    }
    if (word == "-script") {
      out.script = value;
      continue;
    }
    if (word == "-start") {
      options.start_frame = static_cast<std::int32_t>(std::atol(value.c_str()));
      start_given = true;
      continue;
    }
    if (word == "-end") {
      options.end_frame = static_cast<std::int32_t>(std::atol(value.c_str()));
      end_given = true;
      continue;
    }
    bool handled = false;
    for (const SwitchOption& s : kSwitches) {
      if (word == s.word) {
        options.*s.field = value == "on" ? 1 : 0;
        handled = true;
      }
    }
    for (const ToleranceOption& t : kTolerances) {
      if (word == t.word) {
        if (!is_number(value))
          return fail(format("\"%s\" is wrong: %s", word.c_str(), value.c_str()));
        options.*t.field = static_cast<float>(std::atof(value.c_str()));
        handled = true;
      }
    }
    if (handled) continue;
    if (word == "-tolerance_color") {
      if (!is_integer(value))
        return fail(format("\"%s\" is wrong: %s", word.c_str(), value.c_str()));
      options.tolerance_color = static_cast<std::int32_t>(std::atol(value.c_str()));
    } else if (word == "-interp") {
      if (value == "frame") {
        options.interpolation = Interpolation::kFrame;
      } else if (value == "linear") {
        options.interpolation = Interpolation::kLinear;
      } else {
        return fail(format("\"%s\" is wrong: %s", word.c_str(), value.c_str()));
      }
    } else if (word == "-frame_step") {
      static const char* const kSteps[] = {"auto", "1", "2", "4"};
      int found = -1;
      for (int i = 0; i < 4; ++i) {
        if (value == kSteps[i]) found = i;
      }
      if (found < 0) return fail(format("\"%s\" is wrong: %s", word.c_str(), value.c_str()));
      options.frame_step_mode = static_cast<FrameStepMode>(found);  // the word's position
    } else {
      return fail("scene option is wrong: " + word);
    }
  }
  if (start_given && !end_given) return fail("\"-end\" is not specified");
  if (end_given && !start_given) return fail("\"-start\" is not specified");
  if (start_given && end_given) options.frame_range = FrameRange::kRange;
  out.ok = true;
  return out;
}

}  // namespace kavro
