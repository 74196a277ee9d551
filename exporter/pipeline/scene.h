// The in-memory model of one export: filled by extraction, reshaped by
// processing, read by the writers. Records are plain structs in contiguous
// arrays and refer to each other by id, index or name, never by pointer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "exporter/pipeline/math.h"
#include "exporter/pipeline/options.h"
#include "exporter/pipeline/shared_array.h"

namespace kavro {

namespace host {
class Host;
}

// ---------------------------------------------------------------------------
// Faces. Corner indices are 16-bit: position, colour, texcoord, normal.

struct Corner {
  std::uint16_t pos = 0, clr = 0, tex = 0, nrm = 0;
  friend bool operator==(const Corner&, const Corner&) = default;
};

// Strip flags word of a face.
constexpr std::uint32_t kStripCountMask = 0x0000FFFFu;
constexpr std::uint32_t kPlacedBit = 0x10000000u;
constexpr std::uint32_t kQuadBit = 0x20000000u;
constexpr std::uint32_t kTriStripHeadBit = 0x40000000u;
constexpr std::uint32_t kQuadStripHeadBit = 0x80000000u;

// The next-face reference: an index into the same array of the set (triangles
// chain to triangles, quadrilaterals to quadrilaterals), the end mark of a
// strip, or no reference at all.
constexpr std::int32_t kNoNextFace = -2;
constexpr std::int32_t kStripEnd = -1;

struct NFace {
  Vec3 normal{};
  std::int32_t next = kNoNextFace;
  std::uint32_t strip_flags = 0;
};

struct NTriFace : NFace {
  std::array<Corner, 3> corners{};
  static constexpr int kCorners = 3;
};

struct NQuadFace : NFace {
  NQuadFace() { strip_flags = kQuadBit; }
  std::array<Corner, 4> corners{};
  static constexpr int kCorners = 4;
};

// ---------------------------------------------------------------------------

struct VertexColor {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const VertexColor&, const VertexColor&) = default;
};

struct TexCoord {
  float s = 0, t = 0;
  friend bool operator==(const TexCoord&, const TexCoord&) = default;
};

// The influences of one vertex, in the order the skin lists them.
struct SkinInfluence {
  std::vector<float> weights;
  std::vector<int> node_ids;
  std::vector<int> list_positions;  // position of each kept influence in the skin's list
  int last_list_position = -1;
  int count() const { return static_cast<int>(weights.size()); }
};

// Result of encoding one animation channel.
struct ChannelRecord {
  int frame_step = 1;
  int data_size = 0;
  int data_head = 0;
};

// ---------------------------------------------------------------------------

enum NodeKind { kNodeNull = 0, kNodeMesh = 1, kNodeJoint = 2, kNodeChain = 3, kNodeEffector = 4 };
constexpr int kWorldRootId = -1000;
constexpr std::uint32_t kVisibleAtFirstFrame = 1u << 6;

struct SceneNode {
  std::vector<Vec3> scale_frames;
  std::vector<Vec3> rotate_frames;  // Euler angles in degrees
  std::vector<Vec3> translate_frames;
  int parent = -1, child = -1, brother_next = -1, brother_prev = -1;
  int id = 0;
  int kind = kNodeNull;
  std::vector<int> visibility_frames;  // 1 visible, 0 hidden
  Vec3 volume_min{}, volume_max{};
  float volume_r = 0;
  int billboard = 0;  // 0 off, 1 on, 2 y_on
  int no_cut = 0;
  std::uint32_t work_flags = 0;
  Mat4 world_matrix, world_rotation, inverse_bind_matrix, inverse_bind_rotation;
  std::string name;
  Vec3 scale{1, 1, 1}, rotate{}, translate{};  // base (bind) transform
};

struct PolygonSet {
  // The vertex arrays are the whole arrays of the set's node, shared by the
  // sets a node is split into until one of them changes its own.
  SharedArray<Vec3> positions;
  std::vector<NTriFace> triangles;
  std::vector<NQuadFace> quads;
  SharedArray<VertexColor> colors;  // empty: the set has no vertex colours
  SharedArray<TexCoord> texcoords;  // empty: no texture coordinates
  SharedArray<Vec3> normals;
  SharedArray<Vec3> unscaled_positions;
  std::vector<SkinInfluence> weights;  // empty: unskinned
  bool deleted = false;
  Vec3 box_min{}, box_max{};
  float box_r = 0;
  int node_id = 0;
  int priority = 0;
  std::string material_name;
  std::vector<int> matrix_list;
  std::vector<std::vector<float>> morph_weights;  // 100 channels when sampled, else empty
  std::string node_name;

  int vertex_count() const { return static_cast<int>(positions.size()); }
  int triangle_count() const { return static_cast<int>(triangles.size()); }
  int quad_count() const { return static_cast<int>(quads.size()); }
  int color_count() const { return static_cast<int>(colors.size()); }
  int texcoord_count() const { return static_cast<int>(texcoords.size()); }
  int normal_count() const { return static_cast<int>(normals.size()); }
  bool has_colors() const { return !colors.empty(); }
  bool has_texcoords() const { return !texcoords.empty(); }
  bool has_normals() const { return !normals.empty(); }
  bool skinned() const { return !weights.empty(); }
};

// Material colour entries: red, green, blue, 0 to 255.
using ColorEntry = VertexColor;

struct SceneMaterial {
  std::vector<float> tex_translate_s_frames, tex_translate_t_frames;
  std::vector<float> tex_scale_s_frames, tex_scale_t_frames;
  std::vector<float> tex_rotate_frames;
  // Per-frame colours, shared by materials whose samples are equal.
  SharedArray<ColorEntry> diffuse_frames, ambient_frames, specular_frames, emission_frames;
  SharedArray<std::uint8_t> alpha_frames;
  int tex_tiling_s = 0, tex_tiling_t = 0;  // 0 clamp, 1 repeat, 2 flip
  int tex_image_idx = -1;
  std::string texture_path;
  int texture_image_count = 0;
  int lighting = 1;
  int light0 = 1, light1 = 0, light2 = 0, light3 = 0;
  int shininess_table_flag = 0;
  int fog_flag = 0;
  int face = 0;  // 0 front, 1 back, 2 both
  int wire_mode = 0;
  int polygon_mode = 0;  // 0 modulate, 1 decal, 2 toon_highlight, 3 shadow
  int polygon_id = 0;
  int tex_gen_mode = 0;    // 0 none, 1 tex, 2 nrm, 3 pos
  int tex_gen_st_src = 0;  // 0 polygon, 1 material
  int compress_mode = 0;   // 0 compress if possible, 1 don't compress
  bool unreferenced = false;
  bool pattern_is_ifl = false;
  int depth_test_decal = 0, translucent_update_depth = 0, render_1_pixel = 0, far_clipping = 0;
  Mat4 tex_effect_mtx;
  std::string name;
  std::vector<std::string> pattern_textures;
  int priority = 0;
  bool tex_srt_animated = false;
  std::vector<int> ifl_durations;
  bool ifl_repeat = false;
};

enum class TextureFormat : int {
  kPalette4 = 0,
  kA5I3 = 1,
  kPalette16 = 2,
  kPalette256 = 3,
  kTex4x4 = 4,
  kDirect = 5,
  kA3I5 = 6,
  kInvalid = -1,
};

// Written names, in the order of the values.
extern const char* const kTextureFormatNames[7];
const char* texture_format_name(TextureFormat f);
// Number of words a texture of this format and size holds (no overflow for
// any 16-bit size; negative sizes count as 0).
std::size_t texture_word_count(TextureFormat f, int width, int height);

struct SourceTexel {
  std::uint8_t red = 0, green = 0, blue = 0, alpha = 0;
  std::uint16_t index = 0;
};

struct SceneTexture {
  std::uint16_t original_width = 0, original_height = 0;
  std::uint16_t width = 0, height = 0;
  // Texel words of a pre-converted image (16 or 32 bits each) or of a tex4x4
  // encoding (32 bits each), with the block palette indices of tex4x4.
  std::vector<std::uint32_t> bitmap;
  std::vector<SourceTexel> texels;  // width * height, top row first
  std::vector<std::uint16_t> tex4x4_palette_idx;
  std::vector<std::uint16_t> palette;
  TextureFormat format = TextureFormat::kInvalid;
  int color0_transparent = 0;
  bool preconverted = false;  // read whole from a pre-converted file
  std::string path;
  std::string palette_name;
  std::string name;
};

struct SceneLight {
  Vec3 direction{};
  std::uint8_t r = 255, g = 255, b = 255;
};

struct SceneCamera {
  Vec3 position{}, lookat{};
  float twist = 0;
  int projection = 0;  // 0 perspective, 1 ortho
  float near_plane = 0, far_plane = 0, fovy = 0, aspect = 0, ortho_width = 0, ortho_height = 0;
};

// ---------------------------------------------------------------------------

// The options dialog's status line and progress bar, where an export started
// by its Apply button shows its progress.
class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  virtual void show_progress(int percent, const std::string& text) = 0;
  // The run ended: clear the status line and bar, enable what the run disabled.
  virtual void end_progress() = 0;
};

// What the writers record beside their files, for reports: each animation
// channel as it was stored (filled by the file that stores it) and the time
// texture conversion took.
struct WriterRecords {
  std::vector<std::array<ChannelRecord, 9>> node_channels;     // per node (node animation)
  std::vector<std::array<ChannelRecord, 13>> color_channels;   // per material (colours)
  std::vector<std::array<ChannelRecord, 5>> tex_srt_channels;  // per material (texture SRT)
  double texture_conversion_seconds = 0;
};

// The part of one export run that every stage may change, writers included:
// progress, warnings, the host that shows messages, and the writers' records.
// Writers get the scene model read-only and this log beside it.
class ExportLog {
 public:
  host::Host* host_interface = nullptr;
  // Progress state. Without progress_in_host the progress goes to the
  // options dialog's status line and bar through progress_display.
  ProgressDisplay* progress_display = nullptr;
  float progress_percent = 0;
  int shown_percent = 0;
  bool progress_in_host = true;
  int stage_count = 0;
  int stages_done = 0;
  std::string progress_text;
  // Files this run has written so far, in order (named when a later one fails).
  std::vector<std::string> written_files;
  WriterRecords records;

  // Warnings: complete messages, kept once each in order of first occurrence.
  void add_warning(const std::string& text);
  void add_warning_f(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  const std::vector<std::string>& warnings() const { return warnings_; }
  void clear_warnings();

  // Progress.
  float step_size(int items) const;
  void advance(float step, std::string_view text);
  void advance(float step);
  void finish_stage(std::string_view text);
  void finish_stage();

 private:
  void show_progress(const std::string& text);
  void query_cancel();
  std::vector<std::string> warnings_;
  std::unordered_set<std::string> warning_set_;
};

// The scene model with the run's log: extraction and processing reach the
// log through the scene they change; the driver hands writers the scene
// read-only and its log() apart.
class ExportScene : public ExportLog {
 public:
  std::vector<PolygonSet> polygons;
  std::vector<SceneMaterial> materials;
  std::vector<SceneTexture> textures;
  std::vector<SceneNode> nodes;
  std::vector<SceneLight> lights;
  std::vector<SceneCamera> cameras;
  int material_count_before = 0;
  int node_count_before = 0;
  VertexStyle vertex_style = VertexStyle::kDirect;
  float magnify = 1.0f;
  int start_frame = 0, end_frame = 0, scene_start_frame = 0, frame_count = 0;
  CompressNode compress_node = CompressNode::kNone;
  int compress_material = 0;
  OutputTexture output_texture = OutputTexture::kUsed;
  Interpolation interpolation = Interpolation::kFrame;
  int interp_end_to_start = 0;
  FrameStepMode frame_step_mode = FrameStepMode::kAuto;
  float tolerance_scale = 0, tolerance_rotate = 0, tolerance_translate = 0;
  float tolerance_tex_scale = 0, tolerance_tex_rotate = 0, tolerance_tex_translate = 0;
  int tolerance_color = 0;
  ProcessMode process_mode = ProcessMode::kIntermediateFile;
  int output_imd = 0, output_ica = 0, output_iva = 0, output_ima = 0, output_ita = 0,
      output_itp = 0, output_isd = 0;
  int force_full_weight = 0, use_primitive_strip = 0, force_quads = 0;
  Triangulation triangulation = Triangulation::kAsIs;
  int pos_scale = 0;
  // Set by the model file's geometry preparation (GeometryPreparation).
  bool geometry_prepared = false;
  // Set by texture conversion (convert_textures): every texture has its
  // format, palette and converted texels.
  bool textures_converted = false;
  std::string source_name;

  int polygon_count() const { return static_cast<int>(polygons.size()); }
  int material_count() const { return static_cast<int>(materials.size()); }
  int texture_count() const { return static_cast<int>(textures.size()); }
  int node_count() const { return static_cast<int>(nodes.size()); }

  ExportLog& log() { return *this; }
  const ExportLog& log() const { return *this; }

  // Empties every array and zeroes every count, option copy, record and
  // progress field; host_interface and progress_display are kept.
  void reset();

  // Position of the first node with this id, or -1.
  int node_position(int id) const;
  // Position of the first material with this name, or 0.
  int material_position(const std::string& name) const;
  // Position of the first texture whose path is this path, or 0.
  int texture_position(const std::string& path) const;
};

// First-match lookup tables, built once over an array that no longer changes;
// they give the same answers as the linear searches of ExportScene.
class NodeIndex {
 public:
  explicit NodeIndex(const std::vector<SceneNode>& nodes);
  int position(int id) const;

 private:
  std::unordered_map<int, int> map_;
};

// Open addressing over the materials' own names: no node or key copy per
// material. The materials must outlive the index and keep their names.
class MaterialIndex {
 public:
  explicit MaterialIndex(const std::vector<SceneMaterial>& materials);
  int position(std::string_view name) const;  // 0 when absent
  // The same, trying `guess` first: sets mostly follow their materials'
  // order, so a caller walking them passes the position after the last one
  // found and reads one name instead of probing the table.
  int position(std::string_view name, int guess) const {
    const auto g = static_cast<std::size_t>(guess);
    if (g < first_.size() && first_[g] != 0 && materials_[g].name == name) return guess;
    return position(name);
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    int position = -1;  // -1: empty
  };
  const std::vector<SceneMaterial>& materials_;
  std::vector<Slot> slots_;  // a power of two, at most half full
  std::vector<char> first_;  // by material: the first of its name
};

}  // namespace kavro
