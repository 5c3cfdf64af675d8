// Loading the component library.
#include "Library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace kvhost {

namespace {

template <class F>
void bind(F*& fn, void* handle, const char* name, const std::string& path) {
  fn = reinterpret_cast<F*>(dlsym(handle, name));
  if (fn == nullptr) throw HostError(path + ": missing entry function " + name);
}

}  // namespace

Library::Library(const std::string& path) : path_(path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    throw HostError("cannot load " + path + ": " + (why ? why : "unknown error"));
  }
  try {
    bind(bInitLibrary, handle_, "bInitLibrary", path);
    bind(TermLibrary, handle_, "TermLibrary", path);
    bind(InfoComposante, handle_, "InfoComposante", path);
    bind(pQueryProxy, handle_, "pQueryProxy", path);
    bind(Execution, handle_, "Execution", path);
  } catch (...) {
    dlclose(handle_);
    throw;
  }
}

Library::~Library() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* Library::symbol(const char* name) const { return dlsym(handle_, name); }

std::string defaultLibraryPath() {
  if (const char* env = std::getenv("KV_LIBRARY"); env != nullptr && *env != '\0') return env;
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "kv140std.so";
  std::string dir(exe, static_cast<std::size_t>(n));
  dir = dir.substr(0, dir.rfind('/'));
  // Installed: bin/kvrun and lib/kv140std/ (the library beside its message
  // files); in the build tree: bin/ and lib/.
  std::string installed = dir + "/../lib/kv140std/kv140std.so";
  if (access(installed.c_str(), F_OK) == 0) return installed;
  return dir + "/../lib/kv140std.so";
}

}  // namespace kvhost
