// The part of the stand-in VM that exists once per process: the loaded
// library (bInitLibrary, the start-up command, its descriptor tables), the
// library manager, and what a multi-threaded VM declares to the library
// (its multi-threading flag and the key of the per-thread string
// recyclers). Components (Host) are made on it, one per VM thread.
#pragma once

#include <pthread.h>

#include <memory>
#include <optional>
#include <string>

#include "Catalog.h"
#include "LibShop.h"
#include "Library.h"

namespace kvhost {

enum class Language { French, English };

struct HostOptions {
  std::string libraryPath = defaultLibraryPath();
  Language language = Language::French;
  std::string elementDirectory;  // serves "KVL:" names
  // English messages (message file of component 8); by default the file
  // next to the library. Installed as the library's loader in English.
  std::string messageFile;
  // The character set declared to the library at start, as a VM declares
  // its alphabet (Execution 4876): 0 Windows-1252, 65001 UTF-8. The
  // library's text (arguments, results, names, messages) is in its page.
  unsigned charset = 0;
};

// Windows character-set numbers a VM declares.
constexpr unsigned kCharset1252 = 0;
constexpr unsigned kCharsetUtf8 = 65001;

class Runtime {
public:
  // Loads the library and runs its process-wide start: bInitLibrary, the
  // VM's conversion routines, the start-up command, the language. Throws
  // HostError when a step fails.
  explicit Runtime(HostOptions options);
  // The start-up command's end, TermLibrary, unload.
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  const HostOptions& options() const { return options_; }
  const Catalog& catalog() const { return *catalog_; }
  const Library& library() const { return *library_; }
  LibShop& libShop() { return libShop_; }
  // The text of a user error code in the library's language (empty when it
  // has none).
  std::string errorMessage(DWORD userCode) const;

  // Declares multi-threading to the library as a VM does (GeneralParam:
  // the recyclers' key, then the flag, set). Idempotent.
  void declareThreads();
  bool threaded() const { return multiThreading_ != 0; }

  // Gives the calling thread its own string recycler until the scope ends
  // (nothing when multi-threading was not declared).
  class ThreadScope {
  public:
    explicit ThreadScope(Runtime& runtime);
    ~ThreadScope();
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;

  private:
    struct Recycler;
    Runtime& runtime_;
    std::unique_ptr<Recycler> recycler_;
  };

private:
  void stop();
  void lendConversions();
  void installLanguage();

  HostOptions options_;
  std::unique_ptr<Library> library_;
  LibShop libShop_;
  std::optional<Catalog> catalog_;
  bool executionStarted_ = false;
  // Read by the library through the address given to GeneralParam.
  int multiThreading_ = 0;
  pthread_key_t recyclerKey_{};
  bool recyclerKeyMade_ = false;
};

}  // namespace kvhost
