#include "host/ui_services.h"

#include <algorithm>

#include "host/scene_session.h"

namespace kavro::host {

MenuManager::MenuManager(bool with_main_menu_bar) {
  if (with_main_menu_bar) {
    // The host's own menus; plug-in menus go before the last one ("Help").
    main_bar_ = CreateMenu("Main Menu Bar");
    for (const char* title : {"File", "Edit", "Tools", "Help"}) {
      int sub = CreateMenu(title);
      menus_[main_bar_].items.push_back({Item::kSubMenu, 0, 0, title, sub});
    }
  }
}

int MenuManager::CreateMenu(const std::string& title) {
  menus_.push_back({title, {}, false, false});
  return static_cast<int>(menus_.size()) - 1;
}

bool MenuManager::RegisterMenu(int menu) {
  if (menu < 0 || menu >= static_cast<int>(menus_.size()) || menus_[menu].registered) return false;
  menus_[menu].registered = true;
  return true;
}

bool MenuManager::UnRegisterMenu(int menu) {
  if (menu < 0 || menu >= static_cast<int>(menus_.size()) || !menus_[menu].registered) return false;
  menus_[menu].registered = false;
  menus_[menu].deleted = true;
  for (Menu& m : menus_) {
    std::erase_if(m.items,
                  [&](const Item& i) { return i.kind == Item::kSubMenu && i.submenu == menu; });
  }
  return true;
}

int MenuManager::FindMenu(const std::string& title) const {
  for (std::size_t i = 0; i < menus_.size(); ++i) {
    if (menus_[i].registered && menus_[i].title == title) return static_cast<int>(i);
  }
  return -1;
}

void MenuManager::AddActionItem(int menu, int action_table, int action_id,
                                const std::string& text) {
  if (menu < 0 || menu >= static_cast<int>(menus_.size())) return;
  menus_[menu].items.push_back({Item::kAction, action_table, action_id, text, -1});
}

void MenuManager::AddSeparator(int menu) {
  if (menu < 0 || menu >= static_cast<int>(menus_.size())) return;
  menus_[menu].items.push_back({Item::kSeparator, 0, 0, {}, -1});
}

void MenuManager::InsertSubMenu(int menu, int submenu, std::size_t position) {
  if (menu < 0 || menu >= static_cast<int>(menus_.size())) return;
  if (submenu < 0 || submenu >= static_cast<int>(menus_.size())) return;
  auto& items = menus_[menu].items;
  position = std::min(position, items.size());
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(position),
               Item{Item::kSubMenu, 0, 0, menus_[submenu].title, submenu});
}

const MenuManager::Menu* MenuManager::menu(int handle) const {
  if (handle < 0 || handle >= static_cast<int>(menus_.size())) return nullptr;
  return &menus_[handle];
}

int MenuManager::count_registered(const std::string& title) const {
  return static_cast<int>(std::count_if(menus_.begin(), menus_.end(), [&](const Menu& m) {
    return m.registered && m.title == title;
  }));
}

void Notifications::RegisterNotification(int code, const void* owner, Handler handler) {
  UnRegisterNotification(code, owner);
  entries_.push_back({code, owner, std::move(handler)});
}

void Notifications::UnRegisterNotification(int code, const void* owner) {
  std::erase_if(entries_, [&](const Entry& e) { return e.code == code && e.owner == owner; });
}

void Notifications::BroadcastNotification(int code) {
  // A handler may register or unregister others: call from a copy.
  std::vector<Entry> now = entries_;
  for (Entry& e : now) {
    if (e.code == code) e.handler(code);
  }
}

int Notifications::handlers(int code) const {
  return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                        [&](const Entry& e) { return e.code == code; }));
}

void ViewRedraws::RegisterRedrawViewsCallback(RedrawViewsCallback* callback) {
  if (std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end()) {
    callbacks_.push_back(callback);
  }
}

void ViewRedraws::UnRegisterRedrawViewsCallback(RedrawViewsCallback* callback) {
  std::erase(callbacks_, callback);
}

void ViewRedraws::RedrawViews() {
  ++redraws_;
  std::vector<RedrawViewsCallback*> now = callbacks_;
  for (RedrawViewsCallback* c : now) c->proc();
}

void UndoHolds::Begin() {
  held_ = session_.scene();
  holding_ = true;
}

void UndoHolds::Accept(const std::string& name) {
  if (!holding_) return;
  holding_ = false;
  done_.push_back({name, std::move(held_), session_.scene()});
  undone_.clear();
  held_ = {};
}

void UndoHolds::Cancel() {
  holding_ = false;
  held_ = {};
}

bool UndoHolds::Undo() {
  if (done_.empty()) return false;
  Step step = std::move(done_.back());
  done_.pop_back();
  session_.scene() = step.before;
  undone_.push_back(std::move(step));
  return true;
}

bool UndoHolds::Redo() {
  if (undone_.empty()) return false;
  Step step = std::move(undone_.back());
  undone_.pop_back();
  session_.scene() = step.after;
  done_.push_back(std::move(step));
  return true;
}

std::vector<std::string> UndoHolds::undo_names() const {
  std::vector<std::string> names;
  for (const Step& s : done_) names.push_back(s.name);
  return names;
}

}  // namespace kavro::host
