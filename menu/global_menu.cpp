#include "menu/global_menu.h"

#include <algorithm>

namespace kavro::menu {

const char* const kPluginDescription = "KAVRO-System Menu";
const char* const kPlaceholderName = "C:\\test.imd";
const char* const kActionInterfaceName = "Global_Interface";
const char* const kActionCategory = "KAVRO-System";
const char* const kMenuTitle = "KAVRO-System";

const std::vector<PluginClass>& plugin_classes() {
  static const std::vector<PluginClass> classes = {
      {"Menu Utility", "utility", {0x3162315e, 0x73eb28b4}, "MenuUtil", true},
      {"GlobalMenu", "global utility", {0x3162415e, 0x43eb28b4}, "GlobalMenu", false},
  };
  return classes;
}

const std::vector<Action>& action_table() {
  static const std::vector<Action> actions = {
      {kActionExport, "KAVRO Export"},
      {kActionMaterialAttribute, "KAVRO Set Material Attribute"},
      {kActionShowLighting, "KAVRO Show Lighting"},
      {kActionShowDisplayFace, "KAVRO Show Display Face"},
      {kActionSetBillboard, "KAVRO Set Billboard"},
      {kActionShowBillboard, "KAVRO Show Billboard"},
      {kActionSetNoCut, "KAVRO Set No Cut Node"},
      {kActionShowNoCut, "KAVRO Show No Cut Node"},
      {kActionAbout, "About MERIDANE KAVRO-System"},
      {kActionExportWithSettings, "KAVRO Export With Settings"},
      {kActionReplace, "KAVRO Replace Character"},
      {kActionRename, "KAVRO Rename Over 16 Characters"},
      {kActionShowRenderPriority, "KAVRO Show Render Priority"},
      {kActionSetRenderPriority, "KAVRO Set Render Priority"},
  };
  return actions;
}

const Action* find_action(int id) {
  for (const Action& a : action_table()) {
    if (a.id == id) return &a;
  }
  return nullptr;
}

const std::vector<int>& menu_layout() {
  static const std::vector<int> layout = {
      kActionExport,
      kActionExportWithSettings,
      0,
      kActionShowLighting,
      kActionShowDisplayFace,
      0,
      kActionSetRenderPriority,
      kActionShowRenderPriority,
      0,
      kActionSetBillboard,
      kActionShowBillboard,
      0,
      kActionSetNoCut,
      kActionShowNoCut,
      0,
      kActionReplace,
      kActionRename,
      0,
      kActionAbout,
  };
  return layout;
}

void NodeNamesFunctor::add(ToolWindow* window, int names_id, int combo_id) {
  entries_.push_back({window, names_id, combo_id});
}

void NodeNamesFunctor::remove(const ToolWindow* window) {
  std::erase_if(entries_, [&](const Entry& e) { return e.window == window; });
}

void NodeNamesFunctor::proc() {
  // A refresh may close a window: walk a copy.
  std::vector<Entry> now = entries_;
  for (const Entry& e : now) e.window->refresh();
}

GlobalMenu::GlobalMenu(host::PluginHost& host) : host_(host) {
  host_.redraws.RegisterRedrawViewsCallback(&functor_);
}

GlobalMenu::~GlobalMenu() {
  Stop();
  host_.redraws.UnRegisterRedrawViewsCallback(&functor_);
}

void GlobalMenu::Start() {
  if (started_) return;
  started_ = true;
  context_registered_ = true;
  menu_util_.actions_enabled = false;
  host_.notifications.RegisterNotification(kNotifyBuildMenu, this, [this](int) { BuildMenu(); });
  host_.notifications.RegisterNotification(kNotifyRemoveMenu, this, [this](int) { RemoveMenu(); });
  BuildMenu();
}

void GlobalMenu::Stop() {
  if (!started_) return;
  started_ = false;
  host_.notifications.UnRegisterNotification(kNotifyBuildMenu, this);
  host_.notifications.UnRegisterNotification(kNotifyRemoveMenu, this);
}

void GlobalMenu::BuildMenu() {
  host::MenuManager& menus = host_.menus;
  const int bar = menus.GetMainMenuBar();
  if (bar < 0) return;
  if (int old = menus.FindMenu(kMenuTitle); old >= 0) menus.UnRegisterMenu(old);
  const int menu = menus.CreateMenu(kMenuTitle);
  menus.RegisterMenu(menu);
  for (int id : menu_layout()) {
    if (id == 0) {
      menus.AddSeparator(menu);
    } else {
      menus.AddActionItem(menu, static_cast<int>(kActionInterfaceId.a), id, find_action(id)->name);
    }
  }
  const std::size_t entries = menus.menu(bar)->items.size();
  menus.InsertSubMenu(bar, menu, entries == 0 ? 0 : entries - 1);
  menus.UpdateMenuBar();
}

void GlobalMenu::RemoveMenu() {
  if (int menu = host_.menus.FindMenu(kMenuTitle); menu >= 0) host_.menus.UnRegisterMenu(menu);
}

template <class Window, class... Args>
Window* GlobalMenu::open_window(std::unique_ptr<Window>& slot, unsigned bit, Args&&... args) {
  if ((open_bits_ & bit) != 0) return nullptr;
  slot = std::make_unique<Window>(host_, std::forward<Args>(args)...);
  open_bits_ |= bit;
  slot->on_closed = [this, bit](ToolWindow& window) {
    open_bits_ &= ~bit;
    functor_.remove(&window);
  };
  return slot.get();
}

int GlobalMenu::ExecuteAction(int id) {
  switch (id) {
    case kActionExport:
      host_.ExportToFile(kPlaceholderName, true, kExportBits, kExporterClassId);
      return 1;
    case kActionExportWithSettings:
      host_.ExportToFile(kPlaceholderName, true, kExportWithSettingsBits, kExporterClassId);
      return 1;
    case kActionMaterialAttribute:
      if (auto* w = open_window(material_, kOpenMaterialAttribute, material_memory)) {
        w->open();
        functor_.add(w, kMatNames, -1);
      }
      return 1;
    case kActionShowLighting:
      if (auto* w = open_window(show_lighting_, kOpenShowLighting)) w->open();
      return 1;
    case kActionShowDisplayFace:
      if (auto* w = open_window(show_display_face_, kOpenShowDisplayFace)) w->open();
      return 1;
    case kActionSetBillboard:
      if (auto* w = open_window(set_billboard_, kOpenSetBillboard, true)) {
        w->open();
        functor_.add(w, w->names_id(), w->combo_id());
      }
      return 1;
    case kActionShowBillboard:
      if (auto* w = open_window(show_billboard_, kOpenShowBillboard)) w->open();
      return 1;
    case kActionSetNoCut:
      if (auto* w = open_window(set_no_cut_, kOpenSetNoCut, false)) {
        w->open();
        functor_.add(w, w->names_id(), w->combo_id());
      }
      return 1;
    case kActionShowNoCut:
      show_no_cut_nodes(host_);
      return 1;
    case kActionAbout:
      host_.ExecuteStringScript("kvsAbout()");
      return 1;
    case kActionReplace:
      if (auto* w = open_window(replace_, kOpenReplace, replace_memory)) w->open();
      return 1;
    case kActionRename:
      if (auto* w = open_window(rename_, kOpenRename, rename_memory)) w->open();
      return 1;
    case kActionShowRenderPriority:
      if (auto* w = open_window(show_priority_, kOpenShowRenderPriority, priority_memory))
        w->open();
      return 1;
    case kActionSetRenderPriority:
      host_.ExecuteStringScript("fileIn \"KAVROSetRenderPriority.mse\"");
      return 1;
    default:
      return -1;
  }
}

}  // namespace kavro::menu
