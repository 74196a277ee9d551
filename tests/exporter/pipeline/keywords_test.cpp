#include "exporter/pipeline/keywords.h"

#include <gtest/gtest.h>

namespace kavro {
namespace {

TEST(Keywords, ByStoredValueWithTheFirstWordOutOfRange) {
  EXPECT_STREQ(frame_step_mode_keyword(FrameStepMode::kAuto), "auto");
  EXPECT_STREQ(frame_step_mode_keyword(FrameStepMode::kFour), "4");
  EXPECT_STREQ(frame_step_mode_keyword(static_cast<FrameStepMode>(9)), "auto");
  EXPECT_STREQ(interpolation_keyword(Interpolation::kLinear), "linear");
  EXPECT_STREQ(on_off_keyword(1), "on");
  EXPECT_STREQ(compress_node_keyword(CompressNode::kUniteCombine), "unite_combine");
  EXPECT_STREQ(compress_node_keyword(static_cast<CompressNode>(-1)), "none");
  EXPECT_STREQ(vertex_style_keyword(VertexStyle::kIndex), "index");
  EXPECT_STREQ(output_texture_keyword(OutputTexture::kUsed), "used");
}

}  // namespace
}  // namespace kavro
