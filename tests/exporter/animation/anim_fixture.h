// A scene model with a recording host and a fixed frame range, for the
// animation writer tests.
#pragma once

#include <string>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro::test {

struct AnimScene {
  AnimScene(int start, int end) {
    scene.host_interface = &host;
    scene.start_frame = start;
    scene.end_frame = end;
    scene.frame_count = end - start + 1;
    // The textures a test adds are given as converted.
    scene.textures_converted = true;
  }
  AnimScene(const AnimScene&) = delete;
  AnimScene& operator=(const AnimScene&) = delete;

  // The text a body writer produces, with LF line ends.
  template <typename Body>
  std::string body(Body write_body) {
    OutputFile out;
    write_body(out, scene, scene.log());
    return lf(out.text());
  }

  host::RecordingHost host;
  ExportScene scene;
};

}  // namespace kavro::test
