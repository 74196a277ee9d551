// Imported scenes through the whole exporter: exporting a file from a
// modelling tool directly gives the same files as importing it, saving the
// document and exporting that; the same holds for the example documents
// saved elsewhere; quads of an imported mesh reach the model file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <string>

#include "exporter/kavro_exporter.h"
#include "host/recording_host.h"
#include "host/scene_io.h"
#include "tests/support/gltf_builder.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

constexpr float kS = 0.70710678f;

std::string source_dir() {
  const char* s = std::getenv("KAVRO_SOURCE_DIR");
  return s != nullptr ? s : "..";
}

// Every file the export writes, by extension ("" when the export failed).
std::map<std::string, std::string> export_files(const std::string& scene_path,
                                                const test::TempDir& out) {
  host::RecordingHost host;
  std::unique_ptr<SceneExtraction> scene = open_scene(scene_path, host, {});
  std::map<std::string, std::string> files;
  if (!scene) return files;
  KavroExporter exporter(host, exporter_stages());
  ExportOptions& o = current_options();
  reset_options(o, true);
  o.output_imd = o.output_ica = o.output_iva = o.output_ima = o.output_ita = o.output_itp = 1;
  if (exporter.DoExport(out.file("model.imd"), *scene, true, 0) == 0) return files;
  for (const char* ext : {"imd", "ica", "iva", "ima", "ita", "itp"}) {
    files[ext] = test::read_file(out.file(std::string("model.") + ext));
  }
  return files;
}

// Texture paths say where the image was found; the rest must agree.
std::string without_paths(const std::string& text) {
  static const std::regex path("path=\"[^\"]*\"");
  return std::regex_replace(text, path, "path=\"\"");
}

void expect_same_export(const std::string& original, const std::string& what) {
  test::TempDir dir, direct_out, saved_out;
  std::map<std::string, std::string> direct = export_files(original, direct_out);
  ASSERT_FALSE(direct.empty()) << what << ": the direct export failed";
  host::SceneLoadResult loaded = host::load_scene_file(original);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  std::string error;
  ASSERT_TRUE(host::save_scene_file(loaded.document, dir.file("saved.kscene"), {}, error)) << error;
  std::map<std::string, std::string> saved = export_files(dir.file("saved.kscene"), saved_out);
  ASSERT_FALSE(saved.empty()) << what << ": the export of the saved document failed";
  for (const auto& [ext, text] : direct) {
    EXPECT_EQ(without_paths(saved[ext]), without_paths(text)) << what << "." << ext;
  }
}

test::Gltf animated_skin() {
  test::Gltf g;
  int pos = g.floats({0, 0, 0, 0, 2, 0, 1, 2, 0, 1, 0, 0}, "VEC3");
  int idx = g.indices({0, 1, 2, 0, 2, 3});
  int joints = g.joints({0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
  int weights = g.floats({1, 0, 0, 0, 1, 0, 0, 0, 0.5f, 0.5f, 0, 0, 1, 0, 0, 0}, "VEC4");
  int ibm = g.floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0,  0, 1,
                      1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1},
                     "MAT4");
  int times = g.floats({0, 0.5f, 1}, "SCALAR");
  int turns = g.floats({0, 0, kS, kS, 0, 0, 0.38268343f, 0.9238795f, 0, 0, 0, 1}, "VEC4");
  auto& j = g.json();
  j["scenes"] = {{{"nodes", {0, 1}}}};
  j["nodes"] = {{{"name", "Body"}, {"mesh", 0}, {"skin", 0}, {"extras", {{"Kvs_no_cut", true}}}},
                {{"name", "Root"}, {"children", {2}}, {"translation", {0, 0, 0.5}}},
                {{"name", "Tip"}, {"translation", {0, 1, 0}}}};
  j["skins"] = {{{"joints", {1, 2}}, {"inverseBindMatrices", ibm}}};
  j["materials"] = {
      {{"name", "Skin"}, {"pbrMetallicRoughness", {{"baseColorFactor", {1, 0.5, 0.25, 1}}}}}};
  j["meshes"] = {
      {{"primitives",
        {{{"attributes", {{"POSITION", pos}, {"JOINTS_0", joints}, {"WEIGHTS_0", weights}}},
          {"indices", idx},
          {"material", 0}}}}}};
  j["animations"] = {
      {{"samplers", {{{"input", times}, {"output", turns}}}},
       {"channels", {{{"sampler", 0}, {"target", {{"node", 2}, {"path", "rotation"}}}}}}}};
  return g;
}

TEST(ImportRoundTrip, ImportedFilesExportAsTheirSavedDocuments) {
  test::TempDir dir;
  test::write_file(dir.file("skin.gltf"), animated_skin().text());
  expect_same_export(dir.file("skin.gltf"), "skin.gltf");
  test::write_file(dir.file("quads.obj"),
                   "o Quads\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
                   "f 1 2 3 4\nf 2 5 6 3\n");
  expect_same_export(dir.file("quads.obj"), "quads.obj");
}

TEST(ImportRoundTrip, ExampleDocumentsExportTheSameFromAnotherFolder) {
  for (const char* name : {"robot", "character", "warnings", "textured"}) {
    expect_same_export(source_dir() + "/examples/" + name + ".kscene", name);
  }
}

TEST(ImportRoundTrip, ExampleFilesFromModellingToolsExportAndRoundTrip) {
  // examples/walker.glb and examples/kiosk.fbx (examples/make_imports.cpp).
  for (const char* name : {"walker.glb", "kiosk.fbx"}) {
    expect_same_export(source_dir() + "/examples/" + name, name);
  }
  test::TempDir out;
  std::map<std::string, std::string> walker =
      export_files(source_dir() + "/examples/walker.glb", out);
  ASSERT_FALSE(walker.empty());
  // The knee bends 30 degrees at half a second (frame 15 of 0 to 30).
  EXPECT_NE(walker["ica"].find("frame_size=\"31\""), std::string::npos);
  EXPECT_NE(walker["ica"].find(" 30.000000 "), std::string::npos);
  std::map<std::string, std::string> kiosk =
      export_files(source_dir() + "/examples/kiosk.fbx", out);
  ASSERT_FALSE(kiosk.empty());
  EXPECT_NE(kiosk["imd"].find("triangle_size=\"0\" quad_size=\"7\"/>"), std::string::npos);
}

TEST(ImportRoundTrip, QuadsOfAnImportedMeshReachTheModel) {
  test::TempDir dir, out;
  test::write_file(dir.file("quads.obj"),
                   "o Quads\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
                   "f 1 2 3 4\nf 2 5 6 3\n");
  std::map<std::string, std::string> files = export_files(dir.file("quads.obj"), out);
  ASSERT_FALSE(files.empty());
  // Two quads, no triangles, in the model's output information.
  EXPECT_NE(files["imd"].find("triangle_size=\"0\" quad_size=\"2\""), std::string::npos)
      << files["imd"];
}

}  // namespace
}  // namespace kavro
