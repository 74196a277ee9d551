// Editing services over the open scene document, shaped after the host
// calls the scene-preparation tools make: node user properties as strings
// and booleans (INode::Get/SetUserPropString, Get/SetUserPropBool), platform
// material parameters by name, the material a node uses, deselecting, and
// turning a material into a platform material.
#pragma once

#include <string>
#include <vector>

#include "host/scene_document.h"

namespace kavro::host {

// User properties, read the same way by the exporter's node views. A string
// property reads as its text, a boolean as "true" or "false", a number as
// "%g". A boolean reads true from a boolean true, a nonzero number, the texts
// "true" and "yes" (any case) or a text that starts with a nonzero number.
// Both readers give false when the node has no such key.
bool GetUserPropString(const doc::Node& node, const std::string& key, std::string& value);
bool GetUserPropBool(const doc::Node& node, const std::string& key, bool& value);
// Writing replaces the property of that key (whatever its kind) or adds it.
void SetUserPropString(doc::Node& node, const std::string& key, const std::string& value);
void SetUserPropBool(doc::Node& node, const std::string& key, bool value);

// The two platform material classes ("KAVRO Standard", "KAVRO Morpher").
bool is_platform_material(const doc::Material& material);

// Parameters by name: false (and `value` untouched) when the material has
// none of that name. Setting adds a missing parameter.
bool GetMaterialParam(const doc::Material& material, const std::string& name, double& value);
void SetMaterialParam(doc::Material& material, const std::string& name, double value);
// An integer parameter, 0 when the material has none.
int material_int(const doc::Material& material, const std::string& name);

// The material at a path of indices: the top-level material, then a
// sub-material at each further level; null when an index is out of range.
doc::Material* material_at_path(doc::SceneDocument& scene, const std::vector<int>& path);

// A node's own material (INode::GetMtl), or null.
doc::Material* node_material(doc::SceneDocument& scene, const doc::Node& node);
const doc::Material* node_material(const doc::SceneDocument& scene, const doc::Node& node);

// Removes one node from the selection (Interface::DeselectNode).
void DeselectNode(doc::SceneDocument& scene, int node_index);

// The parameters a new "KAVRO Standard" material starts with, in the order
// they are stored.
const std::vector<std::pair<std::string, double>>& kavro_standard_defaults();

// Makes a material a "KAVRO Standard" material: its class changes, its
// colours and map stay, parameters it has keep their values and the missing
// ones get their defaults. A multi-material is refused (false): its
// sub-materials are made platform materials one by one instead.
bool make_kavro_material(doc::Material& material);

// Materials by name: the root materials and their sub-materials, depth
// first; null when none bears the name.
doc::Material* find_material(doc::SceneDocument& scene, const std::string& name);

}  // namespace kavro::host
