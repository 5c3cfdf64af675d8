// The library's exported entry functions: start and end of the library,
// the SIGCHLD reaper, the VM's component queries and the proxy factory.
#include <signal.h>

#include <new>

#include "abi/Descripteurs.h"
#include "core/VXDSTR.h"
#include "core/accesdllres.h"
#include "frame/Execution.h"
#include "frame/Standard.h"
#include "system/Lancement.h"

namespace {

void GestionAlarme(int) {}

// SIGALRM does nothing but interrupt a blocking system call.
// The handlers found at start, put back at the end: once the library is
// unloaded its own handlers would point at unmapped code.
struct sigaction gstAlarmeAvant {};
struct sigaction gstEnfantAvant {};

void InitAlarmHandler(void*) {
  struct sigaction sa {};
  sa.sa_handler = GestionAlarme;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: the alarm interrupts the call
  sigaction(SIGALRM, &sa, &gstAlarmeAvant);
}

CVXLibrary* pCreateVXL() { return new (std::nothrow) CComposanteStandard; }

}  // namespace

extern "C" {

// Reaps the children the library launched and nobody waits for, without
// blocking; never a child some other waiter expects (a waiting launch in
// another thread, or the program's own children).
KV_EXPORT void ChildHandler(int) { PROCESSUS_RecolteAbandonnes(); }

KV_EXPORT BOOL bInitLibrary(HINSTANCE hInstance) {
  DLLRES_bInit(nullptr, 0);
  InitAlarmHandler(nullptr);
  struct sigaction sa {};
  sa.sa_handler = ChildHandler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;  // as signal() installs it
  sigaction(SIGCHLD, &sa, &gstEnfantAvant);
  CVXLibrary::bInit(hInstance);
  CVXDSTRBase::bInit();
  return 1;
}

KV_EXPORT void TermLibrary() {
  CBaseExecutionDLL::s_TermineDLL();
  CVXDSTRBase::Term();
  CVXLibrary::Term();
  DLLRES_Term();
  sigaction(SIGCHLD, &gstEnfantAvant, nullptr);
  sigaction(SIGALRM, &gstAlarmeAvant, nullptr);
  PROCESSUS_RecolteTout();  // those that ended before the handler went
}

KV_EXPORT unsigned long InfoComposante(unsigned nCode, unsigned long ulIndex) {
  return CVXLibrary::s_InfoComposante(nCode, ulIndex);
}

KV_EXPORT void* pQueryProxy(int nNumero) {
  return nNumero == 60 ? static_cast<IVXLibrary*>(pCreateVXL()) : nullptr;
}

// Proxy tables offered to other components: none.
KV_EXPORT void DeclareProxy(void** ppExports, int* pnExports, void** ppImports, int* pnImports) {
  if (ppExports) *ppExports = nullptr;
  if (pnExports) *pnExports = 0;
  if (ppImports) *ppImports = nullptr;
  if (pnImports) *pnImports = 0;
}

}  // extern "C"
