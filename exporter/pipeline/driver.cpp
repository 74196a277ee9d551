#include "exporter/pipeline/driver.h"

#include <algorithm>
#include <chrono>

#include "exporter/pipeline/finite_values.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"
#include "host/host.h"

namespace kavro {

const OutputKindInfo& output_kind_info(int kind) {
  static const OutputKindInfo kinds[kOutputKinds] = {
      {"imd", &ExportOptions::output_imd}, {"ica", &ExportOptions::output_ica},
      {"iva", &ExportOptions::output_iva}, {"ima", &ExportOptions::output_ima},
      {"ita", &ExportOptions::output_ita}, {"itp", &ExportOptions::output_itp},
      {"isd", &ExportOptions::output_isd},
  };
  return kinds[kind];
}

std::string model_path_for(const std::string& folder, const std::string& name) {
  std::string slashed = slash_form(folder);
  if (slashed.empty()) return name + ".imd";
  return slashed + "/" + name + ".imd";
}

KavroExporter::KavroExporter(host::Host& host, Stages stages) : host_(host), stages_(stages) {
  ExportOptions& current = current_options();
  if (!host_.batch_running()) {
    bool have_menu = stages_.settings != nullptr && stages_.settings->read_menu_settings(current);
    current.menu_settings_read = 1;
    if (!have_menu) current.save_scene_settings = 1;
    if (!(current.save_scene_settings && current.settings_from_scene)) {
      bool have_file = stages_.settings != nullptr && stages_.settings->read_settings_file(current);
      if (!have_file) reset_options(current, true);
    }
  }
  working_ = current;
  apply_lower_bounds(working_);
}

KavroExporter::~KavroExporter() {
  copy_options(working_, current_options());
  if (!host_.batch_running() && stages_.settings != nullptr) {
    stages_.settings->write_settings(current_options());
  }
}

int KavroExporter::DoExport(const std::string& name, SceneExtraction& scene, bool suppress_prompts,
                            unsigned options) {
  scene_.host_interface = &host_;
  scene_.reset();
  scene_.progress_in_host = true;
  copy_options(current_options(), working_);
  // The bounds of the exporter's start hold for every export it runs, also
  // when the process-wide record was changed after the exporter started.
  apply_lower_bounds(working_);
  working_.export_flags = static_cast<std::int32_t>(options);

  if ((options & kExportPlaceholderName) == 0) {
    std::string file = drop_last_four(file_name_of(name));
    std::string folder = slash_form(folder_of(name));
    // A name cut to fit the options would write somewhere else: refuse it.
    constexpr std::size_t kFolderMax = sizeof working_.output_folder - 1;
    constexpr std::size_t kNameMax = sizeof working_.output_file_name - 1;
    if (folder.size() > kFolderMax) {
      show_error(
          host_,
          format("The output folder is longer than %zu bytes: %s", kFolderMax, folder.c_str()),
          "Export Error");
      return 0;
    }
    if (file.size() > kNameMax) {
      show_error(
          host_,
          format("The output file name is longer than %zu bytes: %s", kNameMax, file.c_str()),
          "Export Error");
      return 0;
    }
    set_text_field(working_.output_file_name, file);
    set_text_field(working_.output_folder, folder);
  } else if ((options & kExportShowDialog) != 0 ||
             (working_.process_mode == ProcessMode::kIntermediateFile &&
              (working_.output_file_name[0] == '\0' || working_.output_folder[0] == '\0'))) {
    suppress_prompts = false;
  }

  if (!suppress_prompts) {
    host::DialogResult shown = stages_.dialog != nullptr ? stages_.dialog->show(*this, scene)
                                                         : host::DialogResult::kUnavailable;
    switch (shown) {
      case host::DialogResult::kCancel:
        return 1;
      case host::DialogResult::kExport:
        // The dialog edited the working copy; the export shows its progress
        // in the host's bar.
        scene_.progress_in_host = true;
        break;
      case host::DialogResult::kUnavailable:
        // No dialog to correct the options: they must pass its checks as they are.
        if (!validate_for_export(working_, host_)) return 0;
        break;
    }
  }
  return run_export(scene);
}

void KavroExporter::end_progress() {
  if (scene_.progress_in_host) {
    host_.progress_end();
  } else if (scene_.progress_display != nullptr) {
    scene_.progress_display->end_progress();
  }
}

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void KavroExporter::finish_run(bool success) {
  if (run_ != nullptr) {
    run_->success = success;
    run_->warnings = scene_.warnings();
    if (run_->inspect) run_->inspect(scene_);
  }
  report_warnings(success);
  // Releasing the arrays keeps where the progress shows until it has ended.
  bool in_host = scene_.progress_in_host;
  scene_.reset();
  scene_.progress_in_host = in_host;
  end_progress();
}

namespace {

// The scene model's copy of the options for one run, with the frame range
// the run exports.
void copy_option_snapshot(const ExportOptions& o, int start, int end, ExportScene& scene) {
  scene.vertex_style = o.vertex_style;
  scene.magnify = o.magnify;
  scene.start_frame = start;
  scene.end_frame = end;
  scene.frame_count = end - start + 1;
  scene.compress_node = o.compress_node;
  scene.compress_material = o.compress_material;
  scene.interpolation = o.interpolation;
  scene.interp_end_to_start = o.interp_end_to_start;
  scene.frame_step_mode = o.frame_step_mode;
  scene.tolerance_scale = o.tolerance_scale;
  scene.tolerance_rotate = o.tolerance_rotate;
  scene.tolerance_translate = o.tolerance_translate;
  scene.tolerance_tex_scale = o.tolerance_tex_scale;
  scene.tolerance_tex_rotate = o.tolerance_tex_rotate;
  scene.tolerance_tex_translate = o.tolerance_tex_translate;
  scene.tolerance_color = o.tolerance_color;
  scene.process_mode = o.process_mode;
  scene.output_imd = o.output_imd;
  scene.output_ica = o.output_ica;
  scene.output_iva = o.output_iva;
  scene.output_ima = o.output_ima;
  scene.output_ita = o.output_ita;
  scene.output_itp = o.output_itp;
  scene.output_isd = o.output_isd;
  scene.force_full_weight = o.force_full_weight;
  scene.use_primitive_strip = o.use_primitive_strip;
  scene.force_quads = o.force_quads;
  scene.triangulation = o.triangulation;
  scene.output_texture = OutputTexture::kUsed;
}

// The number of progress stages of a run with these options.
int progress_stage_count(const ExportOptions& o) {
  auto on = [](int v) { return v != 0 ? 1 : 0; };
  int stages = 7 + 9 * on(o.output_imd) +
               3 * (on(o.output_ica) + on(o.output_iva) + on(o.output_ima) + on(o.output_ita) +
                    on(o.output_itp)) +
               2 * on(o.output_isd);
  stages +=
      (o.compress_node == CompressNode::kMerge || o.compress_node == CompressNode::kUniteCombine)
          ? 2
          : 1;
  if (o.use_primitive_strip) stages += 1;
  return stages;
}

}  // namespace

int KavroExporter::run_export(SceneExtraction& extraction) {
  scene_.host_interface = &host_;
  if (run_ != nullptr) {
    std::function<void(const ExportScene&)> inspect = std::move(run_->inspect);
    *run_ = ExportRun{};
    run_->inspect = std::move(inspect);
  }
  const ExportOptions& o = working_;

  // A model without a name would be a hidden file named ".imd".
  if (o.output_file_name[0] == '\0') {
    show_error(host_, "Output File Name is empty.", "No Output File Name");
    return 0;
  }

  // 1. The material editor's work folder.
  if (o.process_mode == ProcessMode::k3dMaterialEditor) {
    std::string work;
    if (stages_.editor == nullptr || !stages_.editor->prepare(host_, work)) {
      show_message(host_, "3D Material Editor is not found.", "Not Found",
                   host::MessageIcon::kError);
      return 0;
    }
    export_folder_ = work;
  }

  // 2. Frame range.
  SceneRange range = extraction.scene_range();
  int ticks = range.ticks_per_frame > 0 ? range.ticks_per_frame : 160;
  int first = range.start_time / ticks;
  int last = range.end_time / ticks;
  scene_.scene_start_frame = first;
  int start = first, end = last;
  if (o.frame_range == FrameRange::kRange) {
    if (o.start_frame < first || o.start_frame > last) {
      scene_.add_warning("Warning: Invalid start frame.");
    }
    if (!(o.end_frame >= first && o.end_frame <= last && o.end_frame >= o.start_frame)) {
      scene_.add_warning("Warning: Invalid end frame.");
    }
    start = std::max(o.start_frame, first);
    end = std::min(o.end_frame, last);
    if (end < first) end = first;
    if (end < start) start = end;
  }

  // 3. The option snapshot.
  copy_option_snapshot(o, start, end, scene_);

  // 4. Progress stages.
  scene_.stage_count = progress_stage_count(o);
  if (scene_.progress_in_host) host_.progress_start("Exporting Kavro Data");

  // 5-6. Open the scene (whole or selection).
  extraction.initialise(o.export_all == ExportScope::kAll);

  // 7. Nothing to export.
  if (extraction.top_level_node_count() <= 0) {
    show_error(host_, "No nodes in the scene", "Node Export Error");
    extraction.release();
    end_progress();
    return 0;
  }

  // 8-11. Materials, then nodes and meshes, with the skins switched off.
  scene_.source_name = extraction.scene_file_name();
  const auto extraction_start = std::chrono::steady_clock::now();
  extraction.switch_off_skins();
  if (!extraction.extract_materials(scene_, o)) {
    extraction.switch_on_skins();
    extraction.release();
    finish_run(false);
    return 0;
  }
  bool nodes_ok = extraction.extract_nodes(scene_, o);
  extraction.switch_on_skins();
  if (!nodes_ok) {
    extraction.release();
    finish_run(false);
    return 0;
  }

  // 12. Lights.
  extraction.extract_lights(scene_);
  extraction.release();
  if (run_ != nullptr)
    run_->stage_seconds.emplace_back("extraction", seconds_since(extraction_start));

  // 13. Where the files go.
  if (o.process_mode == ProcessMode::kIntermediateFile) export_folder_ = o.output_folder;
  export_folder_ = slash_form(export_folder_);
  std::string model_path = model_path_for(export_folder_, o.output_file_name);

  // 14. Write.
  bool ok = write_outputs(model_path);
  if (ok && o.process_mode == ProcessMode::k3dMaterialEditor && stages_.editor != nullptr)
    stages_.editor->start(host_, o);
  finish_run(ok);
  return ok ? 1 : 0;
}

bool KavroExporter::write_outputs(const std::string& model_path) {
  bool any_output = false;
  for (int kind = 0; kind < kOutputKinds; ++kind) {
    if (working_.*output_kind_info(kind).option != 0) any_output = true;
  }
  if (!any_output) {
    scene_.add_warning("Warning: Nothing to export: every output is off.");
    return true;
  }

  if (SceneProcessing* p = stages_.processing) {
    const auto start = std::chrono::steady_clock::now();
    p->compress_materials(scene_);
    if (scene_.compress_material) p->merge_same_material_sets(scene_);
    p->process_nodes(scene_);
    p->magnify(scene_);
    if (!p->scale_positions(scene_)) return false;
    p->remove_unused_textures(scene_);
    if (run_ != nullptr) run_->stage_seconds.emplace_back("processing", seconds_since(start));
  }
  // Extremes of the input can overflow on the way; such a value is refused
  // by the name of what holds it, never written.
  std::string holder = find_non_finite(scene_);
  if (!holder.empty()) {
    show_error(host_, format("Value out of range in %s (not a finite number).", holder.c_str()),
               "Node Export Error");
    return false;
  }
  // What the writers read but do not change is prepared here, in view of
  // the driver: the model file's geometry and the converted textures.
  if (working_.output_imd != 0 && stages_.preparation != nullptr) {
    stages_.preparation->prepare(scene_);
  }
  if ((working_.output_imd != 0 || working_.output_itp != 0) &&
      stages_.texture_conversion != nullptr) {
    const auto start = std::chrono::steady_clock::now();
    stages_.texture_conversion->convert(scene_);
    scene_.records.texture_conversion_seconds = seconds_since(start);
  }

  bool prompting = (working_.export_flags & kExportPlaceholderName) != 0 &&
                   working_.process_mode == ProcessMode::kIntermediateFile &&
                   !host_.batch_running();
  for (int kind = 0; kind < kOutputKinds; ++kind) {
    const OutputKindInfo& info = output_kind_info(kind);
    if (working_.*info.option == 0) continue;
    std::string path = model_path.substr(0, model_path.size() - 3) + info.extension;
    if (prompting && host_.file_exists(path)) {
      switch (host_.ask_overwrite(path)) {
        case host::OverwriteAnswer::kYes:
          break;
        case host::OverwriteAnswer::kYesToAll:
          prompting = false;
          break;
        case host::OverwriteAnswer::kNo:
          continue;
        case host::OverwriteAnswer::kCancel:
          return true;
      }
    }
    OutputWriter* writer = stages_.writers[kind];
    if (writer == nullptr) {
      show_error(host_, format("The %s output is not available in this build.", info.extension),
                 "Export Error");
      return false;
    }
    const auto start = std::chrono::steady_clock::now();
    const ExportScene& model = scene_;
    if (!writer->write(model, scene_.log(), path)) return false;
    scene_.written_files.push_back(path);
    if (run_ != nullptr) {
      run_->stage_seconds.emplace_back(info.extension, seconds_since(start));
      run_->files.emplace_back(info.extension, path);
    }
  }
  return true;
}

void KavroExporter::report_warnings(bool success) {
  if (host_.batch_running()) host_.batch_log_result(scene_.warnings(), success);
  if (scene_.warnings().empty()) return;
  host::LocalTime t = host_.local_time();
  host_.listener_print(format("[%d-%.2d-%.2d T%.2d:%.2d:%.2d]\n", t.year, t.month, t.day, t.hour,
                              t.minute, t.second));
  for (const std::string& w : scene_.warnings()) host_.listener_print(w + "\n");
  host_.listener_print("\n\n");
  host_.listener_show();
  scene_.clear_warnings();
}

}  // namespace kavro
