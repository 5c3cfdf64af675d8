// The process-wide stop flag of compaction and expansion, and their
// progress routine.
#include <atomic>

#include "compression/Compacte.h"

namespace {

std::atomic<bool> gbArret{false};
std::atomic<PFNCOMPACTEPROGRESSION> gpfnProgression{nullptr};

}  // namespace

void COMPACTE_DemandeArret() { gbArret.store(true); }
bool COMPACTE_bArretDemande() { return gbArret.load(); }
void COMPACTE_RazArret() { gbArret.store(false); }

void COMPACTE_DefinitProgression(PFNCOMPACTEPROGRESSION pfn) { gpfnProgression.store(pfn); }

void COMPACTE_Progression(int nPourcent) {
  const PFNCOMPACTEPROGRESSION pfn = gpfnProgression.load();
  if (pfn != nullptr) pfn(nPourcent);
}
