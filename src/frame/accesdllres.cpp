// Message-resource module state.
#include "frame/accesdllres.h"

namespace {
bool gbInit = false;
int gnInstances = 0;
bool gbLangue2 = false;
}  // namespace

BOOL DLLRES_bInit(HINSTANCE, int) {
  gbInit = true;
  return 1;
}

void DLLRES_Term() { gbInit = false; }

BOOL DLLRES_bUtiliseDLLRes() { return gnInstances > 0; }

void DLLRES_SetLangue(int bLangue2) { gbLangue2 = bLangue2 != 0; }

BOOL DLLRES_bLangue2() { return gbLangue2; }

void DLLRES_SetFichierKVM(const char*) {}
