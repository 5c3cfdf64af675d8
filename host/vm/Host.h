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
#include "Value.h"
#include "Vm.h"

class IVXLibrary;

namespace kvhost {

enum class Language { French, English };

struct HostOptions {
  std::string libraryPath = defaultLibraryPath();
  Language language = Language::French;
  std::string elementDirectory;  // serves "KVL:" names
  // English messages (message file of component 8); by default the file
  // next to the library. Installed as the library's loader in English.
  std::string messageFile;
};

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

class Host {
public:
  // Loads the library and runs the start sequence; throws HostError when a
  // step fails.
  explicit Host(HostOptions options = {});
  // Runs the stop sequence and unloads the library.
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const Catalog& catalog() const { return *catalog_; }
  const Library& library() const { return *library_; }
  IVXLibrary* component() const { return component_; }
  Vm& vm() { return vm_; }
  LibShop& libShop() { return libShop_; }
  Language language() const { return options_.language; }

  // The syntax of `f` that accepts `args` (by count, then by form), or null
  // with the reason in `why`. Syntaxes with an entry point come first.
  const SyntaxInfo* chooseSyntax(const FunctionInfo& f, const std::vector<Value>& args, std::string* why) const;

  // Calls a function by name with the given arguments; throws HostError for
  // an unknown name or arguments no syntax accepts.
  CallResult call(std::string_view name, const std::vector<Value>& args);
  CallResult call(const FunctionInfo& f, const SyntaxInfo& s, const std::vector<Value>& args);

  // The component's error object as it stands.
  ErrorInfo readError() const;

  // The message of a user error code in the host's language, as the library
  // formats it (inserts left as they stand); empty when it has none.
  std::string errorMessage(DWORD userCode) const;

private:
  struct Scratch;
  // The stop sequence: TermVXL, Release, Execution 4875, TermLibrary, unload.
  void stop();
  void lendConversions();
  void installLanguage();

  HostOptions options_;
  std::unique_ptr<Library> library_;
  Vm vm_;
  LibShop libShop_;
  std::optional<Catalog> catalog_;
  IVXLibrary* component_ = nullptr;
  bool executionStarted_ = false;
  // Argument slots kept from call to call (a call made from inside another,
  // through a procedure, makes its own), so a call allocates only its result.
  std::unique_ptr<Scratch> scratch_;
  int depth_ = 0;
};

// Whether `value` can be passed for a parameter declared with `code`.
bool accepts(DWORD code, const Value& value);

}  // namespace kvhost
