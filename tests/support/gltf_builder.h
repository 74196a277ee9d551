// Small glTF 2.0 files written by the tests: accessors over one binary
// buffer, embedded as a base64 data URI, and the JSON around them.
#pragma once

#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace kavro::test {

class Gltf {
 public:
  Gltf() {
    json_["asset"] = {{"version", "2.0"}};
    json_["scene"] = 0;
  }
  nlohmann::json& json() { return json_; }

  // An accessor of floats: type "SCALAR", "VEC2", "VEC3", "VEC4" or "MAT4".
  int floats(const std::vector<float>& values, const std::string& type) {
    int width = type == "SCALAR" ? 1
                : type == "VEC2" ? 2
                : type == "VEC3" ? 3
                : type == "VEC4" ? 4
                                 : 16;
    nlohmann::json a = {{"componentType", 5126},
                        {"count", static_cast<int>(values.size()) / width},
                        {"type", type}};
    if (type == "VEC3" && !values.empty()) {
      // Positions need their bounds.
      std::vector<float> lo(values.begin(), values.begin() + 3), hi = lo;
      for (std::size_t i = 0; i < values.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], values[i]);
        hi[i % 3] = std::max(hi[i % 3], values[i]);
      }
      a["min"] = lo;
      a["max"] = hi;
    }
    return add(values.data(), values.size() * 4, a);
  }
  int indices(const std::vector<std::uint16_t>& values) {
    return add(values.data(), values.size() * 2,
               {{"componentType", 5123}, {"count", values.size()}, {"type", "SCALAR"}});
  }
  int joints(const std::vector<std::uint8_t>& values) {
    return add(values.data(), values.size(),
               {{"componentType", 5121}, {"count", values.size() / 4}, {"type", "VEC4"}});
  }

  std::string text() {
    static const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string b64;
    for (std::size_t i = 0; i < bin_.size(); i += 3) {
      std::uint32_t n = static_cast<std::uint8_t>(bin_[i]) << 16;
      if (i + 1 < bin_.size()) n |= static_cast<std::uint8_t>(bin_[i + 1]) << 8;
      if (i + 2 < bin_.size()) n |= static_cast<std::uint8_t>(bin_[i + 2]);
      b64 += kDigits[(n >> 18) & 63];
      b64 += kDigits[(n >> 12) & 63];
      b64 += i + 1 < bin_.size() ? kDigits[(n >> 6) & 63] : '=';
      b64 += i + 2 < bin_.size() ? kDigits[n & 63] : '=';
    }
    nlohmann::json j = json_;
    j["buffers"] = nlohmann::json::array(
        {{{"byteLength", bin_.size()}, {"uri", "data:application/octet-stream;base64," + b64}}});
    return j.dump();
  }

 private:
  int add(const void* data, std::size_t bytes, nlohmann::json accessor) {
    while (bin_.size() % 4) bin_ += '\0';
    int view = static_cast<int>(json_["bufferViews"].size());
    json_["bufferViews"].push_back(
        {{"buffer", 0}, {"byteOffset", bin_.size()}, {"byteLength", bytes}});
    bin_.append(static_cast<const char*>(data), bytes);
    accessor["bufferView"] = view;
    int index = static_cast<int>(json_["accessors"].size());
    json_["accessors"].push_back(accessor);
    return index;
  }

  nlohmann::json json_;
  std::string bin_;
};

}  // namespace kavro::test
