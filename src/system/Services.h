// System services as init scripts: CServiceManager finds them (one script
// per service in the scripts directory, "/etc/init.d/") and knows the Linux
// distribution; CService runs a script's actions and reads its description.
// Scripts and tools run with an argument vector, never through a shell.
#pragma once

#include <pthread.h>

#include <atomic>
#include <optional>
#include <string>

#include "abi/TypesBase.h"

// Distributions, in the order the detection tries them.
enum eDISTRIBUTION : int {
  DISTRI_DEBIAN = 0,
  DISTRI_REDHAT = 1,
  DISTRI_MANDRAKE = 2,
  DISTRI_FEDORA = 3,
  DISTRI_SUSE = 4,
  DISTRI_GENTOO = 5,
  DISTRI_SLACKWARE = 6,
  DISTRI_INCONNUE = 7,  // not yet detected
};

// Service states as eGetStatus answers them.
enum : int { SERVICE_ARRETE = 1, SERVICE_DEMARRE = 4, SERVICE_STATUT_1 = 8 };
// Control commands.
enum : int { SERVICE_CMD_ARRETE = 1, SERVICE_CMD_PAUSE = 2, SERVICE_CMD_RELANCE = 3, SERVICE_CMD_RELIRE = 6 };

// The script name of a service: " " becomes "_", a tab "__", "/" and "." "-".
std::string SRV_sNomScript(const char* pszNom);

class CService;

class CServiceManager {
public:
  // pszRepertoire: the scripts directory, with its final slash.
  explicit CServiceManager(const char* pszRepertoire = "/etc/init.d/");
  ~CServiceManager();
  CServiceManager(const CServiceManager&) = delete;
  CServiceManager& operator=(const CServiceManager&) = delete;

  // Detects the distribution once per process; always true.
  bool bInit(const char* pszMachine, DWORD dwAcces);
  // The service whose script exists, or null. The caller deletes it.
  CService* pclGetService(const char* pszNom, DWORD dwAcces);
  // The next service whose script name starts with the prefix's script
  // form ("." and ".." are skipped); null at the end, which closes the
  // enumeration (*ph starts null). AbortEnumService closes it early.
  CService* pclEnumService(void** ph, const char* pszPrefixe, DWORD dwAcces);
  void AbortEnumService(void** ph);

  const std::string& sRepertoire() const { return m_sRepertoire; }

  // The distribution of the system whose root is pszRacine ("" for "/").
  static eDISTRIBUTION eDetecteDistribution(const char* pszRacine);
  // Written once, when first detected; threads may detect it at once.
  static std::atomic<int> ms_eDistri;

private:
  std::string m_sRepertoire;
  pthread_mutex_t m_mutex;
};

class CService {
public:
  CService(CServiceManager* pclManager, std::string sNomScript);

  // The script's start action with the arguments (split at blanks, double
  // quotes grouping), its stop action, its status (0 → started 4, 1 → 8,
  // other → stopped 1); a control command (1 stop, 6 reload; others fail).
  bool bStart(const char* pszArguments);
  bool bStop();
  int eGetStatus();
  bool bSendControlCommand(int nCommande);
  // Unregisters the service the distribution's way and deletes its script.
  bool bRemove();
  // From the script's lines Name="..." and Program="...": the display name
  // (the script name without one; null when the script cannot be read) and
  // the program path (null without one).
  const char* pszGetDisplayName();
  const char* pszBinaryPathName();

  const char* pszGetNomScript() const { return m_sNomScript.c_str(); }
  int nGetServiceType() const { return 16; }
  const char* pszGetStartName() const { return "root"; }

private:
  std::string sScript() const { return m_pclManager->sRepertoire() + m_sNomScript; }
  int nAction(const char* pszAction, const char* pszArguments = nullptr);
  std::optional<std::string> _sLitMarqueur(const char* pszMarqueur, bool* pbLisible);

  CServiceManager* m_pclManager;
  std::string m_sNomScript;
  std::optional<std::string> m_sNomAffiche, m_sProgramme;
  bool m_bNomLu = false, m_bProgrammeLu = false;
};
