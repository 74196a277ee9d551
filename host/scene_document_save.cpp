// Writes a scene document as ".kscene" text. The layout is fixed: keys in
// the order docs/scene-format.md lists them (the plug-in class data last), user properties and
// parameters sorted by name (the reader keeps them so), fields at their defaults left out, floats
// in the shortest form that reads back to the same float, one vertex or face per line. Reading the
// text gives the same document, and writing that again gives the same bytes.
#include "host/scene_document_save.h"

namespace kavro::host {
namespace document_writer {

std::string Writer::run(const doc::SceneDocument& d) {
  out_ += "{";
  field(1, "format");
  out_ += "\"kavro-scene\"";
  field(1, "version");
  out_ += "1";
  field(1, "file_name");
  text(d.file_name);
  if (d.ticks_per_frame != 160) {
    field(1, "ticks_per_frame");
    integer(d.ticks_per_frame);
  }
  if (d.start_frame != 0 || d.end_frame != 0) {
    field(1, "animation_range");
    out_ += "[";
    integer(d.start_frame);
    out_ += ", ";
    integer(d.end_frame);
    out_ += "]";
  }
  if (!d.selection.empty()) {
    field(1, "selection");
    out_ += "[";
    for (std::size_t i = 0; i < d.selection.size(); ++i) {
      if (i) out_ += ", ";
      integer(d.selection[i]);
    }
    out_ += "]";
  }
  if (!d.map_paths.empty()) {
    field(1, "map_paths");
    out_ += "[";
    for (std::size_t i = 0; i < d.map_paths.size(); ++i) {
      if (i) out_ += ", ";
      text(relocated(d.map_paths[i]));
    }
    out_ += "]";
  }
  if (!d.materials.empty()) {
    field(1, "materials");
    out_ += "[";
    for (std::size_t i = 0; i < d.materials.size(); ++i) {
      out_ += i ? ",\n" : "\n";
      indent(2);
      material(d.materials[i], 2);
    }
    out_ += "\n";
    indent(1);
    out_ += "]";
  }
  if (!d.nodes.empty()) {
    field(1, "nodes");
    out_ += "[";
    for (std::size_t i = 0; i < d.nodes.size(); ++i) {
      out_ += i ? ",\n" : "\n";
      indent(2);
      node(d.nodes[i]);
    }
    out_ += "\n";
    indent(1);
    out_ += "]";
  }
  if (!class_data_.empty()) {
    field(1, "plugin_class_data");
    out_ += "[";
    for (std::size_t i = 0; i < class_data_.size(); ++i) {
      const host::PluginClassData& c = class_data_[i];
      out_ += i ? ",\n" : "\n";
      indent(2);
      out_ += "{\"class_id\": [";
      integer(c.class_id.a);
      out_ += ", ";
      integer(c.class_id.b);
      out_ += "]";
      if (!c.chunks.empty()) {
        out_ += ", \"chunks\": [";
        for (std::size_t k = 0; k < c.chunks.size(); ++k) {
          if (k) out_ += ", ";
          out_ += "{\"id\": ";
          integer(c.chunks[k].id);
          if (!c.chunks[k].data.empty()) {
            out_ += ", \"data\": \"";
            out_ += base64_encode(c.chunks[k].data);
            out_ += "\"";
          }
          out_ += "}";
        }
        out_ += "]";
      }
      out_ += "}";
    }
    out_ += "\n";
    indent(1);
    out_ += "]";
  }
  out_ += "\n}\n";
  return std::move(out_);
}

}  // namespace document_writer

namespace {

using document_writer::SaveError;
using document_writer::Writer;

}  // namespace

bool scene_document_text(const doc::SceneDocument& document,
                         const std::vector<std::pair<std::string, std::string>>& image_references,
                         std::string& text, std::string& error,
                         const std::vector<PluginClassData>* class_data) {
  try {
    Writer writer(image_references, class_data != nullptr ? *class_data : document.class_data);
    text = writer.run(document);
    return true;
  } catch (const SaveError& e) {
    error = e.text;
    return false;
  }
}

}  // namespace kavro::host
