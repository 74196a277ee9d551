#include "exporter/batch/ninja_file.h"

#include <unordered_map>

#include "host/cp932.h"

namespace kavro {

std::string ninja_escaped(const std::string& path) {
  std::string out;
  for (char c : host::system_path(path)) {
    if (c == '$' || c == ' ' || c == ':' || c == '\n') out += '$';
    out += c;
  }
  return out;
}

bool ninja_file_text(const std::vector<ScenePlan>& plan, const std::string& kavro,
                     const std::string& k3be, std::string& text, std::string& error) {
  std::unordered_map<std::string, int> writer;
  for (const ScenePlan& scene : plan) {
    for (const std::string& out : scene.outputs) {
      auto [at, fresh] = writer.emplace(out, scene.line);
      if (!fresh) {
        error = "scene lines " + std::to_string(at->second) + " and " + std::to_string(scene.line) +
                " both write " + out;
        return false;
      }
    }
  }
  text =
      "# Written by kavro batch --ninja: one edge per scene line of the description.\n"
      "# Run Ninja from the folder the description's relative paths start in.\n"
      "ninja_required_version = 1.10\n"
      "kavro = " +
      ninja_escaped(kavro) +
      "\n"
      "k3be = " +
      ninja_escaped(k3be) +
      "\n"
      "\n"
      "rule kavro_scene\n"
      "  command = $kavro batch $k3be --only $line --depfile $dep --quiet\n"
      "  description = EXPORT $scene\n"
      "  depfile = $dep\n"
      "  deps = gcc\n";
  for (const ScenePlan& scene : plan) {
    if (scene.outputs.empty()) continue;  // nothing selected: nothing to build
    text += "\nbuild";
    for (const std::string& out : scene.outputs) text += " " + ninja_escaped(out);
    text += ": kavro_scene | $k3be $kavro\n";
    text += "  line = " + std::to_string(scene.line) + "\n";
    text += "  dep = " + ninja_escaped(scene.outputs.front() + ".d") + "\n";
    text += "  scene = " + ninja_escaped(scene.scene_path) + "\n";
  }
  return true;
}

}  // namespace kavro
