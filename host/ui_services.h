// The host's user-interface services that plug-ins other than the exporter
// call: the menu manager with the main menu bar, broadcast notifications,
// viewport redraw callbacks and undo holds. They are plain in-memory
// objects: the studio draws the menu bar from the menu manager and calls
// RedrawViews after it redraws; the command line and the tests use them as
// they are and look at what they hold.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host/scene_document.h"

namespace kavro::host {

class SceneSession;

// Menus by handle. A menu holds items bound to actions (by action table and
// id, showing the action's text), separators and submenu items. The main
// menu bar is a menu of its own.
class MenuManager {
 public:
  struct Item {
    enum Kind { kAction, kSeparator, kSubMenu } kind = kAction;
    int action_table = 0;
    int action_id = 0;
    std::string text;  // an action's text; a submenu's title
    int submenu = -1;  // menu handle of a submenu item
  };
  struct Menu {
    std::string title;
    std::vector<Item> items;
    bool registered = false;
    bool deleted = false;
  };

  // A host without a main menu bar (running without a window) gives -1.
  explicit MenuManager(bool with_main_menu_bar = true);

  int GetMainMenuBar() const { return main_bar_; }
  int CreateMenu(const std::string& title);
  // A registered menu is known by its title; unregistering also takes its
  // submenu items off every menu, the main bar included.
  bool RegisterMenu(int menu);
  bool UnRegisterMenu(int menu);
  // The registered menu of that title, or -1.
  int FindMenu(const std::string& title) const;
  void AddActionItem(int menu, int action_table, int action_id, const std::string& text);
  void AddSeparator(int menu);
  // Inserts a submenu item at `position` (clamped to the item count).
  void InsertSubMenu(int menu, int submenu, std::size_t position);
  void UpdateMenuBar() { ++updates_; }

  const Menu* menu(int handle) const;
  int updates() const { return updates_; }
  // Registered menus of this title.
  int count_registered(const std::string& title) const;

 private:
  std::vector<Menu> menus_;
  int main_bar_ = -1;
  int updates_ = 0;
};

// Broadcast notifications by code (the host's notification codes).
class Notifications {
 public:
  using Handler = std::function<void(int code)>;
  void RegisterNotification(int code, const void* owner, Handler handler);
  void UnRegisterNotification(int code, const void* owner);
  // Calls the handlers of `code` in registration order.
  void BroadcastNotification(int code);
  int handlers(int code) const;

 private:
  struct Entry {
    int code;
    const void* owner;
    Handler handler;
  };
  std::vector<Entry> entries_;
};

// A viewport redraw callback (RedrawViewsCallback).
class RedrawViewsCallback {
 public:
  virtual ~RedrawViewsCallback() = default;
  virtual void proc() = 0;
};

class ViewRedraws {
 public:
  void RegisterRedrawViewsCallback(RedrawViewsCallback* callback);
  void UnRegisterRedrawViewsCallback(RedrawViewsCallback* callback);
  // Redraws the viewports, then calls every callback in registration order.
  void RedrawViews();
  int redraws() const { return redraws_; }
  std::size_t callbacks() const { return callbacks_.size(); }

 private:
  std::vector<RedrawViewsCallback*> callbacks_;
  int redraws_ = 0;
};

// Undo holds over the open scene: Begin notes the scene as it is, Accept
// makes the change since then one undo step with a name, Cancel drops the
// hold. Undo and Redo step through the accepted changes.
class UndoHolds {
 public:
  explicit UndoHolds(SceneSession& session) : session_(session) {}
  void Begin();
  bool Holding() const { return holding_; }
  void Accept(const std::string& name);
  void Cancel();
  bool Undo();
  bool Redo();
  // Names of the steps that can be undone, oldest first.
  std::vector<std::string> undo_names() const;

 private:
  struct Step {
    std::string name;
    doc::SceneDocument before, after;
  };
  SceneSession& session_;
  bool holding_ = false;
  doc::SceneDocument held_;
  std::vector<Step> done_, undone_;
};

}  // namespace kavro::host
