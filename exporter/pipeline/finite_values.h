// The check that stands between processing and the writers: every number the
// files are written from must be finite, since "%f" would write "inf" or
// "nan" where a reader expects a number.
#pragma once

#include <string>

namespace kavro {

class ExportScene;

// What holds the first value that is not finite, as "node NAME", "polygon set
// NAME", "material NAME", "light N" or "camera N"; empty when every value is
// finite.
std::string find_non_finite(const ExportScene& scene);

}  // namespace kavro
