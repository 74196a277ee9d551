// The animation files: node SRT (ICA), visibility (IVA), material colour
// (IMA), texture SRT (ITA) and texture pattern (ITP). Each writer reads the
// processed scene model, encodes (or counts) into state of its own, writes its
// file whole or not at all, and leaves the channels it stored in the log's
// records for reports.
#pragma once

#include <string>

#include "exporter/pipeline/stages.h"

namespace kavro {

class ExportLog;
class ExportScene;
class OutputFile;

class IcaWriter : public OutputWriter {
 public:
  bool write(const ExportScene& scene, ExportLog& log, const std::string& path) override;
};

class IvaWriter : public OutputWriter {
 public:
  bool write(const ExportScene& scene, ExportLog& log, const std::string& path) override;
};

class ImaWriter : public OutputWriter {
 public:
  bool write(const ExportScene& scene, ExportLog& log, const std::string& path) override;
};

class ItaWriter : public OutputWriter {
 public:
  bool write(const ExportScene& scene, ExportLog& log, const std::string& path) override;
};

class ItpWriter : public OutputWriter {
 public:
  bool write(const ExportScene& scene, ExportLog& log, const std::string& path) override;
};

// The file bodies, for writers and tests alike: each encodes (or counts)
// first and then writes its information block and data.
void write_ica_body(OutputFile& out, const ExportScene& scene, ExportLog& log);
void write_iva_body(OutputFile& out, const ExportScene& scene, ExportLog& log);
void write_ima_body(OutputFile& out, const ExportScene& scene, ExportLog& log);
void write_ita_body(OutputFile& out, const ExportScene& scene, ExportLog& log);
void write_itp_body(OutputFile& out, const ExportScene& scene, ExportLog& log);

}  // namespace kavro
