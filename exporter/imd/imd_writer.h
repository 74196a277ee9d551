// The model file (IMD): the writer's sequence and the blocks that describe the
// model as a whole: model_info, box_test, output_info and the limit warnings.
#pragma once

#include <string>

#include "exporter/imd/matrix_array.h"
#include "exporter/pipeline/math.h"
#include "exporter/pipeline/stages.h"

namespace kavro {

class ExportLog;
class ExportScene;
class OutputFile;

// Totals over the polygons written, reset for every model file.
struct ImdTotals {
  int vertices = 0;
  int triangles = 0;
  int quads = 0;
};

// The model file's writer and its geometry preparation: shared colour lists,
// the matrix table (each set's matrix list), quadrilaterals generated from
// triangles ("generate_quads") and strips. The writer needs a scene that it
// prepared itself (its matrix table belongs to that scene) and whose textures
// were converted; the driver does both before the writers. It refuses any
// other scene.
class ImdWriter : public OutputWriter, public GeometryPreparation {
 public:
  void prepare(ExportScene& scene) override;
  bool write(const ExportScene& scene, ExportLog& log, const std::string& path) override;

 private:
  MatrixTable table_;                      // of the scene prepared last
  const ExportScene* prepared_ = nullptr;  // that scene
};

void write_model_info(OutputFile& out, const ExportScene& scene);

// The model box in the model's space: the corner with the least coordinates
// and the size. `overflowed` names the first polygon set with a position that
// is not finite there (the box is then empty); a model without a vertex has
// an empty box.
struct ModelBox {
  Vec3 min{}, size{};
  std::string overflowed;
};
ModelBox compute_model_box(const ExportScene& scene);

// Writes box_test when at least one polygon set is not deleted. False, with
// the message shown, when a position in the model's space is not finite.
bool write_box_test(OutputFile& out, const ExportScene& scene, ExportLog& log);
void write_output_info(OutputFile& out, const ImdTotals& totals);
// The hardware limits on the totals; each adds a warning.
void check_limits(ExportLog& log, const ImdTotals& totals);

// The number of halvings that brings every component of v into [-8, 8); v is
// left halved. Stops after 256 halvings for values that never fit.
int halving_count(Vec3& v);

}  // namespace kavro
