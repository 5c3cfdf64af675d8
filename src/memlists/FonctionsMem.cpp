// The component's memory-list functions: dynamic values to typed byte
// images and back, over the stock engine.
#include <cstring>
#include <mutex>

#include "core/XError.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"
#include "memlists/MemStock.h"

namespace {

// Type letter and bytes of a dynamic value; false (error 80263 raised)
// for a string or buffer over 65,521 bytes.
bool bConvParam(CComposanteStandard* pclCompo, const CAny* pclValeur, STValeurMem* pst) {
  pst->octets.clear();
  pst->cType = 'B';
  if (pclValeur == nullptr) return true;
  auto entier = [pst](std::int32_t n) {
    pst->cType = 'L';
    pst->octets.assign(reinterpret_cast<const char*>(&n), 4);
  };
  auto reel = [pst](double d) {
    pst->cType = 'D';
    pst->octets.assign(reinterpret_cast<const char*>(&d), 8);
  };
  switch (pclValeur->wGetType()) {
    case 0: return true;
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x06: case 0x07: case 0x08: case 0x0e: case 0x0f: case 0x11: {
      std::int32_t n = 0;
      std::memcpy(&n, pclValeur->pclGetGenre()->m_abValeur, 4);
      if (pclValeur->wGetType() == 0x01) n = n != 0;
      if (pclValeur->wGetType() == 0x02) n = static_cast<std::uint8_t>(n);
      if (pclValeur->wGetType() == 0x03 || pclValeur->wGetType() == 0x11) n = static_cast<std::uint16_t>(n);
      if (pclValeur->wGetType() == 0x06) n = static_cast<std::int8_t>(n);
      if (pclValeur->wGetType() == 0x07) n = static_cast<std::int16_t>(n);
      entier(n);
      return true;
    }
    case 0x0b:
    case 0x0c: {
      double d = 0;
      pclValeur->nGetREAL(&d);
      reel(d);
      return true;
    }
    case 0x05:
    case 0x09: {
      // 8-byte integers: 4 bytes when they fit, else a real (never cut).
      std::int64_t n;
      std::memcpy(&n, pclValeur->pclGetGenre()->m_abValeur, 8);
      if (n >= INT32_MIN && n <= INT32_MAX) {
        entier(static_cast<std::int32_t>(n));
      } else {
        reel(static_cast<double>(n));
      }
      return true;
    }
    case 0x0a:
    case 0x0d:
    case 0x1b: {
      // Currency, numeric and durations keep their value as a real.
      CAny copie(*pclValeur);
      double d = 0;
      if (copie.nCastTo(0x0c) > 99) return true;
      copie.nGetREAL(&d);
      reel(d);
      return true;
    }
    default: {
      // Strings, buffers and every text kind (dates, times): their bytes.
      CAny copie(*pclValeur);
      WORD t = copie.wGetType();
      if (t != 0x13 && t != 0x10 && t != 0x1c && t != 0x12 && t != 0x6e && copie.nCastTo(0x13) > 99) return true;
      void* p = nullptr;
      unsigned long n = 0;
      copie.nGetDataAdr(&p);
      copie.nGetDataSize(&n);
      if (n > MEM_TAILLE_MAX_VALEUR) {
        pclCompo->RaiseError(ERR_VALEUR_TROP_LONGUE, static_cast<unsigned>(n), static_cast<unsigned>(MEM_TAILLE_MAX_VALEUR));
        return false;
      }
      pst->octets.assign(static_cast<const char*>(p), n);
      return true;
    }
  }
}

// A stored image as a dynamic value.
CAny clReturnMemVal(const STValeurMem& v) {
  CAny r;
  if (v.cType == 'D' && v.octets.size() == 8) {
    double d;
    std::memcpy(&d, v.octets.data(), 8);
    r.SetReel(d);
  } else if (v.cType == 'F' && v.octets.size() == 4) {
    float f;
    std::memcpy(&f, v.octets.data(), 4);
    r.SetReel(f);
  } else if (v.cType == 'E' && v.octets.size() == 2) {
    r.__SetType(0x07);
    std::memcpy(r.pclGetGenre()->m_abValeur, v.octets.data(), 2);
  } else if (v.cType == 'L' && v.octets.size() == 4) {
    std::int32_t n;
    std::memcpy(&n, v.octets.data(), 4);
    r.SetEntier(n);
  } else {
    r.bSetChaine(v.octets.data(), static_cast<DWORD>(v.octets.size()));
  }
  return r;
}

CAny clVide() {
  CAny r;
  r.bSetChaine("");
  return r;
}

}  // namespace

// The lists' lock, held from the lookup of a list to its last use.
#define VERROU_LISTES std::lock_guard<std::mutex> verrouListes(MEM_pstPartage()->mutex)

// A named list that must exist (error 80261 otherwise), under the lock.
#define LISTE_OU_ERREUR(pl, pszListe, echec)                  \
  VERROU_LISTES;                                               \
  _stBUFFERMEM* pl = MEM_pstCherche(m_pstVueMem.get(), pszListe);   \
  if (pl == nullptr) {                                         \
    RaiseError(ERR_LISTE_INCONNUE);                            \
    return echec;                                              \
  }

bool CComposanteStandard::MemCree(const char* pszListe) {
  VERROU_LISTES;
  return MEM_pstCree(m_pstVueMem.get(), pszListe) != nullptr;
}

bool CComposanteStandard::MemExiste(const char* pszListe) {
  if (pszListe == nullptr || *pszListe == '\0') return false;
  VERROU_LISTES;
  return MEM_pstCherche(m_pstVueMem.get(), pszListe) != nullptr;
}

bool CComposanteStandard::MemAjoute(const char* pszListe, const CAny* pclCle, const CAny* pclValeur) {
  STValeurMem cle, valeur;
  if (!bConvParam(this, pclCle, &cle) || !bConvParam(this, pclValeur, &valeur)) return false;
  VERROU_LISTES;
  _stBUFFERMEM* pl;
  if (pszListe != nullptr && *pszListe != '\0') {
    pl = MEM_pstCherche(m_pstVueMem.get(), pszListe);
    if (pl == nullptr) pl = MEM_pstCree(m_pstVueMem.get(), pszListe);
  } else {
    // The default list is one list of the process, found by its name when
    // this component has not used it yet (never replaced by a new one).
    pl = m_pstVueMem->pstDefaut;
    if (pl == nullptr) pl = MEM_pstCherche(m_pstVueMem.get(), MEM_NOM_DEFAUT);
    if (pl == nullptr) pl = MEM_pstCree(m_pstVueMem.get(), MEM_NOM_DEFAUT);
    m_pstVueMem->pstDefaut = pl;
  }
  if (pl == nullptr) return false;
  m_pstVueMem->pstCourante = pl;
  return MEM_bAjoute(MEM_pstPartage(), pl, cle, valeur);
}

bool CComposanteStandard::MemAjoute(const CAny* pclCle, const CAny* pclValeur) {
  return MemAjoute("", pclCle, pclValeur);
}

bool CComposanteStandard::MemAjoute(const CAny* pclValeur) { return MemAjoute("", pclValeur, pclValeur); }

CAny CComposanteStandard::MemRecupere(const char* pszListe, int nPosition) {
  LISTE_OU_ERREUR(pl, pszListe, clVide());
  STEnregMem e;
  if (!MEM_bLit(m_pstVueMem.get(), pl, nPosition, &e)) return clVide();
  pl->bPositionne = true;
  return clReturnMemVal(e.valeur);
}

CAny CComposanteStandard::MemPositionne(const char* pszListe, int nPosition) { return MemRecupere(pszListe, nPosition); }

CAny CComposanteStandard::MemRecherche(const char* pszListe, const CAny* pclCle, bool bSurCle) {
  LISTE_OU_ERREUR(pl, pszListe, clVide());
  STValeurMem cherche;
  if (!bConvParam(this, pclCle, &cherche)) return clVide();
  if (!bSurCle) {
    int position = MEM_nChercheValeur(pl, cherche);
    if (position > 0) {
      pl->nCourant = position;
      pl->bTrouve = true;
      pl->bEnDehors = false;
      pl->bPositionne = true;
    } else {
      pl->bTrouve = false;
      pl->bEnDehors = true;
    }
    CAny r;
    r.SetEntier(position);
    return r;
  }
  if (pl->nOccurrence() == 0) {
    pl->bTrouve = false;
    pl->bEnDehors = pl->bAvantDebut = pl->bApresFin = true;
    return clVide();
  }
  int position = MEM_nChercheCle(pl, cherche);
  STEnregMem e;
  if (position > 0 && MEM_bLit(m_pstVueMem.get(), pl, position, &e)) {
    pl->bPositionne = true;
    return clReturnMemVal(e.valeur);
  }
  pl->bTrouve = false;
  pl->bEnDehors = true;
  return clVide();
}

namespace {

// MemPremier / MemDernier: flags set to the opposite of success.
CAny clExtreme(stCTXMEMCOMPO* pst, _stBUFFERMEM* pl, bool bPremier) {
  STEnregMem e;
  bool bOk = MEM_bLit(pst, pl, bPremier ? 1 : pl->nOccurrence(), &e);
  pl->bAvantDebut = pl->bApresFin = pl->bEnDehors = !bOk;
  if (!bOk) {
    pl->bTrouve = false;
    return clVide();
  }
  pl->bPositionne = true;
  return clReturnMemVal(e.valeur);
}

}  // namespace

CAny CComposanteStandard::MemPremier(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, clVide());
  return clExtreme(m_pstVueMem.get(), pl, true);
}

CAny CComposanteStandard::MemDernier(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, clVide());
  return clExtreme(m_pstVueMem.get(), pl, false);
}

CAny CComposanteStandard::MemSuivant(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, clVide());
  if (!pl->bPositionne) return clVide();
  if (pl->bAvantDebut) return clExtreme(m_pstVueMem.get(), pl, true);
  int courant = pl->nCourant;
  STEnregMem e;
  if (MEM_bLit(m_pstVueMem.get(), pl, courant + 1, &e)) {
    pl->bApresFin = pl->bEnDehors = false;
    return clReturnMemVal(e.valeur);
  }
  pl->nCourant = courant;
  pl->bApresFin = pl->bEnDehors = true;
  pl->bAvantDebut = false;
  return clVide();
}

CAny CComposanteStandard::MemPrecedent(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, clVide());
  if (!pl->bPositionne) return clVide();
  if (pl->bApresFin) return clExtreme(m_pstVueMem.get(), pl, false);
  int courant = pl->nCourant;
  STEnregMem e;
  if (MEM_bLit(m_pstVueMem.get(), pl, courant - 1, &e)) {
    pl->bAvantDebut = pl->bEnDehors = false;
    return clReturnMemVal(e.valeur);
  }
  pl->nCourant = courant;
  pl->bAvantDebut = pl->bEnDehors = true;
  pl->bApresFin = false;
  return clVide();
}

bool CComposanteStandard::MemModifie(const char* pszListe, const CAny* pclCle, const CAny* pclValeur, int nPosition) {
  LISTE_OU_ERREUR(pl, pszListe, false);
  STValeurMem cle, valeur;
  if (!bConvParam(this, pclCle, &cle) || !bConvParam(this, pclValeur, &valeur)) return false;
  return MEM_bModifie(MEM_pstPartage(), pl, nPosition, cle, valeur);
}

bool CComposanteStandard::MemSupprime(const char* pszListe, int nPosition) {
  if (nPosition == -1 && pszListe != nullptr && std::strcmp(pszListe, "*") == 0) {
    VERROU_LISTES;
    MEM_SupprimeTout(MEM_pstPartage());
    return true;
  }
  LISTE_OU_ERREUR(pl, pszListe, false);
  if (nPosition == -1) {
    MEM_Supprime(MEM_pstPartage(), pl);
    return true;
  }
  return MEM_bSupprimePosition(pl, nPosition);
}

bool CComposanteStandard::MemSupprimeTout(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, false);
  MEM_Vide(MEM_pstPartage(), pl);
  return true;
}

int CComposanteStandard::MemOccurrence(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, -1);
  return pl->nOccurrence();
}

bool CComposanteStandard::MemTrouve(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, false);
  return pl->bTrouve;
}

bool CComposanteStandard::MemEnDehors(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, false);
  return pl->bEnDehors;
}

int CComposanteStandard::MemEnCours(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, 0);
  return pl->nCourant;
}

bool CComposanteStandard::MemTri(const char* pszListe, bool bOrdre) {
  LISTE_OU_ERREUR(pl, pszListe, false);
  MEM_Trie(pl, bOrdre ? 1 : 0);
  return true;
}

CAny CComposanteStandard::MemValCle(const char* pszListe) {
  LISTE_OU_ERREUR(pl, pszListe, clVide());
  STEnregMem e;
  if (pl->nCourant < 1 || !MEM_bLitSansPosition(pl, pl->nCourant, &e)) {
    RaiseError(ERR_PAS_D_ELEMENT);
    return clVide();
  }
  return clReturnMemVal(e.cle);
}
