// The stand-in VM: loads the component library, runs its start and stop
// sequences, and calls language functions exactly as the VM does (find the
// row, choose the syntax, convert the arguments, install the call context,
// call the entry point, collect the result and the error object).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Catalog.h"
#include "LibShop.h"
#include "Library.h"
#include "Runtime.h"
#include "Types.h"
#include "Value.h"
#include "Vm.h"

class IVXLibrary;

namespace kvhost {

// The component's error object after a call, as the VM reads it.
struct ErrorInfo {
  DWORD level = 1;               // 1 no error
  DWORD code = 0;                // user error code
  std::string message;           // user message
  std::string debug;             // debug message
  DWORD systemCode = 0;
  std::string systemMessage;
  bool isError() const { return level != 1; }
};

struct CallResult {
  Value value;                   // the result handed back (none for procedures)
  ErrorInfo error;
  int returnCode = 0;            // what the entry point returned
  // Set when the function is served by another library (obsolete functions).
  std::optional<std::pair<int, int>> redirect;  // library, function
};

// One component object of the library with the VM thread data that calls
// it. A Host made from options has the library to itself; several Hosts
// made on one Runtime are the components of one process, each used by one
// thread at a time.
class Host {
public:
  // Loads the library and runs the start sequence; throws HostError when a
  // step fails.
  explicit Host(HostOptions options = {});
  // One more component of a loaded library, started as the VM starts one
  // (pQueryProxy 60, SetLibShop, SetLanguage, bFinInitVXL); `mainThread`
  // says whether it serves the VM's main thread.
  explicit Host(std::shared_ptr<Runtime> runtime, bool mainThread = true);
  // Runs the component's stop sequence; the library stops and is unloaded
  // with the last Host of its Runtime.
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const Catalog& catalog() const { return *catalog_; }
  const Library& library() const { return runtime_->library(); }
  IVXLibrary* component() const { return component_; }
  Vm& vm() { return vm_; }
  LibShop& libShop() { return runtime_->libShop(); }
  Language language() const { return runtime_->options().language; }
  const std::shared_ptr<Runtime>& runtime() const { return runtime_; }

  // The syntax of `f` that accepts `args` (by count, then by form), or null
  // with the reason in `why`. Syntaxes with an entry point come first.
  const SyntaxInfo* chooseSyntax(const FunctionInfo& f, const std::vector<Value>& args, std::string* why) const;

  // Calls a function by name with the given arguments; throws HostError for
  // an unknown name or arguments no syntax accepts.
  CallResult call(std::string_view name, const std::vector<Value>& args);
  CallResult call(const FunctionInfo& f, const SyntaxInfo& s, const std::vector<Value>& args);
  // The same into *result, whose storage a caller making many calls reuses.
  void call(const FunctionInfo& f, const SyntaxInfo& s, const std::vector<Value>& args, CallResult* result);

  // The component's error object as it stands.
  ErrorInfo readError() const;
  void readError(ErrorInfo* info) const;

  // The message of a user error code in the host's language, as the library
  // formats it (inserts left as they stand); empty when it has none.
  std::string errorMessage(DWORD userCode) const;

private:
  struct Scratch;
  // The component's start and stop (TermVXL, Release).
  void start(bool mainThread);
  void stop();

  std::shared_ptr<Runtime> runtime_;
  Vm vm_;
  const Catalog* catalog_ = nullptr;
  IVXLibrary* component_ = nullptr;
  // Argument slots kept from call to call (a call made from inside another,
  // through a procedure, makes its own), so a call allocates only its result.
  std::unique_ptr<Scratch> scratch_;
  int depth_ = 0;
};

}  // namespace kvhost
