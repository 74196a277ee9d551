// What every tool window of the menu plug-in shares: its controls by id
// (kind, label, list, enabled and checked states, text), the events a front
// end forwards, and the selection helpers the windows use. A window is a
// model; the studio draws it, the command line drives it, the tests look at
// it, all without a window system.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/dialog.h"
#include "host/plugin_host.h"

namespace kavro::menu {

class ToolWindow {
 public:
  ToolWindow(host::PluginHost& host, std::string caption, int resource)
      : host_(host), caption_(std::move(caption)), resource_(resource) {}
  virtual ~ToolWindow() = default;
  ToolWindow(const ToolWindow&) = delete;
  ToolWindow& operator=(const ToolWindow&) = delete;

  const std::string& caption() const { return caption_; }
  int resource() const { return resource_; }
  const std::vector<host::DialogControl>& controls() const { return controls_; }
  // The control of that id; an empty label control for an unknown id.
  const host::DialogControl& control(int id) const;
  bool has_control(int id) const;
  bool is_open() const { return open_; }

  // The user's actions. Clicking a check box or radio button flips or sets it
  // first, as the dialog's automatic controls do; then the window reacts.
  void click(int id);
  void choose(int id, int index);
  void edit(int id, const std::string& text);
  // The window's close command (the title bar's close box).
  virtual void close_command() = 0;
  // Runs after every viewport redraw while the window is on the refresh list.
  virtual void refresh() {}

  // Called by the plug-in when it closes the window; set by the plug-in.
  std::function<void(ToolWindow&)> on_closed;

 protected:
  host::DialogControl& add(int id, host::ControlKind kind, const std::string& label);
  host::DialogControl& at(int id);
  void set_enabled(int id, bool enabled) { at(id).enabled = enabled; }
  void set_checked(int id, bool checked) { at(id).checked = checked; }
  // Checks one radio of a group and clears the others.
  void check_radio(int id, const std::vector<int>& group);

  virtual void clicked(int id) = 0;
  virtual void chosen(int id, int index) { (void)id, (void)index; }
  virtual void edited(int id) { (void)id; }

  // Marks the window open or closed; closing tells the plug-in.
  void mark_open() { open_ = true; }
  void finish_close();

  host::PluginHost& host_;

 private:
  std::string caption_;
  int resource_;
  bool open_ = false;
  std::vector<host::DialogControl> controls_;
};

// The names of the selected nodes as the windows show them: one name; two
// or three joined by ", "; more than three: the first three and ", ...".
// `none` when nothing is selected.
std::string selection_names(const doc::SceneDocument& scene, const std::vector<int>& selection,
                            const std::string& none);

// Clears the selection, selects every node that meets `rule` (visiting
// `candidates` in order) inside one undo step named "Select", and redraws
// the viewports.
void select_by_rule(host::PluginHost& host, const std::vector<int>& candidates,
                    const std::function<bool(int node_index)>& rule);

// Makes the selection the `saved` nodes (ids) again: every node below the
// scene root, depth first, is selected when saved and deselected otherwise;
// then the viewports are redrawn.
void restore_selection(host::PluginHost& host, const std::vector<int>& saved);

// The ids of the selected nodes, in selection order.
std::vector<int> selected_ids(host::PluginHost& host);

// The valid characters of names the tools accept: digits, ASCII letters,
// blank, "-" and "_". An empty text is valid.
bool valid_name(const std::string& text);

}  // namespace kavro::menu
