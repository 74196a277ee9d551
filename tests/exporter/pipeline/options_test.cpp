#include "exporter/pipeline/options.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/recording_host.h"

namespace kavro {
namespace {

ExportOptions filled_with(unsigned char byte) {
  ExportOptions o;
  std::memset(&o, byte, sizeof o);
  return o;
}

TEST(Options, ResetGivesTheDocumentedDefaults) {
  ExportOptions o = filled_with(0x55);
  reset_options(o, true);
  EXPECT_EQ(o.magnify, 1.0f);
  EXPECT_EQ(o.start_frame, 0);
  EXPECT_EQ(o.end_frame, 0);
  EXPECT_EQ(o.compress_node, CompressNode::kNone);
  EXPECT_EQ(o.compress_material, 0);
  EXPECT_EQ(o.output_imd, 1);
  EXPECT_EQ(o.output_ica + o.output_iva + o.output_ima + o.output_itp + o.output_ita, 0);
  EXPECT_EQ(o.output_isd, 0);
  EXPECT_EQ(o.vertex_style, VertexStyle::kDirect);
  EXPECT_EQ(o.output_texture, OutputTexture::kUsed);
  EXPECT_EQ(o.interpolation, Interpolation::kFrame);
  EXPECT_EQ(o.frame_step_mode, FrameStepMode::kOne);
  EXPECT_EQ(o.interp_end_to_start, 0);
  EXPECT_FLOAT_EQ(o.tolerance_translate, 0.01f);
  EXPECT_FLOAT_EQ(o.tolerance_rotate, 0.1f);
  EXPECT_FLOAT_EQ(o.tolerance_scale, 0.1f);
  EXPECT_FLOAT_EQ(o.tolerance_tex_translate, 0.01f);
  EXPECT_FLOAT_EQ(o.tolerance_tex_rotate, 0.1f);
  EXPECT_FLOAT_EQ(o.tolerance_tex_scale, 0.1f);
  EXPECT_EQ(o.tolerance_color, 2);
  EXPECT_EQ(o.force_full_weight, 0);
  EXPECT_EQ(o.frame_range, FrameRange::kAll);
  EXPECT_EQ(o.use_primitive_strip, 1);
  EXPECT_EQ(o.merge_imd, 0);
  EXPECT_EQ(o.export_all, ExportScope::kAll);
  EXPECT_EQ(o.process_mode, ProcessMode::kIntermediateFile);
  EXPECT_EQ(o.force_quads, 1);
  EXPECT_EQ(o.triangulation, Triangulation::kAsIs);
  EXPECT_STREQ(o.merge_imd_path, "");
  EXPECT_STREQ(o.output_file_name, "");
  EXPECT_STREQ(o.output_folder, "");
  for (int side : o.dialog_rect) EXPECT_EQ(side, -1);
  // The runtime fields are not touched.
  EXPECT_EQ(o.save_scene_settings, 0x55);
  EXPECT_EQ(o.settings_from_scene, 0x55);
  EXPECT_EQ(o.menu_settings_read, 0x55);
  EXPECT_EQ(o.export_flags, 0x55555555);
}

TEST(Options, ResetKeepsTheNamesWhenAsked) {
  ExportOptions o{};
  set_text_field(o.output_file_name, "robot");
  set_text_field(o.output_folder, "/work/out");
  set_text_field(o.merge_imd_path, "/work/old.imd");
  reset_options(o, false);
  EXPECT_STREQ(o.output_file_name, "robot");
  EXPECT_STREQ(o.output_folder, "/work/out");
  EXPECT_STREQ(o.merge_imd_path, "");
}

TEST(Options, CopyCarriesFields1To35AndTheDialogRectOnly) {
  ExportOptions from = filled_with(0x11);
  ExportOptions to = filled_with(0x22);
  copy_options(from, to);
  EXPECT_EQ(std::memcmp(&to, &from, offsetof(ExportOptions, save_scene_settings)), 0);
  EXPECT_EQ(std::memcmp(to.dialog_rect, from.dialog_rect, sizeof to.dialog_rect), 0);
  EXPECT_EQ(to.save_scene_settings, 0x22);
  EXPECT_EQ(to.settings_from_scene, 0x22);
  EXPECT_EQ(to.menu_settings_read, 0x22);
  EXPECT_EQ(to.export_flags, 0x22222222);
}

TEST(Options, LowerBoundsReplaceTinyAndNegativeValuesOnly) {
  ExportOptions o{};
  reset_options(o, true);
  o.magnify = 0.0f;
  o.tolerance_rotate = -1.0f;
  o.tolerance_scale = 0.00009f;
  o.tolerance_tex_rotate = 0.0f;
  o.tolerance_tex_scale = 0.0001f;  // at the bound: kept
  o.tolerance_translate = -0.5f;
  o.tolerance_tex_translate = 0.0f;
  o.tolerance_color = -7;
  o.start_frame = -20;
  apply_lower_bounds(o);
  EXPECT_EQ(o.magnify, 1.0f);
  EXPECT_FLOAT_EQ(o.tolerance_rotate, 0.1f);
  EXPECT_FLOAT_EQ(o.tolerance_scale, 0.1f);
  EXPECT_FLOAT_EQ(o.tolerance_tex_rotate, 0.1f);
  EXPECT_FLOAT_EQ(o.tolerance_tex_scale, 0.0001f);
  EXPECT_FLOAT_EQ(o.tolerance_translate, 0.01f);
  EXPECT_FLOAT_EQ(o.tolerance_tex_translate, 0.01f);
  EXPECT_EQ(o.tolerance_color, -7);
  EXPECT_EQ(o.start_frame, -20);
}

TEST(Options, ValidationShowsEveryFailingCheckInOrder) {
  host::RecordingHost h;
  ExportOptions o{};
  reset_options(o, true);
  o.output_imd = 0;
  o.process_mode = ProcessMode::kIntermediateFile;
  set_text_field(o.output_folder, "/no/such/folder/anywhere");
  o.merge_imd = 1;
  EXPECT_FALSE(validate_for_export(o, h));
  ASSERT_EQ(h.messages.size(), 3u);
  EXPECT_EQ(h.messages[0].text, "No output file.");
  EXPECT_EQ(h.messages[0].caption, "Nothing set to export.");
  EXPECT_EQ(h.messages[1].text, "Invalid Output Folder.");
  EXPECT_EQ(h.messages[1].caption, "Invalid Intermediate Folder");
  EXPECT_EQ(h.messages[2].text, "Output File Name is empty.");
  EXPECT_EQ(h.messages[2].caption, "No Output File Name");
  EXPECT_EQ(h.messages[0].icon, host::MessageIcon::kError);

  // In editor mode the folder is not checked, but the merge path is.
  h.messages.clear();
  o.process_mode = ProcessMode::k3dMaterialEditor;
  o.output_imd = 1;
  set_text_field(o.output_file_name, "robot");
  EXPECT_FALSE(validate_for_export(o, h));
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].text, "Merge Imd File Path is empty.");
  EXPECT_EQ(h.messages[0].caption, "No Imd Path");

  h.messages.clear();
  set_text_field(o.merge_imd_path, "/tmp/x.imd");
  EXPECT_TRUE(validate_for_export(o, h));
  EXPECT_TRUE(h.messages.empty());
}

TEST(Options, ValidationErrorsGoToTheBatchLogDuringABatch) {
  host::RecordingHost h;
  h.set_batch_running(true);
  ExportOptions o{};
  reset_options(o, true);
  set_text_field(o.output_folder, "/tmp");
  EXPECT_FALSE(validate_for_export(o, h));
  EXPECT_TRUE(h.messages.empty());
  ASSERT_EQ(h.batch_errors.size(), 1u);
  EXPECT_EQ(h.batch_errors[0], "Output File Name is empty.");
}

TEST(OptionKeywords, SettingsRulesForSwitchesChoicesAndNumbers) {
  ExportOptions o{};
  reset_options(o, true);
  auto apply = [&](const char* key, const char* value) {
    const OptionKeyword* k = find_option_keyword(key);
    ASSERT_NE(k, nullptr) << key;
    apply_option_value(o, *k, value);
  };
  apply("compress_node", "merge");
  EXPECT_EQ(o.compress_node, CompressNode::kMerge);
  apply("compress_node", "Merge");  // unknown word: unchanged
  EXPECT_EQ(o.compress_node, CompressNode::kMerge);
  apply("frame_step_mode", "4");
  EXPECT_EQ(o.frame_step_mode, FrameStepMode::kFour);
  apply("triangulation", "all_tris");
  EXPECT_EQ(o.triangulation, Triangulation::kAllTris);
  apply("merge_imd", "ON");  // a switch is on only for its exact word
  EXPECT_EQ(o.merge_imd, 0);
  apply("export", "selection");
  EXPECT_EQ(o.export_all, ExportScope::kSelection);
  apply("export", "everything");
  EXPECT_EQ(o.export_all, ExportScope::kSelection);
  apply("export", "all");
  EXPECT_EQ(o.export_all, ExportScope::kAll);
  apply("vertex_style", "index");
  EXPECT_EQ(o.vertex_style, VertexStyle::kIndex);
  apply("process_mode", "3d_material_editor");
  EXPECT_EQ(o.process_mode, ProcessMode::k3dMaterialEditor);
  apply("magnify", "2.5");
  EXPECT_FLOAT_EQ(o.magnify, 2.5f);
  apply("tolerance_color", "12");
  EXPECT_EQ(o.tolerance_color, 12);
  apply("output_file_name", "hero");
  EXPECT_STREQ(o.output_file_name, "hero");
  EXPECT_EQ(find_option_keyword("settings_version"), nullptr);
  EXPECT_EQ(find_option_keyword("Magnify"), nullptr);
}

TEST(OptionKeywords, StrictValuesForTheCommandLine) {
  const OptionKeyword& node = *find_option_keyword("compress_node");
  EXPECT_TRUE(option_value_valid(node, "unite_combine"));
  EXPECT_FALSE(option_value_valid(node, "Unite"));
  const OptionKeyword& mag = *find_option_keyword("magnify");
  EXPECT_TRUE(option_value_valid(mag, "1e-3"));
  EXPECT_FALSE(option_value_valid(mag, "2x"));
  EXPECT_FALSE(option_value_valid(mag, ""));
  EXPECT_FALSE(option_value_valid(mag, "inf"));
  const OptionKeyword& color = *find_option_keyword("tolerance_color");
  EXPECT_TRUE(option_value_valid(color, "-3"));
  EXPECT_FALSE(option_value_valid(color, "1.5"));
  const OptionKeyword& name = *find_option_keyword("output_file_name");
  EXPECT_TRUE(option_value_valid(name, std::string(255, 'a')));
  EXPECT_FALSE(option_value_valid(name, std::string(256, 'a')));
}

TEST(OptionKeywords, NumbersAreWrittenWithPercentGAndPointZeroWhenWhole) {
  EXPECT_EQ(format_setting_number(2.5f), "2.5");
  EXPECT_EQ(format_setting_number(3.0f), "3.0");
  EXPECT_EQ(format_setting_number(1.0f), "1.0");
  EXPECT_EQ(format_setting_number(0.1f), "0.1");
  EXPECT_EQ(format_setting_number(0.0001f), "0.0001");
  ExportOptions o{};
  reset_options(o, true);
  EXPECT_EQ(format_option_value(o, *find_option_keyword("export")), "all");
  EXPECT_EQ(format_option_value(o, *find_option_keyword("frame_step_mode")), "1");
  EXPECT_EQ(format_option_value(o, *find_option_keyword("process_mode")), "intermediate_file");
  EXPECT_EQ(format_option_value(o, *find_option_keyword("tolerance_color")), "2");
}

}  // namespace
}  // namespace kavro
