// `kavro import`, `kavro info` and the import options of `kavro export`.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "tests/cli/run_kavro.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

// A quad and a triangle on two materials, the quad one's texture missing.
const char* const kObj =
    "mtllib shapes.mtl\n"
    "o Shapes\n"
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\n"
    "usemtl Red\nf 1 2 3 4\n"
    "usemtl Blue\nf 2 5 3\n";
const char* const kMtl = "newmtl Red\nKd 1 0 0\nnewmtl Blue\nKd 0 0 1\n";

TEST(ImportCommands, ImportSavesADocumentThatExportsAndInfoSummarises) {
  test::TempDir dir;
  test::write_file(dir.file("shapes.obj"), kObj);
  test::write_file(dir.file("shapes.mtl"), kMtl);
  Result imported = kavro({"import", dir.file("shapes.obj"), dir.file("shapes.kscene")});
  ASSERT_EQ(imported.status, kExitOk) << imported.err;
  std::string saved = test::read_file(dir.file("shapes.kscene"));
  EXPECT_NE(saved.find("\"file_name\": \"shapes.obj\""), std::string::npos);
  EXPECT_NE(saved.find("\"class\": \"multi\""), std::string::npos);
  Result exported = kavro({"export", "-q", dir.file("shapes.kscene"), dir.file("a.imd")});
  EXPECT_EQ(exported.status, kExitOk) << exported.err;
  Result direct = kavro({"export", "-q", dir.file("shapes.obj"), dir.file("b.imd")});
  EXPECT_EQ(direct.status, kExitOk) << direct.err;
  Result info = kavro({"info", dir.file("shapes.obj")});
  ASSERT_EQ(info.status, kExitOk) << info.err;
  for (const char* line :
       {"Nodes: 1 (meshes 1, helpers 0, bones 0, lights 0, cameras 0, other 0)\n",
        "Geometry: 5 vertices, 1 triangles, 1 quads, 0 larger polygons; 0 skinned, 0 with morph "
        "weights\n",
        "Materials: 2 (0 textured)\n", "Animation: frames 0 to 0, 0 animated nodes\n"}) {
    EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
  }
  // The same summary from the saved document.
  Result again = kavro({"info", dir.file("shapes.kscene")});
  EXPECT_EQ(again.out.substr(again.out.find('\n')), info.out.substr(info.out.find('\n')));
}

TEST(ImportCommands, StandardMaterialsAndScaleReachTheDocument) {
  test::TempDir dir;
  test::write_file(dir.file("shapes.obj"), kObj);
  test::write_file(dir.file("shapes.mtl"), kMtl);
  Result r = kavro({"import", "--standard-materials", "--scale", "2", dir.file("shapes.obj"),
                    dir.file("s.kscene")});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  std::string saved = test::read_file(dir.file("s.kscene"));
  EXPECT_EQ(saved.find("kavro_standard"), std::string::npos);
  // The OBJ's (1, 1, 0), doubled, in the host's axes.
  EXPECT_NE(saved.find("[2, 0, 2]"), std::string::npos) << saved;
}

TEST(ImportCommands, UsageErrorsAndFailures) {
  test::TempDir dir;
  test::write_file(dir.file("shapes.obj"), kObj);
  EXPECT_EQ(kavro({"import", dir.file("shapes.obj")}).status, kExitUsage);
  Result not_doc = kavro({"import", dir.file("shapes.obj"), dir.file("out.imd")});
  EXPECT_EQ(not_doc.status, kExitUsage);
  EXPECT_NE(not_doc.err.find(".kscene"), std::string::npos) << not_doc.err;
  EXPECT_EQ(kavro({"import", "--kavro-materials", "--standard-materials", dir.file("shapes.obj"),
                   dir.file("o.kscene")})
                .status,
            kExitUsage);
  EXPECT_EQ(kavro({"import", "--fps", "0", dir.file("shapes.obj"), dir.file("o.kscene")}).status,
            kExitUsage);
  EXPECT_EQ(kavro({"export", "--scale", "-1", dir.file("shapes.obj"), dir.file("o.imd")}).status,
            kExitUsage);
  // A file the importer refuses: exit 1, the file named, nothing written.
  test::write_file(dir.file("broken.fbx"), "not an fbx");
  Result broken = kavro({"import", dir.file("broken.fbx"), dir.file("o.kscene")});
  EXPECT_EQ(broken.status, kExitFailed);
  EXPECT_NE(broken.err.find(dir.file("broken.fbx") + ": the file cannot be imported"),
            std::string::npos)
      << broken.err;
  EXPECT_FALSE(test::file_exists(dir.file("o.kscene")));
  Result info = kavro({"info", dir.file("broken.fbx")});
  EXPECT_EQ(info.status, kExitFailed);
  Result exported = kavro({"export", dir.file("broken.fbx"), dir.file("o.imd")});
  EXPECT_EQ(exported.status, kExitFailed);
  EXPECT_FALSE(test::file_exists(dir.file("o.imd")));
  // An animation the file does not have.
  Result anim = kavro({"export", "--animation", "Run", dir.file("shapes.obj"), dir.file("o.imd")});
  EXPECT_EQ(anim.status, kExitFailed);
  EXPECT_NE(anim.err.find("no animation \"Run\""), std::string::npos) << anim.err;
}

TEST(ImportCommands, VerboseShowsTheImportersLog) {
  test::TempDir dir;
  test::write_file(dir.file("shapes.obj"), kObj);
  test::write_file(dir.file("shapes.mtl"), kMtl);
  Result quiet = kavro({"info", dir.file("shapes.obj")});
  Result verbose = kavro({"info", "--verbose", dir.file("shapes.obj")});
  EXPECT_EQ(quiet.err, "");
  EXPECT_NE(verbose.err.find("Info"), std::string::npos) << verbose.err;
}

}  // namespace
}  // namespace kavro::cli
