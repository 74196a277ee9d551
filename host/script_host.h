// The host's script language: Lua 5.4 in one interpreter per host. It runs a
// text ("execute script") or a file (`fileIn "path"`), prints to the script
// listener, and offers the registered commands (`kvsExport`, `kvsAbout` from
// the exporter) and the scene API (script_scene_api.cpp, docs/scripting.md).
//
// A script that raises an error stops with the Lua message, which names the
// file and line, printed on the listener; nothing a script does takes the
// process down: os.exit is refused, memory is capped, and a script that runs
// longer than the time limit is stopped with a message naming it.
//
// Commands are Lua C functions. Lua unwinds errors with longjmp, which skips
// C++ destructors, so a command does its work in a body that reports errors
// as values (ScriptHost::guarded) and only the thin outer function raises.
#pragma once

#include <chrono>
#include <cstddef>
#include <lua.hpp>
#include <string>
#include <vector>

namespace kavro::host {

class Host;
class SceneSession;

// Default limit on the run time of one script, in seconds: generous, so that
// only a script that loops for ever meets it.
constexpr double kDefaultScriptTimeout = 600.0;
// Memory one interpreter may hold.
constexpr std::size_t kScriptMemoryLimit = std::size_t{1} << 30;

class ScriptHost {
 public:
  // `session` is the open scene the scene API works on; without one the
  // scene functions report that no scene is open.
  ScriptHost(Host& host, SceneSession* session);
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  // Runs a script text. `source` names it in messages. False when the script
  // did not compile or raised an error; the message is on the listener.
  bool execute(const std::string& text, const std::string& source = "script");
  // Runs a script file, as the script command fileIn does.
  bool file_in(const std::string& path);

  // The run-time limit of each script started from now on (0: none).
  void set_timeout(double seconds) { timeout_seconds_ = seconds; }
  double timeout() const { return timeout_seconds_; }

  // Registers a global command; `context` is handed back by command_context.
  void register_command(const char* name, lua_CFunction function, void* context);

  // The last error message (without the listener's prefix).
  const std::string& last_error() const { return last_error_; }

  Host& host() { return host_; }
  SceneSession* session() { return session_; }
  lua_State* state() { return state_; }

  // While it lives, the time spent does not count against the running
  // script's limit (used by commands that do long work of their own, such as
  // a batch export).
  class PauseLimit {
   public:
    explicit PauseLimit(ScriptHost& host);
    ~PauseLimit();
    PauseLimit(const PauseLimit&) = delete;
    PauseLimit& operator=(const PauseLimit&) = delete;

   private:
    ScriptHost& host_;
    std::chrono::steady_clock::time_point start_;
  };

  // The host a command runs in (from the interpreter's registry).
  static ScriptHost& from(lua_State* L);

 private:
  struct Running {
    std::string source;
    std::chrono::steady_clock::time_point deadline;
    bool limited = false;
  };

  bool run_chunk(const std::string& text, const std::string& chunk_name, const std::string& source);
  void extend_deadlines(std::chrono::steady_clock::duration by);
  static void hook(lua_State* L, lua_Debug* ar);
  static void* allocate(void* ud, void* ptr, std::size_t old_size, std::size_t new_size);

  Host& host_;
  SceneSession* session_;
  lua_State* state_ = nullptr;
  double timeout_seconds_ = kDefaultScriptTimeout;
  std::size_t memory_used_ = 0;
  std::vector<Running> running_;
  std::string last_error_;
};

// The context pointer a command was registered with.
void* command_context(lua_State* L);

// The script language's argument-count error: "wrong number of arguments to
// 'NAME' (EXPECTED expected, got N)". Raises; never returns.
int argument_count_error(lua_State* L, const char* name, int expected);
// The script language's type error for argument `index`: "type error:
// EXPECTED expected, got TYPE". Raises; never returns.
int argument_type_error(lua_State* L, const char* expected, int index);

// Runs `body(L, error)` so that no C++ object is alive when an error is
// raised. The body returns its number of results, or -1 with `error` set.
// Exceptions (out of memory) become script errors too.
template <class Body>
int guarded(lua_State* L, Body body) {
  int results = -1;
  bool failed = false;
  {
    std::string error;
    try {
      results = body(L, error);
    } catch (const std::exception& e) {
      error = std::string("internal error: ") + e.what();
      results = -1;
    }
    if (results < 0) {
      failed = true;
      luaL_where(L, 1);
      lua_pushlstring(L, error.data(), error.size());
      lua_concat(L, 2);
    }
  }
  if (failed) return lua_error(L);
  return results;
}

// The argument as a byte string (Lua strings hold any bytes), or false.
bool string_argument(lua_State* L, int index, std::string& out);

}  // namespace kavro::host
