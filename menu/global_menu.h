// The menu plug-in: its two classes, the action table, the dispatcher that
// carries out an action, the "KAVRO-System" menu and its rebuilding, the set
// of open tool windows, and the refresh list that runs after every viewport
// redraw. It reaches the exporter only through the host: export-to-file with
// the exporter's class identifier, and script commands.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/plugin_host.h"
#include "menu/marking_tools.h"
#include "menu/material_attribute_tool.h"
#include "menu/rename_tool.h"
#include "menu/replace_tool.h"

namespace kavro::menu {

// The plug-in's classes, as the host lists them.
struct PluginClass {
  const char* name;
  const char* kind;  // "utility" or "global utility"
  host::ClassId id;
  const char* internal_name;
  bool is_public;
};
const std::vector<PluginClass>& plugin_classes();
extern const char* const kPluginDescription;  // "KAVRO-System Menu"

// The exporter this plug-in starts, and the placeholder file name it passes.
constexpr host::ClassId kExporterClassId{0x7b43b852, 0x365b71d1};
extern const char* const kPlaceholderName;  // "C:\test.imd"
constexpr unsigned kExportBits = 2, kExportWithSettingsBits = 6;

// The action table.
constexpr host::ClassId kActionInterfaceId{0x2bef7f06, 0x045b3aa9};
extern const char* const kActionInterfaceName;  // "Global_Interface"
extern const char* const kActionCategory;       // "KAVRO-System"
constexpr int kActionContextId = 0x1761733d;
constexpr int kNotifyBuildMenu = 85, kNotifyRemoveMenu = 73;
extern const char* const kMenuTitle;  // "KAVRO-System"

enum ActionId {
  kActionExport = 5,
  kActionMaterialAttribute = 6,
  kActionShowLighting = 7,
  kActionShowDisplayFace = 8,
  kActionSetBillboard = 9,
  kActionShowBillboard = 10,
  kActionSetNoCut = 11,
  kActionShowNoCut = 12,
  kActionAbout = 14,
  kActionExportWithSettings = 15,
  kActionReplace = 16,
  kActionRename = 17,
  kActionShowRenderPriority = 18,
  kActionSetRenderPriority = 19,
};

struct Action {
  int id;
  const char* name;  // also its text and what the menu shows
};
const std::vector<Action>& action_table();
const Action* find_action(int id);

// The menu's entries in order; 0 is a separator.
const std::vector<int>& menu_layout();

// Open bits of the tool windows.
enum OpenBit : unsigned {
  kOpenSetBillboard = 0x001,
  kOpenSetNoCut = 0x002,
  kOpenShowLighting = 0x004,
  kOpenMaterialAttribute = 0x008,
  kOpenShowBillboard = 0x010,
  kOpenShowDisplayFace = 0x020,
  kOpenReplace = 0x040,
  kOpenRename = 0x080,
  kOpenShowRenderPriority = 0x100,
};

// The refresh list: after every viewport redraw, each listed window
// refreshes, in list order.
class NodeNamesFunctor : public host::RedrawViewsCallback {
 public:
  struct Entry {
    ToolWindow* window;
    int names_id;
    int combo_id;  // -1: none
  };
  void add(ToolWindow* window, int names_id, int combo_id);
  void remove(const ToolWindow* window);
  void proc() override;
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

// The utility class's own panel: three check boxes that switch the states
// of its second action interface, whose actions start disabled.
struct MenuUtil {
  bool actions_enabled = false;
  bool actions_visible = true;
  bool actions_checked = false;
};

class GlobalMenu {
 public:
  explicit GlobalMenu(host::PluginHost& host);
  ~GlobalMenu();
  GlobalMenu(const GlobalMenu&) = delete;
  GlobalMenu& operator=(const GlobalMenu&) = delete;

  // The global utility's start and stop calls.
  void Start();
  void Stop();

  // Carries out an action: 1 for every listed id, -1 for an unknown one.
  int ExecuteAction(int id);

  void BuildMenu();
  void RemoveMenu();

  unsigned open_bits() const { return open_bits_; }
  const NodeNamesFunctor& refresh_list() const { return functor_; }
  bool context_registered() const { return context_registered_; }
  MenuUtil& menu_util() { return menu_util_; }

  // The windows (null until first opened; a closed window stays readable).
  MaterialAttributeTool* material_tool() { return material_.get(); }
  SetPropertyTool* set_billboard() { return set_billboard_.get(); }
  SetPropertyTool* set_no_cut() { return set_no_cut_.get(); }
  ShowBillboardTool* show_billboard() { return show_billboard_.get(); }
  ShowDisplayFaceTool* show_display_face() { return show_display_face_.get(); }
  ShowLightingTool* show_lighting() { return show_lighting_.get(); }
  ShowRenderPriorityTool* show_render_priority() { return show_priority_.get(); }
  ReplaceTool* replace_tool() { return replace_.get(); }
  RenameTool* rename_tool() { return rename_.get(); }

  // Process-wide memories of the windows.
  MaterialAttributeMemory material_memory;
  RenderPriorityMemory priority_memory;
  ReplaceMemory replace_memory;
  RenameMemory rename_memory;

 private:
  // Creates the window of `bit` unless it is open; false when it was open.
  template <class Window, class... Args>
  Window* open_window(std::unique_ptr<Window>& slot, unsigned bit, Args&&... args);

  host::PluginHost& host_;
  unsigned open_bits_ = 0;
  NodeNamesFunctor functor_;
  bool started_ = false;
  bool context_registered_ = false;
  MenuUtil menu_util_;
  std::unique_ptr<MaterialAttributeTool> material_;
  std::unique_ptr<SetPropertyTool> set_billboard_, set_no_cut_;
  std::unique_ptr<ShowBillboardTool> show_billboard_;
  std::unique_ptr<ShowDisplayFaceTool> show_display_face_;
  std::unique_ptr<ShowLightingTool> show_lighting_;
  std::unique_ptr<ShowRenderPriorityTool> show_priority_;
  std::unique_ptr<ReplaceTool> replace_;
  std::unique_ptr<RenameTool> rename_;
};

}  // namespace kavro::menu
