// The node marking and viewing tools: the two "Set" windows that write the
// Kvs_billboard and Kvs_no_cut user properties on the selected nodes, and
// the "Show" tools that select every node whose property or platform
// material parameter has a chosen value.
#pragma once

#include <string>
#include <vector>

#include "menu/tool_window.h"

namespace kavro::menu {

// The user property keys and the words stored in Kvs_billboard.
extern const char* const kBillboardKey;             // "Kvs_billboard"
extern const char* const kNoCutKey;                 // "Kvs_no_cut"
const std::vector<std::string>& billboard_words();  // No_Billboard, Billboard, Y-Billboard

// Control ids. The Close button of the three "Show" windows that have no
// numbered one is the dialog's cancel button (2).
enum MarkingControl {
  kShowClose = 2,
  kSetBillboardNames = 1010,
  kSetBillboardCombo = 1011,
  kSetNoCutCombo = 1017,
  kSetNoCutNames = 1019,
  kBillboardRadio = 1012,
  kYBillboardRadio = 1013,
  kBillboardKeep = 1014,
  kFrontFaceRadio = 1005,
  kBackFaceRadio = 1006,
  kBothFaceRadio = 1007,
  kDisplayFaceKeep = 1008,
  kLightOffRadio = 1002,
  kLight0Radio = 1001,
  kLight1Radio = 1004,
  kLight2Radio = 1005,
  kLight3Radio = 1006,
  kAnyLightRadio = 1007,
  kLightingKeep = 1003,
  kPriorityClose = 1073,
  kPriorityDontCare = 1074,
  kPriorityCompare = 1075,
  kPriorityRadio = 1076,
  kPriorityValue = 1077,
  kPriorityKeep = 1078,
};

// The material a "Show" rule examines: a multi-material is followed into its
// first sub-material, repeatedly; the result counts only when it is a
// platform material (else null).
const doc::Material* examined_material(const doc::SceneDocument& scene, const doc::Node& node);

// Set Billboard (`billboard` true) and Set No Cut Node: the selection's
// names and the first selected node's value; choosing another entry than
// the one shown writes it to every selected node.
class SetPropertyTool : public ToolWindow {
 public:
  SetPropertyTool(host::PluginHost& host, bool billboard);
  void open();
  void refresh() override;
  void close_command() override { finish_close(); }
  bool billboard() const { return billboard_; }
  int names_id() const { return billboard_ ? kSetBillboardNames : kSetNoCutNames; }
  int combo_id() const { return billboard_ ? kSetBillboardCombo : kSetNoCutCombo; }

 protected:
  void clicked(int id) override;
  void chosen(int id, int index) override;

 private:
  bool billboard_;
  int shown_ = 0;
};

// What the "Show" windows share: the selection saved at opening, the "Keep
// Selection" box and their Close button.
class ShowWindow : public ToolWindow {
 public:
  ShowWindow(host::PluginHost& host, std::string caption, int resource, int keep_id, int close_id);
  void close_command() override;
  const std::vector<int>& saved_selection() const { return saved_; }

 protected:
  void open_show();
  void clicked(int id) override;
  virtual void radio(int id) = 0;
  // Close button: restores the saved selection unless "Keep Selection" is
  // checked.
  virtual void close_button();

  int keep_id_;
  int close_id_;
  std::vector<int> saved_;
};

class ShowBillboardTool : public ShowWindow {
 public:
  explicit ShowBillboardTool(host::PluginHost& host);
  void open() { open_show(); }

 protected:
  void radio(int id) override;
};

class ShowDisplayFaceTool : public ShowWindow {
 public:
  explicit ShowDisplayFaceTool(host::PluginHost& host);
  void open() { open_show(); }

 protected:
  void radio(int id) override;
};

// Lighting rules: 0 all four lights off, 1 to 4 light 0 to 3 on, 5 any on.
bool lighting_matches(const doc::Material& material, int rule);

class ShowLightingTool : public ShowWindow {
 public:
  explicit ShowLightingTool(host::PluginHost& host);
  void open() { open_show(); }

 protected:
  void radio(int id) override;
};

// The comparisons of Show Render Priority, in the combo's order; each
// compares as its label reads.
enum class PriorityCompare { kLess, kLessEqual, kEqual, kGreaterEqual, kGreater };
const std::vector<std::string>& priority_compare_labels();
// A platform material's render priority: 0 when priorityRadio is 1, else
// priorityValue.
int render_priority(const doc::Material& material);
// Whether priority p passes the rule for v: a priority of 0 never passes a
// nonzero v.
bool priority_matches(int p, int v, PriorityCompare compare);
// Whether a node passes: mesh nodes only; a multi-material counts by the
// sub-material of each material id its faces use; a non-platform material
// passes only v = 0 with "=".
bool node_priority_matches(const doc::SceneDocument& scene, const doc::Node& node, int v,
                           PriorityCompare compare);

// Remembered between openings of Show Render Priority.
struct RenderPriorityMemory {
  int compare = 0;
  bool dont_care = true;
};

class ShowRenderPriorityTool : public ShowWindow {
 public:
  ShowRenderPriorityTool(host::PluginHost& host, RenderPriorityMemory& memory);
  void open();
  void close_command() override;

 protected:
  void radio(int id) override;
  void chosen(int id, int index) override;
  void edited(int id) override;
  void close_button() override;

 private:
  void select_value();
  RenderPriorityMemory& memory_;
};

// Show No Cut Node: selects every node marked not to be cut.
void show_no_cut_nodes(host::PluginHost& host);

}  // namespace kavro::menu
