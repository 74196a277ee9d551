#include "exporter/ui/dialog_layout.h"

#include <gtest/gtest.h>

#include "exporter/ui/options_dialog.h"
#include "host/recording_host.h"

namespace kavro::ui {
namespace {

using host::Rect;
using host::ScrollAction;
using host::ScrollBar;

TEST(Placement, UnplacedDialogIsCentredOnItsParent) {
  const std::int32_t unset[4] = {-1, -1, -1, -1};
  EXPECT_EQ(place_dialog(unset, {100, 100, 900, 700}, {0, 0, 1280, 1024}, 400, 600),
            (Rect{300, 100, 700, 700}));
  // A parent smaller than the dialog puts it partly before the parent.
  EXPECT_EQ(place_dialog(unset, {0, 0, 200, 200}, {0, 0, 1280, 1024}, 400, 300),
            (Rect{-100, -50, 300, 250}));
  // One member other than -1 is a placed dialog.
  const std::int32_t placed[4] = {-1, 10, 399, 610};
  EXPECT_EQ(place_dialog(placed, {100, 100, 900, 700}, {0, 0, 1280, 1024}, 400, 600),
            (Rect{-1, 10, 399, 610}));
}

TEST(Placement, StoredRectangleIsKeptInsideTheMainWindow) {
  struct Case {
    const char* what;
    std::int32_t stored[4];
    Rect main_window;
    Rect expected;
  };
  const Case cases[] = {
      {"inside", {50, 60, 450, 660}, {0, 0, 1280, 1024}, {50, 60, 450, 660}},
      // Left edge beyond the right edge less 20 of a smaller main window.
      {"beyond right", {1500, 100, 1900, 700}, {0, 0, 1024, 768}, {0, 100, 400, 700}},
      {"just inside right", {1004, 100, 1404, 700}, {0, 0, 1024, 768}, {1004, 100, 1404, 700}},
      {"one past right", {1005, 100, 1405, 700}, {0, 0, 1024, 768}, {0, 100, 400, 700}},
      {"below bottom", {100, 760, 500, 1360}, {0, 0, 1024, 768}, {100, 0, 500, 600}},
      // A main window lower than the dialog: height becomes its height - 16.
      {"taller than main", {100, 50, 500, 850}, {0, 0, 1024, 600}, {100, 50, 500, 634}},
      {"taller and below", {100, 700, 500, 1500}, {0, 0, 1024, 600}, {100, 0, 500, 584}},
  };
  const Rect parent{0, 0, 800, 600};
  for (const Case& c : cases) {
    EXPECT_EQ(place_dialog(c.stored, parent, c.main_window, 400, 600), c.expected) << c.what;
  }
}

TEST(Placement, TheDialogKeepsItsRectangleInTheOptions) {
  ExportOptions working{};
  reset_options(working, true);
  host::RecordingHost host;
  struct NoExport : DialogExport {
    void run_export(ProgressDisplay&) override {}
    std::string scene_file_name() override { return {}; }
    max::Interface* scene_interface() override { return nullptr; }
  } around;
  OptionsDialog dialog(working, host, around, nullptr);
  Rect opened = dialog.open({0, 0, 1000, 800}, {0, 0, 1280, 1024}, 600, 700);
  EXPECT_EQ(opened, (Rect{200, 50, 800, 750}));
  EXPECT_EQ(working.dialog_rect[0], 200);
  EXPECT_EQ(working.dialog_rect[3], 750);
  dialog.moved({1300, 20, 1900, 720});
  EXPECT_EQ(working.dialog_rect[0], 1300);
  // The next opening starts from the stored rectangle.
  OptionsDialog again(working, host, around, nullptr);
  EXPECT_EQ(again.open({0, 0, 1000, 800}, {0, 0, 1280, 1024}, 600, 700), (Rect{0, 20, 600, 720}));
}

TEST(Scrolling, ContentIsTheChildBoxWithTheBars) {
  host::DialogMetrics m;
  m.vscroll_width = 17;
  m.hscroll_height = 15;
  ScrollState s;
  set_scroll_content(s, {{10, 20, 110, 70}, {50, 300, 410, 320}}, m);
  EXPECT_EQ(s.content_width, 400 + 17);
  EXPECT_EQ(s.content_height, 300 + 15);
  EXPECT_EQ(dialog_units_to_pixels({4, 8, 328, 505}, {6, 13, 17, 17}), (Rect{6, 13, 492, 820}));
}

TEST(Scrolling, BarsFollowTheClientSize) {
  ScrollState s;
  s.content_width = 500;
  s.content_height = 800;
  resize_scroll_client(s, 600, 300);
  EXPECT_FALSE(s.horizontal.enabled);
  ASSERT_TRUE(s.vertical.enabled);
  EXPECT_EQ(s.vertical.min, 0);
  EXPECT_EQ(s.vertical.max, 800);
  EXPECT_EQ(s.vertical.page, 300);
  EXPECT_EQ(s.vertical.position, 0);

  scroll_by(s, ScrollBar::kVertical, ScrollAction::kLineDown, 0);
  EXPECT_EQ(s.vertical.position, 5);
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kPageDown, 0);
  EXPECT_EQ(s.vertical.position, 305);
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kPageDown, 0);
  EXPECT_EQ(s.vertical.position, 500);  // range less page
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kLineDown, 0);
  EXPECT_EQ(s.vertical.position, 500);
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kLineUp, 0);
  EXPECT_EQ(s.vertical.position, 495);
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kThumbTrack, 123);
  EXPECT_EQ(s.vertical.position, 123);
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kThumbPosition, 9999);
  EXPECT_EQ(s.vertical.position, 500);
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kPageUp, 0);
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kPageUp, 0);
  EXPECT_EQ(s.vertical.position, 0);
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kLineUp, 0);
  EXPECT_EQ(s.vertical.position, 0);
  // A disabled bar does not move.
  scroll_by(s, ScrollBar::kHorizontal, ScrollAction::kLineDown, 0);
  EXPECT_EQ(s.horizontal.position, 0);

  // A larger client keeps the position within the new range less page;
  // one as large as the content disables the bar and returns it to 0.
  scroll_by(s, ScrollBar::kVertical, ScrollAction::kThumbTrack, 450);
  resize_scroll_client(s, 600, 600);
  EXPECT_EQ(s.vertical.position, 200);
  resize_scroll_client(s, 400, 800);
  EXPECT_FALSE(s.vertical.enabled);
  EXPECT_EQ(s.vertical.position, 0);
  EXPECT_TRUE(s.horizontal.enabled);
  EXPECT_EQ(s.horizontal.max, 500);
  EXPECT_EQ(s.horizontal.page, 400);
}

TEST(Scrolling, TheDialogScrollsItsVisibleControls) {
  ExportOptions working{};
  reset_options(working, true);
  host::RecordingHost host;
  struct NoExport : DialogExport {
    void run_export(ProgressDisplay&) override {}
    std::string scene_file_name() override { return {}; }
    max::Interface* scene_interface() override { return nullptr; }
  } around;
  OptionsDialog dialog(working, host, around, nullptr);
  // With base units 4 x 8 a dialog unit is one pixel. The visible controls
  // span x 7..321 and y 4..501 (the group boxes and the button row).
  host::DialogMetrics m{4, 8, 10, 10};
  dialog.client_resized(600, 200, m);
  host::ScrollInfo v = dialog.scroll_info(ScrollBar::kVertical);
  EXPECT_FALSE(dialog.scroll_info(ScrollBar::kHorizontal).enabled);
  ASSERT_TRUE(v.enabled);
  EXPECT_EQ(v.max, 497 + 10);
  EXPECT_EQ(v.page, 200);
  dialog.scroll(ScrollBar::kVertical, ScrollAction::kLineDown, 0);
  EXPECT_EQ(dialog.scroll_info(ScrollBar::kVertical).position, 5);
}

}  // namespace
}  // namespace kavro::ui
