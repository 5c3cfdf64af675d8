// Attributes and times of files by name: the attribute letters (directory,
// hidden, read-only), the read-only switch, and the last write, creation
// and last access times as dates, times or both.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/XError.h"
#include "files/DiskFile.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

constexpr const char* PSZ_ERREUR = "ERR";
constexpr std::size_t LONGUEUR_MAX_TEMPS = 4096;
constexpr DWORD BITS_LECTURE = 0444, BITS_ECRITURE = 0222;

// The attribute word made readable, and writable or not.
DWORD dwLectureSeule(DWORD dw, bool bLectureSeule) {
  dw |= BITS_LECTURE;
  return bLectureSeule ? dw & ~BITS_ECRITURE : dw | BITS_ECRITURE;
}

// "C:" and the like: a drive, which has no attributes here.
bool bFormeLecteur(const char* psz) { return std::strlen(psz) < 4 && psz[0] != '\0' && psz[1] == ':'; }

bool bChiffres(const char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!std::isdigit(static_cast<unsigned char>(p[i]))) return false;
  return true;
}

int nNombre(const char* p, std::size_t n) {
  int v = 0;
  for (std::size_t i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
  return v;
}

// YYYYMMDD from 1980 on into the record; false when it is not one.
bool bLitDate(const char* p, std::size_t n, _stXFILETIME* pst) {
  if (n != 8 || !bChiffres(p, 8)) return false;
  const int a = nNombre(p, 4), m = nNombre(p + 4, 2), j = nNombre(p + 6, 2);
  if (a < 1980 || m < 1 || m > 12 || j < 1 || j > 31) return false;
  pst->wAnnee = static_cast<WORD>(a);
  pst->wMois = static_cast<WORD>(m);
  pst->wJour = static_cast<WORD>(j);
  return true;
}

// HHMMSS into the record (milliseconds 0); false when it is not one.
bool bLitHeure(const char* p, std::size_t n, _stXFILETIME* pst) {
  if (n != 6 || !bChiffres(p, 6)) return false;
  const int h = nNombre(p, 2), m = nNombre(p + 2, 2), s = nNombre(p + 4, 2);
  if (h > 23 || m > 59 || s > 59) return false;
  pst->wHeure = static_cast<WORD>(h);
  pst->wMinute = static_cast<WORD>(m);
  pst->wSeconde = static_cast<WORD>(s);
  pst->wMilliseconde = 0;
  return true;
}

}  // namespace

CVXDSTR CComposanteStandard::fAttribut(const char* pszChemin) { return _sAttribut(pszChemin, nullptr); }

CVXDSTR CComposanteStandard::fAttribut(const char* pszChemin, const char* pszNouveaux) {
  return _sAttribut(pszChemin, pszNouveaux);
}

CVXDSTR CComposanteStandard::fRepAttribut(const char* pszChemin) {
  if (*pszChemin == '\0') {
    RaiseError(ERR_PAS_UN_REPERTOIRE);
    return clTexte(PSZ_ERREUR);
  }
  return _sAttribut(pszChemin, nullptr);
}

CVXDSTR CComposanteStandard::fRepAttribut(const char* pszChemin, const char* pszNouveaux) {
  if (*pszChemin == '\0') {
    RaiseError(ERR_PAS_UN_REPERTOIRE);
    return clTexte(PSZ_ERREUR);
  }
  return _sAttribut(pszChemin, pszNouveaux);
}

CVXDSTR CComposanteStandard::_sAttribut(const char* pszChemin, const char* pszNouveaux) {
  if (*pszChemin == '\0') {
    RaiseError(ERR_PAS_UN_FICHIER, pszChemin);
    return clTexte(PSZ_ERREUR);
  }
  if (bFormeLecteur(pszChemin)) return clTexte(PSZ_ERREUR);
  const std::string chemin = CDiskFile::sNormalise(pszChemin);
  CXError clErreur;
  DWORD dw = 0;
  if (!CDiskFile::bGetFileAttributes(&dw, chemin.c_str(), &clErreur)) {
    _ErreurSGF(&clErreur);
    return clTexte(PSZ_ERREUR);
  }
  if (pszNouveaux != nullptr) {
    dw = dwLectureSeule(dw, std::strpbrk(pszNouveaux, "Rr") != nullptr);
    if (!CDiskFile::bSetFileAttributes(chemin.c_str(), dw, &clErreur) ||
        !CDiskFile::bGetFileAttributes(&dw, chemin.c_str(), &clErreur)) {
      _ErreurSGF(&clErreur);
      return clTexte(PSZ_ERREUR);
    }
  }
  return clTexte(_sLettresAttribut(chemin.c_str(), dw));
}

bool CComposanteStandard::fAttributLectureSeule(const char* pszChemin, int nLectureSeule) {
  if (*pszChemin == '\0') {
    RaiseError(ERR_PAS_UN_FICHIER, pszChemin);
    return false;
  }
  const std::string chemin = CDiskFile::sNormalise(pszChemin);
  CXError clErreur;
  DWORD dw = 0;
  if (!CDiskFile::bGetFileAttributes(&dw, chemin.c_str(), &clErreur)) {
    _ErreurSGF(&clErreur);
    return false;
  }
  const bool bAvant = (dw & BITS_ECRITURE) == 0;
  if (nLectureSeule >= 0 && (nLectureSeule != 0) != bAvant) {
    if (!CDiskFile::bSetFileAttributes(chemin.c_str(), dwLectureSeule(dw, nLectureSeule != 0), &clErreur))
      _ErreurSGF(&clErreur);
  }
  return bAvant;
}

CVXDSTR CComposanteStandard::fDate(const char* pszChemin, const char* pszValeur, int nQuel) {
  return _sTempsFichier(pszChemin, pszValeur, nQuel, TF_DATE);
}

CVXDSTR CComposanteStandard::fHeure(const char* pszChemin, const char* pszValeur, int nQuel) {
  return _sTempsFichier(pszChemin, pszValeur, nQuel, TF_HEURE);
}

CVXDSTR CComposanteStandard::fDateHeure(const char* pszChemin, const char* pszValeur, int nQuel) {
  return _sTempsFichier(pszChemin, pszValeur, nQuel, TF_DATEHEURE);
}

CVXDSTR CComposanteStandard::_sTempsFichier(const char* pszChemin, const char* pszValeur, int nQuel,
                                            eTEMPSFICHIER eForme) {
  if (nQuel < 0 || nQuel > 2) {
    RaiseError(ERR_QUEL_TEMPS);
    return CVXDSTR();
  }
  std::string chemin = CDiskFile::sNormalise(pszChemin);
  while (chemin.size() > 1 && chemin.back() == '/') chemin.pop_back();
  if (chemin.size() > LONGUEUR_MAX_TEMPS) chemin.resize(LONGUEUR_MAX_TEMPS);
  const bool bChange = *pszValeur != '\0';

  // Opened first, read-write when the time changes, so that the caller's
  // access to the file is checked the way a write would check it.
  CDiskFile clFichier;
  const bool bRepertoire = CDiskFile::bIsADirectory(chemin.c_str());
  if (!clFichier.bOpen(chemin.c_str(),
                       bChange && !bRepertoire ? IXStream::ACCESS_LECTUREECRITURE : IXStream::ACCESS_LECTURE,
                       IXStream::SHARE_AUCUN, IXStream::CREATE_EXISTANT,
                       bRepertoire ? IXStream::FLAG_REPERTOIRE : IXStream::FLAG_NORMAL, nullptr)) {
    _ErreurFichier(&clFichier);
    return CVXDSTR();
  }
  clFichier.Close();

  _stXFILETIME ast[3];  // creation, last access, last write
  _stXFILETIME* pstChoisi = &ast[nQuel == 0 ? 2 : nQuel == 1 ? 0 : 1];
  CXError clErreur;
  if (bChange) {
    if (!CDiskFile::bGetTime(chemin.c_str(), &ast[0], &ast[1], &ast[2], &clErreur)) {
      _ErreurSGF(&clErreur);
      return CVXDSTR();
    }
    const std::size_t n = std::strlen(pszValeur);
    const bool bDate = eForme != TF_HEURE, bHeure = eForme != TF_DATE;
    if (bDate && !bLitDate(pszValeur, eForme == TF_DATE ? n : std::min<std::size_t>(n, 8), pstChoisi)) {
      RaiseError(ERR_DATE);
      return CVXDSTR();
    }
    const char* pszHeure = eForme == TF_DATEHEURE ? pszValeur + std::min<std::size_t>(n, 8) : pszValeur;
    const std::size_t nHeure = eForme == TF_DATEHEURE ? std::min<std::size_t>(std::strlen(pszHeure), 6) : n;
    if (bHeure && !bLitHeure(pszHeure, nHeure, pstChoisi)) {
      RaiseError(ERR_HEURE);
      return CVXDSTR();
    }
    if (!CDiskFile::bSetTime(chemin.c_str(), &ast[0], &ast[1], &ast[2], &clErreur)) {
      _ErreurSGF(&clErreur);
      return CVXDSTR();
    }
  }
  if (!CDiskFile::bGetTime(chemin.c_str(), &ast[0], &ast[1], &ast[2], &clErreur)) {
    _ErreurSGF(&clErreur);
    return CVXDSTR();
  }
  const _stXFILETIME& t = *pstChoisi;
  char sz[32];
  switch (eForme) {
    case TF_DATE: std::snprintf(sz, sizeof sz, "%04i%02i%02i", t.wAnnee, t.wMois, t.wJour); break;
    case TF_HEURE: std::snprintf(sz, sizeof sz, "%02i%02i%02i", t.wHeure, t.wMinute, t.wSeconde); break;
    case TF_DATEHEURE:
      std::snprintf(sz, sizeof sz, "%04i%02i%02i%02i%02i%02i", t.wAnnee, t.wMois, t.wJour, t.wHeure, t.wMinute,
                    t.wSeconde);
      break;
  }
  return clTexte(sz);
}
