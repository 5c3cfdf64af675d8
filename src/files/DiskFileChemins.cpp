// CDiskFile path operations: the backslash rule, full paths, splitting and
// joining, relative-name tests, and the name-pattern matcher of directory
// searches.
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/CodePage.h"
#include "core/Environnement.h"
#include "core/TString.h"
#include "core/XError.h"
#include "files/DiskFile.h"

std::string CDiskFile::sNormalise(const char* pszChemin) {
  std::string s = pszChemin != nullptr ? pszChemin : "";
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

char* CDiskFile::pszBackSlash2Slash(char* psz) {
  for (char* p = psz; p != nullptr && *p != '\0'; ++p) {
    if (*p == '\\') *p = '/';
  }
  return psz;
}

char* CDiskFile::pszSlash2BackSlash(char* psz) {
  for (char* p = psz; p != nullptr && *p != '\0'; ++p) {
    if (*p == '/') *p = '\\';
  }
  return psz;
}

void CDiskFile::pszBackSlash2Slash(CTString* pcl) { pcl->Set(sNormalise(pcl->pszGet()).c_str()); }

void CDiskFile::pszSlash2BackSlash(CTString* pcl) {
  std::string s = pcl->pszGet();
  pszSlash2BackSlash(s.data());
  pcl->Set(s.c_str());
}

void CDiskFile::DirectoryWithEndSlash(CTString* pcl) {
  DWORD n = pcl->nTaille();
  if (n == 0 || pcl->pszGet()[n - 1] != '/') pcl->Add('/');
}

void CDiskFile::DirectoryWithoutEndSlash(CTString* pcl) {
  DWORD n = pcl->nTaille();
  const char* p = pcl->pszGet();
  while (n > 0 && (p[n - 1] == '/' || p[n - 1] == '\\')) --n;
  pcl->Tronque(n);
}

void CDiskFile::StandardizeFileName(CTString* pclSortie, const char* pszNom) {
  std::string s = sNormalise(pszNom);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  pclSortie->Set(s.c_str());
}

bool CDiskFile::bSameFileName(const char* a, const char* b) {
  CTString sa, sb;
  StandardizeFileName(&sa, a);
  StandardizeFileName(&sb, b);
  return std::strcmp(sa.pszGet(), sb.pszGet()) == 0;
}

void CDiskFile::MakePath(CTString* pclSortie, const char* pszRepertoire, const char* pszNom,
                         const char* pszExtension) {
  pclSortie->Vide();
  if (pszRepertoire != nullptr && *pszRepertoire != '\0') {
    pclSortie->Add(pszRepertoire);
    DWORD n = pclSortie->nTaille();
    char c = pclSortie->pszGet()[n - 1];
    if (c != '/' && c != '\\') pclSortie->Add('/');
  }
  if (pszNom != nullptr) pclSortie->Add(pszNom);
  if (pszExtension != nullptr && *pszExtension != '\0') {
    if (*pszExtension != '.') pclSortie->Add('.');
    pclSortie->Add(pszExtension);
  }
}

const char* CDiskFile::pszGetPtrToFileName(const char* pszChemin) {
  if (pszChemin == nullptr) return "";
  const char* p = pszChemin;
  if (p[0] != '\0' && p[1] == ':') p += 2;
  const char* pDernier = p;
  for (const char* q = p; *q != '\0'; ++q) {
    if (*q == '/' || *q == '\\') pDernier = q + 1;
  }
  return pDernier;
}

// Directory (with its final separator), name, extension (with its dot).
void CDiskFile::SplitPath(const char* pszChemin, CTString* pclRepertoire, CTString* pclNom,
                          CTString* pclExtension) {
  const char* pNom = pszGetPtrToFileName(pszChemin);
  const char* pPoint = std::strrchr(pNom, '.');
  if (pPoint == nullptr) pPoint = pNom + std::strlen(pNom);
  if (pclRepertoire != nullptr) {
    pclRepertoire->Vide();
    if (pszChemin != nullptr) pclRepertoire->Add(pszChemin, static_cast<DWORD>(pNom - pszChemin));
  }
  if (pclNom != nullptr) {
    pclNom->Vide();
    pclNom->Add(pNom, static_cast<DWORD>(pPoint - pNom));
  }
  if (pclExtension != nullptr) pclExtension->Set(pPoint);
}

void CDiskFile::DelExtension(CTString* pcl) {
  std::string s = pcl->pszGet();
  const char* pNom = pszGetPtrToFileName(s.c_str());
  const char* pPoint = std::strrchr(pNom, '.');
  if (pPoint != nullptr) pcl->Tronque(static_cast<DWORD>(pPoint - s.c_str()));
}

void CDiskFile::ChangeExtension(CTString* pcl, const char* pszExtension) {
  DelExtension(pcl);
  if (pszExtension != nullptr && *pszExtension != '\0') {
    if (*pszExtension != '.') pcl->Add('.');
    pcl->Add(pszExtension);
  }
}

bool CDiskFile::bIsRelativeFileName(const char* pszNom) { return pszNom == nullptr || pszNom[0] != '/'; }

bool CDiskFile::bIsRelativeFileName_WIN32(const char* pszNom) {
  if (pszNom == nullptr || pszNom[0] == '\0') return true;
  if (pszNom[0] == '\\') return false;
  if (pszNom[1] == ':') return false;
  return pszNom[std::strlen(pszNom) - 1] != ':';
}

bool CDiskFile::bIsRelativePath(const char* pszNom) { return pszNom != nullptr && pszNom[0] == '.'; }

bool CDiskFile::bIsAVirtualDirectory(const char* pszNom) {
  return pszNom != nullptr && (std::strcmp(pszNom, ".") == 0 || std::strcmp(pszNom, "..") == 0);
}

namespace {

void RemplaceTout(std::string& s, const char* pszMotif, const char* pszPar) {
  std::size_t n = std::strlen(pszMotif);
  for (std::size_t i; (i = s.find(pszMotif)) != std::string::npos;) s.replace(i, n, pszPar);
}

}  // namespace

std::string CDiskFile::sRepertoireMaison() {
  // getpwuid_r: the record is this caller's, whatever other threads ask.
  passwd pw{};
  passwd* ppw = nullptr;
  std::vector<char> tampon(16384);
  if (getpwuid_r(getuid(), &pw, tampon.data(), tampon.size(), &ppw) == 0 && ppw != nullptr && ppw->pw_dir != nullptr)
    return ppw->pw_dir;
  return ENV_sLit("HOME", "");
}

DWORD CDiskFile::GetFullPathName(const char* pszChemin, DWORD nTaille, char* pszSortie) {
  std::string s = sNormalise(pszChemin);
  if (s.empty()) return 0;
  std::string complet;
  if (s[0] == '~') {
    complet = sRepertoireMaison() + s.substr(1);
  } else if (s[0] == '/') {
    complet = s;
  } else {
    char sz[4096];
    if (getcwd(sz, sizeof sz) == nullptr) return 0;
    complet = sz;
    if (complet.empty() || complet.back() != '/') complet += '/';
    complet += s;
  }
  // "/./" first, so that "/x/./../" climbs from x and not from ".".
  RemplaceTout(complet, "/./", "/");
  for (std::size_t i; (i = complet.find("/../")) != std::string::npos;) {
    std::size_t debut = i == 0 ? 0 : complet.rfind('/', i - 1);
    if (debut == std::string::npos) debut = 0;
    complet.erase(debut, i + 3 - debut);
  }
  DWORD n = static_cast<DWORD>(complet.size());
  if (pszSortie == nullptr || n + 1 > nTaille) return n + 1;
  std::memcpy(pszSortie, complet.c_str(), n + 1);
  return n;
}

BOOL CDiskFile::bGetFullPath(const char* pszChemin, CTString* pclSortie, CXError* pclErreur) {
  if (pclErreur != nullptr) pclErreur->RAZ();
  char sz[4096];
  DWORD n = GetFullPathName(pszChemin, sizeof sz, sz);
  if (n == 0 || n >= sizeof sz) {
    if (pclErreur != nullptr) {
      pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
      pclErreur->SetSystemError(static_cast<DWORD>(n == 0 ? (errno != 0 ? errno : ENOENT) : ENAMETOOLONG));
      pclErreur->AddUserMessage(MSG_FIC_CHEMIN_COMPLET, pszChemin != nullptr ? pszChemin : "");
      pclErreur->AddInfo(EIT_SRCFILE, pszChemin != nullptr ? pszChemin : "");
    }
    return 0;
  }
  pclSortie->Set(sz);
  return 1;
}

// '?' one character, '*' any run; on a mismatch after a star the match
// resumes from one character further than the previous attempt. A character
// is one byte, or one UTF-8 sequence when the library's text is UTF-8.
bool CDiskFile::_bFiltreFileName(const char* pszNom, const char* pszFiltre) {
  const char* s = pszNom != nullptr ? pszNom : "";
  const char* p = pszFiltre != nullptr ? pszFiltre : "";
  const char* pEtoile = nullptr;
  const char* sReprise = nullptr;
  while (*s != '\0') {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (*p == '\0') return true;
      pEtoile = p;
      sReprise = s;
    } else if (*p == '?') {
      s += CP_nLongueurCaractere(s);
      ++p;
    } else if (*p != '\0' && *p == *s) {
      ++s;
      ++p;
    } else if (pEtoile != nullptr) {
      p = pEtoile;
      sReprise += CP_nLongueurCaractere(sReprise);
      s = sReprise;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}
