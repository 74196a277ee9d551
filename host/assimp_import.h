// Scenes from modelling tools (FBX, glTF, COLLADA, 3DS, OBJ and the other
// formats Assimp reads) mapped into a scene document, as a careful tool
// would: the file's axes and units turned into the host's (Z up, metres),
// the node hierarchy with names, transforms and user properties, one mesh
// object per node with welded positions and their own indexed channels for
// texture coordinates, normals and colours, quads kept in the polygon view,
// skins, animation keys, morph weights, materials with their diffuse
// texture, lights and cameras. docs/importing.md gives every rule.
#pragma once

#include <string>

#include "host/scene_io.h"

namespace kavro::host {

SceneLoadResult import_with_assimp(const std::string& path, const ImportOptions& options);

}  // namespace kavro::host
