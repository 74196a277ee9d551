// The animation files: node SRT (ICA), visibility (IVA), material colour
// (IMA), texture SRT (ITA) and texture pattern (ITP). Each writer reads the
// processed scene model, stores its results in the records (channel records,
// key counts) and writes its file whole or not at all.
#pragma once

#include <string>

#include "exporter/pipeline/stages.h"

namespace kavro {

class ExportScene;
class OutputFile;

class IcaWriter : public OutputWriter {
 public:
  bool write(ExportScene& scene, const std::string& path) override;
};

class IvaWriter : public OutputWriter {
 public:
  bool write(ExportScene& scene, const std::string& path) override;
};

class ImaWriter : public OutputWriter {
 public:
  bool write(ExportScene& scene, const std::string& path) override;
};

class ItaWriter : public OutputWriter {
 public:
  bool write(ExportScene& scene, const std::string& path) override;
};

class ItpWriter : public OutputWriter {
 public:
  bool write(ExportScene& scene, const std::string& path) override;
};

// The file bodies, for writers and tests alike. Each encodes (or counts) into
// the scene model first and then writes its information block and data.
void write_ica_body(OutputFile& out, ExportScene& scene);
void write_iva_body(OutputFile& out, ExportScene& scene);
void write_ima_body(OutputFile& out, ExportScene& scene);
void write_ita_body(OutputFile& out, ExportScene& scene);
void write_itp_body(OutputFile& out, ExportScene& scene);

}  // namespace kavro
