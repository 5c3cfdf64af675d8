// The table of open file handles shared by every component: an indexed bag
// whose free slots form a chain (the last slot freed is the first reused),
// with the module start and stop that reserve handles 0 and 1 and close
// every file at the last stop, and the pending directory search of fRep.
#pragma once

#include "frame/TypesBase.h"

class CDiskFile;
class CXError;
struct _stXFINDDATA;

// One open handle.
struct _stINFOFIC {
  CDiskFile* pclFichier;  // owned
  int bUnicode;           // opened with foUnicode
  int bSuppression;       // opened with foSuppressionAutomatique: deleted at close
};

class CTableFichiers {
public:
  // Adds a record; the slot index, or -1 when the table cannot grow.
  int nAjoute(_stINFOFIC* pst);
  // Frees a used slot (its record is the caller's).
  void Supprime(int n);
  // The record of a valid handle (in use, at least 2, with a record), or null.
  _stINFOFIC* pstGet(int n) const;
  int nGetNbSlots() const { return m_nNbSlots; }
  // Empties and frees the table.
  void Libere();

private:
  struct STSlot {
    _stINFOFIC* pst;
    int nSuivantLibre;  // next free slot when not in use, -1 ends the chain
    bool bUtilise;
  };
  STSlot* m_pSlots = nullptr;
  int m_nNbSlots = 0;
  int m_nCapacite = 0;
  int m_nPremierLibre = -1;
};

// The process-wide table.
CTableFichiers& FIC_Table();

// The search fRep continues (null when none is pending). FIC_FinRecherche
// closes and frees it.
_stXFINDDATA*& FIC_RechercheEnCours();
void FIC_FinRecherche();

// Module start (first component): handles 0 and 1 reserved, no pending
// search. Module stop (last component): every file closed, temporary ones
// deleted, the pending search closed.
bool _FIC_bInitModule();
void _FIC_FinModule(void* pclComposante);
