// A loaded copy of the component library: dlopen and its entry functions.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "abi/TypesBase.h"

class IVXLibrary;

namespace kvhost {

// Any failure of the stand-in VM itself (not a library error).
class HostError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class Library {
public:
  // Loads the library at `path` (RTLD_NOW | RTLD_LOCAL) and binds its entry
  // functions; throws HostError when it cannot be loaded or lacks one.
  explicit Library(const std::string& path);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  const std::string& path() const { return path_; }
  void* handle() const { return handle_; }
  // Address of an exported symbol, or null.
  void* symbol(const char* name) const;

  BOOL (*bInitLibrary)(HINSTANCE) = nullptr;
  void (*TermLibrary)() = nullptr;
  unsigned long (*InfoComposante)(unsigned, unsigned long) = nullptr;
  void* (*pQueryProxy)(int) = nullptr;
  std::intptr_t (*Execution)(unsigned, void*) = nullptr;

private:
  std::string path_;
  void* handle_ = nullptr;
};

// Default location of the library: next to the running program's lib/
// directory (build/bin/kvrun -> build/lib/kv140std.so), unless KV_LIBRARY
// names another file.
std::string defaultLibraryPath();

}  // namespace kvhost
