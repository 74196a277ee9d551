#include "exporter/extract/ifl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

class IflTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  host::RecordingHost host;
  std::vector<std::string> textures{"old.tga"};
  std::vector<int> durations{9};

  std::string list(const std::string& text, const std::string& name = "anim.ifl") {
    std::string path = dir.file(name);
    test::write_file(path, text);
    return path;
  }
  bool read(const std::string& path) { return read_ifl(host, path, textures, durations); }
  void expect_incorrect(const std::string& text) {
    SCOPED_TRACE(text.substr(0, 60));
    host.messages.clear();
    textures = {"old.tga"};
    EXPECT_FALSE(read(list(text)));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "IFL File is incorrect. " + dir.file("anim.ifl"));
    EXPECT_EQ(host.messages[0].caption, "Error");
    EXPECT_EQ(host.messages[0].icon, host::MessageIcon::kError);
    EXPECT_TRUE(textures.empty());
    EXPECT_TRUE(durations.empty());
    int count = -1;
    EXPECT_FALSE(count_ifl_images(dir.file("anim.ifl"), count));
  }
};

TEST_F(IflTest, CommentsAndRepeatCounts) {
  ASSERT_TRUE(read(list("# walk cycle\nwalk01.tga 3\nwalk02.tga\n")));
  EXPECT_EQ(textures, (std::vector<std::string>{dir.file("walk01.tga"), dir.file("walk02.tga")}));
  EXPECT_EQ(durations, (std::vector<int>{3, 1}));
  EXPECT_TRUE(host.messages.empty());
  int count = 0;
  EXPECT_TRUE(count_ifl_images(dir.file("anim.ifl"), count));
  EXPECT_EQ(count, 2);
}

TEST_F(IflTest, BlanksLineEndsAndSkippedLines) {
  const std::string text =
      "\r\n"
      "   \t  \r\n"
      "; another comment\r\n"
      "  \t# indented comment 12\r\n"
      "\t  a.tga\t 12 \t\r\n"   // leading and trailing blanks, tab before the count
      "my walk 2.tga    4\r\n"  // blanks inside the name stay
      "frame10\r\n"             // digits of the name, no count: shown once
      "b.tga 3x\n"              // not a count
      "c.tga 0007\n"            // leading zeros
      "d.tga 5";                // no line end at the end of the file
  ASSERT_TRUE(read(list(text)));
  EXPECT_EQ(textures, (std::vector<std::string>{dir.file("a.tga"), dir.file("my walk 2.tga"),
                                                dir.file("frame10"), dir.file("b.tga 3x"),
                                                dir.file("c.tga"), dir.file("d.tga")}));
  EXPECT_EQ(durations, (std::vector<int>{12, 4, 1, 1, 7, 5}));

  ASSERT_TRUE(read(list("# only comments\n\n")));
  EXPECT_TRUE(textures.empty());
  EXPECT_TRUE(durations.empty());
}

TEST_F(IflTest, NamesResolveAgainstTheListsFolder) {
  std::filesystem::create_directories(dir.file("anims"));
  const std::string text =
      "sub\\a.tga\n"  // host separators
      "sub/b.tga 2\n"
      "..\\shared\\c.tga\n"  // one folder up
      "./d.tga\n"
      "/abs/maps/e.tga\n"  // absolute paths are kept
      "C:\\maps\\f.tga\n";
  ASSERT_TRUE(read(list(text, "anims/walk.ifl")));
  EXPECT_EQ(textures,
            (std::vector<std::string>{dir.file("anims/sub/a.tga"), dir.file("anims/sub/b.tga"),
                                      dir.file("shared/c.tga"), dir.file("anims/d.tga"),
                                      "/abs/maps/e.tga", "C:/maps/f.tga"}));
  EXPECT_EQ(durations, (std::vector<int>{1, 2, 1, 1, 1, 1}));
}

TEST_F(IflTest, ImagesAreOnlyListedNeverOpened) {
  // A list that names itself and a missing image: read at once, no loop.
  ASSERT_TRUE(read(list("anim.ifl\nmissing.tga 2\nanim.ifl 3\n")));
  EXPECT_EQ(textures, (std::vector<std::string>{dir.file("anim.ifl"), dir.file("missing.tga"),
                                                dir.file("anim.ifl")}));
  EXPECT_EQ(durations, (std::vector<int>{1, 2, 3}));
}

TEST_F(IflTest, IncorrectLists) {
  expect_incorrect("a.tga\n12\n");  // a line that is only digits
  expect_incorrect("  \t 7 \n");    // the same after its blanks
  expect_incorrect("a.tga 99999999999\n");
  expect_incorrect(".\n");  // names a folder, not an image
  expect_incorrect("sub/\n");
  expect_incorrect("sub/.. 2\n");
  expect_incorrect(std::string("a\0b.tga\n", 8));
}

TEST_F(IflTest, ControlCharactersMakeAListIncorrect) {
  // No image is named with control characters: such a line is binary
  // garbage, and the message names the list rather than a made-up image.
  expect_incorrect("walk01.tga\nwalk\x1b[2J.tga 2\n");
  expect_incorrect("\x07walk.tga\n");
  expect_incorrect("walk.tga\x7f\n");
  expect_incorrect("a.tga\rb.tga\r");  // line ends of another system: one name
  expect_incorrect(std::string("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR", 16));
  expect_incorrect("\xff\xfe\x01\x02garbage\x03");
  // Tabs are blanks, and comments may hold anything.
  ASSERT_TRUE(read(list("#\x1b[2J\x07\nmy\twalk.tga\t3\n")));
  EXPECT_EQ(textures, std::vector<std::string>{dir.file("my\twalk.tga")});
  EXPECT_EQ(durations, std::vector<int>{3});
}

TEST_F(IflTest, LongLines) {
  // A 10,000-character comment is one line and is skipped as a whole.
  ASSERT_TRUE(read(list("#" + std::string(9999, 'x') + "\nwalk.tga 2\n")));
  EXPECT_EQ(textures, std::vector<std::string>{dir.file("walk.tga")});

  // An image line of 10,000 characters names no file.
  expect_incorrect(std::string(9996, 'y') + ".tga\nwalk.tga\n");

  // Up to 520 characters after trimming are taken, blanks around them free.
  const std::string name = std::string(510, 'z') + ".tga";  // 514
  ASSERT_TRUE(read(list("\t  " + name + " 12345" + std::string(5000, ' ') + "\r\n")));
  EXPECT_EQ(textures, std::vector<std::string>{dir.file(name)});
  EXPECT_EQ(durations, std::vector<int>{12345});
  expect_incorrect(name + " 123456\n");  // 521
}

TEST_F(IflTest, UnopenableLists) {
  for (const std::string& path : {dir.file("missing.ifl"), dir.path(), std::string()}) {
    SCOPED_TRACE(path);
    host.messages.clear();
    textures = {"old.tga"};
    EXPECT_FALSE(read(path));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Can't open file. " + path);
    EXPECT_EQ(host.messages[0].caption, "Can't open IFL file");
    EXPECT_TRUE(textures.empty());
    EXPECT_TRUE(durations.empty());
    int count = -1;
    EXPECT_FALSE(count_ifl_images(path, count));
    EXPECT_EQ(count, -1);
  }
}

TEST(IsIfl, OnlyTheLowerCaseExtension) {
  EXPECT_TRUE(is_ifl("walk.ifl"));
  EXPECT_TRUE(is_ifl("C:\\anims\\walk.v2.ifl"));
  EXPECT_FALSE(is_ifl("walk.IFL"));
  EXPECT_FALSE(is_ifl("walk.ifl.bak"));
  EXPECT_FALSE(is_ifl("walk.iflx"));
  EXPECT_FALSE(is_ifl("ifl"));
  EXPECT_FALSE(is_ifl("anims.ifl/walk"));
}

}  // namespace
}  // namespace kavro
