#include "exporter/kavro_exporter.h"

#include "exporter/animation/writers.h"
#include "exporter/imd/imd_writer.h"
#include "exporter/pipeline/messages.h"
#include "host/host.h"

namespace kavro {

Stages exporter_stages() {
  static ImdWriter imd;
  static IcaWriter ica;
  static IvaWriter iva;
  static ImaWriter ima;
  static ItaWriter ita;
  static ItpWriter itp;
  Stages stages;
  stages.writers[kOutIca] = &ica;
  stages.writers[kOutIva] = &iva;
  stages.writers[kOutIma] = &ima;
  stages.writers[kOutIta] = &ita;
  stages.writers[kOutItp] = &itp;
  stages.writers[kOutImd] = &imd;
  return stages;
}

std::unique_ptr<SceneExtraction> open_scene(const std::string& path, host::Host& host,
                                            const SceneOpenOptions& options) {
  (void)options;
  show_error(host, "Can't read the scene " + path + ": scene documents cannot be read yet.",
             "Scene Error");
  return nullptr;
}

}  // namespace kavro
