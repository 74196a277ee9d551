// The rename tool for names over 16 characters: lists the nodes, materials
// and textures whose names in the model file would be longer than 16
// characters, takes new names for nodes and materials, applies them, and
// writes the list to a text file.
#pragma once

#include <string>
#include <vector>

#include "menu/tool_window.h"

namespace kavro::menu {

enum RenameControl {
  kRenameApplyClose = 1036,
  kRenameApply = 1037,
  kRenameClose = 1038,
  kRenameSearch = 1048,
  kRenameAll = 1059,
  kRenameSelection = 1060,
  kRenameOutput = 1066,
  kRenameObjectPane = 2001,
  kRenameMaterialPane = 2002,
  kRenameTexturePane = 2003,
};

// The model-file names of a list of host names: every character other than
// an ASCII letter, a digit or "_" becomes "_"; then each name is made unique
// against the earlier ones: every earlier name that begins with the current
// candidate turns the candidate into the sanitised name, "_" and a counter
// (from 1).
std::vector<std::string> model_file_names(const std::vector<std::string>& names);

// Remembered between openings: the target is the selection.
struct RenameMemory {
  bool selection = false;
};

class RenameTool : public ToolWindow {
 public:
  struct Row {
    std::string old_name;   // host name (a texture's base name)
    std::string file_name;  // model-file name (a texture's palette name)
    std::string rename;     // the "Rename" box (empty for textures)
    int node_id = 0;
    std::vector<int> material_path;
    std::string path;  // a texture's file path
  };

  RenameTool(host::PluginHost& host, RenameMemory& memory);
  void open();
  void close_command() override { close(); }
  void close();

  void search();
  const std::vector<Row>& nodes() const { return nodes_; }
  const std::vector<Row>& materials() const { return materials_; }
  const std::vector<Row>& textures() const { return textures_; }
  // Types into a "Rename" box: pane 0 nodes, 1 materials.
  void set_rename(int pane, std::size_t row, const std::string& text);
  // Applies the boxes. kRefused: a box held an invalid character, nothing
  // changed; kFailed: some rows were not applied.
  enum class ApplyResult { kDone, kFailed, kRefused };
  ApplyResult apply();
  // "Output Text File" with the file picker; and the file written directly.
  void output_text_file();
  bool write_list(const std::string& path);
  // The pane titles.
  std::string pane_title(int pane) const;

 protected:
  void clicked(int id) override;

 private:
  doc::Material* material_at(const std::vector<int>& path);

  RenameMemory& memory_;
  std::vector<Row> nodes_, materials_, textures_;
};

}  // namespace kavro::menu
