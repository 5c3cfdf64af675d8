// Services as init scripts: the distribution's detection, the scripts
// directory's search and enumeration, and each script's actions.
#include "system/Services.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "files/AppelsSysteme.h"
#include "files/Commande.h"

std::atomic<int> CServiceManager::ms_eDistri{DISTRI_INCONNUE};

std::string SRV_sNomScript(const char* pszNom) {
  std::string s;
  for (const char* p = pszNom; p != nullptr && *p != '\0'; ++p) {
    switch (*p) {
      case ' ': s += '_'; break;
      case '\t': s += "__"; break;
      case '/':
      case '.': s += '-'; break;
      default: s += *p;
    }
  }
  return s;
}

namespace {

bool bExiste(const std::string& s) { return access(s.c_str(), F_OK) == 0; }

// The file's text in lower case; false when it cannot be read.
bool bLitMinuscules(const std::string& s, std::string* psTexte) {
  std::ifstream f(s);
  if (!f) return false;
  std::ostringstream o;
  o << f.rdbuf();
  *psTexte = o.str();
  for (char& c : *psTexte) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return true;
}

bool bContient(const std::string& s, const char* psz) { return s.find(psz) != std::string::npos; }

// Arguments as a shell would split plain words: at blanks, with double
// quotes grouping; nothing is expanded.
std::vector<std::string> vDecoupe(const char* psz) {
  std::vector<std::string> v;
  std::string mot;
  bool bMot = false, bGuillemets = false;
  for (const char* p = psz; p != nullptr && *p != '\0'; ++p) {
    if (*p == '"') {
      bGuillemets = !bGuillemets;
      bMot = true;
    } else if (!bGuillemets && (*p == ' ' || *p == '\t')) {
      if (bMot) v.push_back(mot);
      mot.clear();
      bMot = false;
    } else {
      mot += *p;
      bMot = true;
    }
  }
  if (bMot) v.push_back(mot);
  return v;
}

// A registration tool's run: true unless it could not be started for
// another reason than its absence (a missing tool changes nothing).
bool bOutil(const std::vector<std::string>& argv) { return CMD_nExecute(argv) >= 0 || errno == ENOENT; }

}  // namespace

eDISTRIBUTION CServiceManager::eDetecteDistribution(const char* pszRacine) {
  const std::string r = pszRacine != nullptr ? pszRacine : "";
  auto existe = [&](const char* p) { return bExiste(r + p); };
  if (existe("/etc/debian_version")) return DISTRI_DEBIAN;
  if (existe("/etc/mandrake-release") || existe("/etc/mandriva-release")) return DISTRI_MANDRAKE;
  if (existe("/etc/SuSE-release") || existe("/sbin/SuSEconfig")) return DISTRI_SUSE;
  if (existe("/etc/gentoo-release")) return DISTRI_GENTOO;
  if (existe("/etc/fedora-release")) return DISTRI_FEDORA;
  if (existe("/etc/slackware-release") || existe("/etc/slackware-version")) return DISTRI_SLACKWARE;
  std::string s;
  if (bLitMinuscules(r + "/etc/redhat-release", &s)) {
    if (bContient(s, "mandrake") || bContient(s, "mandriva")) return DISTRI_MANDRAKE;
    return bContient(s, "fedora") ? DISTRI_FEDORA : DISTRI_REDHAT;
  }
  if (bLitMinuscules(r + "/etc/version", &s)) {
    if (bContient(s, "mandrake") || bContient(s, "mandriva")) return DISTRI_MANDRAKE;
    if (bContient(s, "fedora")) return DISTRI_FEDORA;
    if (bContient(s, "redhat")) return DISTRI_REDHAT;
    if (bContient(s, "debian")) return DISTRI_DEBIAN;
  }
  return existe("/etc/init.d/function") ? DISTRI_REDHAT : DISTRI_DEBIAN;
}

CServiceManager::CServiceManager(const char* pszRepertoire) : m_sRepertoire(pszRepertoire) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&m_mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

CServiceManager::~CServiceManager() { pthread_mutex_destroy(&m_mutex); }

bool CServiceManager::bInit(const char*, DWORD) {
  if (ms_eDistri == DISTRI_INCONNUE) ms_eDistri = eDetecteDistribution("");
  return true;
}

CService* CServiceManager::pclGetService(const char* pszNom, DWORD) {
  std::string nom = SRV_sNomScript(pszNom);
  if (nom.empty() || !bExiste(m_sRepertoire + nom)) return nullptr;
  return new CService(this, std::move(nom));
}

CService* CServiceManager::pclEnumService(void** ph, const char* pszPrefixe, DWORD) {
  if (*ph == nullptr && (*ph = opendir(m_sRepertoire.c_str())) == nullptr) return nullptr;
  const std::string prefixe = SRV_sNomScript(pszPrefixe);
  auto* d = static_cast<DIR*>(*ph);
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    if (std::strncmp(e->d_name, prefixe.c_str(), prefixe.size()) == 0) return new CService(this, e->d_name);
  }
  AbortEnumService(ph);
  return nullptr;
}

void CServiceManager::AbortEnumService(void** ph) {
  if (*ph != nullptr) closedir(static_cast<DIR*>(*ph));
  *ph = nullptr;
}

CService::CService(CServiceManager* pclManager, std::string sNomScript)
    : m_pclManager(pclManager), m_sNomScript(std::move(sNomScript)) {}

int CService::nAction(const char* pszAction, const char* pszArguments) {
  std::vector<std::string> argv = {sScript(), pszAction};
  for (auto& s : vDecoupe(pszArguments)) argv.push_back(std::move(s));
  return CMD_nExecute(argv);
}

bool CService::bStart(const char* pszArguments) { return nAction("start", pszArguments) == 0; }

bool CService::bStop() { return nAction("stop") == 0; }

int CService::eGetStatus() {
  switch (nAction("status")) {
    case 0: return SERVICE_DEMARRE;
    case 1: return SERVICE_STATUT_1;
    default: return SERVICE_ARRETE;
  }
}

bool CService::bSendControlCommand(int nCommande) {
  if (nCommande == SERVICE_CMD_ARRETE) return bStop();
  if (nCommande == SERVICE_CMD_RELIRE) return nAction("reload") == 0;
  return false;
}

bool CService::bRemove() {
  const std::string script = sScript();
  // A script that cannot be deleted leaves the service in place: a failure.
  auto supprime = [](const std::string& s) { return SYS_nUnlink(s.c_str()) == 0 || errno == ENOENT; };
  switch (CServiceManager::ms_eDistri) {
    case DISTRI_REDHAT:
    case DISTRI_MANDRAKE:
    case DISTRI_FEDORA:
      return bOutil({"chkconfig", "--del", m_sNomScript}) && supprime(script);
    case DISTRI_SUSE:
      return bOutil({"insserv", "-r", m_sNomScript}) && supprime(script);
    case DISTRI_GENTOO:
      return bOutil({"rc-update", "del", m_sNomScript}) && supprime(script);
    case DISTRI_SLACKWARE:
      return supprime("/etc/rc.d/rc." + m_sNomScript);
    default:
      return supprime(script) && bOutil({"update-rc.d", "-f", m_sNomScript, "remove"});
  }
}

std::optional<std::string> CService::_sLitMarqueur(const char* pszMarqueur, bool* pbLisible) {
  FILE* f = std::fopen(sScript().c_str(), "r");
  *pbLisible = f != nullptr;
  if (f == nullptr) return std::nullopt;
  const std::string marqueur = std::string(pszMarqueur) + "\"";
  char sz[151];
  std::optional<std::string> r;
  while (!r && std::fgets(sz, sizeof sz, f) != nullptr) {
    const char* p = std::strstr(sz, marqueur.c_str());
    if (p == nullptr) continue;
    p += marqueur.size();
    const char* q = std::strchr(p, '"');
    r = std::string(p, q != nullptr ? q : p + std::strcspn(p, "\r\n"));
  }
  std::fclose(f);
  return r;
}

const char* CService::pszGetDisplayName() {
  if (!m_bNomLu) {
    bool bLisible = false;
    m_sNomAffiche = _sLitMarqueur("Name=", &bLisible);
    if (!m_sNomAffiche && bLisible) m_sNomAffiche = m_sNomScript;
    m_bNomLu = bLisible;
  }
  return m_sNomAffiche ? m_sNomAffiche->c_str() : nullptr;
}

const char* CService::pszBinaryPathName() {
  if (!m_bProgrammeLu) {
    bool bLisible = false;
    m_sProgramme = _sLitMarqueur("Program=", &bLisible);
    m_bProgrammeLu = bLisible;
  }
  return m_sProgramme ? m_sProgramme->c_str() : nullptr;
}
