#include "exporter/batch/batch_runner.h"

#include <sys/stat.h>

#include <cstdio>

#include "exporter/batch/batch_log.h"
#include "exporter/batch/depfile.h"
#include "exporter/batch/k3be.h"
#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"
#include "exporter/ui/settings_file.h"
#include "exporter/ui/user_settings.h"
#include "host/clock.h"
#include "host/cp932.h"
#include "host/file_journal.h"
#include "host/files.h"

namespace kavro {
namespace {

const char kRule[] = "--------------------------------------------------";

// Names compared as the host compares node names ignoring case: ASCII
// letters in either case; a two-byte character only as it is.
bool same_name_ignoring_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  auto lower = [](unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
  };
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (is_lead_byte(ca)) {
      if (ca != cb) return false;
      if (i + 1 < a.size() && a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (lower(ca) != lower(cb)) {
      return false;
    }
  }
  return true;
}

// Reads the description into lines (LF or CR LF). False when it cannot be
// read as a file.
bool read_lines(const std::string& path, std::vector<std::string>& lines) {
  if (!host::path_is_file(path)) return false;
  std::FILE* f = std::fopen(host::system_path(path).c_str(), "rb");
  if (f == nullptr) return false;
  host::note_file_read(path);
  std::string text;
  char chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  bool ok = std::ferror(f) == 0;
  std::fclose(f);
  if (!ok) return false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return true;
}

// One run of a description file.
class Runner : public host::BatchSink {
 public:
  Runner(BatchEnvironment& env, const std::string& k3be_path) : env_(env), k3be_path_(k3be_path) {}

  bool run();

  // Batch mode: the exporter's message boxes and results.
  void error(const std::string& text) override {
    env_.host.listener_print("Error: " + text + "\n");
    log_.append("Error: " + text + "\n\n");
  }
  void result(const std::vector<std::string>& warnings, bool success) override {
    log_.append(batch_log_result(warnings, success));
  }

 private:
  struct Key {
    explicit Key(const char* key) : name(key) {}
    const char* name;
    std::string value;  // as read
    std::string form;   // folder form, or the value for k3es
    bool given = false;
  };

  // A failure's message: the listener, and the log when one is open.
  bool fail(const std::string& text) {
    env_.host.listener_print(text + "\n");
    log_.append(text + "\n");
    return false;
  }
  bool fail_listener_only(const std::string& text) {
    env_.host.listener_print(text + "\n");
    return false;
  }

  bool handle_line(const std::string& line);
  bool handle_log(const std::string& value, bool unterminated);
  bool handle_folder(Key& key, const std::string& value, bool create);
  bool handle_scene(const std::string& line, std::size_t pos);
  bool run_scripts(const std::string& value);
  bool select_roots(const std::string& value, bool& selected);
  void write_scene_block(const std::string& name, const SceneOptions& parsed);

  BatchEnvironment& env_;
  std::string k3be_path_;
  BatchLog log_;
  Key input_{"input_folder"}, output_{"output_folder"}, k3es_folder_{"k3es_folder"}, k3es_{"k3es"},
      script_folder_{"script_folder"};
  int scene_counter_ = 0;
  int exported_ = 0;
  bool any_scene_ = false;
  std::string last_scene_path_;
  std::string last_script_;
  bool have_last_scene_ = false;
  bool finished_ = false;
  bool log_named_ = false;
};

bool Runner::run() {
  std::time_t start = env_.clock ? env_.clock() : host::clock_seconds();
  log_.clear();
  std::vector<std::string> lines;
  if (!read_lines(k3be_path_, lines)) return fail_listener_only("Can't open file: " + k3be_path_);
  if (lines.empty() || !k3be_header_ok(lines[0])) return fail_listener_only("k3be file is wrong");

  // Errors the exporter reports while a scene is exported come here.
  struct SinkScope {
    host::Host& host;
    SinkScope(host::Host& h, host::BatchSink* sink) : host(h) { host.set_batch_sink(sink); }
    ~SinkScope() {
      host.set_batch_sink(nullptr);
      host.set_batch_running(false);
    }
  } scope(env_.host, this);

  for (std::size_t i = 1; i < lines.size() && !finished_; ++i) {
    if (!handle_line(lines[i])) return false;
  }
  if (!any_scene_) return fail("\"scene\" is not specified");
  if (env_.plan != nullptr || env_.only_scene != 0) return true;
  std::time_t end = env_.clock ? env_.clock() : host::clock_seconds();
  long long elapsed = end > start ? static_cast<long long>(end - start) : 0;
  std::string summary = batch_summary(exported_, elapsed);
  env_.host.listener_print(summary + "\n");
  log_.append(summary + "\n");
  return true;
}

bool Runner::handle_line(const std::string& line) {
  std::size_t pos = 0;
  std::string key = next_word(line, pos);
  if (key.empty() || key[0] == '#') return true;
  if (key == "scene") return handle_scene(line, pos);

  Key* folder = nullptr;
  bool create = false;
  if (key == "input_folder") {
    folder = &input_;
  } else if (key == "output_folder") {
    folder = &output_;
    create = true;
  } else if (key == "k3es_folder") {
    folder = &k3es_folder_;
  } else if (key == "script_folder") {
    folder = &script_folder_;
  } else if (key != "log" && key != "k3es") {
    return true;  // an unknown key: the line is ignored
  }

  bool unterminated = false;
  std::string value = read_value(line, pos, &unterminated);
  if (key == "log") return handle_log(value, unterminated);
  if (unterminated) {
    return fail(
        format("\"%s\" is wrong (value has no closing quote): %s", key.c_str(), value.c_str()));
  }
  if (key == "k3es") {
    k3es_.value = k3es_.form = value;
    k3es_.given = true;
    return true;
  }
  return handle_folder(*folder, value, create);
}

bool Runner::handle_log(const std::string& value, bool unterminated) {
  // Only the first log, and only before the folders and settings are given.
  if (log_named_ || input_.given || output_.given || k3es_folder_.given || k3es_.given ||
      script_folder_.given) {
    return true;
  }
  if (value.empty()) return fail_listener_only("\"log\" is wrong");
  if (unterminated) {
    return fail_listener_only("\"log\" is wrong (value has no closing quote): " + value);
  }
  log_named_ = true;
  std::string path = k3be_slash_form(value);
  if (env_.plan != nullptr) {
    if (env_.planned_log != nullptr) *env_.planned_log = path;
    return true;
  }
  if (env_.only_scene != 0) {
    // The whole run's log is put together by whoever runs the lines.
    if (!env_.log_part.empty() && !log_.create(env_.log_part, "")) {
      return fail_listener_only("Can't open file: " + env_.log_part);
    }
    return true;
  }
  std::string user = env_.host.user_name().substr(0, 256);
  std::string computer = env_.host.computer_name().substr(0, 15);
  if (!log_.create(path, batch_log_header(user, computer, env_.host.local_time(),
                                          k3be_slash_form(k3be_path_)))) {
    return fail_listener_only("Can't open file: " + path);
  }
  return true;
}

bool Runner::handle_folder(Key& key, const std::string& value, bool create) {
  std::string form = k3be_folder_form(value);
  bool exists = host::path_is_folder(form);
  if (!exists && create && !form.empty() && !host::path_is_file(form)) {
    exists = ::mkdir(host::system_path(form).c_str(), 0777) == 0;
  }
  if (!exists) return fail(format("\"%s\" is wrong: %s", key.name, value.c_str()));
  key.value = value;
  key.form = form;
  key.given = true;
  return true;
}

bool Runner::handle_scene(const std::string& line, std::size_t pos) {
  for (const Key* key : {&input_, &output_, &k3es_folder_, &k3es_}) {
    if (!key->given) return fail(format("\"%s\" is not specified", key->name));
  }
  bool unterminated = false;
  std::string name = read_value(line, pos, &unterminated);
  if (unterminated) {
    return fail("\"scene\" is wrong (value has no closing quote): " + name);
  }
  std::string scene_path = input_.form + "/" + name;
  any_scene_ = true;

  ++scene_counter_;
  // A run of one line goes through the lines before it as a plan does, so
  // that the options they leave in the process-wide record are the same as
  // in a run of the whole file; the lines after it are not read.
  if (env_.only_scene != 0 && scene_counter_ > env_.only_scene) {
    finished_ = true;
    return true;
  }
  bool planning = env_.plan != nullptr || scene_counter_ < env_.only_scene;
  if (!planning) {
    env_.host.listener_print(format("[%d] %s\n", scene_counter_, kRule));
    env_.host.listener_print("# scene: " + scene_path + "\n");
  }

  bool reuse =
      planning || (have_last_scene_ && scene_path == last_scene_path_ && last_script_.empty());
  if (!reuse) {
    if (!env_.session.LoadFromFile(scene_path)) {
      // Why the host could not load it, for the person reading the listener.
      env_.host.listener_print(env_.session.last_error() + "\n");
      return fail("\"scene\" is wrong: " + name);
    }
    for (const std::string& w : env_.session.load_warnings()) env_.host.listener_print(w + "\n");
  }

  ExportOptions& options = current_options();
  std::string settings = k3es_folder_.form + "/" + k3es_.value;
  bool read = env_.read_settings ? env_.read_settings(settings, options)
                                 : read_settings_file(settings, options);
  if (!read) {
    return fail("\"k3es\" is wrong: " + k3es_.value);
  }

  SceneOptions parsed = parse_scene_options(line, pos, default_output_name(name), options);
  if (!parsed.ok) return fail(parsed.message);
  if (planning) {
    set_text_field(options.output_file_name, parsed.output_name);
    set_text_field(options.output_folder, output_.form);
    if (env_.plan != nullptr) {
      env_.plan->push_back({scene_counter_, scene_path, export_outputs(options, output_.form)});
    }
    return true;
  }
  write_scene_block(name, parsed);

  if (!parsed.script.empty() && !run_scripts(parsed.script)) return false;
  bool selected = false;
  if (!parsed.root.empty() && !select_roots(parsed.root, selected)) return false;

  options.export_all = selected ? ExportScope::kSelection : ExportScope::kAll;
  set_text_field(options.output_file_name, parsed.output_name);
  set_text_field(options.output_folder, output_.form);
  options.process_mode = ProcessMode::kIntermediateFile;

  env_.host.set_batch_running(true);
  bool exported = env_.session.ExportToFile(kBatchPlaceholderName, true, kExportPlaceholderName,
                                            kKavroExporterClassId);
  env_.host.set_batch_running(false);
  if (!exported) return fail_listener_only("Failed to export");
  if (env_.exported) env_.exported(export_outputs(options, output_.form));

  last_scene_path_ = scene_path;
  last_script_ = parsed.script;
  have_last_scene_ = true;
  exported_ = scene_counter_;
  return true;
}

void Runner::write_scene_block(const std::string& name, const SceneOptions& parsed) {
  if (!log_.is_open()) return;
  bool scripts = !parsed.script.empty();
  std::string block = format("[%d] %s\n", scene_counter_, kRule);
  block += "# input_folder: " + input_.form + "\n";
  block += "# k3es_folder: " + k3es_folder_.form + "\n";
  if (scripts) block += "# script_folder: " + script_folder_.form + "\n";
  block += "# k3es: " + k3es_.value + "\n";
  block += "# scene: " + name;
  if (!parsed.root.empty()) block += " (root: " + parsed.root + ")";
  block += "\n";
  if (scripts) block += "# script: " + parsed.script + "\n";
  block += "# output_folder: " + output_.form + "\n";
  const ExportOptions& o = current_options();
  const std::pair<int, const char*> outputs[] = {
      {o.output_imd, "imd"}, {o.output_ica, "ica"}, {o.output_iva, "iva"},
      {o.output_ima, "ima"}, {o.output_itp, "itp"}, {o.output_ita, "ita"},
  };
  std::string entries;
  for (const auto& [on, extension] : outputs) {
    if (on == 0) continue;
    if (!entries.empty()) entries += "  ";
    entries += parsed.output_name + "." + extension;
  }
  block += "# output: " + entries + "\n";
  log_.append(block);
}

bool Runner::run_scripts(const std::string& value) {
  if (!script_folder_.given) return fail("\"script_folder\" is not specified");
  for (const std::string& piece : split_list(value)) {
    std::string path = script_folder_.form + "/" + piece;
    if (!host::path_is_file(path)) return fail("Script is not found: " + path);
    if (!env_.execute_script || !env_.execute_script(file_in_command(path), path)) {
      return fail("Script error: " + path);
    }
  }
  return true;
}

bool Runner::select_roots(const std::string& value, bool& selected) {
  std::vector<int> nodes = env_.session.nodes_depth_first();
  const auto& records = env_.session.scene().nodes;
  for (const std::string& name : split_list(value)) {
    int found = -1;
    for (int index : nodes) {
      if (same_name_ignoring_case(records[index].name, name)) {
        found = index;
        break;
      }
    }
    if (found < 0) return fail("Node is not found: " + name);
    env_.session.SelectNode(found, !selected);
    selected = true;
  }
  return true;
}

}  // namespace

std::string batch_summary(int scenes, long long seconds) {
  return format("Batch Export is finished. Total %d scene%s. ( Total Time = %lld:%02lld )", scenes,
                scenes >= 2 ? "s" : "", seconds / 60, seconds % 60);
}

std::string file_in_command(const std::string& path) {
  std::string command = "fileIn \"";
  for (std::size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c == '"' || c == '\\') {
      command += '\\';
      command += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      command += format("\\%03d", c);
    } else {
      command += static_cast<char>(c);
    }
  }
  return command + "\"";
}

bool run_batch(const std::string& k3be_path, BatchEnvironment& env) {
  Runner runner(env, k3be_path);
  return runner.run();
}

}  // namespace kavro
