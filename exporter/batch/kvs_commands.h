// The exporter's script commands: kvsExport, which runs a batch description
// file with the user's options saved before and restored after, and
// kvsAbout, which shows the about text.
#pragma once

#include <string>

#include "exporter/batch/batch_runner.h"

namespace kavro::host {
class ScriptHost;
}

namespace kavro {

// kvsExport without the script language around it: the path in slash form,
// the whole process-wide options block saved, the batch run, the block
// restored. True when the batch reached its summary.
bool kvs_export(const std::string& k3be_path, BatchEnvironment& env);

// Registers kvsExport and kvsAbout in the script host; `env` must outlive it.
void register_kvs_commands(host::ScriptHost& script, BatchEnvironment& env);

}  // namespace kavro
