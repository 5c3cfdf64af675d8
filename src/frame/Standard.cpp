// CComposanteStandard: construction, module start and stop, variables.
#include "frame/Standard.h"

#include <mutex>
#include <new>

#include "core/XError.h"
#include "frame/ZoneMemoire.h"
#include "files/TableFichiers.h"
#include "misc/Divers.h"
#include "numbers/EuroModule.h"

int CComposanteStandard::m_snStaticCountInit = 0;
bool CComposanteStandard::m_sbStaticInit = false;
stCTXMEM CComposanteStandard::m_CtxMem;

namespace {
// Start and stop of the modules: the counters and the shared modules.
std::mutex g_mutexModules;
}  // namespace

CComposanteStandard::CComposanteStandard() = default;

// The service strings release their blocks with the members.
CComposanteStandard::~CComposanteStandard() {
  FIC_FinRecherche(m_pstRecherche);
  // A component whose start failed was never stopped: its view leaves here.
  if (m_CtxMemVue.pstPartage != nullptr) {
    std::lock_guard<std::mutex> verrouListes(m_CtxMem.mutex);
    MEM_Detache(&m_CtxMem, &m_CtxMemVue);
  }
}

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
  std::lock_guard<std::mutex> verrou(g_mutexModules);
  // The random generator is the process's: seeded when the first component
  // starts, not again by a component started later for another thread, which
  // would restart the sequence under the running ones.
  bool bDivers = m_snStaticCountInit > 0 || _DIVERS_bInitModule();
  m_bInit = bDivers && _EURO_bInitModule(this);
  ++m_snStaticCountInit;
  {
    std::lock_guard<std::mutex> verrouListes(m_CtxMem.mutex);
    // The modules shared by every component start with the first one.
    if (!m_sbStaticInit) {
      MEM_InitModule(&m_CtxMem);
      m_bInit = _FIC_bInitModule() && m_bInit;
      m_sbStaticInit = true;
    }
    MEM_Attache(&m_CtxMem, &m_CtxMemVue);
  }
  _RAZVariablesService();
  return m_bInit;
}

void CComposanteStandard::TermCompo() {
  if (!m_bInit) return;
  std::lock_guard<std::mutex> verrou(g_mutexModules);
  _DIVERS_FinModule();
  FIC_FinRecherche(m_pstRecherche);
  --m_snStaticCountInit;
  if (m_snStaticCountInit < 1) {
    // The last component stops the shared modules; a later one starts them again.
    _FIC_FinModule(this);
  }
  {
    std::lock_guard<std::mutex> verrouListes(m_CtxMem.mutex);
    if (m_snStaticCountInit < 1) {
      MEM_FinModule(&m_CtxMem);
      m_sbStaticInit = false;
    }
    MEM_Detache(&m_CtxMem, &m_CtxMemVue);
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
