// Progress points of long work (compaction, directory walks): the work
// reports what it has done to the listener of the calling thread and knows
// nothing of who listens. The component points the listener at the VM of
// the call being made (InfoVM code INFOVM_PROGRESSION), so a VM can show a
// gauge and take a stop request while the work waits at the point.
#pragma once

#include "abi/TypesBase.h"

// InfoVM code of a progress point: sub-code 0, argument an STProgression.
constexpr int INFOVM_PROGRESSION = 40;

struct STProgression {
  DWORD dwTaille;          // sizeof(STProgression)
  int nPourcent;           // 0 to 100, -1 when the total is not known
  long long oOctets;       // bytes done, -1 when the work does not count them
  long long oOctetsTotal;  // bytes in all, -1 when not known
  long long oEntrees;      // entries done (files, directories), -1 when not counted
};

typedef void (*PFNECOUTEPROGRESSION)(void* pvContexte, const STProgression* pst);

// Installs the listener of this thread; returns the previous one in *ppfn
// and *ppv when they are given.
void PROGRESSION_Ecoute(PFNECOUTEPROGRESSION pfn, void* pv, PFNECOUTEPROGRESSION* ppfn = nullptr, void** ppv = nullptr);

// One progress point; nothing when no one listens.
void PROGRESSION_Point(long long oOctets, long long oOctetsTotal, long long oEntrees);
