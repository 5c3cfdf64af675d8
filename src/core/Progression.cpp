// The listener of progress points, one per thread (calls arrive on the
// thread of their component).
#include "core/Progression.h"

namespace {

// Set at every call (the component installs its call context): initial-exec
// keeps that a plain load and store, without a call to __tls_get_addr.
__attribute__((tls_model("initial-exec"))) thread_local PFNECOUTEPROGRESSION tpfnEcoute = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local void* tpvEcoute = nullptr;

}  // namespace

void PROGRESSION_Ecoute(PFNECOUTEPROGRESSION pfn, void* pv, PFNECOUTEPROGRESSION* ppfn, void** ppv) {
  if (ppfn != nullptr) *ppfn = tpfnEcoute;
  if (ppv != nullptr) *ppv = tpvEcoute;
  tpfnEcoute = pfn;
  tpvEcoute = pv;
}

void PROGRESSION_Point(long long oOctets, long long oOctetsTotal, long long oEntrees) {
  const PFNECOUTEPROGRESSION pfn = tpfnEcoute;
  if (pfn == nullptr) return;
  STProgression st{sizeof(STProgression), -1, oOctets, oOctetsTotal, oEntrees};
  if (oOctetsTotal > 0 && oOctets >= 0) {
    st.nPourcent = static_cast<int>(oOctets >= oOctetsTotal ? 100 : oOctets * 100 / oOctetsTotal);
  } else if (oOctetsTotal == 0) {
    st.nPourcent = 100;
  }
  pfn(tpvEcoute, &st);
}
