// SIGINT handling: a flag, and the default action on the second signal.
#include "Interrupt.h"

#include <unistd.h>

namespace kvrun {

namespace {

volatile std::sig_atomic_t gInterrupt = 0;

void onInterrupt(int signal) {
  if (gInterrupt != 0) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  gInterrupt = 1;
  static const char kMessage[] = "\nkvrun: stopping (Ctrl-C again to quit at once)\n";
  ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)ignored;
}

}  // namespace

void installInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

const volatile std::sig_atomic_t* interruptFlag() { return &gInterrupt; }

bool interruptRequested() { return gInterrupt != 0; }

void clearInterrupt() { gInterrupt = 0; }

}  // namespace kvrun
