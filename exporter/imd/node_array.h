// The node array: every node of the processed hierarchy with its links, its
// static transform, its visibility, its bounding volume and its display list
// (the polygons it draws, each with a material and a render priority).
#pragma once

namespace kavro {

class ExportLog;
class ExportScene;
class MaterialIndex;
class OutputFile;

// Written after the polygon array; the sizes of a node's polygons come from
// their faces and strips as the polygon array writes them.
void write_node_array(OutputFile& out, const ExportScene& scene, ExportLog& log);
// The same with the scene's material index, built once for the file.
void write_node_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                      const MaterialIndex& materials);

const char* node_kind_keyword(int kind);
const char* billboard_keyword(int billboard);

}  // namespace kavro
