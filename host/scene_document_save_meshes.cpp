// Writes the meshes of a scene document and the modifiers on them.
#include "host/scene_document_save.h"

namespace kavro::host::document_writer {

void Writer::point_list(const char* key, const std::vector<max::Point3>& points, int level,
                        bool uv) {
  if (points.empty()) return;
  field(level, key);
  out_ += "[";
  for (std::size_t i = 0; i < points.size(); ++i) {
    out_ += i ? ",\n" : "\n";
    indent(level + 1);
    const max::Point3& p = points[i];
    if (uv && p.z == 0 && !std::signbit(p.z)) {
      out_ += "[";
      real(p.x);
      out_ += ", ";
      real(p.y);
      out_ += "]";
    } else {
      point(p);
    }
  }
  out_ += "\n";
  indent(level);
  out_ += "]";
}

void Writer::corners(const std::array<int, 3>& c) {
  out_ += "[";
  integer(c[0]);
  out_ += ", ";
  integer(c[1]);
  out_ += ", ";
  integer(c[2]);
  out_ += "]";
}

void Writer::mesh(const doc::Mesh& m, int level) {
  open_object();
  point_list("vertices", m.vertices, level + 1, false);
  // Normals are always written: without them the reader would make its
  // own from the faces.
  point_list("normals", m.normals, level + 1, false);
  point_list("texture_vertices", m.tex_vertices, level + 1, true);
  point_list("color_vertices", m.color_vertices, level + 1, false);
  if (!m.faces.empty()) {
    if (m.normals.empty()) throw SaveError{"a mesh with faces has no normals"};
    field(level + 1, "faces");
    out_ += "[";
    const std::array<int, 3> zero{0, 0, 0};
    for (std::size_t i = 0; i < m.faces.size(); ++i) {
      const doc::Face& f = m.faces[i];
      out_ += i ? ",\n" : "\n";
      indent(level + 2);
      // A channel index list is left out when it is what the reader
      // assumes: the vertex indices when the channel has entries, zeros
      // when it has none.
      bool t = f.t != (m.tex_vertices.empty() ? zero : f.v);
      bool c = f.c != (m.color_vertices.empty() ? zero : f.v);
      bool n = f.n != f.v;
      if (!t && !c && !n && f.material == 0) {
        corners(f.v);
        continue;
      }
      out_ += "{\"v\": ";
      corners(f.v);
      if (t) {
        out_ += ", \"t\": ";
        corners(f.t);
      }
      if (c) {
        out_ += ", \"c\": ";
        corners(f.c);
      }
      if (n) {
        out_ += ", \"n\": ";
        corners(f.n);
      }
      if (f.material != 0) {
        out_ += ", \"material\": ";
        integer(f.material);
      }
      out_ += "}";
    }
    out_ += "\n";
    indent(level + 1);
    out_ += "]";
  }
  if (!m.polygons.empty()) {
    field(level + 1, "polygons");
    out_ += "[";
    for (std::size_t i = 0; i < m.polygons.size(); ++i) {
      const doc::Polygon& p = m.polygons[i];
      out_ += i ? ",\n" : "\n";
      indent(level + 2);
      out_ += "{\"v\": [";
      for (std::size_t k = 0; k < p.v.size(); ++k) {
        if (k) out_ += ", ";
        integer(p.v[k]);
      }
      out_ += "]";
      if (p.material != 0) {
        out_ += ", \"material\": ";
        integer(p.material);
      }
      out_ += "}";
    }
    out_ += "\n";
    indent(level + 1);
    out_ += "]";
  }
  close_object(level);
}

void Writer::modifier(const doc::Modifier& m, int level) {
  open_object();
  static const char* const kTypes[] = {"skin", "morpher", "other"};
  field(level + 1, "type");
  out_ += "\"";
  out_ += kTypes[static_cast<int>(m.type)];
  out_ += "\"";
  if (m.type == doc::ModifierType::kOther) {
    field(level + 1, "internal_name");
    text(m.internal_name);
  }
  if (!m.enabled) {
    field(level + 1, "enabled");
    boolean(false);
  }
  if (m.type == doc::ModifierType::kSkin) {
    field(level + 1, "bones");
    out_ += "[";
    for (std::size_t i = 0; i < m.bones.size(); ++i) {
      if (i) out_ += ", ";
      integer(m.bones[i]);
    }
    out_ += "]";
    field(level + 1, "weights");
    out_ += "[";
    for (std::size_t v = 0; v < m.weights.size(); ++v) {
      out_ += v ? ",\n" : "\n";
      indent(level + 2);
      out_ += "[";
      for (std::size_t k = 0; k < m.weights[v].size(); ++k) {
        if (k) out_ += ", ";
        out_ += "[";
        integer(m.weights[v][k].bone);
        out_ += ", ";
        real(m.weights[v][k].weight);
        out_ += "]";
      }
      out_ += "]";
    }
    if (!m.weights.empty()) {
      out_ += "\n";
      indent(level + 1);
    }
    out_ += "]";
  }
  if (m.type == doc::ModifierType::kMorpher && !m.channels.empty()) {
    field(level + 1, "channels");
    out_ += "[";
    for (std::size_t i = 0; i < m.channels.size(); ++i) {
      if (i) out_ += ", ";
      track(m.channels[i]);
    }
    out_ += "]";
  }
  close_object(level);
}

}  // namespace kavro::host::document_writer
