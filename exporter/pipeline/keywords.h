// The keyword tables of the intermediate files: the word written for an
// option's stored value. A value outside a table writes the table's first word.
#pragma once

#include "exporter/pipeline/options.h"

namespace kavro {

const char* on_off_keyword(int value);                     // "off", "on"
const char* vertex_style_keyword(VertexStyle value);       // "direct", "index"
const char* compress_node_keyword(CompressNode value);     // "none" .. "unite_combine"
const char* output_texture_keyword(OutputTexture value);   // "used", "all"
const char* interpolation_keyword(Interpolation value);    // "frame", "linear"
const char* frame_step_mode_keyword(FrameStepMode value);  // "auto", "1", "2", "4"

}  // namespace kavro
