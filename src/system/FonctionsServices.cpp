// The Service… functions: start, stop, control, status and its wait,
// restart, uninstall and the list, over the init scripts. Installing,
// modifying and describing services are not available here. The machine
// name of every syntax is accepted and not used.
#include <unistd.h>

#include <memory>
#include <string>

#include "core/XError.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"
#include "system/Services.h"

namespace {

constexpr DWORD ACCES_TOUT = 0xF01FF;
constexpr int ATTENTE_ARRET = 10;  // seconds a restart or an uninstall waits for the stop
constexpr useconds_t UNE_SECONDE = 1000000;

// Numbers of the service variables.
enum : int {
  VAR_SERVICE_DESCRIPTION = 39,
  VAR_SERVICE_DEMARRAGE = 40,
  VAR_SERVICE_ERREURDEMARRAGE = 41,
  VAR_SERVICE_LIGNECOMMANDE = 42,
  VAR_SERVICE_UTILISATEUR = 43,
  VAR_SERVICE_MOTDEPASSE = 44,
  VAR_SERVICE_TYPE = 45,
};

}  // namespace

void CComposanteStandard::_RAZVariablesService() {
  m_clServiceDescription.Vide();
  m_clServiceLigneCommande.Vide();
  m_clServiceUtilisateur.Vide();
  m_clServiceMotDePasse.Vide();
  m_nServiceDemarrage = m_nServiceErreurDemarrage = m_nServiceType = 0;
}

void* CComposanteStandard::_pGetVariableService(int nNumero) {
  switch (nNumero) {
    case VAR_SERVICE_DESCRIPTION: return &m_clServiceDescription;
    case VAR_SERVICE_DEMARRAGE: return &m_nServiceDemarrage;
    case VAR_SERVICE_ERREURDEMARRAGE: return &m_nServiceErreurDemarrage;
    case VAR_SERVICE_LIGNECOMMANDE: return &m_clServiceLigneCommande;
    case VAR_SERVICE_UTILISATEUR: return &m_clServiceUtilisateur;
    case VAR_SERVICE_MOTDEPASSE: return &m_clServiceMotDePasse;
    case VAR_SERVICE_TYPE: return &m_nServiceType;
    default: return nullptr;
  }
}

std::unique_ptr<CService> CComposanteStandard::_pclService(CServiceManager* pclManager, const char* pszNom) {
  if (!pclManager->bInit(nullptr, ACCES_TOUT)) {
    RaiseError(ERR_GESTIONNAIRE);
    return nullptr;
  }
  std::unique_ptr<CService> pcl(pclManager->pclGetService(pszNom, ACCES_TOUT));
  if (pcl == nullptr) RaiseError(ERR_SERVICE, pszNom);
  return pcl;
}

bool CComposanteStandard::ServiceDemarre(const char* pszNom, const char* pszArguments, const char*) {
  CServiceManager clManager;
  auto pcl = _pclService(&clManager, pszNom);
  if (pcl == nullptr) return false;
  if (pcl->bStart(pszArguments)) return true;
  RaiseError(ERR_DEMARRE);
  return false;
}

bool CComposanteStandard::ServiceControle(const char* pszNom, int nCommande, const char*) {
  CServiceManager clManager;
  auto pcl = _pclService(&clManager, pszNom);
  if (pcl == nullptr) return false;
  if (pcl->bSendControlCommand(nCommande)) return true;
  RaiseError(ERR_COMMANDE, pszNom);
  return false;
}

int CComposanteStandard::ServiceEtat(const char* pszNom, const char*) {
  CServiceManager clManager;
  auto pcl = _pclService(&clManager, pszNom);
  return pcl != nullptr ? pcl->eGetStatus() : -1;
}

int CComposanteStandard::ServiceAttendEtat(const char* pszNom, int nEtat, int nSecondes, const char*) {
  CServiceManager clManager;
  auto pcl = _pclService(&clManager, pszNom);
  if (pcl == nullptr) return -1;
  // One poll per second given; with none (0, or the -1 of the short
  // syntax) the status is checked once, so the answer is always the truth.
  int nStatut = pcl->eGetStatus();
  for (int n = nSecondes; nStatut != nEtat && n > 0; --n) {
    usleep(UNE_SECONDE);
    nStatut = pcl->eGetStatus();
  }
  return nStatut == nEtat ? nEtat : -1;
}

bool CComposanteStandard::ServiceRedemarre(const char* pszNom, const char*) {
  CServiceManager clManager;
  auto pcl = _pclService(&clManager, pszNom);
  if (pcl == nullptr) return false;
  bool bArrete = pcl->bStop();
  int nStatut = bArrete ? pcl->eGetStatus() : -1;
  for (int n = 0; bArrete && nStatut != SERVICE_ARRETE && n < ATTENTE_ARRET; ++n) {
    usleep(UNE_SECONDE);
    nStatut = pcl->eGetStatus();
  }
  if (!bArrete || nStatut != SERVICE_ARRETE) {
    RaiseError(ERR_ARRETE);
    return false;
  }
  if (!pcl->bStart(nullptr)) {
    RaiseError(ERR_DEMARRE);
    return false;
  }
  return true;
}

bool CComposanteStandard::ServiceDesinstalle(const char* pszNom, const char* pszMachine) {
  const int nEtat = ServiceEtat(pszNom, pszMachine);
  if (nEtat == -1) return false;
  if (nEtat != SERVICE_ARRETE) {
    ServiceControle(pszNom, SERVICE_CMD_ARRETE, pszMachine);
    if (ServiceAttendEtat(pszNom, SERVICE_ARRETE, ATTENTE_ARRET, pszMachine) == -1) {
      RaiseError(ERR_ARRETE);
      return false;
    }
  }
  CServiceManager clManager;
  auto pcl = _pclService(&clManager, pszNom);
  if (pcl == nullptr) return false;
  if (pcl->bRemove()) return true;
  RaiseError(ERR_DESINSTALLE);
  return false;
}

CVXDSTR CComposanteStandard::ServiceListe(const char*) {
  CServiceManager clManager;
  if (!clManager.bInit(nullptr, ACCES_TOUT)) {
    RaiseError(ERR_GESTIONNAIRE);
    return CVXDSTR();
  }
  std::string s;
  void* h = nullptr;
  while (CService* p = clManager.pclEnumService(&h, "", ACCES_TOUT)) {
    std::unique_ptr<CService> pcl(p);
    if (!s.empty()) s += "\r\n";
    s += pcl->pszGetNomScript();
    s += '\t';
    if (const char* pszNom = pcl->pszGetDisplayName()) s += pszNom;
  }
  return clTexte(s);
}
