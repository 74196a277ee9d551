#include "exporter/pipeline/scene.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "exporter/pipeline/format.h"
#include "exporter/pipeline/messages.h"
#include "host/host.h"

namespace kavro {

const char* const kTextureFormatNames[7] = {"palette4", "a5i3",   "palette16", "palette256",
                                            "tex4x4",   "direct", "a3i5"};

const char* texture_format_name(TextureFormat f) {
  int v = static_cast<int>(f);
  return v >= 0 && v < 7 ? kTextureFormatNames[v] : "";
}

std::size_t texture_word_count(TextureFormat f, int width, int height) {
  std::size_t texels = static_cast<std::size_t>(width < 0 ? 0 : width) *
                       static_cast<std::size_t>(height < 0 ? 0 : height);
  switch (f) {
    case TextureFormat::kPalette4:
      return texels / 8;
    case TextureFormat::kA5I3:
    case TextureFormat::kPalette256:
    case TextureFormat::kA3I5:
      return texels / 2;
    case TextureFormat::kPalette16:
      return texels / 4;
    case TextureFormat::kTex4x4:
      return texels / 16;
    case TextureFormat::kDirect:
      return texels;
    case TextureFormat::kInvalid:
      break;
  }
  return 0;
}

void ExportScene::reset() {
  host::Host* keep_host = host_interface;
  ProgressDisplay* keep_display = progress_display;
  *this = ExportScene();
  host_interface = keep_host;
  progress_display = keep_display;
}

int ExportScene::node_position(int id) const {
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

int ExportScene::material_position(const std::string& name) const {
  for (std::size_t i = 0; i < materials.size(); ++i) {
    if (materials[i].name == name) return static_cast<int>(i);
  }
  return 0;
}

int ExportScene::texture_position(const std::string& path) const {
  for (std::size_t i = 0; i < textures.size(); ++i) {
    if (textures[i].path == path) return static_cast<int>(i);
  }
  return 0;
}

void ExportLog::add_warning(const std::string& text) {
  if (warning_set_.insert(text).second) warnings_.push_back(text);
}

void ExportLog::add_warning_f(const char* fmt, ...) {
  std::string text;
  va_list args;
  va_start(args, fmt);
  append_format_v(text, fmt, args);
  va_end(args);
  add_warning(text);
}

void ExportLog::clear_warnings() {
  warnings_.clear();
  warning_set_.clear();
}

float ExportLog::step_size(int items) const {
  if (stage_count <= 0 || items <= 0) return 0.0f;
  return 100.0f / static_cast<float>(stage_count) / static_cast<float>(items);
}

void ExportLog::show_progress(const std::string& text) {
  shown_percent = static_cast<int>(progress_percent);
  if (progress_in_host) {
    if (host_interface != nullptr) host_interface->progress_update(shown_percent, text);
  } else if (progress_display != nullptr) {
    progress_display->show_progress(shown_percent, text);
  }
}

void ExportLog::query_cancel() {
  if (host_interface == nullptr || !host_interface->progress_cancelled()) return;
  show_message(*host_interface, "Cancelling export is not currently supported.", "Not Supported",
               host::MessageIcon::kInformation);
  host_interface->progress_reset_cancel();
}

void ExportLog::advance(float step, std::string_view text) {
  progress_percent += step;
  if (progress_percent > 99.9f) progress_percent = 99.9f;
  query_cancel();
  // "TEXT (N%)", compared before it is built, the short suffix and the sizes
  // first: most steps of a stage with many items change nothing shown, and
  // this runs once per item.
  char tail[16];
  tail[0] = ' ';
  tail[1] = '(';
  char* end =
      std::to_chars(tail + 2, tail + sizeof tail - 2, static_cast<int>(progress_percent)).ptr;
  *end++ = '%';
  *end++ = ')';
  const std::size_t suffix_size = static_cast<std::size_t>(end - tail);
  const std::size_t label_size = text.size();
  if (progress_text.size() == label_size + suffix_size) {
    const char* shown = progress_text.data();
    bool same = true;
    for (std::size_t i = 0; i < suffix_size; ++i) same &= shown[label_size + i] == tail[i];
    if (same && std::memcmp(shown, text.data(), label_size) == 0) return;
  }
  progress_text.assign(text);
  progress_text.append(tail, suffix_size);
  show_progress(progress_text);
}

void ExportLog::advance(float step) {
  progress_percent += step;
  if (progress_percent > 99.9f) progress_percent = 99.9f;
  query_cancel();
  if (static_cast<int>(progress_percent) != shown_percent) show_progress(progress_text);
}

void ExportLog::finish_stage(std::string_view text) {
  ++stages_done;
  if (stage_count > 0) {
    progress_percent = 100.0f / static_cast<float>(stage_count) * static_cast<float>(stages_done);
  }
  const std::string label(text);
  std::string shown = format("%s (%d%%)", label.c_str(), static_cast<int>(progress_percent));
  if (shown != progress_text) {
    progress_text = shown;
    show_progress(shown);
  }
}

void ExportLog::finish_stage() {
  ++stages_done;
  if (stage_count > 0) {
    progress_percent = 100.0f / static_cast<float>(stage_count) * static_cast<float>(stages_done);
  }
  if (static_cast<int>(progress_percent) != shown_percent) show_progress(progress_text);
}

NodeIndex::NodeIndex(const std::vector<SceneNode>& nodes) {
  map_.reserve(nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) map_.emplace(nodes[i].id, static_cast<int>(i));
}

int NodeIndex::position(int id) const {
  auto it = map_.find(id);
  return it == map_.end() ? -1 : it->second;
}

namespace {

std::uint32_t name_hash(std::string_view name) {
  const std::size_t h = std::hash<std::string_view>{}(name);
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

}  // namespace

MaterialIndex::MaterialIndex(const std::vector<SceneMaterial>& materials) : materials_(materials) {
  std::size_t size = 8;
  while (size < 2 * materials.size()) size *= 2;
  slots_.resize(size);
  first_.assign(materials.size(), 0);
  const std::size_t mask = size - 1;
  for (std::size_t i = 0; i < materials.size(); ++i) {
    const std::string& name = materials[i].name;
    const std::uint32_t hash = name_hash(name);
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.position < 0) {
        slot = Slot{hash, static_cast<int>(i)};
        first_[i] = 1;
        break;
      }
      // A later material of a name already held is never the first match.
      if (slot.hash == hash && materials[static_cast<std::size_t>(slot.position)].name == name) {
        break;
      }
    }
  }
}

int MaterialIndex::position(std::string_view name) const {
  const std::uint32_t hash = name_hash(name);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.position < 0) return 0;
    if (slot.hash == hash && materials_[static_cast<std::size_t>(slot.position)].name == name) {
      return slot.position;
    }
  }
}

}  // namespace kavro
