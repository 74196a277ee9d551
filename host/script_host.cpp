#include "host/script_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/cp932.h"
#include "host/file_journal.h"
#include "host/host.h"
#include "host/script_path.h"

namespace kavro::host {

void register_scene_api(ScriptHost& script);  // script_scene_api.cpp

namespace {

const char kHostKey = 'k';  // address used as the registry key of the host
constexpr int kHookInstructions = 10000;

std::string error_text(lua_State* L, int index) {
  if (const char* text = lua_tostring(L, index)) return text;
  return std::string("(error object is a ") + luaL_typename(L, index) + " value)";
}

// print(...): the values with tostring, separated by tabs, as one listener
// line.
int lua_print(lua_State* L) {
  int n = lua_gettop(L);
  luaL_Buffer buffer;
  luaL_buffinit(L, &buffer);
  for (int i = 1; i <= n; ++i) {
    luaL_tolstring(L, i, nullptr);
    if (i > 1) luaL_addchar(&buffer, '\t');
    luaL_addvalue(&buffer);
  }
  luaL_addchar(&buffer, '\n');
  luaL_pushresult(&buffer);
  std::size_t size = 0;
  const char* text = lua_tolstring(L, -1, &size);
  ScriptHost::from(L).host().listener_print(std::string(text, size));
  return 0;
}

// fileIn(path): runs a script file in this interpreter; its errors are the
// caller's errors.
int lua_file_in(lua_State* L) {
  if (lua_gettop(L) != 1) return argument_count_error(L, "fileIn", 1);
  if (lua_type(L, 1) != LUA_TSTRING) return argument_type_error(L, "fileIn <script_file>", 1);
  // Loads the file as a function on the stack; called once no C++ object is
  // alive, since its errors unwind through here.
  guarded(L, [](lua_State* S, std::string& error) {
    // A bare name not found here is looked for on the script search path.
    std::string path = find_script_file(lua_tostring(S, 1));
    std::FILE* f = std::fopen(system_path(path).c_str(), "rb");
    if (f == nullptr) {
      error = "fileIn: can't open file: " + path;
      return -1;
    }
    note_file_read(path);
    std::string text;
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    std::fclose(f);
    std::string name = "@" + path;
    if (luaL_loadbuffer(S, text.data(), text.size(), name.c_str()) != LUA_OK) {
      // The compiler's message names the file and the line.
      error = error_text(S, -1);
      lua_pop(S, 1);
      return -1;
    }
    return 1;
  });
  lua_call(L, 0, 0);
  return 0;
}

int lua_exit_refused(lua_State* L) {
  return luaL_error(L, "os.exit is not available to scripts");
}

}  // namespace

ScriptHost::ScriptHost(Host& host, SceneSession* session) : host_(host), session_(session) {
  state_ = lua_newstate(&ScriptHost::allocate, this);
  if (state_ == nullptr) std::abort();  // no memory for an empty interpreter
  luaL_openlibs(state_);
  lua_pushlightuserdata(state_, this);
  lua_rawsetp(state_, LUA_REGISTRYINDEX, &kHostKey);
  lua_register(state_, "print", lua_print);
  lua_register(state_, "fileIn", lua_file_in);
  lua_getglobal(state_, "os");
  if (lua_istable(state_, -1)) {
    lua_pushcfunction(state_, lua_exit_refused);
    lua_setfield(state_, -2, "exit");
  }
  lua_pop(state_, 1);
  lua_sethook(state_, &ScriptHost::hook, LUA_MASKCOUNT, kHookInstructions);
  register_scene_api(*this);
}

ScriptHost::~ScriptHost() {
  lua_close(state_);
}

ScriptHost& ScriptHost::from(lua_State* L) {
  lua_rawgetp(L, LUA_REGISTRYINDEX, &kHostKey);
  auto* host = static_cast<ScriptHost*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return *host;
}

void* ScriptHost::allocate(void* ud, void* ptr, std::size_t old_size, std::size_t new_size) {
  auto* self = static_cast<ScriptHost*>(ud);
  std::size_t old_bytes = ptr != nullptr ? old_size : 0;
  if (new_size == 0) {
    std::free(ptr);
    self->memory_used_ -= old_bytes;
    return nullptr;
  }
  if (new_size > old_bytes && self->memory_used_ - old_bytes + new_size > kScriptMemoryLimit) {
    return nullptr;  // Lua raises its memory error
  }
  void* grown = std::realloc(ptr, new_size);
  if (grown != nullptr) self->memory_used_ = self->memory_used_ - old_bytes + new_size;
  return grown;
}

void ScriptHost::hook(lua_State* L, lua_Debug*) {
  ScriptHost& self = from(L);
  if (self.running_.empty()) return;
  Running& top = self.running_.back();
  if (!top.limited || std::chrono::steady_clock::now() < top.deadline) return;
  // From now on every instruction raises again, so that a script catching
  // the error with pcall cannot carry on.
  lua_sethook(L, &ScriptHost::hook, LUA_MASKCOUNT, 1);
  if (L != self.state_) lua_sethook(self.state_, &ScriptHost::hook, LUA_MASKCOUNT, 1);
  char text[600];
  std::snprintf(text, sizeof text, "%.400s was stopped: it ran longer than the limit of %g seconds",
                top.source.c_str(), self.timeout_seconds_);
  lua_pushstring(L, text);
  lua_error(L);
}

void ScriptHost::extend_deadlines(std::chrono::steady_clock::duration by) {
  for (Running& r : running_) r.deadline += by;
}

ScriptHost::PauseLimit::PauseLimit(ScriptHost& host)
    : host_(host), start_(std::chrono::steady_clock::now()) {}

ScriptHost::PauseLimit::~PauseLimit() {
  host_.extend_deadlines(std::chrono::steady_clock::now() - start_);
}

bool ScriptHost::run_chunk(const std::string& text, const std::string& chunk_name,
                           const std::string& source) {
  lua_State* L = state_;
  int top = lua_gettop(L);
  int status = luaL_loadbuffer(L, text.data(), text.size(), chunk_name.c_str());
  if (status == LUA_OK) {
    Running r;
    r.source = source;
    r.limited = timeout_seconds_ > 0;
    auto start = std::chrono::steady_clock::now();
    if (r.limited) {
      r.deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(timeout_seconds_));
    }
    running_.push_back(r);
    status = lua_pcall(L, 0, 0, 0);
    running_.pop_back();
    lua_sethook(L, &ScriptHost::hook, LUA_MASKCOUNT, kHookInstructions);
    // Time spent in this script does not count against the scripts that
    // started it.
    extend_deadlines(std::chrono::steady_clock::now() - start);
  }
  if (status != LUA_OK) {
    last_error_ =
        status == LUA_ERRMEM ? source + ": the script ran out of memory" : error_text(L, -1);
    host_.listener_print("-- Error: " + last_error_ + "\n");
    lua_settop(L, top);
    return false;
  }
  lua_settop(L, top);
  last_error_.clear();
  return true;
}

bool ScriptHost::execute(const std::string& text, const std::string& source) {
  return run_chunk(text, "=" + source, source);
}

bool ScriptHost::file_in(const std::string& path) {
  // The same as the text the batch runner executes.
  std::string command = "fileIn \"";
  for (char c : path) {
    if (c == '"' || c == '\\') command += '\\';
    command += c;
  }
  command += "\"";
  return run_chunk(command, "=fileIn", path);
}

void ScriptHost::register_command(const char* name, lua_CFunction function, void* context) {
  lua_pushlightuserdata(state_, context);
  lua_pushcclosure(state_, function, 1);
  lua_setglobal(state_, name);
}

void* command_context(lua_State* L) {
  return lua_touserdata(L, lua_upvalueindex(1));
}

int argument_count_error(lua_State* L, const char* name, int expected) {
  return luaL_error(L, "wrong number of arguments to '%s' (%d expected, got %d)", name, expected,
                    lua_gettop(L));
}

int argument_type_error(lua_State* L, const char* expected, int index) {
  return luaL_error(L, "type error: %s expected, got %s", expected, luaL_typename(L, index));
}

bool string_argument(lua_State* L, int index, std::string& out) {
  if (lua_type(L, index) != LUA_TSTRING) return false;
  std::size_t size = 0;
  const char* text = lua_tolstring(L, index, &size);
  out.assign(text, size);
  return true;
}

}  // namespace kavro::host
