// kvrun --threads N: one script run by N VM threads at once, each with its
// own component, Lua state and VM thread data, on one loaded library.
#pragma once

#include <string>
#include <vector>

#include "Runtime.h"
#include "Script.h"

namespace kvrun {

// Sets kv.thread (1 for a script run alone).
void setThreadNumber(Script& script, int number);

// Runs the script file in `count` threads; print and io.write (to the
// standard output) write whole lines, never mixed with another thread's.
// With `showProgress`, long calls draw one progress line on stderr for all
// the threads. The status: 0 when every thread ran to its end, 1 when any
// failed.
int runThreads(const kvhost::HostOptions& options, int count, const std::string& path,
               const std::vector<std::string>& args, bool showProgress = false);

}  // namespace kvrun
