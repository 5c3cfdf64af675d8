// The stock engine of the memory lists.
#include "memlists/MemStock.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <new>

#include "core/Environnement.h"
#include "files/AppelsSysteme.h"

namespace {

void NomMajuscule(const char* pszNom, char* pszSortie) {
  std::size_t i = 0;
  for (; pszNom != nullptr && pszNom[i] != '\0' && i < MEM_LONGUEUR_NOM; ++i)
    pszSortie[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(pszNom[i])));
  pszSortie[i] = '\0';
}

std::string sEnregistrement(const STValeurMem& cle, const STValeurMem& valeur) {
  std::string r;
  auto put16 = [&r](std::size_t n) {
    r += static_cast<char>(n & 0xFF);
    r += static_cast<char>((n >> 8) & 0xFF);
  };
  DWORD longueur = static_cast<DWORD>(cle.octets.size() + valeur.octets.size() + 7);
  r.append(reinterpret_cast<const char*>(&longueur), 4);
  r += ' ';
  r += cle.cType;
  put16(cle.octets.size());
  r += cle.octets;
  r += valeur.cType;
  put16(valeur.octets.size());
  r += valeur.octets;
  return r;
}

bool bDecode(const std::string& r, STEnregMem* pEnreg) {
  if (r.size() < 11) return false;
  std::size_t p = 5;
  auto get16 = [&r](std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(r[at])) | static_cast<std::size_t>(static_cast<unsigned char>(r[at + 1])) << 8;
  };
  pEnreg->cle.cType = r[p];
  std::size_t nk = get16(p + 1);
  p += 3;
  if (p + nk + 3 > r.size()) return false;
  pEnreg->cle.octets = r.substr(p, nk);
  p += nk;
  pEnreg->valeur.cType = r[p];
  std::size_t nv = get16(p + 1);
  p += 3;
  if (p + nv > r.size()) return false;
  pEnreg->valeur.octets = r.substr(p, nv);
  return true;
}

// The record at an offset of the list (memory area or file).
bool bLitEnregistrement(const _stBUFFERMEM* pl, DWORD nOffset, std::string* pr) {
  DWORD longueur = 0;
  if (nOffset < pl->nTailleZone) {
    if (nOffset + 4 > pl->nTailleZone) return false;
    std::memcpy(&longueur, pl->pZone + nOffset, 4);
    if (nOffset + 4 + longueur > pl->nTailleZone) return false;
    pr->assign(pl->pZone + nOffset, longueur + 4);
    return true;
  }
  if (pl->nFichier < 0 || pl->nFichier == 65535) return false;
  off_t pos = static_cast<off_t>(nOffset - pl->nTailleZone);
  if (pread(pl->nFichier, &longueur, 4, pos) != 4 || longueur > 2 * MEM_TAILLE_MAX_VALEUR + 16) return false;
  pr->resize(longueur + 4);
  return pread(pl->nFichier, pr->data(), longueur + 4, pos) == static_cast<ssize_t>(longueur + 4);
}

double dNombre(const STValeurMem& v) {
  if (v.cType == 'D' && v.octets.size() == 8) {
    double d;
    std::memcpy(&d, v.octets.data(), 8);
    return d;
  }
  if (v.cType == 'F' && v.octets.size() == 4) {
    float f;
    std::memcpy(&f, v.octets.data(), 4);
    return f;
  }
  if (v.cType == 'L' && v.octets.size() == 4) {
    std::int32_t n;
    std::memcpy(&n, v.octets.data(), 4);
    return n;
  }
  if (v.cType == 'E' && v.octets.size() == 2) {
    std::int16_t n;
    std::memcpy(&n, v.octets.data(), 2);
    return n;
  }
  return 0;
}

bool bNumerique(char c) { return c == 'D' || c == 'E' || c == 'F' || c == 'L'; }

void FermeFichier(_stBUFFERMEM* pl) {
  if (pl->nFichier >= 0 && pl->nFichier != 65535) {
    close(pl->nFichier);
    SYS_nUnlink(pl->sFichier.c_str());
  }
  pl->nFichier = -1;
  pl->sFichier.clear();
  pl->nUtiliseFichier = 0;
}

void Libere(_stBUFFERMEM* pl) {
  FermeFichier(pl);
  std::free(pl->pZone);
  delete pl;
}

std::string sRepertoireTemp() {
  return ENV_sLit("TMPDIR", "/tmp");
}

}  // namespace

namespace {
stCTXMEM gstPartage;  // the module's own state, for the whole process
}  // namespace

stCTXMEM* MEM_pstPartage() { return &gstPartage; }

void MEM_InitModule(stCTXMEM* pst) {
  pst->pstPremiere = nullptr;
  pst->sRepertoireTemp.clear();
  pst->nTailleBlocIndex = 64020;
  pst->nNbListes = pst->nNbExtensions = 0;
  pst->nMaxExtensions = 128;
  pst->nMaxExtensionsListe = 64;
  pst->pstComposantes = nullptr;
}

void MEM_FinModule(stCTXMEM* pst) {
  MEM_SupprimeTout(pst);
  for (stCTXMEMCOMPO* p = pst->pstComposantes; p != nullptr; p = p->pstSuivante) {
    p->sDernierLu.clear();
    p->sDernierLu.shrink_to_fit();
  }
}

void MEM_Attache(stCTXMEM* pst, stCTXMEMCOMPO* pstVue) {
  pstVue->pstPartage = pst;
  pstVue->pstDefaut = pstVue->pstCourante = nullptr;
  pstVue->pstSuivante = pst->pstComposantes;
  pst->pstComposantes = pstVue;
}

void MEM_Detache(stCTXMEM* pst, stCTXMEMCOMPO* pstVue) {
  for (stCTXMEMCOMPO** pp = &pst->pstComposantes; *pp != nullptr; pp = &(*pp)->pstSuivante) {
    if (*pp == pstVue) {
      *pp = pstVue->pstSuivante;
      break;
    }
  }
  pstVue->pstPartage = nullptr;
  pstVue->pstDefaut = pstVue->pstCourante = nullptr;
  pstVue->pstSuivante = nullptr;
  pstVue->sDernierLu.clear();
  pstVue->sDernierLu.shrink_to_fit();
}

_stBUFFERMEM* MEM_pstCherche(stCTXMEMCOMPO* pstVue, const char* pszNom) {
  if (pszNom == nullptr || *pszNom == '\0') return pstVue->pstCourante;
  stCTXMEM* pst = pstVue->pstPartage;
  char nom[MEM_LONGUEUR_NOM + 1];
  NomMajuscule(pszNom, nom);
  for (_stBUFFERMEM* p = pst->pstPremiere; p != nullptr; p = p->pstSuivante) {
    if (std::strcmp(p->szNom, nom) == 0) return p;
  }
  return nullptr;
}

_stBUFFERMEM* MEM_pstCree(stCTXMEMCOMPO* pstVue, const char* pszNom) {
  stCTXMEM* pst = pstVue->pstPartage;
  if (_stBUFFERMEM* ancienne = (pszNom != nullptr && *pszNom != '\0') ? MEM_pstCherche(pstVue, pszNom) : nullptr)
    MEM_Supprime(pst, ancienne);
  auto* pl = new (std::nothrow) _stBUFFERMEM;
  if (pl == nullptr) return nullptr;
  pl->pZone = static_cast<char*>(std::calloc(MEM_TAILLE_ZONE, 1));
  if (pl->pZone == nullptr) {
    delete pl;
    return nullptr;
  }
  pl->nTailleZone = MEM_TAILLE_ZONE;
  NomMajuscule(pszNom != nullptr && *pszNom != '\0' ? pszNom : MEM_NOM_DEFAUT, pl->szNom);
  pl->pstSuivante = pst->pstPremiere;
  pst->pstPremiere = pl;
  pstVue->pstCourante = pl;
  ++pst->nNbListes;
  return pl;
}

void MEM_Supprime(stCTXMEM* pst, _stBUFFERMEM* pstListe) {
  for (_stBUFFERMEM** pp = &pst->pstPremiere; *pp != nullptr; pp = &(*pp)->pstSuivante) {
    if (*pp == pstListe) {
      *pp = pstListe->pstSuivante;
      // No component keeps a reference to it.
      for (stCTXMEMCOMPO* pv = pst->pstComposantes; pv != nullptr; pv = pv->pstSuivante) {
        if (pv->pstDefaut == pstListe) pv->pstDefaut = nullptr;
        if (pv->pstCourante == pstListe) pv->pstCourante = nullptr;
      }
      --pst->nNbListes;
      Libere(pstListe);
      return;
    }
  }
}

void MEM_SupprimeTout(stCTXMEM* pst) {
  while (pst->pstPremiere != nullptr) MEM_Supprime(pst, pst->pstPremiere);
}

void MEM_Vide(stCTXMEM*, _stBUFFERMEM* pl) {
  FermeFichier(pl);
  pl->index.clear();
  pl->nUtiliseZone = 0;
  pl->nNbMemoire = pl->nNbFichier = 0;
  pl->nPlusGrand = 0;
  pl->bTrie = false;
  pl->nCourant = 0;
  pl->bTrouve = false;
  pl->bEnDehors = pl->bAvantDebut = pl->bApresFin = true;
  pl->bPositionne = false;
}

bool MEM_bStocke(stCTXMEM* pst, _stBUFFERMEM* pl, const STValeurMem& cle, const STValeurMem& valeur, DWORD* pnOffset) {
  std::string r = sEnregistrement(cle, valeur);
  DWORD n = static_cast<DWORD>(r.size());
  // The memory area, grown while the limits allow and nothing has spilled yet.
  while (pl->nUtiliseZone + n > pl->nTailleZone && pl->nFichier == -1 && !pl->bExtensionRatee &&
         pl->nNbExtensions < pst->nMaxExtensionsListe && pst->nNbExtensions < pst->nMaxExtensions) {
    auto* p = static_cast<char*>(std::realloc(pl->pZone, pl->nTailleZone + MEM_TAILLE_ZONE));
    if (p == nullptr) {
      pl->bExtensionRatee = true;
      break;
    }
    std::memset(p + pl->nTailleZone, 0, MEM_TAILLE_ZONE);
    pl->pZone = p;
    pl->nTailleZone += MEM_TAILLE_ZONE;
    ++pl->nNbExtensions;
    ++pst->nNbExtensions;
  }
  if (pl->nUtiliseZone + n <= pl->nTailleZone && pl->nFichier == -1) {
    std::memcpy(pl->pZone + pl->nUtiliseZone, r.data(), n);
    *pnOffset = pl->nUtiliseZone;
    pl->nUtiliseZone += n;
    ++pl->nNbMemoire;
  } else {
    // The temporary file, made at first need.
    if (pl->nFichier == 65535) return false;
    if (pl->nFichier == -1) {
      if (pst->sRepertoireTemp.empty()) pst->sRepertoireTemp = sRepertoireTemp();
      std::string modele = pst->sRepertoireTemp + "/ZTXXXXXX";
      int fd = SYS_nMkstemp(modele.data());
      if (fd < 0) {
        pl->nFichier = 65535;
        return false;
      }
      pl->nFichier = fd;
      pl->sFichier = modele;
    }
    // A failed write fails this add only: the elements already in the file
    // stay readable, and whatever part of the record reached it is cut off.
    if (SYS_nPwrite(pl->nFichier, r.data(), n, static_cast<long long>(pl->nUtiliseFichier)) !=
        static_cast<ssize_t>(n)) {
      const int e = errno;
      if (pl->nUtiliseFichier == 0) {
        FermeFichier(pl);  // a file just made and still empty goes, to be made again later
      } else if (SYS_nFtruncate(pl->nFichier, static_cast<long long>(pl->nUtiliseFichier)) != 0) {
      }
      errno = e;
      return false;
    }
    *pnOffset = pl->nTailleZone + pl->nUtiliseFichier;
    pl->nUtiliseFichier += n;
    ++pl->nNbFichier;
  }
  if (n > pl->nPlusGrand) pl->nPlusGrand = n;
  pl->bTrie = false;
  return true;
}

bool MEM_bAjoute(stCTXMEM* pst, _stBUFFERMEM* pl, const STValeurMem& cle, const STValeurMem& valeur) {
  DWORD offset = 0;
  if (!MEM_bStocke(pst, pl, cle, valeur, &offset)) return false;
  pl->index.push_back(offset);
  if (pl->index.size() == 1) pl->nCourant = 1;
  return true;
}

bool MEM_bModifie(stCTXMEM* pst, _stBUFFERMEM* pl, int nPosition, const STValeurMem& cle, const STValeurMem& valeur) {
  if (nPosition < 1 || nPosition > pl->nOccurrence()) {
    pl->bAvantDebut = nPosition < 1;
    pl->bApresFin = nPosition >= 1;
    pl->bEnDehors = true;
    pl->bTrouve = false;
    return false;
  }
  bool bFichier = pl->index[static_cast<std::size_t>(nPosition - 1)] >= pl->nTailleZone;
  DWORD offset = 0;
  if (!MEM_bStocke(pst, pl, cle, valeur, &offset)) return false;
  // The element moved, it was not added: the old record no longer counts.
  if (bFichier) {
    --pl->nNbFichier;
  } else {
    --pl->nNbMemoire;
  }
  pl->index[static_cast<std::size_t>(nPosition - 1)] = offset;
  return true;
}

bool MEM_bSupprimePosition(_stBUFFERMEM* pl, int nPosition) {
  if (nPosition < 1 || nPosition > pl->nOccurrence()) {
    pl->bAvantDebut = nPosition < 1;
    pl->bApresFin = nPosition >= 1;
    pl->bEnDehors = true;
    pl->bTrouve = false;
    return false;
  }
  DWORD offset = pl->index[static_cast<std::size_t>(nPosition - 1)];
  pl->index.erase(pl->index.begin() + (nPosition - 1));
  if (offset >= pl->nTailleZone) {
    --pl->nNbFichier;
  } else {
    --pl->nNbMemoire;
  }
  if (pl->nCourant > pl->nOccurrence()) {
    pl->bTrouve = false;
    pl->bEnDehors = true;
  }
  return true;
}

bool MEM_bLitSansPosition(_stBUFFERMEM* pl, int nPosition, STEnregMem* pEnreg) {
  if (nPosition < 1 || nPosition > pl->nOccurrence()) return false;
  std::string r;
  return bLitEnregistrement(pl, pl->index[static_cast<std::size_t>(nPosition - 1)], &r) && bDecode(r, pEnreg);
}

bool MEM_bLit(stCTXMEMCOMPO* pstVue, _stBUFFERMEM* pl, int nPosition, STEnregMem* pEnreg) {
  if (nPosition < 1 || nPosition > pl->nOccurrence()) {
    pl->bAvantDebut = nPosition < 1;
    pl->bApresFin = nPosition >= 1;
    pl->bEnDehors = true;
    pl->bTrouve = false;
    return false;
  }
  if (!MEM_bLitSansPosition(pl, nPosition, pEnreg)) return false;
  pstVue->sDernierLu = pEnreg->valeur.octets;
  pl->nCourant = nPosition;
  pl->bTrouve = true;
  pl->bEnDehors = false;
  return true;
}

int MEM_nCompare(const STValeurMem& cherche, const STValeurMem& stocke) {
  bool n1 = bNumerique(cherche.cType), n2 = bNumerique(stocke.cType);
  if (n1 && n2) {
    double a = dNombre(cherche), b = dNombre(stocke);
    return (a > b) - (a < b);
  }
  if (n1 != n2) return n1 ? -1 : 1;  // a string and a number are never equal
  if (cherche.octets.empty() || stocke.octets.empty()) {
    return static_cast<int>(!cherche.octets.empty()) - static_cast<int>(!stocke.octets.empty());
  }
  std::size_t n = std::min(cherche.octets.size(), stocke.octets.size());
  int d = std::memcmp(cherche.octets.data(), stocke.octets.data(), n);
  if (d != 0) return d;
  return (cherche.octets.size() > stocke.octets.size()) - (cherche.octets.size() < stocke.octets.size());
}

void MEM_Trie(_stBUFFERMEM* pl, int nOrdre) {
  nOrdre = nOrdre != 0 ? 1 : 0;
  if (pl->bTrie && pl->nOrdreTri == nOrdre) return;
  if (pl->bTrie) {
    std::reverse(pl->index.begin(), pl->index.end());
  } else {
    // Keys read once, then the index ordered by them (records never move).
    std::vector<std::pair<STValeurMem, DWORD>> cles;
    for (std::size_t i = 0; i < pl->index.size(); ++i) {
      STEnregMem e;
      MEM_bLitSansPosition(pl, static_cast<int>(i + 1), &e);
      cles.emplace_back(e.cle, pl->index[i]);
    }
    std::sort(cles.begin(), cles.end(), [nOrdre](const auto& a, const auto& b) {
      int c = MEM_nCompare(a.first, b.first);
      return nOrdre ? c < 0 : c > 0;
    });
    for (std::size_t i = 0; i < cles.size(); ++i) pl->index[i] = cles[i].second;
  }
  pl->bTrie = true;
  pl->nOrdreTri = nOrdre;
  pl->nCourant = 0;
  pl->bTrouve = false;
  pl->bEnDehors = pl->bAvantDebut = pl->bApresFin = true;
}

int MEM_nChercheCle(_stBUFFERMEM* pl, const STValeurMem& cle) {
  int n = pl->nOccurrence();
  auto cleA = [pl](int position) {
    STEnregMem e;
    MEM_bLitSansPosition(pl, position, &e);
    return e.cle;
  };
  if (!pl->bTrie) {
    for (int i = 1; i <= n; ++i) {
      if (MEM_nCompare(cle, cleA(i)) == 0) return i;
    }
    return 0;
  }
  int bas = 1, haut = n;
  while (bas <= haut) {
    int milieu = (bas + haut) / 2;
    int c = MEM_nCompare(cle, cleA(milieu));
    if (!pl->nOrdreTri) c = -c;
    if (c == 0) {
      while (milieu > 1 && MEM_nCompare(cle, cleA(milieu - 1)) == 0) --milieu;
      return milieu;
    }
    if (c > 0) {
      bas = milieu + 1;
    } else {
      haut = milieu - 1;
    }
  }
  return 0;
}

int MEM_nChercheValeur(_stBUFFERMEM* pl, const STValeurMem& valeur) {
  for (int i = 1; i <= pl->nOccurrence(); ++i) {
    STEnregMem e;
    if (!MEM_bLitSansPosition(pl, i, &e)) continue;
    if (e.valeur.cType == valeur.cType && e.valeur.octets.size() >= valeur.octets.size() &&
        std::memcmp(e.valeur.octets.data(), valeur.octets.data(), valeur.octets.size()) == 0)
      return i;
  }
  return -1;
}
