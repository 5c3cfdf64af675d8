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
  // Installed (or unpacked anywhere): bin/kvrun and lib/<triplet>/kv140std/,
  // the library of kvrun's own architecture beside its message files. In the
  // build tree: bin/ and lib/.
  std::string installed = dir + "/../lib/" KV_TRIPLET "/kv140std/kv140std.so";
  if (access(installed.c_str(), F_OK) == 0) return installed;
  std::string built = dir + "/../lib/kv140std.so";
  if (access(built.c_str(), F_OK) == 0) return built;
  // Neither: the error names where an installed library belongs.
  return installed;
}

}  // namespace kvhost
