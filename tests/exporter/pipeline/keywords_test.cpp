#include "exporter/pipeline/keywords.h"

#include <gtest/gtest.h>

namespace kavro {
namespace {

TEST(Keywords, ByStoredValueWithTheFirstWordOutOfRange) {
  EXPECT_STREQ(frame_step_mode_keyword(0), "auto");
  EXPECT_STREQ(frame_step_mode_keyword(3), "4");
  EXPECT_STREQ(frame_step_mode_keyword(9), "auto");
  EXPECT_STREQ(interpolation_keyword(1), "linear");
  EXPECT_STREQ(on_off_keyword(1), "on");
  EXPECT_STREQ(compress_node_keyword(4), "unite_combine");
  EXPECT_STREQ(compress_node_keyword(-1), "none");
  EXPECT_STREQ(vertex_style_keyword(1), "index");
  EXPECT_STREQ(output_texture_keyword(0), "used");
}

}  // namespace
}  // namespace kavro
