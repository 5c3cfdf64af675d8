// CComposanteStandard: construction, the table of function modules with
// their start and stop, variables.
#include "frame/Standard.h"

#include <mutex>
#include <new>

#include "core/XError.h"
#include "files/TableFichiers.h"
#include "frame/ZoneMemoire.h"
#include "memlists/MemStock.h"
#include "misc/Divers.h"
#include "numbers/EuroModule.h"

int CComposanteStandard::m_snStaticCountInit = 0;
bool CComposanteStandard::m_sbStaticInit = false;

namespace {
// Start and stop of the modules: the counters and the shared modules.
std::mutex g_mutexModules;
}  // namespace

// In start order. The random generator is the process's: seeded when the
// first component starts, not again by a component started later for
// another thread, which would restart the sequence under the running ones.
const CComposanteStandard::STModule CComposanteStandard::ms_tabModules[] = {
    {"divers", [](CComposanteStandard*) { return _DIVERS_bInitModule(); },
     [](CComposanteStandard*) { _DIVERS_FinModule(); }, true},
    {"euro",
     [](CComposanteStandard* p) {
       return _EURO_bInitModule(p->m_pstCtxEuro.get(), p->piGetLibShop(), p->pclGetError());
     },
     nullptr, false},
    {"listes memoire",
     [](CComposanteStandard*) {
       std::lock_guard<std::mutex> verrouListes(MEM_pstPartage()->mutex);
       MEM_InitModule(MEM_pstPartage());
       return true;
     },
     [](CComposanteStandard*) {
       std::lock_guard<std::mutex> verrouListes(MEM_pstPartage()->mutex);
       MEM_FinModule(MEM_pstPartage());
     },
     true},
    {"vue des listes memoire",
     [](CComposanteStandard* p) {
       std::lock_guard<std::mutex> verrouListes(MEM_pstPartage()->mutex);
       MEM_Attache(MEM_pstPartage(), p->m_pstVueMem.get());
       return true;
     },
     [](CComposanteStandard* p) {
       std::lock_guard<std::mutex> verrouListes(MEM_pstPartage()->mutex);
       MEM_Detache(MEM_pstPartage(), p->m_pstVueMem.get());
     },
     false},
    {"fichiers", [](CComposanteStandard*) { return _FIC_bInitModule(); },
     [](CComposanteStandard* p) { _FIC_FinModule(p); }, true},
    {"recherche fRep", nullptr, [](CComposanteStandard* p) { FIC_FinRecherche(p->m_pstRecherche); }, false},
    {"variables des services",
     [](CComposanteStandard* p) {
       p->_RAZVariablesService();
       return true;
     },
     nullptr, false},
};

CComposanteStandard::CComposanteStandard()
    : m_pstCtxEuro(new _stCTXEURO{}), m_pstVueMem(new stCTXMEMCOMPO) {}

// The service strings release their blocks with the members.
CComposanteStandard::~CComposanteStandard() {
  FIC_FinRecherche(m_pstRecherche);
  // A component whose start failed was never stopped: its view leaves here.
  if (m_pstVueMem->pstPartage != nullptr) {
    std::lock_guard<std::mutex> verrouListes(MEM_pstPartage()->mutex);
    MEM_Detache(MEM_pstPartage(), m_pstVueMem.get());
  }
}

void* CComposanteStandard::pQueryProxy(int nNumero) {
  return nNumero == 1 ? static_cast<IZoneMemoire*>(new (std::nothrow) CZoneMemoire(this)) : nullptr;
}

// Every module starts, even after one that failed; the component counts as
// started only when all did (a failed one is not stopped, see TermCompo).
BOOL CComposanteStandard::bFinInit() {
  std::lock_guard<std::mutex> verrou(g_mutexModules);
  const bool bPremier = !m_sbStaticInit;
  bool bOk = true;
  for (const STModule& m : ms_tabModules) {
    if (m.pfnDemarre == nullptr || (m.bPartage && !bPremier)) continue;
    if (!m.pfnDemarre(this)) bOk = false;
  }
  m_sbStaticInit = true;
  ++m_snStaticCountInit;
  m_bInit = bOk;
  return m_bInit;
}

void CComposanteStandard::TermCompo() {
  if (!m_bInit) return;
  std::lock_guard<std::mutex> verrou(g_mutexModules);
  // The last component stops the shared modules; a later one starts them again.
  const bool bDernier = --m_snStaticCountInit < 1;
  for (auto it = std::rbegin(ms_tabModules); it != std::rend(ms_tabModules); ++it) {
    if (it->pfnArrete == nullptr || (it->bPartage && !bDernier)) continue;
    it->pfnArrete(this);
  }
  if (bDernier) m_sbStaticInit = false;
  m_bInit = false;
}

void* CComposanteStandard::pGetVariableAdresse(int nNumero) { return _pGetVariableService(nNumero); }

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
