// A scene built in code, the recording host around it and the menu plug-in
// started on it: what every menu test begins with.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/plugin_host.h"
#include "host/recording_host.h"
#include "host/scene_edit.h"
#include "menu/global_menu.h"

namespace kavro::menu::testing {

inline doc::Material platform(const std::string& name,
                              std::vector<std::pair<std::string, double>> params = {}) {
  doc::Material m;
  m.name = name;
  m.cls = doc::MaterialClass::kKavroStandard;
  m.params = std::move(params);
  return m;
}

inline doc::Material standard(const std::string& name) {
  doc::Material m;
  m.name = name;
  return m;
}

inline doc::Material multi(const std::string& name, std::vector<doc::Material> subs) {
  doc::Material m;
  m.name = name;
  m.cls = doc::MaterialClass::kMulti;
  m.sub_materials = std::move(subs);
  return m;
}

struct Fixture {
  host::RecordingHost recording;
  host::SceneSession session{recording};
  host::RecordingPluginHost plugin{recording, session};
  GlobalMenu menu{plugin};

  Fixture() {
    session.set_scene({}, "test.kscene");
    menu.Start();
  }

  doc::SceneDocument& scene() { return session.scene(); }

  // Adds a node (a mesh with one face of each material id in `ids` when
  // `mesh`); returns its position.
  int add_node(const std::string& name, int material = doc::kNone, int parent_id = doc::kNone,
               bool mesh = true, std::vector<int> ids = {0}) {
    doc::Node n;
    n.id = static_cast<int>(scene().nodes.size()) + 1;
    n.name = name;
    n.parent = parent_id;
    n.material = material;
    n.has_object = true;
    n.object.cls = mesh ? doc::ObjectClass::kMesh : doc::ObjectClass::kHelper;
    for (int id : ids) {
      doc::Face f;
      f.material = id;
      n.object.mesh.faces.push_back(f);
    }
    scene().nodes.push_back(n);
    return static_cast<int>(scene().nodes.size()) - 1;
  }
  int add_material(doc::Material m) {
    scene().materials.push_back(std::move(m));
    return static_cast<int>(scene().materials.size()) - 1;
  }
  void select(std::vector<int> nodes) {
    session.ClearSelection();
    for (int n : nodes) session.SelectNode(n, false);
  }
  // Names of the selected nodes, in selection order.
  std::vector<std::string> selected_names() {
    std::vector<std::string> names;
    for (int n : session.selection()) names.push_back(scene().nodes[n].name);
    return names;
  }
  std::string prop(int node, const char* key) {
    std::string value;
    if (!host::GetUserPropString(scene().nodes[node], key, value)) return "(none)";
    return value;
  }
  double param(int material, const char* name) {
    double value = -999;
    host::GetMaterialParam(scene().materials[material], name, value);
    return value;
  }
};

}  // namespace kavro::menu::testing
