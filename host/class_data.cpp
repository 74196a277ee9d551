#include "host/class_data.h"

#include <algorithm>

namespace kavro::host {
namespace {

std::vector<ClassDataOwner*>& owners() {
  static std::vector<ClassDataOwner*> list;
  return list;
}

ClassDataOwner* owner_of(const ClassId& id) {
  for (ClassDataOwner* o : owners()) {
    if (o->class_id() == id) return o;
  }
  return nullptr;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

void register_class_data_owner(ClassDataOwner& owner) {
  if (owner_of(owner.class_id()) == nullptr) owners().push_back(&owner);
}

void unregister_class_data_owner(ClassDataOwner& owner) {
  auto& list = owners();
  list.erase(std::remove(list.begin(), list.end(), &owner), list.end());
}

void load_scene_class_data(Host& host, const std::string& source,
                           const std::vector<PluginClassData>& section) {
  for (const PluginClassData& entry : section) {
    if (ClassDataOwner* o = owner_of(entry.class_id))
      o->load_class_data(host, source, entry.chunks);
  }
}

std::vector<PluginClassData> save_scene_class_data(Host& host,
                                                   const std::vector<PluginClassData>& loaded) {
  std::vector<PluginClassData> section;
  for (ClassDataOwner* o : owners()) {
    PluginClassData entry;
    entry.class_id = o->class_id();
    o->save_class_data(host, entry.chunks);
    if (!entry.chunks.empty()) section.push_back(std::move(entry));
  }
  for (const PluginClassData& entry : loaded) {
    if (owner_of(entry.class_id) == nullptr) section.push_back(entry);
  }
  return section;
}

std::string base64_encode(const std::vector<std::uint8_t>& data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    std::uint32_t v =
        (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  std::size_t left = data.size() - i;
  if (left > 0) {
    std::uint32_t v = std::uint32_t{data[i]} << 16;
    if (left == 2) v |= std::uint32_t{data[i + 1]} << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += left == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool base64_decode(const std::string& text, std::vector<std::uint8_t>& data) {
  data.clear();
  if (text.size() % 4 != 0) return false;
  data.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    int pad = 0;
    if (last && text[i + 3] == '=') pad = text[i + 2] == '=' ? 2 : 1;
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      int s = k >= 4 - pad ? 0 : sextet(text[i + k]);
      if (s < 0) return false;
      v = (v << 6) | static_cast<std::uint32_t>(s);
    }
    // Bits below the last byte must be zero, so every text has one meaning.
    if ((pad == 1 && (v & 0xFF) != 0) || (pad == 2 && (v & 0xFFFF) != 0)) return false;
    data.push_back(static_cast<std::uint8_t>(v >> 16));
    if (pad < 2) data.push_back(static_cast<std::uint8_t>(v >> 8));
    if (pad < 1) data.push_back(static_cast<std::uint8_t>(v));
  }
  return true;
}

}  // namespace kavro::host
