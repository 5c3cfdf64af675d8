// Options of a stand-in VM running the library under test.
#pragma once

#include "Host.h"

inline kvhost::HostOptions testOptions(kvhost::Language language = kvhost::Language::French) {
  kvhost::HostOptions o;
  o.libraryPath = KV_LIBRARY_PATH;
  o.language = language;
  return o;
}
