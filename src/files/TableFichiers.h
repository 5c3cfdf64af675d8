// The table of open file handles shared by every component of the process:
// an indexed bag whose free slots form a chain (the last slot freed is the
// first reused), under one lock, with the module start and stop that
// reserve handles 0 and 1 and close every file at the last stop. A call
// that uses a handle holds a reference to its record, so a close made by
// another thread meanwhile only takes the handle out of the table: the file
// is closed when the last user lets it go. The calls that use one handle
// are served one at a time: two threads reading one file do not share a
// read-ahead buffer half-way through a line.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

#include "abi/TypesBase.h"
#include "core/VXDSTR.h"

class CDiskFile;
struct _stXFINDDATA;

// One open handle.
struct _stINFOFIC {
  CDiskFile* pclFichier = nullptr;  // owned
  int bUnicode = 0;                 // opened with foUnicode
  int bSuppression = 0;             // opened with foSuppressionAutomatique: deleted at close
  // The table's slot and each call in progress; the last one closes the file.
  std::atomic<int> nReferences{1};
  // Held by each call that uses the handle (a procedure called meanwhile
  // may use it again on the same thread).
  std::recursive_mutex mutexUsage;
  // The last line fLitLigne returned: the next line reuses its block (a
  // block the VM still holds a reference to is left to it, copy on write).
  CVXDSTR clLigne;
};

// Drops one reference to a record; the last one closes the file and frees it.
void FIC_Relache(_stINFOFIC* pst);

// A record in use for the length of a call (null for an invalid handle).
class CFichierPris {
public:
  CFichierPris() = default;
  // Takes over a reference to `pst` whose usage lock the caller holds.
  explicit CFichierPris(_stINFOFIC* pst) : m_pst(pst) {}
  CFichierPris(CFichierPris&& o) noexcept : m_pst(o.m_pst) { o.m_pst = nullptr; }
  CFichierPris& operator=(CFichierPris&& o) noexcept;
  CFichierPris(const CFichierPris&) = delete;
  CFichierPris& operator=(const CFichierPris&) = delete;
  ~CFichierPris() { Relache(); }

  _stINFOFIC* operator->() const { return m_pst; }
  _stINFOFIC* pstGet() const { return m_pst; }
  bool operator==(std::nullptr_t) const { return m_pst == nullptr; }
  // Lets the record go before the end of the scope.
  void Relache() {
    if (m_pst == nullptr) return;
    m_pst->mutexUsage.unlock();
    FIC_Relache(m_pst);
    m_pst = nullptr;
  }

private:
  _stINFOFIC* m_pst = nullptr;
};

class CTableFichiers {
public:
  // Adds a record; the slot index, or -1 when the table cannot grow.
  int nAjoute(_stINFOFIC* pst);
  // The record of a valid handle (in use, at least 2, with a record), with
  // a reference taken for the caller; empty for an invalid handle.
  CFichierPris clPrend(int n);
  // Takes a valid handle's record out of the table and hands the caller the
  // table's reference; null for an invalid handle.
  _stINFOFIC* pstRetire(int n);
  int nGetNbSlots() const;
  // Empties and frees the table.
  void Libere();

private:
  struct STSlot {
    _stINFOFIC* pst;
    int nSuivantLibre;  // next free slot when not in use, -1 ends the chain
    bool bUtilise;
  };
  _stINFOFIC* _pstGet(int n) const;
  void _Supprime(int n);

  STSlot* m_pSlots = nullptr;
  int m_nNbSlots = 0;
  int m_nCapacite = 0;
  int m_nPremierLibre = -1;
};

// The process-wide table.
CTableFichiers& FIC_Table();

// Closes and frees a component's pending fRep search; null afterwards.
void FIC_FinRecherche(_stXFINDDATA*& pst);

// Module start (first component): handles 0 and 1 reserved. Module stop
// (last component): every file closed, temporary ones deleted.
bool _FIC_bInitModule();
void _FIC_FinModule(void* pclComposante);
