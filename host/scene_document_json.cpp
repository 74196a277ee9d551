// Reads scene documents (".kscene", JSON in UTF-8) into SceneDocument.
// Every field is checked: a bad document is refused with one message that
// names the file, the JSON path (a JSON pointer) and the problem.
#include "host/scene_document_json.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "host/cp932.h"
#include "host/file_journal.h"
#include "host/files.h"
#include "host/scene_document.h"

namespace kavro::doc {
namespace {

using json_reader::DocError;
using json_reader::Reader;
using nlohmann::json;
constexpr const char* kFormatName = "kavro-scene";
constexpr int kFormatVersion = 1;

// Refuses text nested deeper than the format ever needs, before parsing, so
// that neither the parser nor anything after it recurses without bound.
bool nesting_within(const std::string& text, int limit) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

std::string strip_json_prefix(const std::string& what) {
  // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
  std::size_t close = what.find("] ");
  return close != std::string::npos && what.rfind("[json.", 0) == 0 ? what.substr(close + 2) : what;
}

}  // namespace

namespace json_reader {

SceneDocument Reader::read(const json& root) {
  Value top(root);
  top.only({"format", "version", "file_name", "ticks_per_frame", "animation_range", "selection",
            "map_paths", "materials", "nodes", "plugin_class_data"});
  if (!top.has("format")) top.fail("missing field \"format\" (\"kavro-scene\")");
  Value format = top.at("format");
  if (!format.raw().is_string() || format.raw().get<std::string>() != kFormatName) {
    format.fail("this is not a KAVRO scene document (format must be \"kavro-scene\")");
  }
  if (!top.has("version")) top.fail("missing field \"version\"");
  int version = top.at("version").integer();
  if (version != kFormatVersion) {
    top.at("version").fail("version " + std::to_string(version) +
                           " is not supported (this program reads version 1)");
  }
  if (top.has("file_name")) {
    doc_.file_name = top.at("file_name").text();
    has_file_name_ = true;
  }
  if (top.has("ticks_per_frame")) doc_.ticks_per_frame = top.at("ticks_per_frame").integer(1, 4800);
  if (top.has("animation_range")) {
    Value r = top.at("animation_range");
    r.expect_array();
    if (r.size() != 2) r.fail("expected [first frame, last frame]");
    doc_.start_frame = r.at(0).integer(-1000000, 1000000);
    doc_.end_frame = r.at(1).integer(-1000000, 1000000);
    if (doc_.end_frame < doc_.start_frame) r.fail("the last frame is before the first");
    if (static_cast<long long>(doc_.end_frame) - doc_.start_frame + 1 > kMaxFrames) {
      r.fail("the range has more than " + std::to_string(kMaxFrames) + " frames");
    }
  }
  long long extreme = std::max(std::llabs(doc_.start_frame), std::llabs(doc_.end_frame));
  if (extreme * doc_.ticks_per_frame > std::numeric_limits<int>::max() / 2) {
    top.fail("the animation range in ticks does not fit the host's time values");
  }
  if (top.has("map_paths")) {
    Value paths = top.at("map_paths");
    paths.expect_array();
    for (std::size_t i = 0; i < paths.size(); ++i) doc_.map_paths.push_back(paths.at(i).text());
  }
  if (top.has("materials")) {
    Value ms = top.at("materials");
    ms.expect_array();
    // Elements the parser handed over as they completed are read already;
    // the tree holds those of a document parsed without streaming.
    if (streamed_materials_.failure) std::rethrow_exception(streamed_materials_.failure);
    doc_.materials = std::move(streamed_materials_.read);
    doc_.materials.reserve(doc_.materials.size() + ms.size());
    for (std::size_t i = 0; i < ms.size(); ++i)
      doc_.materials.push_back(read_material(ms.at(i), 0));
  }
  if (top.has("nodes")) {
    Value ns = top.at("nodes");
    ns.expect_array();
    if (streamed_nodes_.failure) std::rethrow_exception(streamed_nodes_.failure);
    doc_.nodes = std::move(streamed_nodes_.read);
    doc_.nodes.reserve(doc_.nodes.size() + ns.size());
    for (std::size_t i = 0; i < ns.size(); ++i) doc_.nodes.push_back(read_node(ns.at(i)));
    check_nodes(ns);
  }
  check_sample_count(top);
  if (top.has("plugin_class_data")) read_class_data(top.at("plugin_class_data"));
  if (top.has("selection")) {
    Value sel = top.at("selection");
    sel.expect_array();
    std::unordered_set<int> seen;
    for (std::size_t i = 0; i < sel.size(); ++i) {
      int id = sel.at(i).integer(0);
      if (!ids_.count(id)) sel.at(i).fail("no node has the id " + std::to_string(id));
      if (seen.insert(id).second) doc_.selection.push_back(id);
    }
  }
  return std::move(doc_);
}

json* TreeBuilder::place(json&& v) {
  if (open_.empty()) {
    root_ = std::move(v);
    return &root_;
  }
  json& parent = *open_.back();
  if (parent.is_array()) {
    auto& items = parent.get_ref<json::array_t&>();
    items.push_back(std::move(v));
    return &items.back();
  }
  *member_ = std::move(v);
  return member_;
}

bool TreeBuilder::add(json&& v) {
  json* placed = place(std::move(v));
  if (open_.size() == 2 && open_.back()->is_array())
    completed(nlohmann::json::parse_event_t::value, *placed);
  return true;
}

bool TreeBuilder::start_object(std::size_t /*size*/) {
  open_.push_back(place(json(json::value_t::object)));
  return true;
}

bool TreeBuilder::key(string_t& k) {
  if (open_.size() == 1) {
    json name(k);
    reader_.take_parse_event(1, nlohmann::json::parse_event_t::key, name);
  }
  // A repeated key's later value replaces the earlier one.
  member_ = &open_.back()->get_ref<json::object_t&>()[k];
  return true;
}

bool TreeBuilder::start_array(std::size_t /*size*/) {
  json* array = place(json(json::value_t::array));
  if (open_.size() == 1) {
    reader_.take_parse_event(1, nlohmann::json::parse_event_t::array_start, *array);
  }
  open_.push_back(array);
  return true;
}

bool TreeBuilder::end(nlohmann::json::parse_event_t event) {
  json* done = open_.back();
  open_.pop_back();
  if (open_.size() == 1 && event == nlohmann::json::parse_event_t::array_end) {
    reader_.take_parse_event(1, event, *done);
  }
  if (open_.size() == 2 && open_.back()->is_array()) completed(event, *done);
  return true;
}

void TreeBuilder::completed(nlohmann::json::parse_event_t event, json& element) {
  if (!reader_.take_parse_event(2, event, element)) {
    open_.back()->get_ref<json::array_t&>().pop_back();
  }
}

template <class Record, class ReadOne>
void Reader::take_element(Streamed<Record>& s, const std::string& key, const json& element,
                          ReadOne read_one) {
  const std::size_t index = s.count++;
  if (s.failure) return;
  // The element is named by its place in the document, which has no tree
  // above it: the placeholders only carry the path.
  static const json placeholder;
  try {
    const Value top(placeholder);
    const Value list = top.member(placeholder, key);
    s.read.push_back(read_one(list.element(element, index)));
  } catch (...) {
    s.failure = std::current_exception();
  }
}

bool Reader::take_parse_event(int depth, nlohmann::json::parse_event_t event, json& parsed) {
  using Event = nlohmann::json::parse_event_t;
  static const std::string kMaterials = "materials", kNodes = "nodes";
  if (!stream_records_) return true;
  // Keys at depth 1 are the top-level object's.
  if (event == Event::key && depth == 1) {
    const std::string& key = parsed.get_ref<const std::string&>();
    last_key_ = key == kMaterials ? TopKey::kMaterials
                : key == kNodes   ? TopKey::kNodes
                                  : TopKey::kOther;
    // A repeated key, or materials after the nodes that counted them.
    if ((last_key_ == TopKey::kMaterials && (streamed_materials_.seen || streamed_nodes_.seen)) ||
        (last_key_ == TopKey::kNodes && streamed_nodes_.seen)) {
      throw RepeatedRecordKey{};
    }
    return true;
  }
  if (depth == 1 && (event == Event::array_start || event == Event::array_end)) {
    const bool start = event == Event::array_start;
    if (last_key_ == TopKey::kMaterials) {
      streamed_materials_.seen = true;
      streamed_materials_.inside = start;
    } else if (last_key_ == TopKey::kNodes) {
      streamed_nodes_.seen = true;
      streamed_nodes_.inside = start;
    }
    return true;
  }
  // An element is complete: an object or array at its end, or a plain value.
  if (depth != 2 ||
      (event != Event::object_end && event != Event::array_end && event != Event::value)) {
    return true;
  }
  if (streamed_materials_.inside) {
    take_element(streamed_materials_, kMaterials, parsed,
                 [this](const Value& v) { return read_material(v, 0); });
    return false;  // the tree drops the element
  }
  if (streamed_nodes_.inside) {
    // Nodes are checked against the materials read so far, which are all
    // of them (later ones restart the parse); a failed material stops the
    // reading before the nodes.
    if (streamed_materials_.failure) return false;
    doc_.materials.swap(streamed_materials_.read);
    take_element(streamed_nodes_, kNodes, parsed, [this](const Value& v) { return read_node(v); });
    doc_.materials.swap(streamed_materials_.read);
    return false;
  }
  return true;
}

void Reader::read_class_data(const Value& v) {
  v.expect_array();
  for (std::size_t i = 0; i < v.size(); ++i) {
    Value entry = v.at(i);
    entry.only({"class_id", "chunks"});
    if (!entry.has("class_id")) entry.fail("missing field \"class_id\"");
    Value id = entry.at("class_id");
    id.expect_array();
    if (id.size() != 2) id.fail("expected [a, b], two 32-bit numbers");
    host::PluginClassData data;
    data.class_id = {static_cast<std::uint32_t>(id.at(0).integer(0, 0xFFFFFFFFLL)),
                     static_cast<std::uint32_t>(id.at(1).integer(0, 0xFFFFFFFFLL))};
    for (const host::PluginClassData& earlier : doc_.class_data) {
      if (earlier.class_id == data.class_id) id.fail("the class appears twice");
    }
    if (entry.has("chunks")) {
      Value chunks = entry.at("chunks");
      chunks.expect_array();
      for (std::size_t c = 0; c < chunks.size(); ++c) {
        Value chunk = chunks.at(c);
        chunk.only({"id", "data"});
        if (!chunk.has("id")) chunk.fail("missing field \"id\"");
        host::ClassDataChunk out;
        out.id = static_cast<std::uint16_t>(chunk.at("id").integer(0, 0xFFFF));
        if (chunk.has("data")) {
          Value data_text = chunk.at("data");
          if (!data_text.raw().is_string())
            data_text.fail("expected a base64 string, found " + data_text.kind());
          if (!host::base64_decode(data_text.raw().get<std::string>(), out.data)) {
            data_text.fail("the chunk data is not base64");
          }
        }
        data.chunks.push_back(std::move(out));
      }
    }
    doc_.class_data.push_back(std::move(data));
  }
}

void Reader::check_sample_count(const Value& top) const {
  std::function<long long(const std::vector<Material>&)> materials =
      [&](const std::vector<Material>& ms) {
        long long n = 0;
        for (const Material& m : ms) n += 1 + materials(m.sub_materials);
        return n;
      };
  long long series = static_cast<long long>(doc_.nodes.size()) + materials(doc_.materials);
  for (const Node& n : doc_.nodes) {
    for (const Modifier& m : n.object.modifiers)
      series += m.type == ModifierType::kMorpher ? 100 : 0;
  }
  long long frames = static_cast<long long>(doc_.end_frame) - doc_.start_frame + 1;
  if (series * frames > kMaxSamples) {
    top.fail("the scene needs more than " + std::to_string(kMaxSamples) + " samples over its " +
             std::to_string(frames) + " frames; shorten the animation range");
  }
}

void Reader::check_nodes(const Value& nodes) {
  // Named by place: the nodes' trees may be gone (read while parsing).
  auto fail_at = [&](std::size_t i, const char* field, const std::string& problem) {
    throw DocError{nodes.path() + "/" + std::to_string(i) + field, problem};
  };
  std::unordered_map<int, std::size_t> position;
  for (std::size_t i = 0; i < doc_.nodes.size(); ++i) position[doc_.nodes[i].id] = i;
  std::vector<int> depth(doc_.nodes.size(), -1);  // -2: being walked
  for (std::size_t i = 0; i < doc_.nodes.size(); ++i) {
    const Node& n = doc_.nodes[i];
    if (n.parent != kNone && !position.count(n.parent)) {
      fail_at(i, "/parent", "no node has the id " + std::to_string(n.parent));
    }
  }
  constexpr std::size_t kRoot = static_cast<std::size_t>(-1);
  for (std::size_t i = 0; i < doc_.nodes.size(); ++i) {
    // Walk up to the root or to a node of known depth, then set the depths
    // on the way back down.
    std::vector<std::size_t> chain;
    std::size_t k = i;
    while (k != kRoot && depth[k] == -1) {
      depth[k] = -2;
      chain.push_back(k);
      int parent = doc_.nodes[k].parent;
      if (parent == kNone) {
        k = kRoot;
        break;
      }
      k = position[parent];
      if (depth[k] == -2) {
        fail_at(
            k, "/parent",
            "the node hierarchy has a cycle through the node " + std::to_string(doc_.nodes[k].id));
      }
    }
    int next = k == kRoot ? 0 : depth[k] + 1;
    for (std::size_t c = chain.size(); c-- > 0;) {
      depth[chain[c]] = next++;
      if (depth[chain[c]] > kMaxHierarchyDepth) {
        fail_at(
            chain[c], "",
            "the node hierarchy is deeper than " + std::to_string(kMaxHierarchyDepth) + " levels");
      }
    }
  }
  for (const auto& [path, id] : bone_refs_) {
    if (!position.count(id)) throw DocError{path, "no node has the id " + std::to_string(id)};
  }
  for (const auto& [path, id] : camera_targets_) {
    if (!position.count(id)) throw DocError{path, "no node has the id " + std::to_string(id)};
  }
}

}  // namespace json_reader

LoadResult parse_scene_document(const std::string& text, const std::string& source) {
  LoadResult result;
  auto failed = [&](const std::string& path, const std::string& problem) {
    result.ok = false;
    result.error = source + (path.empty() ? std::string(", at the top level") : ", at " + path) +
                   ": " + problem;
    return result;
  };
  if (text.size() > kMaxDocumentBytes) return failed("", "the document is too large");
  if (!nesting_within(text, kMaxNesting)) {
    return failed(
        "", "the document is nested more than " + std::to_string(kMaxNesting) + " levels deep");
  }
  json root;
  std::optional<Reader> reader;
  try {
    // Records are read as the parser completes them; a document that
    // repeats their keys is parsed again into a whole tree.
    for (bool stream : {true, false}) {
      try {
        reader.emplace(stream);
        json_reader::TreeBuilder builder(root, *reader);
        json::sax_parse(text, &builder);
        break;
      } catch (const json_reader::RepeatedRecordKey&) {
      }
    }
  } catch (const json::exception& e) {
    result.ok = false;
    result.error = source + ": not valid JSON: " + strip_json_prefix(e.what());
    return result;
  }
  try {
    result.document = reader->read(root);
    if (!reader->has_file_name()) {
      // The source is a path in the host code page: a two-byte character's
      // second byte is no separator.
      const std::size_t slash = host::cp932_last_separator(source);
      result.document.file_name = slash == std::string::npos ? source : source.substr(slash + 1);
    }
  } catch (const DocError& e) {
    return failed(e.path, e.problem);
  } catch (const json::exception& e) {
    return failed("", strip_json_prefix(e.what()));
  } catch (const std::bad_alloc&) {
    return failed("", "the document is too large for memory");
  }
  result.ok = true;
  return result;
}

LoadResult load_scene_document(const std::string& path) {
  return load_scene_document_up_to(path, kMaxDocumentBytes);
}

LoadResult load_scene_document_up_to(const std::string& path, std::size_t max_bytes) {
  auto refused = [&](const std::string& problem) {
    LoadResult r;
    r.error = path + ": " + problem;
    return r;
  };
  const std::string system = host::system_path(path);
  struct stat st {};
  if (::stat(system.c_str(), &st) != 0) return refused("the file cannot be opened");
  if (S_ISDIR(st.st_mode)) return refused("a folder, not a scene document");
  // A regular file says its size; a pipe or a device is read until it ends.
  if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > max_bytes) {
    return refused("the file is too large to be a scene document");
  }
  std::FILE* in = std::fopen(system.c_str(), "rb");
  if (in == nullptr) return refused("the file cannot be opened");
  host::note_file_read(path);
  std::string text;
  if (S_ISREG(st.st_mode)) text.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  bool too_large = false;
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (n > max_bytes - text.size()) {
      too_large = true;
      break;
    }
    text.append(buffer, n);
  }
  bool read_error = std::ferror(in) != 0;
  std::fclose(in);
  if (too_large) return refused("the file is too large to be a scene document");
  if (read_error) return refused("the file cannot be read");
  LoadResult result = parse_scene_document(text, path);
  // Relative bitmap names and map paths are taken from the document's
  // folder, which is absolute like the folder of a scene the host opened. A
  // piped document has no folder of its own: the current folder stands in.
  if (result.ok) {
    const std::size_t slash = host::cp932_last_separator(path);
    const bool in_folder = slash != std::string::npos && S_ISREG(st.st_mode);
    result.document.folder =
        host::absolute_path(in_folder ? path.substr(0, slash == 0 ? 1 : slash) : std::string("."));
    for (std::string& dir : result.document.map_paths) {
      if (host::path_is_absolute(dir)) continue;
      const std::string& folder = result.document.folder;
      dir = folder.back() == '/' ? folder + dir : folder + "/" + dir;
    }
  }
  return result;
}

}  // namespace kavro::doc
