#include "exporter/animation/writers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/exporter/animation/anim_fixture.h"

namespace kavro {
namespace {

using test::AnimScene;

std::vector<std::unique_ptr<OutputWriter>> all_writers() {
  std::vector<std::unique_ptr<OutputWriter>> w;
  w.push_back(std::make_unique<IcaWriter>());
  w.push_back(std::make_unique<IvaWriter>());
  w.push_back(std::make_unique<ImaWriter>());
  w.push_back(std::make_unique<ItaWriter>());
  w.push_back(std::make_unique<ItpWriter>());
  return w;
}

TEST(AnimationWriters, FileThatCannotBeCreatedFailsAndWritesNothing) {
  test::TempDir dir;
  for (auto& writer : all_writers()) {
    AnimScene a(0, 0);
    a.scene.output_imd = 1;
    a.scene.nodes.push_back(test::make_node(1, "n"));
    std::string path = dir.file("missing/out.anm");
    EXPECT_FALSE(writer->write(a.scene, a.scene.log(), path));
    EXPECT_FALSE(test::file_exists(path));
  }
}

TEST(AnimationWriters, ReadOnlyTargetIsWarnedAboutAndLeftAlone) {
  test::TempDir dir;
  std::string path = dir.file("locked.ica");
  test::write_file(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  for (auto& writer : all_writers()) {
    AnimScene a(0, 0);
    a.scene.output_imd = 1;
    EXPECT_FALSE(writer->write(a.scene, a.scene.log(), path));
    EXPECT_EQ(a.scene.warnings(),
              std::vector<std::string>{"Warning: Can't write to read-only file. " + path});
    EXPECT_EQ(test::read_file(path), "old");
  }
  ::chmod(path.c_str(), 0644);
}

TEST(AnimationWriters, EachFileHasItsOwnRootAndEndsWithCrLf) {
  test::TempDir dir;
  const char* roots[] = {"ica", "iva", "ima", "ita", "itp"};
  auto writers = all_writers();
  for (std::size_t k = 0; k < writers.size(); ++k) {
    AnimScene a(0, 0);
    a.scene.output_imd = 1;
    std::string path = dir.file(std::string("scene.") + roots[k]);
    ASSERT_TRUE(writers[k]->write(a.scene, a.scene.log(), path));
    std::string text = test::read_file(path);
    std::string root = roots[k];
    EXPECT_NE(text.find("\r\n<" + root + " version=\"1.6.0\">\r\n"), std::string::npos) << root;
    EXPECT_EQ(text.substr(text.size() - root.size() - 7), "\r\n</" + root + ">\r\n");
  }
}

}  // namespace
}  // namespace kavro
