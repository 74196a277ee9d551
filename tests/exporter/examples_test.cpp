// The bundled example scenes, exported with every output kind through the
// complete exporter: each intermediate file is well-formed XML, the textured
// example converts to several formats, and between them the examples give
// every animation file real keys.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "exporter/kavro_exporter.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

struct Exported {
  int result = 0;
  std::map<std::string, std::string> files;  // by extension
  std::vector<std::string> listener;
};

Exported export_example(const std::string& name, const test::TempDir& dir) {
  Exported e;
  const char* source = std::getenv("KAVRO_SOURCE_DIR");
  std::string path =
      std::string(source != nullptr ? source : "..") + "/examples/" + name + ".kscene";
  host::RecordingHost host;
  std::unique_ptr<SceneExtraction> scene = open_scene(path, host, {});
  if (!scene) return e;
  KavroExporter exporter(host, exporter_stages());
  ExportOptions& o = current_options();
  o.output_imd = o.output_ica = o.output_iva = o.output_ima = o.output_ita = o.output_itp = 1;
  e.result = exporter.DoExport(dir.file(name + ".imd"), *scene, true, 0);
  for (const char* ext : {"imd", "ica", "iva", "ima", "ita", "itp"}) {
    e.files[ext] = test::read_file(dir.file(name + "." + ext));
  }
  e.listener = host.listener;
  return e;
}

bool well_formed(const std::string& path) {
  return std::system(("xmllint --noout '" + path + "' >/dev/null 2>&1").c_str()) == 0;
}

bool has_moving_channel(const std::string& text) {
  // A channel line with more than one stored value.
  std::size_t at = 0;
  while ((at = text.find("data_size=\"", at)) != std::string::npos) {
    at += 11;
    if (std::atoi(text.c_str() + at) > 1) return true;
  }
  return false;
}

TEST(Examples, EveryExampleExportsWellFormedFiles) {
  bool lint = test::xmllint_available();
  for (const char* name : {"robot", "character", "warnings", "textured"}) {
    test::TempDir dir;
    Exported e = export_example(name, dir);
    ASSERT_EQ(e.result, 1) << name;
    for (const auto& [ext, text] : e.files) {
      EXPECT_FALSE(text.empty()) << name << "." << ext;
      EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << name << "." << ext;
      if (lint) {
        EXPECT_TRUE(well_formed(dir.file(std::string(name) + "." + ext))) << name << "." << ext;
      }
    }
  }
}

TEST(Examples, TheTexturedExampleConvertsToSeveralFormats) {
  test::TempDir dir;
  Exported e = export_example("textured", dir);
  ASSERT_EQ(e.result, 1);
  const std::string& imd = e.files["imd"];
  for (const char* block : {"<tex_image_array", "<tex_palette_array", "<material_array"}) {
    EXPECT_NE(imd.find(block), std::string::npos) << block;
  }
  std::set<std::string> formats;
  std::size_t at = 0;
  while ((at = imd.find("\t\tformat=\"", at)) != std::string::npos) {
    at += 10;
    formats.insert(imd.substr(at, imd.find('"', at) - at));
  }
  EXPECT_GE(formats.size(), 4u);
  EXPECT_TRUE(formats.count("tex4x4"));
  EXPECT_TRUE(formats.count("direct"));
}

TEST(Examples, BetweenThemEveryAnimationFileCarriesRealKeys) {
  std::map<std::string, bool> animated;
  for (const char* name : {"robot", "character", "textured"}) {
    test::TempDir dir;
    Exported e = export_example(name, dir);
    ASSERT_EQ(e.result, 1) << name;
    animated["ica"] = animated["ica"] || has_moving_channel(e.files["ica"]);
    animated["ima"] = animated["ima"] || has_moving_channel(e.files["ima"]);
    animated["ita"] = animated["ita"] || has_moving_channel(e.files["ita"]);
    // Visibility and pattern keys: more keys than nodes, or any pattern key.
    bool visibility_still = false, pattern_still = false;
    for (const std::string& line : e.listener) {
      visibility_still = visibility_still || line == "Warning: No visibility animation.\n";
      pattern_still = pattern_still || line == "Warning: No texture pattern animation.\n";
    }
    animated["iva"] = animated["iva"] || !visibility_still;
    animated["itp"] = animated["itp"] || !pattern_still;
  }
  for (const char* ext : {"ica", "iva", "ima", "ita", "itp"}) EXPECT_TRUE(animated[ext]) << ext;
}

}  // namespace
}  // namespace kavro
