// CComposanteStandard: construction, module start and stop, variables.
#include "frame/Standard.h"

#include <new>

#include "core/XError.h"
#include "frame/ZoneMemoire.h"
#include "files/TableFichiers.h"
#include "misc/Divers.h"
#include "numbers/EuroModule.h"

int CComposanteStandard::m_snStaticCountInit = 0;
bool CComposanteStandard::m_sbStaticInit = false;
stCTXMEM CComposanteStandard::m_CtxMem;

CComposanteStandard::CComposanteStandard() = default;

// The service strings release their blocks with the members.
CComposanteStandard::~CComposanteStandard() = default;

void* CComposanteStandard::pQueryProxy(int nNumero) {
  return nNumero == 1 ? static_cast<IZoneMemoire*>(new (std::nothrow) CZoneMemoire(this)) : nullptr;
}

void CComposanteStandard::_RAZVariablesService() {
  m_clServiceDescription.Vide();
  m_clServiceLigneCommande.Vide();
  m_clServiceUtilisateur.Vide();
  m_clServiceMotDePasse.Vide();
  m_nServiceDemarrage = m_nServiceErreurDemarrage = m_nServiceType = 0;
}

BOOL CComposanteStandard::bFinInit() {
  bool bDivers = _DIVERS_bInitModule();
  m_bInit = bDivers && _EURO_bInitModule(this);
  ++m_snStaticCountInit;
  // The modules shared by every component start with the first one.
  if (!m_sbStaticInit) {
    MEM_InitModule(&m_CtxMem);
    m_bInit = _FIC_bInitModule() && m_bInit;
    m_sbStaticInit = true;
  }
  _RAZVariablesService();
  return m_bInit;
}

void CComposanteStandard::TermCompo() {
  if (!m_bInit) return;
  _DIVERS_FinModule();
  --m_snStaticCountInit;
  if (m_snStaticCountInit < 1) {
    // The last component stops the shared modules; a later one starts them again.
    _FIC_FinModule(this);
    MEM_FinModule(&m_CtxMem);
    m_sbStaticInit = false;
  }
  m_bInit = false;
}

void* CComposanteStandard::pGetVariableAdresse(int nNumero) {
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

HWND CComposanteStandard::_hGetOwnerWnd() {
  IObjetAPCode* piObjet = pGetCallingObject();
  if (piObjet == nullptr) return 0;
  IObjetAPCode* piFenetre = piObjet->piGetFenetre();
  if (piFenetre == nullptr) return 0;
  HWND h = piFenetre->hGetHandle();
  piFenetre->Release();
  return h;
}

bool CComposanteStandard::bVerifieInteruptionUtilisateur(IVM* piVM, int, CXError*) {
  return piVM != nullptr && piVM->nEtatExecution() == 10;
}

void CComposanteStandard::SetNiveauRedirection() { m_pclErreur->SetErrorLevel(EL_REDIRECTION); }
