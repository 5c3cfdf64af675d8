// File-system functions by name: existence tests, delete (with wildcards),
// rename and move. The disk-file layer does the work; its errors reach the
// caller at level 2.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstring>
#include <string>
#include <vector>

#include "core/TString.h"
#include "files/Commande.h"

#include "core/XError.h"
#include "files/AppelsSysteme.h"
#include "files/CopieArbre.h"
#include "files/DiskFile.h"
#include "files/Remplacement.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

constexpr const char* PSZ_SONDE = "/F_ORX_0X.TFW";  // probe of fRepDroit

enum : int { COPIE_RECURSIVE = 1, COPIE_PAR_CP = 2 };

bool bFinSeparateur(const char* psz) {
  const std::size_t n = std::strlen(psz);
  return n > 0 && (psz[n - 1] == '/' || psz[n - 1] == '\\');
}

std::string sRepertoireDe(const std::string& s) {
  const std::size_t i = s.rfind('/');
  return i == std::string::npos ? std::string() : s.substr(0, i == 0 ? 1 : i);
}

bool bJoker(const char* psz) { return std::strpbrk(psz, "*?") != nullptr; }

// The first line cp or mv wrote on its error output, after the error's own text.
void _AjouteMessageProgramme(CXError* pclErreur, const std::string& sMessage) {
  if (!sMessage.empty()) pclErreur->AddUserMessage(sMessage.c_str());
}

}  // namespace

void CComposanteStandard::_ErreurSGF(CXError* pclErreur) {
  RaiseErrorCopy(pclErreur);
  m_pclErreur->SetErrorLevel(EL_ERREUR);
}

bool CComposanteStandard::_bVerifieNom(const char* psz) {
  if (psz != nullptr && *psz != '\0') return true;
  RaiseError(ERR_NOM_VIDE);
  m_pclErreur->SetErrorLevel(EL_ERREUR);
  return false;
}

bool CComposanteStandard::_bVerifieSource(const char* psz) {
  struct stat64 st {};
  if (psz == nullptr || stat64(CDiskFile::sNormalise(psz).c_str(), &st) != 0 || S_ISREG(st.st_mode)) return true;
  CXError cl;
  cl.SetSystemError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  cl.ChangeUserError(ERR_PAS_UN_FICHIER, psz);
  cl.AddInfo(EIT_SRCFILE, psz);
  RaiseErrorCopy(&cl);
  m_pclErreur->SetErrorLevel(EL_ERREUR);
  return false;
}

bool CComposanteStandard::fFichierExiste(const char* pszChemin) {
  return pszChemin != nullptr && *pszChemin != '\0' && CDiskFile::bIsAFile(pszChemin);
}

bool CComposanteStandard::fRepertoireExiste(const char* pszChemin) {
  return pszChemin != nullptr && *pszChemin != '\0' && CDiskFile::bIsADirectory(pszChemin);
}

bool CComposanteStandard::fSupprime(const char* pszChemin, int /*nOption*/) {
  if (!_bVerifieNom(pszChemin)) return false;
  CXError clErreur;
  if (!bJoker(pszChemin)) {
    if (CDiskFile::bDelete(pszChemin, &clErreur)) return true;
    _ErreurSGF(&clErreur);
    return false;
  }
  // The matching names first, then the deletions in that order: a directory
  // is not read while it changes.
  std::vector<std::string> noms;
  _stXFINDDATA st;
  if (CDiskFile::bFindFirst(pszChemin, &st, 0, FA_REPERTOIRE, &clErreur)) {
    do noms.push_back(std::string(st.szRepertoire) + st.szNom);
    while (CDiskFile::bFindNext(&st, &clErreur));
    CDiskFile::bFindClose(&st);
  }
  if (clErreur.bIsError()) {
    _ErreurSGF(&clErreur);
    return false;
  }
  for (const auto& nom : noms) {
    if (!CDiskFile::bDelete(nom.c_str(), &clErreur)) {
      _ErreurSGF(&clErreur);
      return false;
    }
  }
  return !noms.empty();
}

bool CComposanteStandard::fRenomme(const char* pszAncien, const char* pszNouveau) {
  if (!_bVerifieNom(pszAncien) || !_bVerifieNom(pszNouveau)) return false;
  CXError clErreur;
  if (CDiskFile::bRename(pszNouveau, pszAncien, &clErreur)) return true;
  _ErreurSGF(&clErreur);
  return false;
}

bool CComposanteStandard::fCopieFichier(const char* pszSource, const char* pszDestination, int nOption) {
  if (!_bVerifieNom(pszSource) || !_bVerifieNom(pszDestination)) return false;
  if (bJoker(pszDestination)) {
    RaiseError(ERR_JOKER_DESTINATION);
    return false;
  }
  const bool bJokerSource = bJoker(pszSource);
  if (!bJokerSource && !CDiskFile::bIsAFile(pszSource) && !CDiskFile::bIsADirectory(pszSource)) {
    RaiseError(ERR_PAS_UN_FICHIER, pszSource);
    return false;
  }
  CXError clErreur;
  CTString clSource, clDestination;
  if (!CDiskFile::bGetFullPath(pszSource, &clSource, &clErreur) ||
      !CDiskFile::bGetFullPath(pszDestination, &clDestination, &clErreur)) {
    _ErreurSGF(&clErreur);
    return false;
  }
  const std::string source = clSource.pszGet();
  std::string destination = clDestination.pszGet();
  const bool bVersRepertoire = bFinSeparateur(pszDestination) || CDiskFile::bIsADirectory(destination.c_str());
  auto ajouteNom = [&] {
    if (destination.empty() || destination.back() != '/') destination += '/';
    destination += CDiskFile::pszGetPtrToFileName(source.c_str());
  };
  // 80065 with both names, the system error and, from cp, its first line
  // of error output.
  auto echecCopie = [&](DWORD dwSysteme, const std::string* psMessage) {
    CXError cl;
    if (dwSysteme != 0) cl.SetSystemError(dwSysteme);
    cl.ChangeUserError(ERR_COPIE, source.c_str(), destination.c_str());
    if (psMessage != nullptr) _AjouteMessageProgramme(&cl, *psMessage);
    RaiseErrorCopy(&cl);
    return false;
  };
  // The destination's directory, created when missing; a copy that fails
  // afterwards removes again the levels made for it (sPremierCree: the
  // outermost one).
  std::string sRepCree, sPremierCree;
  auto creeRepertoire = [&](const std::string& rep) {
    if (rep.empty() || CDiskFile::bIsADirectory(rep.c_str())) return true;
    for (std::string s = rep; !s.empty() && s != "/" && !CDiskFile::bExist(s.c_str()); s = sRepertoireDe(s))
      sPremierCree = s;
    if (CDiskFile::bCreateDirectory(rep.c_str(), &clErreur)) {
      sRepCree = rep;
      return true;
    }
    return echecCopie(clErreur.dwGetSystemErrorCode(), nullptr);
  };
  auto defaitRepertoire = [&] {
    if (sPremierCree.empty()) return;
    for (std::string s = sRepCree; s.size() >= sPremierCree.size() && rmdir(s.c_str()) == 0; s = sRepertoireDe(s)) {
    }
  };

  // One file, whatever the option: cp would overwrite the destination in
  // place, so the copy is ours, written beside the destination and renamed
  // over it once whole. A read-only destination is overwritten as asked, and
  // keeps its mode: no permission is ever widened, and a failure changes none.
  if (!bJokerSource && CDiskFile::bIsAFile(source.c_str())) {
    if (bVersRepertoire) ajouteNom();
    if (!creeRepertoire(sRepertoireDe(destination))) return false;
    if (CDiskFile::bCopy(destination.c_str(), source.c_str(), &clErreur, REM_FORCE)) return true;
    defaitRepertoire();
    return echecCopie(clErreur.dwGetSystemErrorCode(), nullptr);
  }

  // A pattern or a directory: one change, whole or not at all.
  if (bJokerSource || CDiskFile::bIsADirectory(source.c_str())) {
    if (COP_bCopie(source, destination, bVersRepertoire, (nOption & COPIE_RECURSIVE) != 0, &clErreur)) return true;
    clErreur.ChangeUserError(ERR_COPIE, source.c_str(), destination.c_str());
    RaiseErrorCopy(&clErreur);
    return false;
  }

  // Wildcards, a directory or the cp program asked for: cp runs with the
  // names as separate arguments, so nothing in them is interpreted. Several
  // files go into a directory, created here when missing; a directory source
  // becomes the destination (cp creates it) unless it ends with a separator.
  std::vector<std::string> noms;
  if (bJokerSource) {
    noms = CMD_vDeveloppe(source);
    if (noms.empty()) return echecCopie(ENOENT, nullptr);
  }
  if (bVersRepertoire && !bJokerSource && CDiskFile::bIsADirectory(destination.c_str())) ajouteNom();
  const bool bCreeDestination =
      bFinSeparateur(pszDestination) || (bJokerSource && !CDiskFile::bExist(destination.c_str()));
  if (!creeRepertoire(bCreeDestination ? destination : sRepertoireDe(destination))) return false;
  std::vector<std::string> argv = {"cp", "-f"};
  if ((nOption & COPIE_RECURSIVE) != 0) argv.push_back("-r");
  argv.push_back("--");
  if (bJokerSource) {
    for (auto& s : noms) argv.push_back(std::move(s));
  } else {
    argv.push_back(source);
  }
  argv.push_back(destination);
  std::string sMessage;
  const int nStatut = CMD_nExecute(argv, &sMessage);
  if (nStatut == 0) return true;
  const int e = errno;
  defaitRepertoire();
  return nStatut < 0 ? echecCopie(static_cast<DWORD>(e), nullptr) : echecCopie(0, &sMessage);
}

bool CComposanteStandard::fRepCopie(const char* pszSource, const char* pszDestination, int nOption) {
  if (!_bVerifieNom(pszSource)) return false;
  CXError clErreur;
  if (bJoker(pszSource)) {
    if (fCopieFichier(pszSource, pszDestination, nOption)) return true;
    // The copy's messages stay under the directory error.
    m_pclErreur->ChangeUserError(ERR_COPIE_REPERTOIRE);
    RaiseError();
    return false;
  }
  if (!CDiskFile::bIsADirectory(pszSource)) {
    RaiseError(ERR_PAS_UN_REPERTOIRE);
    return false;
  }
  if (!_bVerifieNom(pszDestination)) return false;
  // Everything the directory holds, hidden entries too, into the
  // destination directory.
  CTString clSource, clDestination;
  if (CDiskFile::bGetFullPath(pszSource, &clSource, &clErreur) &&
      CDiskFile::bGetFullPath(pszDestination, &clDestination, &clErreur) &&
      COP_bCopieContenu(clSource.pszGet(), clDestination.pszGet(), (nOption & COPIE_RECURSIVE) != 0, &clErreur))
    return true;
  clErreur.ChangeUserError(ERR_COPIE_REPERTOIRE);
  RaiseErrorCopy(&clErreur);
  return false;
}

bool CComposanteStandard::fRepDeplace(const char* pszSource, const char* pszDestination, int nOption) {
  if (!_bVerifieNom(pszSource) || !_bVerifieNom(pszDestination)) return false;
  if (!CDiskFile::bIsADirectory(pszSource)) {
    RaiseError(ERR_PAS_UN_REPERTOIRE);
    return false;
  }
  CXError clErreur;
  if ((nOption & COPIE_RECURSIVE) == 0) {
    _stXFINDDATA st;
    if (CDiskFile::bFindFirst((CDiskFile::sNormalise(pszSource) + "/*").c_str(), &st, 0, 0, &clErreur)) {
      CDiskFile::bFindClose(&st);
      RaiseError(ERR_REPERTOIRE_NON_VIDE);
      return false;
    }
  }
  CTString clSource, clDestination;
  if (CDiskFile::bGetFullPath(pszSource, &clSource, &clErreur) &&
      CDiskFile::bGetFullPath(pszDestination, &clDestination, &clErreur) &&
      COP_bDeplace(clSource.pszGet(), clDestination.pszGet(), &clErreur))
    return true;
  clErreur.ChangeUserError(ERR_COPIE_REPERTOIRE);
  RaiseErrorCopy(&clErreur);
  return false;
}

int CComposanteStandard::fRepDroit(const char* pszChemin) {
  if (!_bVerifieNom(pszChemin)) return 0;
  return _nDroitRepertoire(pszChemin);
}

int CComposanteStandard::_nDroitRepertoire(const char* pszChemin) {
  std::string rep = CDiskFile::sNormalise(pszChemin);
  if (rep.size() > 1 && rep.back() == '/') rep.pop_back();
  // A probe file created and deleted; one already there is left alone.
  const std::string sonde = rep + PSZ_SONDE;
  int fd = SYS_nOpen(sonde.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    close(fd);
    SYS_nUnlink(sonde.c_str());
    return 2;
  }
  if (errno == EEXIST && (fd = open(sonde.c_str(), O_RDWR | O_CLOEXEC)) >= 0) {
    close(fd);
    return 2;
  }
  _stXFINDDATA st;
  CXError clErreur;
  if (CDiskFile::bFindFirst((rep + "/*.*").c_str(), &st, 0, 0, &clErreur)) {
    CDiskFile::bFindClose(&st);
    return 1;
  }
  return 0;
}
