// Paths, temporary names, directory creation, the current directory and
// file comparison.
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/TString.h"
#include "core/XError.h"
#include "files/AppelsSysteme.h"
#include "files/DiskFile.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

enum : int { EXTRAIT_REPERTOIRE = 2, EXTRAIT_FICHIER = 4, EXTRAIT_EXTENSION = 8 };
constexpr std::size_t BLOC_COMPARAISON = 8000;

std::string sSansSeparateurFinal(const char* psz) {
  std::string s = CDiskFile::sNormalise(psz);
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Reads up to n bytes; -1 on failure.
long lLit(int fd, char* p, std::size_t n) {
  std::size_t lu = 0;
  while (lu < n) {
    const ssize_t r = read(fd, p + lu, n - lu);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    lu += static_cast<std::size_t>(r);
  }
  return static_cast<long>(lu);
}

}  // namespace

CVXDSTR CComposanteStandard::fExtraitChemin(const char* pszChemin, int nParties) {
  if (nParties < 0 || nParties > 15) {
    RaiseError(ERR_PARTIES);
    return CVXDSTR();
  }
  if (std::strlen(pszChemin) > DISKFILE_MAX_PATH) {
    RaiseError(ERR_CHEMIN_LONG);
    return CVXDSTR();
  }
  CTString clRep, clNom, clExt;
  CDiskFile::SplitPath(CDiskFile::sNormalise(pszChemin).c_str(), &clRep, &clNom, &clExt);
  std::string s;
  if (nParties & EXTRAIT_REPERTOIRE) s += clRep.pszGet();
  if (nParties & EXTRAIT_FICHIER) s += clNom.pszGet();
  if (nParties & EXTRAIT_EXTENSION) s += clExt.pszGet();
  return clTexte(s);
}

CVXDSTR CComposanteStandard::fRepertoireTemp() {
  char sz[DISKFILE_MAX_PATH + 2];
  CXError clErreur;
  if (!CDiskFile::bGetTempDirectory(sz, &clErreur)) {
    _ErreurSGF(&clErreur);
    return CVXDSTR();
  }
  std::string s = sz;
  if (s.empty() || s.back() != '/') s += '/';
  return clTexte(s);
}

CVXDSTR CComposanteStandard::fFichierTemp(const char* pszPrefixe, const char* pszRepertoire) {
  std::string rep;
  if (pszRepertoire != nullptr && *pszRepertoire != '\0') {
    if (std::strlen(pszRepertoire) > DISKFILE_MAX_PATH) {
      RaiseError(ERR_CHEMIN_LONG);
      return CVXDSTR();
    }
    rep = CDiskFile::sNormalise(pszRepertoire);
  } else {
    CVXDSTR cl = fRepertoireTemp();
    if (cl.nGetLength() == 0) return CVXDSTR();
    rep = cl.pszGet();
  }
  if (!rep.empty() && rep.back() != '/') rep += '/';
  std::string modele = rep + (pszPrefixe != nullptr ? pszPrefixe : "") + "XXXXXX";
  const int fd = SYS_nMkstemp(modele.data());
  if (fd < 0) {
    CXError clErreur;
    clErreur.SetSystemError(errno);
    _ErreurSGF(&clErreur);
    return CVXDSTR();
  }
  close(fd);
  SYS_nUnlink(modele.c_str());
  return clTexte(modele);
}

bool CComposanteStandard::fRepCree(const char* pszChemin) {
  if (!_bVerifieNom(pszChemin)) return false;
  const std::string s = sSansSeparateurFinal(pszChemin);
  if (CDiskFile::bIsADirectory(s.c_str())) return true;
  CXError clErreur;
  if (CDiskFile::bCreateDirectory(s.c_str(), &clErreur)) return true;
  _ErreurSGF(&clErreur);
  return false;
}

int CComposanteStandard::fRepCree_55(const char* pszChemin) {
  if (pszChemin == nullptr || *pszChemin == '\0') return -1;
  const std::string s = sSansSeparateurFinal(pszChemin);
  if (CDiskFile::bExist(s.c_str())) return -1;
  CXError clErreur;
  return CDiskFile::bCreateDirectory(s.c_str(), &clErreur) ? 0 : -1;
}

CVXDSTR CComposanteStandard::fRepEnCours(const char* pszNouveau) {
  if (pszNouveau != nullptr && *pszNouveau != '\0' &&
      chdir(CDiskFile::sNormalise(pszNouveau).c_str()) != 0) {
    RaiseError(ERR_CHDIR, pszNouveau);
    return clTexte("-1");
  }
  char sz[4096];
  if (getcwd(sz, sizeof sz) == nullptr) {
    RaiseError(ERR_GETCWD);
    return clTexte("-1");
  }
  return clTexte(sz);
}

int CComposanteStandard::fCompare(const char* pszPremier, const char* pszSecond) {
  if (pszPremier == nullptr || *pszPremier == '\0' || pszSecond == nullptr || *pszSecond == '\0') {
    RaiseError(ERR_NOM_VIDE);
    return -3;
  }
  if (strcasecmp(pszPremier, pszSecond) == 0) return 0;
  const char* noms[2] = {pszPremier, pszSecond};
  for (int i = 0; i < 2; ++i) {
    if (!_bVerifieSource(noms[i])) {
      m_pclErreur->ChangeUserError(ERR_COMPARE_OUVRE, noms[i]);
      return -1 - i;
    }
  }
  int fd[2] = {-1, -1};
  for (int i = 0; i < 2; ++i) {
    fd[i] = open(CDiskFile::sNormalise(noms[i]).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd[i] < 0) {
      if (i == 1) close(fd[0]);
      RaiseError(ERR_COMPARE_OUVRE, noms[i]);
      return -1 - i;
    }
  }
  int n = 0;
  std::string a(BLOC_COMPARAISON, '\0'), b(BLOC_COMPARAISON, '\0');
  for (;;) {
    const long la = lLit(fd[0], a.data(), BLOC_COMPARAISON), lb = lLit(fd[1], b.data(), BLOC_COMPARAISON);
    if (la < 0 || lb < 0) {
      RaiseError(ERR_COMPARE_LIT);
      n = -3;
      break;
    }
    if (la != lb || std::memcmp(a.data(), b.data(), static_cast<std::size_t>(la)) != 0) {
      n = 1;
      break;
    }
    if (la < static_cast<long>(BLOC_COMPARAISON)) break;
  }
  close(fd[0]);
  close(fd[1]);
  return n;
}
