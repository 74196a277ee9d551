// The batch runner: reads a description file (k3be.h) line by line and, for
// every `scene` line, loads the scene when needed, reads the settings file
// over the process-wide options, applies the line's scene options, runs its
// scripts, selects its root nodes and exports it through the host's
// export-to-file service, with the exporter in batch mode. Messages go to
// the script listener and, once a `log` key has started it, to the batch log.
// The first failure stops the batch; files already exported stay.
//
// `kvsExport` (kvs_commands.h) wraps a run: it saves the process-wide options
// before and restores them after, so a batch never changes the user's
// options.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/options.h"
#include "host/host.h"
#include "host/scene_session.h"

namespace kavro {

// The placeholder name of a batch export (the options give the real one).
constexpr char kBatchPlaceholderName[] = "C:\\dummy.imd";

// One scene line as a build system sees it: what it writes.
struct ScenePlan {
  int line = 0;            // the scene counter of the line (1, 2, ...)
  std::string scene_path;  // input_folder + "/" + name
  std::vector<std::string> outputs;
};

struct BatchEnvironment {
  BatchEnvironment(host::Host& h, host::SceneSession& s) : host(h), session(s) {}

  host::Host& host;  // listener, names, local time, batch flag
  host::SceneSession& session;
  // Runs a script command text ("fileIn \"path\"") in the host's script
  // language; `script_path` names the script in messages. False when the
  // script failed.
  std::function<bool(const std::string& command, const std::string& script_path)> execute_script;
  // Reads a settings file over the options; false when it cannot be opened
  // (the exporter's settings-file reader).
  std::function<bool(const std::string& path, ExportOptions& options)> read_settings;
  // Seconds of the one clock (SOURCE_DATE_EPOCH or the real time).
  std::function<std::time_t()> clock;

  // For build systems. With only_scene set, only that scene line (counted
  // from 1) is exported, the others are skipped, no log header and no
  // summary are written, so that scene lines can run as separate processes. With plan set, nothing
  // is loaded or exported: every scene line is checked and what it would
  // write is appended to *plan.
  int only_scene = 0;
  std::vector<ScenePlan>* plan = nullptr;
  // A run of one line writes its log lines (without the header) to this
  // file when the description names a log; a plan tells the log's path.
  std::string log_part;
  std::string* planned_log = nullptr;
  // Told the files of every exported scene.
  std::function<void(const std::vector<std::string>& outputs)> exported;
};

// Runs the description file (path in slash form) against the process-wide
// options. True when the batch reached its summary line.
bool run_batch(const std::string& k3be_path, BatchEnvironment& env);

// The summary line for a count of exported scenes and the elapsed seconds.
std::string batch_summary(int scenes, long long seconds);

// The script command that runs a script file: fileIn and the path in double
// quotes, with the characters the script language escapes escaped.
std::string file_in_command(const std::string& path);

}  // namespace kavro
