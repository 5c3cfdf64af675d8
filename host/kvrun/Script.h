// Lua scripts on the stand-in VM: a table `kv` that exposes every function,
// constant and variable of the library, by-reference variables, buffers,
// procedures written in Lua, and the last call's error.
#pragma once

#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "Host.h"

struct lua_State;

namespace kvrun {

class Script {
public:
  explicit Script(kvhost::Host& host);
  ~Script();
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;

  // Each returns the process status: 0 when the script ran to its end, 1
  // when it raised an error (reported with its traceback on stderr).
  int runFile(const std::string& path, const std::vector<std::string>& args);
  int runCode(const std::string& code);
  // Read, evaluate, print: one statement or expression per line, with
  // completion of names and a history kept between sessions (Prompt.cpp).
  // A line whose library calls left an error prints it after the values.
  int interactive();

  // The function behind one `kv` entry (called from Lua).
  // `cache` holds the syntax chosen last time for the same argument kinds,
  // and takes this call's choice.
  int callFunction(int position, long long* cache);
  int readVariable(int number);
  int writeVariable(int number);
  int pushLastError();
  // kv.help(NAME): prints what kvrun --help NAME prints.
  int printHelp();

  // The script's Lua state (for what a caller adds to it before running).
  lua_State* state() const { return L_; }

private:
  struct Binding {
    std::string name;  // the procedure's name in the VM
    int ref;           // the Lua function, held in the registry
  };
  bool argumentFor(int i, DWORD code, kvhost::Value* out);
  std::optional<kvhost::Value> argumentValue(int i, DWORD code);
  kvhost::Value bindProcedure(int i, std::vector<Binding>& bound);
  void unbind(std::vector<Binding>& bound);
  void defineTable();
  int execute(int loadStatus);
  void evaluateLine(const std::string& text);

  kvhost::Host& host_;
  lua_State* L_ = nullptr;
  kvhost::ErrorInfo lastError_;
  bool callFailed_ = false;                          // a call since the flag was cleared left an error,
  kvhost::ErrorInfo failedError_;                    // the last such error
  int procedures_ = 0;
  int depth_ = 0;                                    // calls in progress (callbacks nest them)
  // Arguments and result of each depth of calls (callbacks nest them),
  // their storage reused from call to call; stable addresses while nested
  // calls add depths.
  struct CallFrame {
    std::vector<kvhost::Value> args;
    kvhost::CallResult result;
  };
  std::vector<std::unique_ptr<CallFrame>> frames_;
};

}  // namespace kvrun
