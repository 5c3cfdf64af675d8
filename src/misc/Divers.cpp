// Start and stop of the miscellaneous-functions module.
#include "misc/Divers.h"

#include <cstdlib>

bool _DIVERS_bInitModule() {
  std::srand(0);
  return true;
}

void _DIVERS_FinModule() {}
