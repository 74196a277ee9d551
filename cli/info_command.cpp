// `kavro info`: a short summary of a scene file: nodes by kind, meshes,
// triangles and quads, materials, textures, the animation range and the
// importer's warnings.
#include <functional>
#include <memory>
#include <set>

#include "cli/command.h"
#include "exporter/pipeline/messages.h"
#include "host/cp932.h"

namespace kavro::cli {
namespace {

struct InfoArgs {
  std::string scene;
  ImportFlags flags;
};

struct Counts {
  int nodes = 0, meshes = 0, helpers = 0, bones = 0, lights = 0, cameras = 0, others = 0;
  long long vertices = 0, triangles = 0, quads = 0, polygons = 0;
  int skinned = 0, morphed = 0, animated = 0;
  int materials = 0, textured = 0;
  std::set<std::string> textures;
};

void count_materials(const std::vector<doc::Material>& materials, Counts& c) {
  for (const doc::Material& m : materials) {
    if (m.cls != doc::MaterialClass::kMulti) ++c.materials;
    if (m.has_diffuse_map && m.diffuse_map.cls == doc::TexmapClass::kBitmap &&
        !m.diffuse_map.file.empty()) {
      ++c.textured;
      c.textures.insert(m.diffuse_map.file);
    }
    count_materials(m.sub_materials, c);
  }
}

Counts count(const doc::SceneDocument& d) {
  Counts c;
  for (const doc::Node& n : d.nodes) {
    ++c.nodes;
    if (n.transform.position.animated() || n.transform.rotation.animated() ||
        n.transform.scale.animated()) {
      ++c.animated;
    }
    switch (n.object.cls) {
      case doc::ObjectClass::kMesh:
        ++c.meshes;
        break;
      case doc::ObjectClass::kHelper:
        ++c.helpers;
        break;
      case doc::ObjectClass::kBone:
        ++c.bones;
        break;
      case doc::ObjectClass::kLight:
        ++c.lights;
        break;
      case doc::ObjectClass::kCamera:
        ++c.cameras;
        break;
      default:
        ++c.others;
        break;
    }
    if (!n.object.has_mesh) continue;
    const doc::Mesh& m = n.object.mesh;
    c.vertices += static_cast<long long>(m.vertices.size());
    if (m.polygons.empty()) {
      c.triangles += static_cast<long long>(m.faces.size());
    } else {
      for (const doc::Polygon& p : m.polygons) {
        if (p.v.size() == 3) ++c.triangles;
        if (p.v.size() == 4) ++c.quads;
        if (p.v.size() > 4) ++c.polygons;
      }
    }
    for (const doc::Modifier& mod : n.object.modifiers) {
      if (mod.type == doc::ModifierType::kSkin) ++c.skinned;
      if (mod.type == doc::ModifierType::kMorpher) ++c.morphed;
    }
  }
  count_materials(d.materials, c);
  return c;
}

int run_info(const InfoArgs& a, const CommandContext& context) {
  std::unique_ptr<host::ConsoleHost> console = open_console(context, {});
  host::ImportOptions options = import_options(a.flags);
  ImportReporting reporting(*console, a.flags, a.scene);
  reporting.attach(options);
  host::SceneLoadResult loaded = host::load_scene_file(a.scene, options);
  if (!loaded.ok) {
    show_error(*console, "Can't read the scene " + loaded.error, "Scene Error");
    return kExitFailed;
  }
  const doc::SceneDocument& d = loaded.document;
  Counts c = count(d);
  std::FILE* out = context.out;
  std::fprintf(out, "Scene: %s\n", host::cp932_to_utf8(a.scene).c_str());
  std::fprintf(out,
               "Nodes: %d (meshes %d, helpers %d, bones %d, lights %d, cameras %d, other %d)\n",
               c.nodes, c.meshes, c.helpers, c.bones, c.lights, c.cameras, c.others);
  std::fprintf(out,
               "Geometry: %lld vertices, %lld triangles, %lld quads, %lld larger polygons; "
               "%d skinned, %d with morph weights\n",
               c.vertices, c.triangles, c.quads, c.polygons, c.skinned, c.morphed);
  std::fprintf(out, "Materials: %d (%d textured)\n", c.materials, c.textured);
  std::fprintf(out, "Textures: %zu (%zu embedded)\n", c.textures.size(), d.embedded_images.size());
  std::fprintf(out, "Animation: frames %d to %d, %d animated nodes\n", d.start_frame, d.end_frame,
               c.animated);
  std::fprintf(out, "Warnings: %zu\n", loaded.warnings.size());
  for (const std::string& w : loaded.warnings) {
    std::fprintf(out, "  %s\n", host::cp932_to_utf8(w).c_str());
  }
  return kExitOk;
}

}  // namespace

void add_info_command(CLI::App& app, CommandContext& context) {
  CLI::App* command =
      app.add_subcommand("info",
                         "print a short summary of a scene file\n"
                         "\n"
                         "Reads SCENE (a .kscene or any file the importer reads) and prints its\n"
                         "nodes by kind, its geometry, materials, textures, animation range and\n"
                         "the importer's warnings.");
  auto args = std::make_shared<InfoArgs>();
  command->add_option("SCENE", args->scene, "the scene file")
      ->required()
      ->transform(to_host_text());
  add_import_flags(*command, args->flags);
  command->footer("Exit status: 0 success, 1 the scene cannot be read, 2 usage error.");
  command->callback([args, &context] { context.status = run_info(*args, context); });
}

}  // namespace kavro::cli
