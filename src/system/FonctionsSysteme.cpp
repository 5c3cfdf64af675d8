// The component's program and system-information functions.
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/Environnement.h"
#include "core/XError.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"
#include "system/Lancement.h"
#include "system/Processus.h"
#include "system/VersionPE.h"

namespace {

enum : int {
  EXE_BLOQUANT = 1,
  EXE_VALEUR_RETOUR = 2,
  EXE_PID = 3,
  EXE_PID_PARENT = 6,
  EXE_TID = 7,
};

constexpr std::size_t LONGUEUR_MAX_VERSION = 199;  // characters of a version string

}  // namespace

int CComposanteStandard::ExeLance(const char* pszCommande, int, int nModeAttente, const char*) {
  std::string commande = pszCommande != nullptr ? pszCommande : "";
  if (commande.size() > 65535) commande.resize(65535);
  std::size_t debut = commande.find_first_not_of(' ');
  commande = debut == std::string::npos ? std::string() : commande.substr(debut);
  // The program: up to the closing double quote, or the first space or tab.
  std::string programme, arguments;
  if (!commande.empty() && commande[0] == '"') {
    std::size_t fin = commande.find('"', 1);
    programme = commande.substr(1, fin == std::string::npos ? std::string::npos : fin - 1);
    if (fin != std::string::npos && fin + 1 < commande.size()) arguments = commande.substr(fin + 2);
  } else {
    std::size_t fin = commande.find_first_of(" \t");
    programme = commande.substr(0, fin);
    if (fin != std::string::npos) arguments = commande.substr(fin + 1);
  }
  // The environment as it stands now: another thread may change it meanwhile.
  const std::vector<std::string> environnement = ENV_vCopie();
  STLancement lancement;
  if (programme.empty() || !CreateProcess(programme.c_str(), arguments.c_str(), environnement, &lancement)) {
    int nErreur = programme.empty() ? ENOENT : errno;
    std::string message = std::strerror(nErreur);
    RaiseError(ERR_LANCEMENT, arguments.empty() ? programme.c_str() : arguments.c_str(), message.c_str());
    m_pclErreur->SetSystemError(static_cast<DWORD>(nErreur));
    return 0;
  }
  if (lancement.bEnCours) {
    if (nModeAttente == EXE_BLOQUANT || nModeAttente == EXE_VALEUR_RETOUR) {
      // This launch waits for its own child only.
      if (!WaitPid(&lancement)) {
        int nErreur = errno;
        RaiseError(ERR_LANCEMENT, programme.c_str(), std::strerror(nErreur));
        m_pclErreur->SetSystemError(static_cast<DWORD>(nErreur));
        return 0;
      }
    } else {
      PROCESSUS_Abandonne(&lancement);  // runs on: reaped by the library when it ends
    }
  }
  const int nCode = lancement.nCode;
  const pid_t pid = lancement.pid;
  if (nModeAttente == EXE_VALEUR_RETOUR) return nCode;
  if (nModeAttente == EXE_PID) return static_cast<int>(pid);
  return 1;
}

CVXDSTR CComposanteStandard::ExeInfo(const char* pszInformation, const char* pszFichier) {
  std::string fichier = pszFichier != nullptr && *pszFichier != '\0' ? pszFichier : GetModuleFileName();
  std::string nom;
  for (const char* p = pszInformation != nullptr ? pszInformation : ""; *p; ++p) {
    char c = *p;
    if (static_cast<unsigned char>(c) == 0xE9 || static_cast<unsigned char>(c) == 0xC9) c = 'E';
    nom += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (nom == "NOM" || nom == "NAME") return clTexte(fichier);
  if (nom == "REPERTOIRE" || nom == "DIRECTORY") {
    std::size_t slash = fichier.find_last_of("/\\");
    return clTexte(slash == std::string::npos ? std::string() : fichier.substr(0, slash));
  }
  // The other rows read the file: a regular one only.
  if (!_bVerifieSource(fichier.c_str())) return {};
  if (nom == "MODE") {
    switch (EXE_nGetTypeEXE(fichier.c_str())) {
      case 0: return clTexte("DOS");
      case 1: return clTexte("16");
      case 2: return clTexte("32");
      case 4: return clTexte("64");
      default: return {};
    }
  }
  // Copyright, version, description, company, or any other name: a string
  // of the version resource of a Windows executable (none in this
  // system's own executables).
  const char* pszCle = pszInformation != nullptr ? pszInformation : "";
  if (nom == "COPYRIGHT") pszCle = "LegalCopyright";
  if (nom == "VERSION") pszCle = "FileVersion";
  if (nom == "DESCRIPTION") pszCle = "FileDescription";
  if (nom == "SOCIETE" || nom == "COMPANY") pszCle = "CompanyName";
  std::string texte;
  PE_bChaineVersionFichier(fichier.c_str(), "000004E4", pszCle, LONGUEUR_MAX_VERSION, &texte);
  return clTexte(texte);
}

int CComposanteStandard::ExeDonnePID(int nGenre) {
  switch (nGenre) {
    case EXE_PID: return static_cast<int>(getpid());
    case EXE_PID_PARENT: return static_cast<int>(getppid());
    case EXE_TID: return static_cast<int>(pthread_self());
    default: RaiseError(ERR_GENRE_PID); return 0;
  }
}

int CComposanteStandard::SysEspace(int nGenre) {
  unsigned long long total = 0, disponible = 0;
  GlobalMemoryStatus64(&total, &disponible);
  // Sizes beyond the language's integer saturate rather than wrap.
  auto sature = [](unsigned long long v) { return v > INT_MAX ? INT_MAX : static_cast<int>(v); };
  switch (nGenre) {
    case 2: return sature(total);
    case 1: return sature(disponible);
    default: RaiseError(ERR_GENRE_ESPACE); return 0;
  }
}

CVXDSTR CComposanteStandard::SysVersionWindows(int nGenre) {
  switch (nGenre) {
    case 0: return clTexte(sNomSysteme());
    case 3: return clTexte("UNIX");
    case 1:
    case 2:
    case 4: return {};
    default: RaiseError(ERR_GENRE_VERSION); return {};
  }
}

bool CComposanteStandard::SysChangeEnvironnement(const char* pszNom, const CAny* pclValeur, int) {
  if (pszNom == nullptr || *pszNom == '\0' || std::strchr(pszNom, '=') != nullptr) {
    RaiseError(ERR_ENVIRONNEMENT);
    return false;
  }
  if (pclValeur == nullptr || pclValeur->bVide()) {
    if (ENV_nEfface(pszNom) != 0) {
      RaiseError(ERR_ENVIRONNEMENT);
      return false;
    }
    return true;
  }
  CAny texte(*pclValeur);
  const char* psz = nullptr;
  if ((texte.wGetType() != 0x13 && texte.nCastTo(0x13) > 99) || texte.nGetPCXSTR(&psz) != ANY_OK ||
      ENV_nEcrit(pszNom, psz != nullptr ? psz : "") != 0) {
    RaiseError(ERR_ENVIRONNEMENT);
    return false;
  }
  return true;
}
