// The texture SRT animation file: scale, rotation and translation of the
// texture transform of every material, as five float channels in three pools.
#include <array>
#include <cstddef>
#include <vector>

#include "exporter/animation/curve.h"
#include "exporter/animation/writers.h"
#include "exporter/pipeline/envelope.h"
#include "exporter/pipeline/keywords.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"

namespace kavro {

namespace {

constexpr const char* kBuildLabel = "ITA: Building Texture Animation Data";
constexpr const char* kDataLabel = "ITA: Writing Texture Animation Data";
constexpr const char* kArrayLabel = "ITA: Writing Texture Animation Array";

// Positions of a material's channel records, in the written order.
enum TexChannel { kScaleS = 0, kScaleT = 1, kRotate = 2, kTranslateS = 3, kTranslateT = 4 };
constexpr const char* kChannelNames[5] = {"tex_scale_s", "tex_scale_t", "tex_rotate",
                                          "tex_translate_s", "tex_translate_t"};

struct TexturePools {
  anim::FloatPool scale, rotate, translate;
};

using SrtChannels = std::array<ChannelRecord, 5>;

// The pools are filled in processing order: scale s, scale t, translate s,
// translate t, rotate. Materials without sampled texture transforms keep
// empty records.
std::vector<SrtChannels> build_channels(const ExportScene& scene, ExportLog& log,
                                        TexturePools& pools) {
  std::vector<SrtChannels> channels(scene.materials.size());
  if (scene.texture_count() == 0) return channels;
  const std::size_t frames = scene.frame_count > 0 ? scene.frame_count : 0;
  pools.scale.reserve(2 * scene.materials.size() * frames);
  pools.rotate.reserve(scene.materials.size() * frames);
  pools.translate.reserve(2 * scene.materials.size() * frames);
  float step = log.step_size(5 * scene.material_count());
  auto same = [](float v) { return v; };
  for (std::size_t i = 0; i < scene.materials.size(); ++i) {
    const SceneMaterial& m = scene.materials[i];
    if (m.tex_scale_s_frames.empty()) continue;
    struct Job {
      const std::vector<float>* frames;
      TexChannel channel;
      anim::FloatPool* pool;
      float tolerance;
    };
    const Job jobs[5] = {
        {&m.tex_scale_s_frames, kScaleS, &pools.scale, scene.tolerance_tex_scale},
        {&m.tex_scale_t_frames, kScaleT, &pools.scale, scene.tolerance_tex_scale},
        {&m.tex_translate_s_frames, kTranslateS, &pools.translate, scene.tolerance_tex_translate},
        {&m.tex_translate_t_frames, kTranslateT, &pools.translate, scene.tolerance_tex_translate},
        {&m.tex_rotate_frames, kRotate, &pools.rotate, scene.tolerance_tex_rotate},
    };
    for (const Job& job : jobs) {
      log.advance(step, kBuildLabel);
      std::vector<float> samples = anim::frame_samples<float>(*job.frames, scene.frame_count, same);
      channels[i][job.channel] =
          anim::encode_channel(samples, scene.frame_step_mode, job.tolerance, *job.pool);
    }
  }
  return channels;
}

void write_info(OutputFile& out, const ExportScene& s) {
  out.write("\n<tex_srt_info\n");
  out.line() << "\tframe_size=\"" << anim::frame_size(s) << "\"\n";
  out.line() << "\ttool_start_frame=\"" << s.start_frame << "\"\n";
  out.line() << "\ttool_end_frame=\"" << s.end_frame << "\"\n";
  out.line() << "\tinterpolation=\"" << interpolation_keyword(s.interpolation) << "\"\n";
  out.line() << "\tinterp_end_to_start=\"" << on_off_keyword(s.interp_end_to_start) << "\"\n";
  out.line() << "\ttex_matrix_mode=\"maya\"\n";
  out.line() << "\tcompress_material=\"" << on_off_keyword(s.compress_material)
             << "\" material_size=\"" << s.material_count_before << " " << s.material_count()
             << "\"\n";
  out.line() << "\tframe_step_mode=\"" << frame_step_mode_keyword(s.frame_step_mode) << "\"\n";
  out.line() << "\ttolerance_tex_scale=\"" << static_cast<double>(s.tolerance_tex_scale) << "\"\n";
  out.line() << "\ttolerance_tex_rotate=\"" << static_cast<double>(s.tolerance_tex_rotate)
             << "\"\n";
  out.line() << "\ttolerance_tex_translate=\"" << static_cast<double>(s.tolerance_tex_translate)
             << "\"\n";
  out.write("/>\n");
}

void write_material_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                          const std::vector<SrtChannels>& channels) {
  int flagged = 0;
  for (const SceneMaterial& m : scene.materials) flagged += m.tex_srt_animated ? 1 : 0;
  out.line() << "\n<tex_srt_anm_array size=\"" << flagged << "\">\n";
  float step = log.step_size(scene.material_count());
  int index = 0;
  for (std::size_t i = 0; i < scene.materials.size(); ++i) {
    const SceneMaterial& m = scene.materials[i];
    log.advance(step, kArrayLabel);
    if (!m.tex_srt_animated) continue;
    out.line() << "\t<tex_srt_anm index=\"" << index++ << "\" material_name=\""
               << OutputFile::Line::XmlEscaped{m.name} << "\">\n";
    for (int c = 0; c < 5; ++c) anim::write_channel_line(out, kChannelNames[c], channels[i][c]);
    out.write("\t</tex_srt_anm>\n");
  }
  out.write("</tex_srt_anm_array>\n");
}

}  // namespace

void write_ita_body(OutputFile& out, const ExportScene& scene, ExportLog& log) {
  TexturePools pools;
  std::vector<SrtChannels> channels = build_channels(scene, log, pools);
  log.finish_stage(kBuildLabel);
  write_info(out, scene);
  if (scene.texture_count() == 0) {
    log.add_warning("Warning: No texture SRT animation.");
  } else {
    int values = pools.scale.size() + pools.rotate.size() + pools.translate.size();
    anim::PoolProgress progress{&log, log.step_size(values), kDataLabel};
    anim::write_pool(out, "tex_scale_data", pools.scale.values(), progress);
    anim::write_pool(out, "tex_rotate_data", pools.rotate.values(), progress);
    anim::write_pool(out, "tex_translate_data", pools.translate.values(), progress);
    write_material_array(out, scene, log, channels);
  }
  log.finish_stage(kArrayLabel);
  log.records.tex_srt_channels = std::move(channels);
}

bool ItaWriter::write(const ExportScene& scene, ExportLog& log, const std::string& path) {
  return write_enveloped_file(scene, log, path, FileKind::kIta,
                              [&](OutputFile& out) { write_ita_body(out, scene, log); });
}

}  // namespace kavro
