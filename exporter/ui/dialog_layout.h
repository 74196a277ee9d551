// Placement and scrolling of the options dialog, as plain functions over
// rectangles so that they are tested without a window system.
//
// Placement: the dialog's screen rectangle is kept in the options
// (`dialog_rect`, -1 in all four members until it was first placed). An
// unplaced dialog opens centred on its parent. A stored rectangle is kept
// inside the host's main window: a main window lower than the dialog makes
// the dialog as high as the main window less 16 pixels; a left edge right of
// the main window's right edge less 20 moves the dialog to x = 0, a top edge
// below its bottom edge less 20 moves it to y = 0, keeping the size.
//
// Scrolling: the content is the bounding box of the child controls, widened
// by the vertical scroll bar's width and heightened by the horizontal bar's
// height. A bar is enabled while the client area is smaller than the content
// in its direction, with the range 0 to the content size and a page of the
// client size; otherwise it is disabled and back at 0. Lines move 5 pixels,
// pages one page, the thumb to its tracked position, and every position is
// clamped to 0 .. range less page.
#pragma once

#include <cstdint>
#include <vector>

#include "host/dialog.h"

namespace kavro::ui {

bool dialog_rect_unset(const std::int32_t stored[4]);

// The rectangle to open at. `stored` is the options' dialog_rect; `width`
// and `height` the dialog's natural size in pixels.
host::Rect place_dialog(const std::int32_t stored[4], const host::Rect& parent,
                        const host::Rect& main_window, int width, int height);

// A rectangle in dialog units in pixels (the host's conversion: a unit is a
// quarter of base_x horizontally and an eighth of base_y vertically).
host::Rect dialog_units_to_pixels(const host::Rect& units, const host::DialogMetrics& metrics);

// The bounding box of the rectangles; empty for none.
host::Rect bounding_box(const std::vector<host::Rect>& rects);

constexpr int kScrollLine = 5;

struct ScrollState {
  int content_width = 0, content_height = 0;
  host::ScrollInfo horizontal, vertical;
};

// The content size of the child rectangles (pixels) with the bar sizes added.
void set_scroll_content(ScrollState& state, const std::vector<host::Rect>& children,
                        const host::DialogMetrics& metrics);
// The client area got a new size: bars enabled or disabled, pages updated.
void resize_scroll_client(ScrollState& state, int client_width, int client_height);
// One scroll action on one bar.
void scroll_by(ScrollState& state, host::ScrollBar bar, host::ScrollAction action,
               int track_position);

}  // namespace kavro::ui
