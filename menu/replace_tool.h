// The replace-character tool: finds node and material names in which a
// character sequence occurs (or whose letter case would change), lists each
// as "old >> new", and renames the lines the user selects.
#pragma once

#include <string>
#include <vector>

#include "menu/tool_window.h"

namespace kavro::menu {

enum ReplaceControl {
  kReplaceApplyClose = 1036,
  kReplaceApply = 1037,
  kReplaceClose = 1038,
  kReplaceCounter = 1039,
  kReplaceSelectAll = 1041,
  kReplaceObject = 1042,
  kReplaceMaterial = 1043,
  kReplaceMode = 1044,
  kReplaceMatchCase = 1045,
  kReplaceSearchWord = 1046,
  kReplaceReplaceWord = 1047,
  kReplaceSearch = 1048,
  kReplaceArrow = 1050,
  kReplaceList = 1051,
};

enum class ReplaceMode { kSequence = 0, kUpper = 1, kLower = 2 };

// The new name of `name`, or false when the rule leaves it as it is. In
// sequence mode a search word beginning with "^" matches a prefix only, one
// beginning with "$" a suffix only (its last occurrence), any other word
// every non-overlapping occurrence from the left; without `match_case` both
// sides are compared in lower case, and the replace word is inserted as
// typed.
bool replaced_name(const std::string& name, ReplaceMode mode, const std::string& search,
                   const std::string& replace, bool match_case, std::string& out);

// Remembered between openings: bit 0 "Object", bit 1 "Material", bit 2
// "Match Case", bits 3 and up the mode.
struct ReplaceMemory {
  unsigned word = 1;
};

class ReplaceTool : public ToolWindow {
 public:
  struct Result {
    bool node = true;
    int node_id = 0;
    std::vector<int> material_path;  // root index, then sub-material indexes
    std::string old_name, new_name;
  };

  ReplaceTool(host::PluginHost& host, ReplaceMemory& memory);
  void open();
  void close_command() override { close(); }
  void close();

  const std::vector<Result>& results() const { return results_; }
  // The list box lines.
  std::vector<std::string> lines() const;
  const std::vector<bool>& selected() const { return selected_; }
  // Selects the given lines of the list (the list box's selection change).
  void select_lines(const std::vector<int>& lines);
  // The search; false when a word was refused.
  bool search();
  // Renames the selected lines; false when it stopped early.
  bool apply();

 protected:
  void clicked(int id) override;
  void chosen(int id, int index) override;

 private:
  void mode_rule();
  void update_counter();
  void store_memory();
  doc::Material* material_at(const std::vector<int>& path);

  ReplaceMemory& memory_;
  std::vector<Result> results_;
  std::vector<bool> selected_;
};

// The script that refreshes the material editor slots of the objects'
// materials after a material was renamed.
extern const char* const kMaterialEditorRefreshScript;

}  // namespace kavro::menu
