#include "exporter/pipeline/envelope.h"

#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"
#include "host/clock.h"
#include "host/host.h"

namespace kavro {

const FileKindInfo& file_kind_info(FileKind kind) {
  static const FileKindInfo kinds[7] = {
      {"imd", "1.6.0", "Model Data for MERIDANE KAVRO-System"},
      {"ica", "1.6.0", "Character Animation Data for MERIDANE KAVRO-System"},
      {"iva", "1.6.0", "Visibility Animation Data for MERIDANE KAVRO-System"},
      {"ima", "1.6.0", "Material Color Animation Data for MERIDANE KAVRO-System"},
      {"itp", "1.6.0", "Texture Pattern Animation Data for MERIDANE KAVRO-System"},
      {"ita", "1.6.0", "Texture SRT Animation Data for MERIDANE KAVRO-System"},
      {"isd", "1.6.0", "Scene Data for MERIDANE KAVRO-System"},
  };
  return kinds[static_cast<int>(kind)];
}

std::string generator_name() {
  return format("3dsmax %d KVS_Export", kHostVersionYear);
}

void write_head(OutputFile& out, const ExportScene& scene, FileKind kind) {
  const FileKindInfo& info = file_kind_info(kind);
  host::Host* h = scene.host_interface;
  host::LocalTime t = h != nullptr ? h->local_time() : host::clock_now();
  std::string date =
      format("%d-%.2d-%.2dT%.2d:%.2d:%.2d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  out.printf("<?xml version=\"%.1f\" encoding=\"Shift_JIS\"?>\n", 1.0);
  out.printf("\n<%s version=\"%s\">\n", info.root, info.version);
  std::string user = xml_escape(h != nullptr ? h->user_name() : std::string("unknown"));
  std::string computer = xml_escape(h != nullptr ? h->computer_name() : std::string("unknown"));
  std::string source = xml_escape(scene.source_name.empty() ? "untitled" : scene.source_name);
  std::string generator = generator_name();
  out.write("\n<head>\n");
  out.printf("\t<create user=\"%s\" host=\"%s\" date=\"%s\" source=\"%s\"/>\n", user.c_str(),
             computer.c_str(), date.c_str(), source.c_str());
  out.printf("\t<title>%s</title>\n", info.title);
  out.printf("\t<generator name=\"%s\" version=\"%s\"/>\n", generator.c_str(), kToolVersion);
  out.write("</head>\n");
  out.write("\n<body>\n\n");
  out.printf("<original_create user=\"%s\" host=\"%s\" date=\"%s\" source=\"%s\"/>\n", user.c_str(),
             computer.c_str(), date.c_str(), source.c_str());
  out.printf("<original_generator name=\"%s\" version=\"%s\"/>\n", generator.c_str(), kToolVersion);
}

void write_closing(OutputFile& out, FileKind kind) {
  out.write("\n</body>\n");
  out.printf("\n</%s>\n", file_kind_info(kind).root);
}

bool write_enveloped_file(const ExportScene& scene, ExportLog& log, const std::string& path,
                          FileKind kind, const std::function<void(OutputFile&)>& body) {
  OutputFile out;
  if (!open_for_export(log, out, path)) return false;
  write_head(out, scene, kind);
  body(out);
  write_closing(out, kind);
  return commit_export(log, out);
}

std::string about_text() {
  std::string version = kToolVersion;
  std::size_t dot = version.rfind('.');
  std::string number = version.substr(0, dot);
  std::string date = version.substr(dot + 1);
  std::string shown_date =
      date.size() == 8 ? date.substr(0, 4) + "/" + date.substr(4, 2) + "/" + date.substr(6, 2)
                       : date;
  return format("MERIDANE KAVRO-System Plugin for 3ds Max %d", kHostVersionYear) + "\n\n" + "Ver " +
         number + " ( " + shown_date + " )\n\n" +
         "Copyright (C) 2009 Meridane. All rights reserved.\n"
         "KAVRO Export for Linux: the exporter and its scene-preparation tools.";
}

}  // namespace kavro
