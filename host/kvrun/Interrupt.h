// Ctrl-C while kvrun runs: the first asks the library's long work to stop
// (it stops at its next progress point, or at its next interruption check);
// the second ends kvrun at once.
#pragma once

#include <csignal>

namespace kvrun {

void installInterruptHandler();
const volatile std::sig_atomic_t* interruptFlag();
bool interruptRequested();
// Before the next line of an interactive session.
void clearInterrupt();

}  // namespace kvrun
