// Dialogs as models. A dialog model holds its controls (by id, with kind,
// label, rectangle, state and value), its menu and its scroll state, and
// decides everything the dialog does; a front end that shows it only draws
// the model and forwards the user's actions to it. The host's dialog service
// runs a model modally until the model says it is closed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kavro::host {

// What a modal dialog gave back.
enum class DialogResult { kExport, kCancel, kUnavailable };

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

enum class ControlKind {
  kGroup,     // a group box framing controls
  kLabel,     // fixed text
  kEdit,      // one-line edit box
  kCombo,     // drop-down list
  kCheck,     // automatic check box
  kRadio,     // radio button
  kButton,    // push button
  kStatus,    // status line written by the dialog
  kProgress,  // progress bar, 0 to 100
};

struct DialogControl {
  int id = 0;
  ControlKind kind = ControlKind::kLabel;
  std::string label;
  Rect rect;                         // in dialog units
  std::vector<std::string> choices;  // combo list
  std::size_t text_size = 0;         // edit field size with its terminator; 0: unlimited
  bool hidden = false;
  bool enabled = true;
  std::string text;  // edit and status text
  bool checked = false;
  int selection = 0;  // combo index
  int position = 0;   // progress bar
};

struct MenuItem {
  int command = 0;  // 0 for a separator
  std::string text;
  bool grayed = false;
  bool checked = false;
};

struct Menu {
  std::string title;
  std::vector<MenuItem> items;
};

enum class ScrollBar { kHorizontal, kVertical };
enum class ScrollAction { kLineUp, kLineDown, kPageUp, kPageDown, kThumbTrack, kThumbPosition };

// A scroll bar: enabled or not, its range, page and position, in pixels.
struct ScrollInfo {
  bool enabled = false;
  int min = 0, max = 0, page = 0, position = 0;
};

// What the front end measures: the dialog base units (a dialog unit is a
// quarter of base_x horizontally and an eighth of base_y vertically) and the
// sizes of the scroll bars, in pixels.
struct DialogMetrics {
  int base_x = 8, base_y = 16;
  int vscroll_width = 17, hscroll_height = 17;
};

class DialogModel {
 public:
  virtual ~DialogModel() = default;

  virtual const std::string& caption() const = 0;
  virtual const std::vector<DialogControl>& controls() const = 0;
  virtual const std::vector<Menu>& menus() const = 0;

  // Opening: the front end gives the parent's and the main window's screen
  // rectangles and the dialog's natural size in pixels; the model answers
  // with the screen rectangle to open at.
  virtual Rect open(const Rect& parent, const Rect& main_window, int width, int height) = 0;
  // The dialog was moved or resized to this screen rectangle.
  virtual void moved(const Rect& screen) = 0;

  // The user's actions.
  virtual void click(int id) = 0;
  virtual void choose(int id, int index) = 0;
  virtual void edit(int id, const std::string& text) = 0;
  virtual void command(int menu_command) = 0;
  virtual void close() = 0;
  // The client area got this size in pixels; the scroll bars follow.
  virtual void client_resized(int width, int height, const DialogMetrics& metrics) = 0;
  virtual void scroll(ScrollBar bar, ScrollAction action, int track_position) = 0;
  virtual ScrollInfo scroll_info(ScrollBar bar) const = 0;

  virtual bool closed() const = 0;
  virtual DialogResult result() const = 0;
};

// A file picker's request: filter pairs of description and pattern, the
// default extension, and the checks the picker makes.
struct FilePick {
  std::vector<std::pair<std::string, std::string>> filters;
  std::string default_extension;
  bool must_exist = false;        // open: the file must exist
  bool prompt_overwrite = false;  // save: ask before replacing a file
};

// The host's readers of an edit box's text. A float is a decimal number in
// the "C" locale; an integer is an optional "-" and decimal digits that fit
// in 32 bits. Blanks before and after the number are allowed. Any other
// text, an empty one included, is not a number: the reader gives 0 and
// clears `valid`.
float read_dialog_float(const std::string& text, bool* valid = nullptr);
int read_dialog_int(const std::string& text, bool* valid = nullptr);

}  // namespace kavro::host
