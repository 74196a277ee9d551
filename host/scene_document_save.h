// The scene document writer's shared pieces: the Writer with its layout and
// value helpers. Its record writers are spread over files by record kind:
// scene_document_save.cpp (the document), scene_document_save_materials.cpp,
// scene_document_save_nodes.cpp (nodes and their objects) and
// scene_document_save_meshes.cpp (meshes and their modifiers).
#pragma once

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "host/class_data.h"
#include "host/cp932.h"
#include "host/scene_io.h"

namespace kavro::host::document_writer {

// A text that cannot be written (bytes that are no CP932 text).
struct SaveError {
  std::string text;
};

class Writer {
 public:
  Writer(const std::vector<std::pair<std::string, std::string>>& references,
         const std::vector<host::PluginClassData>& class_data)
      : references_(references), class_data_(class_data) {}

  std::string run(const doc::SceneDocument& d);

 private:
  // ---- layout
  void indent(int level) { out_.append(level * 2, ' '); }
  // A key on a line of its own; the first key of an object opens it.
  void field(int level, const char* key) {
    out_ += out_.back() == '{' ? "\n" : ",\n";
    indent(level);
    out_ += "\"";
    out_ += key;
    out_ += "\": ";
  }
  // A key within a one-line object.
  void inline_field(bool& first, const char* key) {
    out_ += first ? "" : ", ";
    first = false;
    out_ += "\"";
    out_ += key;
    out_ += "\": ";
  }
  void open_object() { out_ += "{"; }
  void close_object(int level) {
    if (out_.back() == '{') {
      out_ += "}";
      return;
    }
    out_ += "\n";
    indent(level);
    out_ += "}";
  }

  // ---- values
  void integer(long long v) { out_ += std::to_string(v); }
  void boolean(bool v) { out_ += v ? "true" : "false"; }
  // The shortest text that reads back as the same float.
  void real(float v) {
    if (v == 0) {
      out_ += std::signbit(v) ? "-0.0" : "0";
      return;
    }
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    std::string t(buffer, r.ptr);
    if (static_cast<float>(std::strtod(t.c_str(), nullptr)) != v) {
      std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(v));
      t = buffer;
    }
    out_ += t;
  }
  void real(double v) {
    if (v == 0) {
      out_ += std::signbit(v) ? "-0.0" : "0";
      return;
    }
    char buffer[40];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out_.append(buffer, r.ptr);
  }
  void point(const max::Point3& p) {
    out_ += "[";
    real(p.x);
    out_ += ", ";
    real(p.y);
    out_ += ", ";
    real(p.z);
    out_ += "]";
  }
  void quat(const max::Quat& q) {
    out_ += "[";
    real(q.x);
    out_ += ", ";
    real(q.y);
    out_ += ", ";
    real(q.z);
    out_ += ", ";
    real(q.w);
    out_ += "]";
  }
  void value(float v) { real(v); }
  void value(const max::Point3& p) { point(p); }
  void value(const max::Quat& q) { quat(q); }

  template <class T>
  void track(const doc::Track<T>& t) {
    if (!t.animated()) {
      value(t.value);
      return;
    }
    out_ += "{\"keys\": [";
    for (std::size_t i = 0; i < t.keys.size(); ++i) {
      if (i) out_ += ", ";
      out_ += "{\"frame\": ";
      real(t.keys[i].frame);
      out_ += ", \"value\": ";
      value(t.keys[i].value);
      out_ += "}";
    }
    out_ += "]}";
  }
  template <class T>
  static bool is_constant(const doc::Track<T>& t, const T& v) {
    return !t.animated() && t.value == v && !negative_zero(t.value);
  }
  static bool negative_zero(float v) { return v == 0 && std::signbit(v); }
  static bool negative_zero(const max::Point3& p) {
    return negative_zero(p.x) || negative_zero(p.y) || negative_zero(p.z);
  }
  static bool negative_zero(const max::Quat& q) {
    return negative_zero(q.x) || negative_zero(q.y) || negative_zero(q.z) || negative_zero(q.w);
  }

  // A host-code-page text as a JSON string.
  void text(const std::string& cp932) {
    std::string utf8 = cp932_to_utf8(cp932);
    Cp932Result back = utf8_to_cp932(utf8);
    if (!back.ok || back.text != cp932) {
      throw SaveError{"the text \"" + utf8 + "\" is not in the host code page"};
    }
    out_ += "\"";
    for (char c : utf8) {
      auto u = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += c;
      } else if (u < 0x20) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
        out_ += buffer;
      } else {
        out_ += c;
      }
    }
    out_ += "\"";
  }

  std::string relocated(const std::string& path) const {
    for (const auto& [from, to] : references_) {
      if (from == path) return to;
    }
    return path;
  }

  // ---- records (scene_document_save_*.cpp by record kind)
  void material(const doc::Material& m, int level);

  void texmap(const doc::Texmap& t);

  void node(const doc::Node& n);

  void object(const doc::Object& o, int level);

  void point_list(const char* key, const std::vector<max::Point3>& points, int level, bool uv);

  void corners(const std::array<int, 3>& c);

  void mesh(const doc::Mesh& m, int level);

  void modifier(const doc::Modifier& m, int level);

  const std::vector<std::pair<std::string, std::string>>& references_;
  const std::vector<host::PluginClassData>& class_data_;
  std::string out_;
};

}  // namespace kavro::host::document_writer
