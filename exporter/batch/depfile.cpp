#include "exporter/batch/depfile.h"

#include <cstdio>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/output_file.h"
#include "host/cp932.h"

namespace kavro {

std::string make_escaped(const std::string& path) {
  std::string out;
  for (char c : host::system_path(path)) {
    if (c == ' ' || c == '#' || c == '\\') {
      out += '\\';
    } else if (c == '$') {
      out += '$';
    }
    out += c;
  }
  return out;
}

std::string depfile_text(const std::vector<std::string>& targets,
                         const std::vector<std::string>& inputs) {
  std::string text;
  for (const std::string& t : targets) text += (text.empty() ? "" : " ") + make_escaped(t);
  text += ":";
  for (const std::string& in : inputs) text += " \\\n  " + make_escaped(in);
  return text + "\n";
}

bool write_depfile(const std::string& path, const std::vector<std::string>& targets,
                   const std::vector<std::string>& inputs, std::string& error) {
  std::string text = depfile_text(targets, inputs);
  std::string temp = path + ".tmp";
  std::FILE* f = std::fopen(host::system_path(temp).c_str(), "wb");
  bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f != nullptr && std::fclose(f) != 0) ok = false;
  if (ok && std::rename(host::system_path(temp).c_str(), host::system_path(path).c_str()) != 0) {
    ok = false;
  }
  if (!ok) {
    std::remove(host::system_path(temp).c_str());
    error = "Can't write the dependency file " + path;
  }
  return ok;
}

std::vector<std::string> export_outputs(const ExportOptions& options, const std::string& folder) {
  std::string model = model_path_for(folder, options.output_file_name);
  std::vector<std::string> outputs;
  for (int kind = 0; kind < kOutputKinds; ++kind) {
    const OutputKindInfo& info = output_kind_info(kind);
    if (options.*info.option == 0) continue;
    outputs.push_back(model.substr(0, model.size() - 3) + info.extension);
  }
  return outputs;
}

}  // namespace kavro
