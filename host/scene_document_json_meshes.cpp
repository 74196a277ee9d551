// Reads the meshes of a scene document and the modifiers on them (skins,
// morphers).
#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "host/scene_document_json.h"

namespace kavro::doc::json_reader {

void Reader::check_index(const Value& v, int index, std::size_t count, const char* what) {
  if (index < 0 || static_cast<std::size_t>(index) >= count) {
    v.fail(std::string(what) + " index " + std::to_string(index) +
           " is out of range (the mesh has " + std::to_string(count) + ")");
  }
}

std::array<int, 3> Reader::read_corners(const Value& v) {
  v.expect_array();
  if (v.size() != 3) v.fail("a face has 3 corners, found " + std::to_string(v.size()));
  return {v.at(0).integer(), v.at(1).integer(), v.at(2).integer()};
}

Mesh Reader::read_mesh(const Value& v) {
  v.only({"vertices", "normals", "texture_vertices", "color_vertices", "faces", "polygons"});
  Mesh m;
  auto points = [&](const char* key, std::vector<max::Point3>& out, bool two_allowed) {
    if (!v.has(key)) return;
    Value a = v.at(key);
    a.expect_array();
    out.reserve(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      Value p = a.at(i);
      if (two_allowed && p.raw().is_array() && p.size() == 2) {
        out.push_back({p.at(0).real(), p.at(1).real(), 0});
      } else {
        out.push_back(read_point(p));
      }
    }
  };
  points("vertices", m.vertices, false);
  points("normals", m.normals, false);
  points("texture_vertices", m.tex_vertices, true);
  points("color_vertices", m.color_vertices, false);
  bool computed_normals = m.normals.empty();
  if (v.has("faces")) {
    Value fs = v.at("faces");
    fs.expect_array();
    m.faces.reserve(fs.size());
    for (std::size_t i = 0; i < fs.size(); ++i) {
      Value f = fs.at(i);
      Face face;
      auto channel = [&](const char* key, std::array<int, 3>& out, std::size_t count,
                         const char* what) {
        if (f.has(key)) {
          out = read_corners(f.at(key));
          for (std::size_t k = 0; k < 3; ++k) check_index(f.at(key).at(k), out[k], count, what);
        } else if (count > 0) {
          // Without its own indices a channel follows the vertex indices.
          out = face.v;
          for (std::size_t k = 0; k < 3; ++k) check_index(f.at("v").at(k), out[k], count, what);
        } else {
          out = {0, 0, 0};
        }
      };
      if (f.raw().is_array()) {
        face.v = read_corners(f);
        for (std::size_t k = 0; k < 3; ++k)
          check_index(f.at(k), face.v[k], m.vertices.size(), "vertex");
        auto follow = [&](std::array<int, 3>& out, std::size_t count, const char* what) {
          out = count > 0 ? face.v : std::array<int, 3>{0, 0, 0};
          if (count > 0) {
            for (std::size_t k = 0; k < 3; ++k) check_index(f.at(k), out[k], count, what);
          }
        };
        follow(face.t, m.tex_vertices.size(), "texture vertex");
        follow(face.c, m.color_vertices.size(), "colour vertex");
        if (!computed_normals) follow(face.n, m.normals.size(), "normal");
      } else {
        f.only({"v", "t", "c", "n", "material"});
        if (!f.has("v")) f.fail("a face needs \"v\"");
        face.v = read_corners(f.at("v"));
        for (std::size_t k = 0; k < 3; ++k) {
          check_index(f.at("v").at(k), face.v[k], m.vertices.size(), "vertex");
        }
        channel("t", face.t, m.tex_vertices.size(), "texture vertex");
        channel("c", face.c, m.color_vertices.size(), "colour vertex");
        if (computed_normals) {
          if (f.has("n")) f.at("n").fail("the mesh has no normals to index");
        } else {
          channel("n", face.n, m.normals.size(), "normal");
        }
        if (f.has("material")) face.material = f.at("material").integer(0, 65535);
      }
      if (computed_normals) face.n = face.v;
      m.faces.push_back(face);
    }
  }
  if (computed_normals && !m.faces.empty()) compute_normals(m);
  if (v.has("polygons")) {
    Value ps = v.at("polygons");
    ps.expect_array();
    m.polygons.reserve(ps.size());
    for (std::size_t i = 0; i < ps.size(); ++i) {
      Value p = ps.at(i);
      p.only({"v", "material"});
      if (!p.has("v")) p.fail("a polygon needs \"v\"");
      Value pv = p.at("v");
      pv.expect_array();
      if (pv.size() < 3) pv.fail("a polygon has at least 3 corners");
      Polygon poly;
      poly.v.reserve(pv.size());
      for (std::size_t k = 0; k < pv.size(); ++k) {
        int index = pv.at(k).integer();
        check_index(pv.at(k), index, m.vertices.size(), "vertex");
        poly.v.push_back(index);
      }
      if (p.has("material")) poly.material = p.at("material").integer(0, 65535);
      m.polygons.push_back(std::move(poly));
    }
  }
  return m;
}

void Reader::compute_normals(Mesh& m) {
  m.normals.assign(m.vertices.size(), max::Point3{});
  for (const Face& f : m.faces) {
    max::Point3 p0 = m.vertices[f.v[0]];
    max::Point3 n = max::CrossProd(m.vertices[f.v[1]] - p0, m.vertices[f.v[2]] - p0);
    for (int k : f.v) m.normals[k] = m.normals[k] + n;
  }
  for (max::Point3& n : m.normals) n = max::Normalize(n);
}

Modifier Reader::read_modifier(const Value& v, const Object& o) {
  v.only({"type", "internal_name", "enabled", "bones", "weights", "channels"});
  Modifier mod;
  if (!v.has("type")) v.fail("a modifier needs \"type\" (\"skin\", \"morpher\" or \"other\")");
  mod.type = static_cast<ModifierType>(v.at("type").word({"skin", "morpher", "other"}));
  mod.internal_name = mod.type == ModifierType::kSkin      ? "Skin"
                      : mod.type == ModifierType::kMorpher ? "Morpher"
                                                           : "";
  if (v.has("internal_name")) {
    if (mod.type != ModifierType::kOther)
      v.at("internal_name").fail("only an \"other\" modifier is named");
    mod.internal_name = v.at("internal_name").text();
  } else if (mod.type == ModifierType::kOther) {
    v.fail("an \"other\" modifier needs \"internal_name\"");
  }
  if (v.has("enabled")) mod.enabled = v.at("enabled").boolean();
  if (v.has("bones")) {
    if (mod.type != ModifierType::kSkin) v.at("bones").fail("only a skin has bones");
    Value bs = v.at("bones");
    bs.expect_array();
    for (std::size_t i = 0; i < bs.size(); ++i) {
      mod.bones.push_back(bs.at(i).integer(0));
      bone_refs_.push_back({bs.at(i).path(), mod.bones.back()});
    }
  }
  if (v.has("weights")) {
    if (mod.type != ModifierType::kSkin) v.at("weights").fail("only a skin has weights");
    Value ws = v.at("weights");
    ws.expect_array();
    if (ws.size() > o.mesh.vertices.size()) {
      ws.fail("the skin lists " + std::to_string(ws.size()) + " vertices but the mesh has " +
              std::to_string(o.mesh.vertices.size()));
    }
    mod.weights.reserve(ws.size());
    for (std::size_t i = 0; i < ws.size(); ++i) {
      Value list = ws.at(i);
      list.expect_array();
      std::vector<Influence> influences;
      for (std::size_t k = 0; k < list.size(); ++k) {
        Value pair = list.at(k);
        pair.expect_array();
        if (pair.size() != 2) pair.fail("an influence is [bone index, weight]");
        Influence inf;
        inf.bone = pair.at(0).integer(0);
        if (static_cast<std::size_t>(inf.bone) >= mod.bones.size()) {
          pair.at(0).fail("bone index " + std::to_string(inf.bone) +
                          " is out of range (the skin has " + std::to_string(mod.bones.size()) +
                          " bones)");
        }
        inf.weight = pair.at(1).real();
        influences.push_back(inf);
      }
      mod.weights.push_back(std::move(influences));
    }
  }
  if (v.has("channels")) {
    if (mod.type != ModifierType::kMorpher) v.at("channels").fail("only a morpher has channels");
    Value cs = v.at("channels");
    cs.expect_array();
    if (cs.size() > static_cast<std::size_t>(kMaxMorphChannels)) {
      cs.fail("a morpher has at most 100 channels");
    }
    for (std::size_t i = 0; i < cs.size(); ++i) mod.channels.push_back(read_float_track(cs.at(i)));
  }
  return mod;
}

}  // namespace kavro::doc::json_reader
