// Fuzz target: the scene document loader, then the views and extraction over
// whatever it accepts.
#include "host/scene_document.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "exporter/extract/host_extraction.h"
#include "host/document_views.h"
#include "host/recording_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  kavro::doc::LoadResult r = kavro::doc::parse_scene_document(text, "fuzz.kscene");
  if (!r.ok) return 0;
  if (r.document.nodes.size() > 200) return 0;
  kavro::host::RecordingHost host;
  kavro::HostExtraction ex(kavro::max::make_document_host(std::move(r.document)), host);
  kavro::ExportScene scene;
  scene.host_interface = &host;
  kavro::SceneRange range = ex.scene_range();
  scene.start_frame = range.start_time / range.ticks_per_frame;
  scene.end_frame = range.end_time / range.ticks_per_frame;
  scene.frame_count = scene.end_frame - scene.start_frame + 1;
  if (scene.frame_count > 100) return 0;
  kavro::ExportOptions options{};
  kavro::reset_options(options, true);
  ex.initialise(true);
  ex.switch_off_skins();
  if (ex.extract_materials(scene, options) && ex.extract_nodes(scene, options))
    ex.extract_lights(scene);
  ex.switch_on_skins();
  ex.release();
  return 0;
}
