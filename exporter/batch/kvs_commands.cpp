#include "exporter/batch/kvs_commands.h"

#include "exporter/batch/k3be.h"
#include "exporter/pipeline/envelope.h"
#include "exporter/pipeline/options.h"
#include "host/script_host.h"

namespace kavro {
namespace {

int lua_kvs_export(lua_State* L) {
  if (lua_gettop(L) != 1) return host::argument_count_error(L, "kvsExport", 1);
  if (lua_type(L, 1) != LUA_TSTRING)
    return host::argument_type_error(L, "kvsExport <k3be_file>", 1);
  return host::guarded(L, [](lua_State* S, std::string&) {
    auto* env = static_cast<BatchEnvironment*>(host::command_context(S));
    std::string path;
    host::string_argument(S, 1, path);
    // The batch's own scripts have their own limits; its exports are no
    // script time of the caller.
    host::ScriptHost::PauseLimit pause(host::ScriptHost::from(S));
    lua_pushboolean(S, kvs_export(path, *env) ? 1 : 0);
    return 1;
  });
}

int lua_kvs_about(lua_State* L) {
  if (lua_gettop(L) != 0) return host::argument_count_error(L, "kvsAbout", 0);
  return host::guarded(L, [](lua_State* S, std::string&) {
    auto* env = static_cast<BatchEnvironment*>(host::command_context(S));
    env->host.message_box(about_text(), "About KAVRO-System", host::MessageIcon::kInformation);
    return 0;
  });
}

}  // namespace

bool kvs_export(const std::string& k3be_path, BatchEnvironment& env) {
  // A script of a batch that starts another batch would share the batch
  // flag, the log and the saved options with it.
  static bool running = false;
  if (running) {
    env.host.listener_print("kvsExport: a batch is already running\n");
    return false;
  }
  running = true;
  ExportOptions saved = current_options();
  bool ok = run_batch(k3be_slash_form(k3be_path), env);
  current_options() = saved;
  running = false;
  return ok;
}

void register_kvs_commands(host::ScriptHost& script, BatchEnvironment& env) {
  script.register_command("kvsExport", lua_kvs_export, &env);
  script.register_command("kvsAbout", lua_kvs_about, &env);
}

}  // namespace kavro
