// The scene document reader's shared pieces: a JSON value that knows its
// way from the top for messages, readers of points, rotations and tracks,
// and the Reader. Its methods are spread over files by record kind:
// scene_document_json.cpp (the document, plug-in class data and the checks
// across records), scene_document_json_materials.cpp,
// scene_document_json_nodes.cpp (nodes and their objects) and
// scene_document_json_meshes.cpp (meshes and their modifiers).
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <exception>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "host/cp932.h"
#include "host/scene_document.h"

namespace kavro::doc::json_reader {

using nlohmann::json;
constexpr double kMaxFrameValue = 1e7;
constexpr double kMaxReal = 1e15;

// Thrown inside the reader only; load_scene_document turns it into a result.
struct DocError {
  std::string path;
  std::string problem;
};

std::string pointer_escape(const std::string& key);

// A JSON value together with the way to it, for messages. The path is
// built only when something fails: a value knows its parent (which outlives
// it: values live on the stack of the reader's calls) and its key, kept in
// the document itself, or its array index.
class Value {
 public:
  explicit Value(const json& j) : j_(j) {}
  const json& raw() const { return j_; }
  std::string path() const {
    if (parent_ == nullptr) return "";
    return parent_->path() + "/" +
           (key_ != nullptr ? pointer_escape(*key_) : std::to_string(index_));
  }

  [[noreturn]] void fail(const std::string& problem) const { throw DocError{path(), problem}; }

  Value at(const std::string& key) const {
    if (j_.is_object()) {
      auto it = j_.find(key);
      if (it != j_.end()) return Value(*it, this, &it.key(), 0);
    }
    return Value(j_.at(key), this, nullptr, 0);  // throws: no such field
  }
  Value at(std::size_t i) const { return Value(j_.at(i), this, nullptr, i); }
  // A value read apart from its parent's tree (which need not exist any
  // more), named in messages as this value's member `key` (a string that
  // outlives it) or element `i`.
  Value member(const json& j, const std::string& key) const { return Value(j, this, &key, 0); }
  Value element(const json& j, std::size_t i) const { return Value(j, this, nullptr, i); }
  bool has(const std::string& key) const { return j_.contains(key); }
  std::size_t size() const { return j_.size(); }

  void expect_object() const {
    if (!j_.is_object()) fail("expected an object, found " + kind());
  }
  void expect_array() const {
    if (!j_.is_array()) fail("expected an array, found " + kind());
  }
  // Refuses fields this object may not have (usually a misspelling).
  void only(std::initializer_list<const char*> allowed) const {
    expect_object();
    for (auto it = j_.begin(); it != j_.end(); ++it) {
      bool known = false;
      for (const char* a : allowed) known = known || it.key() == a;
      if (!known) at(it.key()).fail("unknown field \"" + it.key() + "\"");
    }
  }

  double number() const {
    if (!j_.is_number()) fail("expected a number, found " + kind());
    double v = j_.get<double>();
    if (!std::isfinite(v)) fail("the number is not finite");
    return v;
  }
  // Single-precision values: coordinates, scales, angles, weights. Their
  // bound keeps the exporter's arithmetic finite, since the square or the
  // product of two of them still fits in single precision.
  float real() const {
    double v = number();
    if (std::fabs(v) > kMaxReal) fail("the number is too large (values lie within -1e15 and 1e15)");
    return static_cast<float>(v);
  }
  int integer(long long lo = std::numeric_limits<int>::min(),
              long long hi = std::numeric_limits<int>::max()) const {
    if (!j_.is_number()) fail("expected an integer, found " + kind());
    if (j_.is_number_float()) {
      double d = j_.get<double>();
      if (!std::isfinite(d) || d != std::floor(d)) fail("expected an integer, found a fraction");
      if (d < static_cast<double>(lo) || d > static_cast<double>(hi)) out_of_range(lo, hi);
      return static_cast<int>(d);
    }
    if (j_.is_number_unsigned()) {
      auto u = j_.get<unsigned long long>();
      if (u > static_cast<unsigned long long>(hi) ||
          (lo > 0 && u < static_cast<unsigned long long>(lo))) {
        out_of_range(lo, hi);
      }
      return static_cast<int>(u);
    }
    long long v = j_.get<long long>();
    if (v < lo || v > hi) out_of_range(lo, hi);
    return static_cast<int>(v);
  }
  bool boolean() const {
    if (!j_.is_boolean()) fail("expected true or false, found " + kind());
    return j_.get<bool>();
  }
  // A text converted to the host code page.
  std::string text() const {
    if (!j_.is_string()) fail("expected a string, found " + kind());
    host::Cp932Result r = host::utf8_to_cp932(j_.get<std::string>());
    if (!r.ok) fail(r.error);
    return r.text;
  }
  // A keyword: one of the given words.
  int word(std::initializer_list<const char*> words) const {
    if (!j_.is_string()) fail("expected a string, found " + kind());
    const std::string& s = j_.get_ref<const std::string&>();
    int i = 0;
    std::string list;
    for (const char* w : words) {
      if (s == w) return i;
      list += (i ? ", " : "") + std::string("\"") + w + "\"";
      ++i;
    }
    fail("\"" + s + "\" is not one of " + list);
  }

  std::string kind() const {
    switch (j_.type()) {
      case json::value_t::null:
        return "null";
      case json::value_t::object:
        return "an object";
      case json::value_t::array:
        return "an array";
      case json::value_t::string:
        return "a string";
      case json::value_t::boolean:
        return "a boolean";
      case json::value_t::number_integer:
      case json::value_t::number_unsigned:
      case json::value_t::number_float:
        return "a number";
      default:
        return "an unexpected value";
    }
  }

 private:
  [[noreturn]] void out_of_range(long long lo, long long hi) const {
    fail("the value is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
  }
  Value(const json& j, const Value* parent, const std::string* key, std::size_t index)
      : j_(j), parent_(parent), key_(key), index_(index) {}
  const json& j_;
  const Value* parent_ = nullptr;
  const std::string* key_ = nullptr;
  std::size_t index_ = 0;
};

max::Point3 read_point(const Value& v);
// Three Euler angles in degrees (x, y, z: the x rotation applies first) or a
// quaternion x, y, z, w.
max::Quat read_rotation(const Value& v);
FloatTrack read_float_track(const Value& v);
PointTrack read_point_track(const Value& v);
RotationTrack read_rotation_track(const Value& v);

// Thrown by the parse callback when the document repeats a top-level
// "materials" or "nodes" key: the last value counts, as in the tree, so the
// document is parsed again without reading records during the parse.
struct RepeatedRecordKey {};

class Reader;

// Builds a document's tree from the parser's events, like the parser's own
// builder, and tells the reader of the top-level arrays and their elements
// as they complete; an element the reader takes leaves the tree at once.
class TreeBuilder {
 public:
  using number_integer_t = json::number_integer_t;
  using number_unsigned_t = json::number_unsigned_t;
  using number_float_t = json::number_float_t;
  using string_t = json::string_t;
  using binary_t = json::binary_t;

  TreeBuilder(json& root, Reader& reader) : root_(root), reader_(reader) {}
  bool null() { return add(json(nullptr)); }
  bool boolean(bool v) { return add(json(v)); }
  bool number_integer(number_integer_t v) { return add(json(v)); }
  bool number_unsigned(number_unsigned_t v) { return add(json(v)); }
  bool number_float(number_float_t v, const string_t& /*text*/) { return add(json(v)); }
  bool string(string_t& v) { return add(json(v)); }
  bool binary(binary_t& v) { return add(json::binary(v)); }
  bool start_object(std::size_t /*size*/);
  bool key(string_t& k);
  bool end_object() { return end(nlohmann::json::parse_event_t::object_end); }
  bool start_array(std::size_t /*size*/);
  bool end_array() { return end(nlohmann::json::parse_event_t::array_end); }
  template <class Exception>
  bool parse_error(std::size_t /*position*/, const std::string& /*token*/, const Exception& e) {
    throw e;
  }

 private:
  // Puts a value into its place: the root, the end of an array or the
  // member whose key came last. Plain values complete an element.
  bool add(json&& v);
  json* place(json&& v);
  bool end(nlohmann::json::parse_event_t event);
  // Offers a completed element at depth 2 to the reader; drops it if taken.
  void completed(nlohmann::json::parse_event_t event, json& element);

  json& root_;
  Reader& reader_;
  std::vector<json*> open_;  // the objects and arrays being built
  json* member_ = nullptr;   // where the next value of the innermost object goes
};

class Reader {
 public:
  // Reading records while the document is parsed; off, read() reads them
  // from the whole tree.
  explicit Reader(bool stream_records = true) : stream_records_(stream_records) {}
  // Told by the tree builder (TreeBuilder) of the top-level object's keys
  // (depth 1), of its arrays' starts and ends (depth 1) and of every
  // completed element of those arrays (depth 2, `parsed` the element); false
  // drops the element from the tree. It reads each element of the top-level
  // "materials" and "nodes" arrays as soon as it is complete, so that
  // the document's tree never holds every record at once. The first failure
  // of each array is kept and raised by read() where that array is read, so
  // messages and their order are those of reading the whole tree. Nodes
  // check their material against the materials seen so far; materials that
  // come after the nodes raise RepeatedRecordKey too.
  bool take_parse_event(int depth, nlohmann::json::parse_event_t event, json& parsed);
  SceneDocument read(const json& root);
  bool has_file_name() const { return has_file_name_; }

 private:
  // scene_document_json.cpp
  // [{"class_id": [a, b], "chunks": [{"id": n, "data": base64}, ...]}, ...]
  void read_class_data(const Value& v);
  // Every node, material and morph channel is sampled once per frame: a short
  // document with a long range must not ask for unbounded memory.
  void check_sample_count(const Value& top) const;
  // Parents exist, the hierarchy has no cycle and is not absurdly deep;
  // skin bones and camera targets name nodes.
  void check_nodes(const Value& nodes);

  // scene_document_json_materials.cpp
  Material read_material(const Value& v, int depth);
  Texmap read_texmap(const Value& v);

  // scene_document_json_nodes.cpp
  Node read_node(const Value& v);
  Object read_object(const Value& v);

  // scene_document_json_meshes.cpp
  static void check_index(const Value& v, int index, std::size_t count, const char* what);
  static std::array<int, 3> read_corners(const Value& v);
  Mesh read_mesh(const Value& v);
  // Per-vertex normals when the document gives none: the area-weighted mean
  // of the normals of the faces around each vertex.
  static void compute_normals(Mesh& m);
  Modifier read_modifier(const Value& v, const Object& o);

  // The records of one top-level array read while parsing, and the first
  // failure among them.
  template <class Record>
  struct Streamed {
    bool seen = false;      // the array has started
    bool inside = false;    // the parser is within it
    std::size_t count = 0;  // elements seen
    std::vector<Record> read;
    std::exception_ptr failure;
  };
  // Reads one complete element with `read_one`, unless an earlier one failed.
  template <class Record, class ReadOne>
  void take_element(Streamed<Record>& s, const std::string& key, const json& element,
                    ReadOne read_one);

  bool stream_records_ = true;
  enum class TopKey { kOther, kMaterials, kNodes };
  TopKey last_key_ = TopKey::kOther;  // the last key of the top-level object
  Streamed<Material> streamed_materials_;
  Streamed<Node> streamed_nodes_;

  SceneDocument doc_;
  bool has_file_name_ = false;
  std::unordered_set<int> ids_;
  std::vector<std::pair<std::string, int>> bone_refs_;
  std::vector<std::pair<std::string, int>> camera_targets_;
};

}  // namespace kavro::doc::json_reader
