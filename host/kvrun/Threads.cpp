// kvrun --threads: the script in several VM threads, and whole output lines.
#include "Threads.h"

#include <lua.hpp>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <latch>
#include <memory>
#include <string>
#include <thread>

#include "Host.h"
#include "Interrupt.h"
#include "Progress.h"

namespace kvrun {

namespace {

// A thread's pending output: complete lines go out at once, the rest waits.
// Lines of every thread reach stdout one whole line at a time, through the
// shared progress line (which steps aside while they are written).
struct LineBuffer {
  ThreadsProgress* progress = nullptr;
  std::string pending;

  void add(const char* p, std::size_t n) {
    pending.append(p, n);
    std::size_t end = pending.rfind('\n');
    if (end == std::string::npos) return;
    write(end + 1);
  }
  void flush() { write(pending.size()); }

private:
  void write(std::size_t n) {
    if (n == 0) return;
    progress->write(stdout, pending.data(), n);
    pending.erase(0, n);
  }
};

const char* const kBufferKey = "kvrun.lines";

int emit(lua_State* L) {
  lua_getfield(L, LUA_REGISTRYINDEX, kBufferKey);
  auto* buffer = static_cast<LineBuffer*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  std::size_t n = 0;
  const char* s = luaL_checklstring(L, 1, &n);
  if (buffer != nullptr) buffer->add(s, n);
  return 0;
}

// print and io.write to the standard output go through emit; io.write to
// another file keeps its own way.
const char* const kPrelude = R"lua(
local emit = ...
local write, output, stdout = io.write, io.output, io.stdout
local select, tostring, concat = select, tostring, table.concat
function print(...)
  local n, parts = select('#', ...), {}
  for i = 1, n do parts[i] = tostring((select(i, ...))) end
  emit(concat(parts, '\t') .. '\n')
end
function io.write(...)
  if output() ~= stdout then return write(...) end
  for i = 1, select('#', ...) do
    local v = select(i, ...)
    if type(v) ~= 'string' and type(v) ~= 'number' then
      error("bad argument #" .. i .. " to 'write' (string expected, got " .. type(v) .. ")", 2)
    end
    emit(tostring(v))
  end
  return stdout
end
)lua";

void routeOutput(lua_State* L, LineBuffer* buffer) {
  lua_pushlightuserdata(L, buffer);
  lua_setfield(L, LUA_REGISTRYINDEX, kBufferKey);
  if (luaL_loadbuffer(L, kPrelude, std::strlen(kPrelude), "=kvrun") != LUA_OK) throw kvhost::HostError(lua_tostring(L, -1));
  lua_pushcfunction(L, emit);
  if (lua_pcall(L, 1, 0, 0) != LUA_OK) throw kvhost::HostError(lua_tostring(L, -1));
}

}  // namespace

void setThreadNumber(Script& script, int number) {
  lua_State* L = script.state();
  lua_getglobal(L, "kv");
  if (lua_istable(L, -1)) {
    lua_pushstring(L, "thread");
    lua_pushinteger(L, number);
    lua_rawset(L, -3);
  }
  lua_pop(L, 1);
}

int runThreads(const kvhost::HostOptions& options, int count, const std::string& path,
               const std::vector<std::string>& args, bool showProgress) {
  auto runtime = std::make_shared<kvhost::Runtime>(options);
  runtime->declareThreads();
  // One progress line for the long calls of all the threads; a Ctrl-C asks
  // every thread's long work to stop, as in a script run alone.
  ThreadsProgress progress(STDERR_FILENO, showProgress, count);
  installInterruptHandler();
  std::vector<int> status(static_cast<std::size_t>(count), 1);
  // The main thread only starts and waits: the end of a child (SIGCHLD) is
  // taken by the threads that run scripts, which unblock it once all of
  // them exist. Under qemu's user-mode emulation a SIGCHLD that reaches the
  // thread creating or joining the others wrecks their identities (the
  // join then fails or the process aborts); natively this changes nothing.
  sigset_t childEnds, before;
  sigemptyset(&childEnds);
  sigaddset(&childEnds, SIGCHLD);
  pthread_sigmask(SIG_BLOCK, &childEnds, &before);
  std::latch started(count + 1);
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(count));
  for (int t = 1; t <= count; ++t) {
    threads.emplace_back([&, t] {
      started.arrive_and_wait();
      pthread_sigmask(SIG_SETMASK, &before, nullptr);
      LineBuffer lines;
      lines.progress = &progress;
      int& result = status[static_cast<std::size_t>(t - 1)];
      try {
        kvhost::Runtime::ThreadScope scope(*runtime);
        kvhost::Host host(runtime, t == 1);
        host.vm().watchInterrupt(interruptFlag());
        bool stopSent = false;
        host.vm().setProgressListener([&](const STProgression* point) {
          progress.update(t - 1, point);
          if (point == nullptr) {
            stopSent = false;
          } else if (interruptRequested() && !stopSent) {
            stopSent = true;
            host.call("fStopCompacte", {});
          }
        });
        Script script(host);
        setThreadNumber(script, t);
        routeOutput(script.state(), &lines);
        result = script.runFile(path, args);
      } catch (const std::exception& e) {
        lines.flush();
        const std::string message = "kvrun: thread " + std::to_string(t) + ": " + e.what() + "\n";
        progress.write(stderr, message.data(), message.size());
        result = 1;
      }
      lines.flush();
      progress.update(t - 1, nullptr);
      if (result != 0) {
        const std::string message = "kvrun: thread " + std::to_string(t) + " failed\n";
        progress.write(stderr, message.data(), message.size());
      }
    });
  }
  started.arrive_and_wait();
  for (auto& th : threads) th.join();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  for (int s : status) {
    if (s != 0) return 1;
  }
  return 0;
}

}  // namespace kvrun
