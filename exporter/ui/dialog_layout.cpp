#include "exporter/ui/dialog_layout.h"

#include <algorithm>

namespace kavro::ui {

bool dialog_rect_unset(const std::int32_t stored[4]) {
  return stored[0] == -1 && stored[1] == -1 && stored[2] == -1 && stored[3] == -1;
}

host::Rect place_dialog(const std::int32_t stored[4], const host::Rect& parent,
                        const host::Rect& main_window, int width, int height) {
  if (dialog_rect_unset(stored)) {
    int left = parent.left + (parent.width() - width) / 2;
    int top = parent.top + (parent.height() - height) / 2;
    return {left, top, left + width, top + height};
  }
  host::Rect r{stored[0], stored[1], stored[2], stored[3]};
  if (main_window.height() < r.height()) r.bottom = r.top + main_window.height() - 16;
  if (r.left > main_window.right - 20) {
    int w = r.width();
    r.left = 0;
    r.right = w;
  }
  if (r.top > main_window.bottom - 20) {
    int h = r.height();
    r.top = 0;
    r.bottom = h;
  }
  return r;
}

host::Rect dialog_units_to_pixels(const host::Rect& u, const host::DialogMetrics& m) {
  return {u.left * m.base_x / 4, u.top * m.base_y / 8, u.right * m.base_x / 4,
          u.bottom * m.base_y / 8};
}

host::Rect bounding_box(const std::vector<host::Rect>& rects) {
  if (rects.empty()) return {};
  host::Rect box = rects.front();
  for (const host::Rect& r : rects) {
    box.left = std::min(box.left, r.left);
    box.top = std::min(box.top, r.top);
    box.right = std::max(box.right, r.right);
    box.bottom = std::max(box.bottom, r.bottom);
  }
  return box;
}

namespace {

int clamp_position(const host::ScrollInfo& bar, int position) {
  int last = std::max(bar.min, bar.max - bar.page);
  return std::clamp(position, bar.min, last);
}

void fit_bar(host::ScrollInfo& bar, int content, int client) {
  if (client < content) {
    bar.enabled = true;
    bar.min = 0;
    bar.max = content;
    bar.page = client;
    bar.position = clamp_position(bar, bar.position);
  } else {
    bar = host::ScrollInfo{};
  }
}

}  // namespace

void set_scroll_content(ScrollState& state, const std::vector<host::Rect>& children,
                        const host::DialogMetrics& metrics) {
  host::Rect box = bounding_box(children);
  state.content_width = box.width() + metrics.vscroll_width;
  state.content_height = box.height() + metrics.hscroll_height;
}

void resize_scroll_client(ScrollState& state, int client_width, int client_height) {
  fit_bar(state.horizontal, state.content_width, client_width);
  fit_bar(state.vertical, state.content_height, client_height);
}

void scroll_by(ScrollState& state, host::ScrollBar which, host::ScrollAction action,
               int track_position) {
  host::ScrollInfo& bar = which == host::ScrollBar::kHorizontal ? state.horizontal : state.vertical;
  if (!bar.enabled) return;
  int position = bar.position;
  switch (action) {
    case host::ScrollAction::kLineUp:
      position -= kScrollLine;
      break;
    case host::ScrollAction::kLineDown:
      position += kScrollLine;
      break;
    case host::ScrollAction::kPageUp:
      position -= bar.page;
      break;
    case host::ScrollAction::kPageDown:
      position += bar.page;
      break;
    case host::ScrollAction::kThumbTrack:
    case host::ScrollAction::kThumbPosition:
      position = track_position;
      break;
  }
  bar.position = clamp_position(bar, position);
}

}  // namespace kavro::ui
