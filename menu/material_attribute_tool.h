// The material attribute tool: shows the platform material parameters of
// the first selected node's material and writes every change at once to the
// platform materials of all selected nodes.
#pragma once

#include <array>
#include <string>

#include "menu/tool_window.h"

namespace kavro::menu {

// Control ids of the window.
enum MaterialAttributeControl {
  kMatClose = 1018,
  kMatLighting = 1020,
  kMatDisplayFace = 1025,
  kMatNames = 1026,
  kMatWireFrame = 1027,
  kMatPolygonMode = 1028,
  kMatPolygonId = 1029,
  kMatTexGenStLabel = 1030,
  kMatTexGenMode = 1031,
  kMatTexGenSt = 1032,
  kMatCompress = 1033,
  kMatIflLoop = 1035,
};

// The attribute state the window shows; the five lists as 0-based indexes.
struct MaterialAttributes {
  int light = 0;
  int display_face = 0;
  int wire_frame = 0;
  int polygon_mode = 0;
  int polygon_id = 0;
  int tex_gen = 0;
  int tex_gen_st = 0;
  int compress = 0;
  int ifl_loop = 0;
};

// The nine fields: the material parameter each is stored in, and whether it
// is a list (stored as index + 1) with its number of entries.
struct MaterialAttributeField {
  const char* parameter;
  int MaterialAttributes::*field;
  int list_size;  // 0: a check box or the polygon id
};
const std::array<MaterialAttributeField, 9>& material_attribute_fields();

// Process-wide: survives the window and is overwritten by the next load.
struct MaterialAttributeMemory {
  MaterialAttributes state;
};

class MaterialAttributeTool : public ToolWindow {
 public:
  MaterialAttributeTool(host::PluginHost& host, MaterialAttributeMemory& memory);

  // Opens the window: lists at their first entries, the loaded flag clear,
  // then a refresh.
  void open();
  void refresh() override;
  void close_command() override { close(); }
  void close();

  bool loaded() const { return loaded_; }
  const MaterialAttributes& state() const { return memory_.state; }
  // Writes the state to the platform materials of the selected nodes (not
  // while the loaded flag is clear).
  void apply();

 protected:
  void clicked(int id) override;
  void chosen(int id, int index) override;
  void edited(int id) override;

 private:
  void show_state();
  void update_tex_gen_st();

  MaterialAttributeMemory& memory_;
  bool loaded_ = false;
};

// The polygon id an edit text stands for: 64 and more become 63, negative
// values 0, text that is no number 0.
int clamp_polygon_id(const std::string& text);

}  // namespace kavro::menu
