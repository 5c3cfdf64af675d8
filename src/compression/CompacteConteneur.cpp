// The compacted-file container: nfCompacte (header, then a "-lh5-"
// stream, or the file's bytes as a "-lh0-" entry when it does not
// shrink), sDecompacteEx and nfDecompacte (header, extraction, fall-backs
// for old and plain files), the size queries and the output name.
#include <cerrno>
#include <cstring>
#include <string>
#include <strings.h>

#include "compression/Compacte.h"
#include "compression/Lh5Fichier.h"
#include "core/TString.h"
#include "core/XError.h"
#include "files/DiskFile.h"
#include "files/Remplacement.h"

namespace {

constexpr BYTE OCTET_ENTETE = 0x20;
constexpr int TAILLE_ENTETE = COMPACTE_TAILLE_ENTETE - 1;  // 288
constexpr int POS_METHODE = 0;
constexpr int POS_TAILLE_COMPRESSEE = 8;
constexpr int POS_TAILLE = 12;
constexpr int POS_NOM = 16;
constexpr const char* METHODE_LH5 = "-lh5-";
constexpr const char* METHODE_LH0 = "-lh0-";
constexpr DWORD TAILLE_COPIE = 8192;
constexpr long long ESPACE_PLEIN = 4;  // kilobytes: a disk this empty is full

enum eMETHODE { METHODE_AUTRE, METHODE_CODEE, METHODE_STOCKEE };

// The 288 bytes after the leading 0x20.
struct STEntete {
  BYTE aby[TAILLE_ENTETE]{};

  eMETHODE eMethode() const {
    const char* p = reinterpret_cast<const char*>(aby + POS_METHODE);
    if (strncasecmp(p, METHODE_LH5, 6) == 0) return METHODE_CODEE;
    if (strncasecmp(p, METHODE_LH0, 6) == 0) return METHODE_STOCKEE;
    return METHODE_AUTRE;
  }
  DWORD dwLit(int n) const {
    return aby[n] | (DWORD{aby[n + 1]} << 8) | (DWORD{aby[n + 2]} << 16) | (DWORD{aby[n + 3]} << 24);
  }
  void Ecrit(int n, DWORD v) {
    for (int i = 0; i < 4; i++) aby[n + i] = static_cast<BYTE>(v >> (8 * i));
  }
  void Methode(const char* psz) {
    std::memset(aby + POS_METHODE, 0, 8);
    std::memcpy(aby + POS_METHODE, psz, 5);
  }
  // The stored name, always terminated.
  std::string sNom() const {
    const char* p = reinterpret_cast<const char*>(aby + POS_NOM);
    return std::string(p, strnlen(p, COMPACTE_TAILLE_NOM));
  }
};

enum eLECTURE { ENTETE_AUCUNE, ENTETE_PARTIELLE, ENTETE_COMPLETE };

// One byte (ignored), then up to 288 bytes of header.
eLECTURE eLitEntete(CDiskFile& cl, STEntete* pst, DWORD* pnLu) {
  BYTE by;
  DWORD n = 0;
  *pnLu = 0;
  if (!cl.bRead(&by, 1, &n) || n != 1) return ENTETE_AUCUNE;
  DWORD nTotal = 0;
  while (nTotal < TAILLE_ENTETE) {
    if (!cl.bRead(pst->aby + nTotal, TAILLE_ENTETE - nTotal, &n) || n == 0) break;
    nTotal += n;
  }
  *pnLu = nTotal;
  return nTotal == TAILLE_ENTETE ? ENTETE_COMPLETE : ENTETE_PARTIELLE;
}

std::string sCheminComplet(const char* psz) {
  char sz[DISKFILE_MAX_PATH + 1];
  const DWORD n = CDiskFile::GetFullPathName(psz, sizeof sz, sz);
  if (n == 0 || n >= sizeof sz) return CDiskFile::sNormalise(psz);
  return sz;
}

// The source's access and write times, read before the destination (which
// may be the source itself) is replaced, and given to it afterwards.
struct STDates {
  _stXFILETIME c{}, a{}, e{};
  bool bLues = false;
  explicit STDates(const char* pszSource) : bLues(CDiskFile::bGetTime(pszSource, &c, &a, &e) != 0) {}
  void Applique(const char* pszDestination) const {
    if (bLues) CDiskFile::bSetTime(pszDestination, nullptr, &a, &e);
  }
};

// The result code of a destination that could not be written.
short nEchecSortie(int nErrno) { return nErrno == ENOSPC ? COMPACTE_DISQUE_PLEIN : COMPACTE_DESTINATION; }

DWORD dwErrno(CDiskFile& cl) {
  const DWORD dw = cl.pclGetXError()->dwGetSystemErrorCode();
  return dw == 0 ? EIO : dw;
}

// The source's bytes, from its start, to the destination's current offset.
int nStocke(CDiskFile& clSource, CDiskFile& clDestination, QWORD* pqEcrit, DWORD* pdwErrno) {
  BYTE ab[TAILLE_COPIE];
  *pqEcrit = 0;
  if (!clSource.bSeek(0, IXStream::SEEK_DEBUT)) {
    *pdwErrno = dwErrno(clSource);
    return LH5F_LECTURE;
  }
  for (;;) {
    DWORD n = 0;
    if (!clSource.bRead(ab, sizeof ab, &n)) {
      *pdwErrno = dwErrno(clSource);
      return LH5F_LECTURE;
    }
    if (n == 0) return LH5F_OK;
    if (!clDestination.bWrite(ab, n)) {
      *pdwErrno = dwErrno(clDestination);
      return LH5F_ECRITURE;
    }
    *pqEcrit += n;
    if (COMPACTE_bArretDemande()) return LH5F_ARRET;
  }
}

// Writes the byte 0x20 and the header at the destination's offset oDebut.
bool bEcritEntete(CDiskFile& cl, long long oDebut, const STEntete& st, DWORD* pdwErrno) {
  BYTE ab[COMPACTE_TAILLE_ENTETE];
  ab[0] = OCTET_ENTETE;
  std::memcpy(ab + 1, st.aby, TAILLE_ENTETE);
  if (!cl.bSeek(oDebut, IXStream::SEEK_DEBUT) || !cl.bWrite(ab, sizeof ab)) {
    *pdwErrno = dwErrno(cl);
    return false;
  }
  return true;
}

// The coding proper: header, stream, header again with the sizes, two zero
// bytes; or, when coding gains nothing, the same with the source's bytes
// stored as they are ("-lh0-"). A status of Lh5Fichier.h.
int nAjoute(CDiskFile& clSource, CDiskFile& clDestination, STEntete& st, QWORD qTaille, DWORD* pdwErrno) {
  const long long oDebut = clDestination.oGetOffset();
  static const BYTE abyZeros[2] = {0, 0};
  int r = LH5F_INCOMPRESSIBLE;
  STLh5Fichier stFichier;
  if (qTaille <= 0xFFFFFFFFull) {
    st.Methode(METHODE_LH5);
    if (!bEcritEntete(clDestination, oDebut, st, pdwErrno)) return LH5F_ECRITURE;
    r = LH5_nCompacteFichier(clSource, clDestination, qTaille, true, &stFichier);
    *pdwErrno = stFichier.dwErrno;
  }
  if (r == LH5F_OK) {
    st.Ecrit(POS_TAILLE_COMPRESSEE, static_cast<DWORD>(stFichier.qEcrit));
    st.Ecrit(POS_TAILLE, static_cast<DWORD>(stFichier.qLu));
    if (!bEcritEntete(clDestination, oDebut, st, pdwErrno)) return LH5F_ECRITURE;
    if (!clDestination.bSeek(0, IXStream::SEEK_FIN) || !clDestination.bWrite(abyZeros, 2)) {
      *pdwErrno = dwErrno(clDestination);
      return LH5F_ECRITURE;
    }
    return LH5F_OK;
  }
  if (r != LH5F_INCOMPRESSIBLE) return r;

  // Stored: a "-lh0-" entry, header and name included, so that the file
  // can be restored under its name like any other. Sizes beyond the
  // header's 32 bits leave only the bytes themselves, without header.
  const bool bAvecEntete = qTaille <= 0xFFFFFFFFull;
  if (!clDestination.bSeek(oDebut, IXStream::SEEK_DEBUT)) {
    *pdwErrno = dwErrno(clDestination);
    return LH5F_ECRITURE;
  }
  if (bAvecEntete) {
    st.Methode(METHODE_LH0);
    if (!bEcritEntete(clDestination, oDebut, st, pdwErrno)) return LH5F_ECRITURE;
  }
  QWORD qEcrit = 0;
  r = nStocke(clSource, clDestination, &qEcrit, pdwErrno);
  if (r != LH5F_OK) return r;
  if (bAvecEntete) {
    st.Ecrit(POS_TAILLE_COMPRESSEE, static_cast<DWORD>(qEcrit));
    st.Ecrit(POS_TAILLE, static_cast<DWORD>(qEcrit));
    if (!bEcritEntete(clDestination, oDebut, st, pdwErrno)) return LH5F_ECRITURE;
    if (!clDestination.bSeek(0, IXStream::SEEK_FIN) || !clDestination.bWrite(abyZeros, 2)) {
      *pdwErrno = dwErrno(clDestination);
      return LH5F_ECRITURE;
    }
  }
  if (!clDestination.bSetSize(clDestination.oGetOffset())) {
    *pdwErrno = dwErrno(clDestination);
    return LH5F_ECRITURE;
  }
  return LH5F_OK;
}

// Free space of the destination's disk, in kilobytes (-1 unknown).
long long oEspaceLibre(const char* pszDestination) {
  CTString clRep, clNom, clExt;
  CDiskFile::SplitPath(sCheminComplet(pszDestination).c_str(), &clRep, &clNom, &clExt);
  long long oLibre = -1;
  const char* psz = clRep.pszGet();
  if (!CDiskFile::bGetDiskFreeSpace(psz != nullptr && *psz != '\0' ? psz : nullptr, &oLibre)) return -1;
  return oLibre;
}

// One entry from the source's offset to the output file. Returns 0, or the
// result code (2, 5, 6, 7).
short nExtrait(CDiskFile& clSource, const STEntete& st, const char* pszSortie) {
  // The output replaces the file of that name only once complete.
  CRemplacement remplacement;
  if (!remplacement.bPrepare(pszSortie)) return nEchecSortie(errno);
  CDiskFile clSortie;
  if (!clSortie.bOpen(remplacement.pszTemporaire(), IXStream::ACCESS_ECRITURE, IXStream::SHARE_ECRITURE,
                      IXStream::CREATE_TRONQUE, IXStream::FLAG_NORMAL, nullptr))
    return nEchecSortie(static_cast<int>(dwErrno(clSortie)));
  STLh5Fichier stFichier;
  int r = LH5_nDecompacteFichier(clSource, st.dwLit(POS_TAILLE_COMPRESSEE), clSortie, st.dwLit(POS_TAILLE),
                                 st.eMethode() == METHODE_STOCKEE, &stFichier);
  clSortie.Close();
  if (r == LH5F_OK && !remplacement.bValide()) {
    r = LH5F_ECRITURE;
    stFichier.dwErrno = static_cast<DWORD>(errno);
  }
  if (r != LH5F_OK) remplacement.Abandonne();
  COMPACTE_Progression(100);
  switch (r) {
    case LH5F_OK:
      return COMPACTE_OK;
    case LH5F_ARRET:
      return COMPACTE_ARRET;
    case LH5F_ECRITURE:
      return stFichier.dwErrno == ENOSPC ? COMPACTE_DISQUE_PLEIN : COMPACTE_DESTINATION;
    default:
      return COMPACTE_DESTINATION;
  }
}

}  // namespace

short nfCompacte(const char* pszSource, const char* pszDestination) {
  COMPACTE_RazArret();
  COMPACTE_Progression(0);
  if (pszSource == nullptr || pszDestination == nullptr || *pszSource == '\0') return COMPACTE_SOURCE;
  if (*pszDestination == '\0') return COMPACTE_DESTINATION;
  STEntete st;
  std::strncpy(reinterpret_cast<char*>(st.aby + POS_NOM), pszSource, COMPACTE_TAILLE_NOM - 1);

  CDiskFile clSource;
  if (!clSource.bOpen(pszSource, IXStream::ACCESS_LECTURE, IXStream::SHARE_LECTURE, IXStream::CREATE_EXISTANT,
                      IXStream::FLAG_NORMAL, nullptr))
    return COMPACTE_SOURCE;
  const long long oTaille = clSource.oGetSize();
  if (oTaille < 0) return COMPACTE_SOURCE;
  const STDates dates(pszSource);
  // Written beside the destination and put in its place once complete: a
  // failure leaves it as it was, and a destination that is the source
  // itself (by any name) is read completely first.
  CRemplacement remplacement;
  if (!remplacement.bPrepare(pszDestination)) return COMPACTE_DESTINATION;
  CDiskFile clDestination;
  if (!clDestination.bOpen(remplacement.pszTemporaire(), IXStream::ACCESS_LECTUREECRITURE, IXStream::SHARE_ECRITURE,
                           IXStream::CREATE_TRONQUE, IXStream::FLAG_NORMAL, nullptr))
    return COMPACTE_DESTINATION;

  DWORD dwErr = 0;
  int r = nAjoute(clSource, clDestination, st, static_cast<QWORD>(oTaille), &dwErr);
  clSource.Close();
  clDestination.Close();
  if (r == LH5F_OK && !remplacement.bValide()) {
    r = LH5F_ECRITURE;
    dwErr = static_cast<DWORD>(errno);
  }
  if (r != LH5F_OK) {
    remplacement.Abandonne();
    switch (r) {
      case LH5F_ARRET:
        return COMPACTE_ARRET;
      case LH5F_MEMOIRE:
        return COMPACTE_MEMOIRE;
      case LH5F_LECTURE:
        return COMPACTE_SOURCE;
      default: {
        if (dwErr == ENOSPC) return COMPACTE_DISQUE_PLEIN;
        const long long oLibre = oEspaceLibre(pszDestination);
        return oLibre >= 0 && oLibre <= ESPACE_PLEIN ? COMPACTE_DISQUE_PLEIN : COMPACTE_ECRITURE;
      }
    }
  }
  dates.Applique(pszDestination);
  COMPACTE_Progression(100);
  return COMPACTE_OK;
}

bool GereNomDest(const char* pszDestination, const char* pszNomStocke, char* pszSortie, std::size_t nTaille) {
  std::string s = pszDestination != nullptr ? pszDestination : "";
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (!s.empty() && (s.back() == '/' || s.back() == '\\' || s.back() == ':')) {
    const std::string nom = pszNomStocke != nullptr ? pszNomStocke : "";
    const std::size_t i = nom.find_last_of("/\\:");
    s += i == std::string::npos ? nom : nom.substr(i + 1);
  }
  if (s.size() + 1 > nTaille) return false;
  std::memcpy(pszSortie, s.c_str(), s.size() + 1);
  return true;
}

short sDecompacteEx(long lOffset, short /*nLangue*/, const char* pszSource, const char* pszDestination) {
  COMPACTE_RazArret();
  COMPACTE_Progression(0);
  if (pszSource == nullptr || *pszSource == '\0') return COMPACTE_SOURCE;
  if (pszDestination != nullptr && *pszDestination == '\0') pszDestination = nullptr;
  CDiskFile clSource;
  if (!clSource.bOpen(pszSource, IXStream::ACCESS_LECTURE, IXStream::SHARE_LECTURE, IXStream::CREATE_EXISTANT,
                      IXStream::FLAG_NORMAL, nullptr))
    return COMPACTE_SOURCE;
  const long long oTaille = clSource.oGetSize();
  if (lOffset < 0 || lOffset > oTaille || !clSource.bSeek(lOffset, IXStream::SEEK_DEBUT))
    return COMPACTE_ECRITURE;
  STEntete st;
  DWORD nLu = 0;
  const eLECTURE eLu = eLitEntete(clSource, &st, &nLu);
  // An empty file is a plain file like any other.
  if (eLu == ENTETE_AUCUNE && !(lOffset == 0 && oTaille == 0)) return COMPACTE_ECRITURE;
  const eMETHODE eMethode = eLu == ENTETE_COMPLETE ? st.eMethode() : METHODE_AUTRE;
  if (eLu == ENTETE_PARTIELLE && nLu >= 6 && st.eMethode() != METHODE_AUTRE) return COMPACTE_ECRITURE;

  if (eMethode != METHODE_AUTRE) {
    char szSortie[DISKFILE_MAX_PATH * 2 + 2];
    const std::string sNom = st.sNom();
    if (pszDestination != nullptr) {
      if (!GereNomDest(pszDestination, sNom.c_str(), szSortie, sizeof szSortie)) return COMPACTE_DESTINATION;
    } else {
      std::memcpy(szSortie, sNom.c_str(), sNom.size() + 1);
    }
    if (szSortie[0] == '\0') return COMPACTE_DESTINATION;
    // The output may be the source itself: it replaces it once complete.
    const STDates dates(pszSource);
    const short r = nExtrait(clSource, st, szSortie);
    clSource.Close();
    if (r == COMPACTE_OK) dates.Applique(szSortie);
    return COMPACTE_bArretDemande() && r != COMPACTE_OK ? static_cast<short>(COMPACTE_ARRET) : r;
  }

  // Not in this format: perhaps the old one; otherwise the bytes of a file
  // stored without header, which go to the destination unchanged. Without
  // a destination there is no name to restore them under: refused, and
  // nothing is written.
  clSource.Close();
  short r = nOldDecompacte(pszSource, pszDestination);
  if (r == COMPACTE_PAS_COMPACTE && pszDestination != nullptr) {
    r = COMPACTE_OK;
    char szSortie[DISKFILE_MAX_PATH * 2 + 2];
    if (!GereNomDest(pszDestination, sCheminComplet(pszSource).c_str(), szSortie, sizeof szSortie))
      return COMPACTE_DESTINATION;
    CXError clErreur;
    if (!REM_bMemeFichier(szSortie, pszSource) && !CDiskFile::bCopy(szSortie, pszSource, &clErreur))
      r = nEchecSortie(static_cast<int>(clErreur.dwGetSystemErrorCode()));
  }
  return r;
}

short nfDecompacte(short nLangue, const char* pszSource, const char* pszDestination) {
  return sDecompacteEx(0, nLangue, pszSource, pszDestination);
}

namespace {

// The header at the start of a file; false when the file cannot be opened.
bool bEnteteFichier(const char* pszChemin, STEntete* pst, eLECTURE* pe) {
  CDiskFile cl;
  if (pszChemin == nullptr ||
      !cl.bOpen(pszChemin, IXStream::ACCESS_LECTURE, IXStream::SHARE_LECTURE, IXStream::CREATE_EXISTANT,
                IXStream::FLAG_NORMAL, nullptr))
    return false;
  DWORD nLu = 0;
  *pe = eLitEntete(cl, pst, &nLu);
  return true;
}

}  // namespace

long long lfTailleCompacte(const char* pszChemin) {
  STEntete st;
  eLECTURE e;
  if (!bEnteteFichier(pszChemin, &st, &e)) return -1;
  if (e == ENTETE_AUCUNE) return -2;
  if (e == ENTETE_COMPLETE && st.eMethode() != METHODE_AUTRE) return st.dwLit(POS_TAILLE_COMPRESSEE);
  const long long o = lVerifieSiCompresseOld(pszChemin);
  return o == 0 ? -2 : o;
}

long long lfTailleDecompacte(const char* pszChemin) {
  STEntete st;
  eLECTURE e;
  if (!bEnteteFichier(pszChemin, &st, &e)) return -1;
  if (e != ENTETE_COMPLETE || st.eMethode() == METHODE_AUTRE) return -2;
  return st.dwLit(POS_TAILLE);
}
