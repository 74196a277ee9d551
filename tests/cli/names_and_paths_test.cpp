// The command on names and paths that come from the user's files: relative
// bitmap names, double-byte names, and control characters.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

struct Output {
  int status;
  std::string err;
};

std::string rest_of(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

Output export_scene(std::vector<std::string> args) {
  args.insert(args.begin(), {"export", "-q", "--overwrite=yes"});
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int status = run(args, out, err);
  rest_of(out);
  return {status, rest_of(err)};
}

// A one-triangle scene whose node and material carry `name` and whose
// material shows the bitmap `file` (JSON string contents).
std::string scene_text(const std::string& name, const std::string& file) {
  return R"({"format":"kavro-scene","version":1,
      "materials":[{"name":")" +
         name + R"(","class":"kavro_standard",
                    "diffuse_map":{"class":"bitmap","file":")" +
         file + R"("}}],
      "nodes":[{"id":1,"name":")" +
         name + R"(","material":0,"object":{"class":"mesh","mesh":{
               "vertices":[[0,0,0],[1,0,0],[0,1,0]],"texture_vertices":[[0,0],[1,0],[0,1]],
               "faces":[[0,1,2]]}}}]})";
}

// Runs the test inside a folder of its own, so that relative names mean
// something, and returns to the previous folder afterwards.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(previous_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

TEST(CliPaths, RelativeBitmapNamesAreWrittenAbsolute) {
  test::TempDir dir;
  InFolder here(dir.path());
  const std::string cwd = std::filesystem::current_path().string();
  std::filesystem::create_directories("sub");
  std::filesystem::create_directories("maps");
  test::write_file("sub/p.tga", test::indexed_tga(8, 8));
  test::write_file("maps/q.tga", test::indexed_tga(8, 8));
  test::write_file("sub/s.kscene", scene_text("Box", "p.tga"));
  test::write_file("sub/m.kscene", scene_text("Box", "q.tga"));
  test::write_file("top.kscene", scene_text("Box", "sub/p.tga"));

  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string path;  // the bitmap's path as the model file must hold it
  };
  const Case cases[] = {
      {"scene in a relative folder", {"sub/s.kscene", "out.imd"}, cwd + "/sub/p.tga"},
      {"scene named without a folder", {"top.kscene", "out.imd"}, cwd + "/sub/p.tga"},
      {"relative map path", {"--map-path", "maps", "sub/m.kscene", "out.imd"}, cwd + "/maps/q.tga"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove("out.imd");
    Output r = export_scene(c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string imd = test::read_file("out.imd");
    EXPECT_NE(imd.find("\t\tpath=\"" + c.path + "\"\r\n"), std::string::npos) << imd;
  }
}

// In Shift_JIS the katakana "to" is 83 67 (its second byte is "g"), the kanji
// "omote" 95 5C (its second byte is "\"), the half-width katakana "a" B1.
TEST(CliPaths, DoubleByteNamesBecomeTwoUnderscoresEverywhere) {
  test::TempDir dir;
  const std::string name = "\xE3\x83\x88\xE8\xA1\xA8\xEF\xBD\xB1";  // UTF-8 of the three
  // The scene's folder ends in the kanji: its last byte is no separator.
  const std::string folder = dir.file("\xE8\xA1\xA8");
  std::filesystem::create_directories(folder);
  test::write_file(folder + "/" + name + ".tga", test::indexed_tga(8, 8));
  test::write_file(folder + "/s.kscene", scene_text(name, name + ".tga"));
  Output r = export_scene({folder + "/s.kscene", dir.file("out.imd")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string imd = test::read_file(dir.file("out.imd"));
  // Two characters of two bytes and one of one: five "_" in every name.
  for (const std::string& needle :
       {std::string("<node index=\"0\" name=\"_____\""),
        std::string("<material index=\"0\" name=\"_____\""),
        std::string("<tex_image index=\"0\" name=\"_____\""),
        std::string("palette_name=\"_____"
                    "_pl\""),
        std::string("<tex_palette index=\"0\" name=\"_____"
                    "_pl\""),
        // The path keeps its bytes.
        "\t\tpath=\"" + dir.path() + "/\x95\x5C/\x83\x67\x95\x5C\xB1.tga\""}) {
    EXPECT_NE(imd.find(needle), std::string::npos) << needle << "\n" << imd;
  }
}

TEST(CliPaths, ControlCharactersReachTheTerminalEscaped) {
  test::TempDir dir;
  // A bitmap name that would clear the screen and ring the bell.
  test::write_file(dir.file("s.kscene"), scene_text("Box", "a\\u001b[2J\\u0007\\u007f.tga"));
  Output r = export_scene({dir.file("s.kscene"), dir.file("out.imd")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("at the path: " + dir.path() + "/a\\x1b[2J\\x07\\x7f.tga."),
            std::string::npos)
      << r.err;
  for (char c : r.err) {
    const unsigned char u = static_cast<unsigned char>(c);
    EXPECT_TRUE(u >= 0x20 ? u != 0x7F : c == '\n' || c == '\t') << static_cast<int>(u);
  }
  EXPECT_FALSE(test::file_exists(dir.file("out.imd")));
}

TEST(CliPaths, AnImageListOfBinaryGarbageIsNamedInTheMessage) {
  test::TempDir dir;
  const std::string garbage =
      "\x89\x1b\x02\xff\xfe\x07\x7f"
      "abc\x01\x03\r\n\x05\xf8";
  test::write_file(dir.file("walk.ifl"), garbage);
  test::write_file(dir.file("s.kscene"), scene_text("Box", "walk.ifl"));
  Output r = export_scene({dir.file("s.kscene"), dir.file("out.imd")});
  EXPECT_EQ(r.status, 1);
  // The list is named, not an image made of its bytes.
  EXPECT_NE(
      r.err.find("Error reading IFL file: " + dir.file("walk.ifl") + " applied to material: Box"),
      std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("Texture image missing"), std::string::npos) << r.err;
  EXPECT_FALSE(test::file_exists(dir.file("out.imd")));
}

}  // namespace
}  // namespace kavro::cli
