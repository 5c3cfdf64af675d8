// CVXLibrary: queries, language, start check, call context and the VM
// service forwarders.
#include "frame/VXLibrary.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "abi/Descripteurs.h"
#include "core/Progression.h"
#include "core/STR.h"
#include "core/XError.h"
#include "core/accesdllres.h"

HINSTANCE CVXLibrary::m_ghInstance = nullptr;
std::atomic<int> CVXLibrary::ms_eLanguage{0};
char* CVXLibrary::ms_pzKvmFile = nullptr;

namespace {

// The language file name, the number of component objects alive, and the
// names replaced while they live.
std::mutex g_mutexLangue;
int g_nObjets = 0;
std::vector<char*> g_vAnciensFichiers;

const char* pszTexte(const _stTEXTES& st, int nLangue) { return nLangue == 0 ? st.pszFrancais : st.pszAnglais; }

// strncpy into the caller's buffer, always terminated (nothing for size 0).
void CopieTexte(char* pszBuffer, unsigned nTaille, const char* pszTexte) {
  if (pszBuffer == nullptr || nTaille == 0) return;
  std::strncpy(pszBuffer, pszTexte, nTaille);
  pszBuffer[nTaille - 1] = '\0';
}

}  // namespace

CVXLibrary::CVXLibrary() : m_pclErreur(new CXError) {
  m_pclErreur->dwAddRef();
  std::lock_guard<std::mutex> verrou(g_mutexLangue);
  ++g_nObjets;
}

CVXLibrary::~CVXLibrary() {
  m_pclErreur->dwRelease();
  std::lock_guard<std::mutex> verrou(g_mutexLangue);
  // Another component may still hand the name out: it goes with the last.
  if (--g_nObjets > 0) return;
  std::free(ms_pzKvmFile);
  ms_pzKvmFile = nullptr;
  for (char* p : g_vAnciensFichiers) std::free(p);
  g_vAnciensFichiers.clear();
}

BOOL CVXLibrary::bInit(HINSTANCE hInstance) {
  ms_eLanguage = 0;
  ms_pzKvmFile = nullptr;
  m_ghInstance = hInstance;
  return 1;
}

int CVXLibrary::Release() {
  delete this;
  return 0;
}

void* CVXLibrary::pQueryProxy(int) { return nullptr; }

void CVXLibrary::GetResume(char* pszBuffer, unsigned nTaille) {
  CopieTexte(pszBuffer, nTaille, pszTexte(gstResume, ms_eLanguage));
}

void CVXLibrary::GetDescription(char* pszBuffer, unsigned nTaille) {
  CopieTexte(pszBuffer, nTaille, pszTexte(gstDescription, ms_eLanguage));
}

const char* CVXLibrary::pzGetHelpFile() { return pszTexte(gstFichierAide, ms_eLanguage); }

void CVXLibrary::GetExportTable_OBSOLETE(void** ppFonctions, int* pnFonctions, void** ppConstantes, int* pnConstantes,
                                         void** ppVariables, int* pnVariables) {
  if (ppFonctions) *ppFonctions = nullptr;
  if (pnFonctions) *pnFonctions = 0;
  if (ppConstantes) *ppConstantes = nullptr;
  if (pnConstantes) *pnConstantes = 0;
  if (ppVariables) *ppVariables = nullptr;
  if (pnVariables) *pnVariables = 0;
}

void CVXLibrary::GetPropertyTable_OBSOLETE(void** ppProprietes, int* pnProprietes, void** ppAcces, int* pnAcces) {
  if (ppProprietes) *ppProprietes = nullptr;
  if (pnProprietes) *pnProprietes = 0;
  if (ppAcces) *ppAcces = nullptr;
  if (pnAcces) *pnAcces = 0;
}

void CVXLibrary::GetTableSynonyme_OBSOLETE(void** ppFonctions, int* pnFonctions, void** ppConstantes,
                                           int* pnConstantes, void** ppVariables, int* pnVariables) {
  GetExportTable_OBSOLETE(ppFonctions, pnFonctions, ppConstantes, pnConstantes, ppVariables, pnVariables);
}

int CVXLibrary::SetLanguage(int nLangue, const char* pszFichier) {
  if (pszFichier == nullptr) {
    ms_eLanguage = nLangue;
    return 1;
  }
  std::lock_guard<std::mutex> verrou(g_mutexLangue);
  if (STR_nNullCompare(pszFichier, ms_pzKvmFile, STR_IGNORE_CASSE | STR_IGNORE_ACCENTS) != 0) {
    char* pszCopie = strdup(pszFichier);
    if (pszCopie != nullptr) {  // out of memory: the previous name stays
      if (ms_pzKvmFile != nullptr) {
        try {
          g_vAnciensFichiers.push_back(ms_pzKvmFile);
        } catch (...) {
          std::free(pszCopie);  // no room to keep the old one: it stays current
          return 1;
        }
      }
      ms_pzKvmFile = pszCopie;
    }
  }
  return 1;
}

void CVXLibrary::GetLanguage(int* pnLangue, const char** ppszFichier) {
  if (pnLangue) *pnLangue = ms_eLanguage;
  std::lock_guard<std::mutex> verrou(g_mutexLangue);
  if (ppszFichier) *ppszFichier = ms_pzKvmFile;
}

BOOL CVXLibrary::bFinInitVXL() {
  if (m_piLibShop == nullptr) return 0;  // no library manager: the start check cannot be asked
  if (!m_piLibShop->bVerifie(this, 8, 10, 1, "LibShop", m_pclErreur)) return 0;
  return bFinInit();
}

int CVXLibrary::SetAlphabet(int nAlphabet, _stCHARTAB* pstTable) {
  STR_ChangeAlphabet(nAlphabet, pstTable);
  return 1;
}

unsigned long CVXLibrary::InfoComposante(unsigned nCode, unsigned long ulIndex) {
  return s_InfoComposante(nCode, ulIndex);
}

unsigned long CVXLibrary::s_InfoComposante(unsigned nCode, unsigned long ulIndex) {
  auto adresse = [](const void* p) { return reinterpret_cast<unsigned long>(p); };
  switch (nCode) {
    case 0: return 6;
    case 1: return NUM_LIBRAIRIE;
    case 2: return 589;
    case 3: return 1;
    case 4: return adresse(pszTexte(gstFichierAide, ulIndex == 0 ? 0 : 1));
    case 13: return 0;  // property-access table: none
    case 23: return adresse(gstTabConstante);
    case 24: return NB_CONSTANTE;
    case 25: return adresse(gstTabVariable);
    case 26: return NB_VARIABLE;
    case 33: return adresse(gstTabFonction);
    case 34: return NB_FONCTION;
    case 35: return 0;  // property table: none
    default: return 0;
  }
}

namespace {

// Progress points of the work a call runs go to the VM of that call.
void _ProgressionVersVM(void* pv, const STProgression* pst) {
  IVM* piVM = static_cast<CVXLibrary*>(pv)->piGetVM();
  if (piVM != nullptr) piVM->InfoVM(INFOVM_PROGRESSION, 0, const_cast<STProgression*>(pst));
}

}  // namespace

STVXAppel* CVXLibrary::ChangeContexteAppel(STVXAppel* pstAppel) {
  STVXAppel* pstAncien = m_pstAppel;
  m_pstAppel = pstAppel;
  if (pstAppel != nullptr)
    PROGRESSION_Ecoute(_ProgressionVersVM, this);
  else
    PROGRESSION_Ecoute(nullptr, nullptr);
  return pstAncien;
}

void* CVXLibrary::pRecupereAdresseVariable(STVXAppel* pstAppel) {
  STVXAppel* pstAncien = ChangeContexteAppel(pstAppel);
  void* p = pstAppel != nullptr ? pGetVariableAdresse(static_cast<int>(pstAppel->nFonction)) : nullptr;
  ChangeContexteAppel(pstAncien);
  return p;
}

BOOL CVXLibrary::bSignaleEcritureVariable(STVXAppel* pstAppel) {
  STVXAppel* pstAncien = ChangeContexteAppel(pstAppel);
  if (pstAppel != nullptr) {
    EcritVariable(static_cast<int>(pstAppel->nFonction),
                  reinterpret_cast<std::intptr_t>(pstAppel->pValeur));
  }
  ChangeContexteAppel(pstAncien);
  return !m_pclErreur->bIsError();
}

void CVXLibrary::RaiseError(DWORD nCode, ...) {
  va_list args;
  va_start(args, nCode);
  RaiseErrorList(nCode, args);
  va_end(args);
}

void CVXLibrary::RaiseErrorList(DWORD nCode, va_list args) {
  m_pclErreur->SetUserErrorList(nCode, args);
  RaiseError();
}

void CVXLibrary::RaiseError(CXError* pclErreur) {
  if (pclErreur == nullptr) {
    m_pclErreur->RAZ();
  } else {
    m_pclErreur->LightCopy(pclErreur);
  }
  RaiseError();
}

void CVXLibrary::RaiseErrorCopy(const CXError* pclErreur) {
  m_pclErreur->Copy(pclErreur);
  RaiseError();
}

void CVXLibrary::RAZError() { m_pclErreur->RAZ(); }

const char* CVXLibrary::_pszGetNomFonction() const {
  if (m_pstAppel == nullptr) return "";
  DWORD n = m_pstAppel->nFonction;
  if (n >= static_cast<DWORD>(NB_FONCTION)) return "";
  const _stFONCTION& st = gstTabFonction[n];
  return DLLRES_bLangue2() ? st.pszNomAnglais : st.pszNomFrancais;
}

// VM services on the current call.

BOOL CVXLibrary::bGetParamAny(int nParametre, CAny* pclValeur) {
  IVM* piVM = piGetVM();
  return piVM != nullptr && piVM->bGetParamAny(nParametre, m_pstAppel->dwAppel, pclValeur, m_pclErreur);
}

BOOL CVXLibrary::bGetParamIVariable(int nParametre, IVXVariable** ppiVariable) {
  IVM* piVM = piGetVM();
  return piVM != nullptr && piVM->bGetParamIVariable(nParametre, m_pstAppel->dwAppel, ppiVariable, m_pclErreur);
}

BOOL CVXLibrary::bParamNull(int nParametre) {
  IVM* piVM = piGetVM();
  return piVM != nullptr && piVM->bParamNull(nParametre, m_pstAppel->dwAppel);
}

BOOL CVXLibrary::bChaineUnicode(int nParametre) {
  IVM* piVM = piGetVM();
  return piVM != nullptr && piVM->bChaineUnicode(nParametre, m_pstAppel->dwAppel);
}

void CVXLibrary::RenvoieValeur(const void* pValeur, DWORD dwType) {
  if (IVM* piVM = piGetVM()) piVM->RenvoieValeur(m_pstAppel->dwAppel, pValeur, dwType);
}

void CVXLibrary::RenvoieChaine(const char* pszTexte) { RenvoieValeur(pszTexte, 0x17); }

std::intptr_t CVXLibrary::_InfoVM(int nCode, int nSousCode, void* pArgument) {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->InfoVM(nCode, nSousCode, pArgument) : 0;
}

const char* CVXLibrary::pszGetLibelleTraitementCourant() {
  return reinterpret_cast<const char*>(_InfoVM(13, 1, nullptr));
}
const char* CVXLibrary::pszGetNomTraitementCourant() { return reinterpret_cast<const char*>(_InfoVM(13, 2, nullptr)); }
const char* CVXLibrary::pszGetNomObjetCourant() { return reinterpret_cast<const char*>(_InfoVM(13, 4, nullptr)); }
int CVXLibrary::nGetLigneTraitementCourant() { return static_cast<int>(_InfoVM(13, 3, nullptr)); }
DWORD CVXLibrary::dwGetTypeFichierTraitementCourant() { return static_cast<DWORD>(_InfoVM(13, 5, nullptr)); }
DWORD CVXLibrary::dwGetIDCodeTraitementCourant() { return static_cast<DWORD>(_InfoVM(13, 6, nullptr)); }
QWORD CVXLibrary::qwGetIDObjetTraitementCourant() {
  auto* pqw = reinterpret_cast<const QWORD*>(_InfoVM(13, 7, nullptr));
  return pqw != nullptr ? *pqw : 0;
}
BOOL CVXLibrary::bSimulateurPocket() { return _InfoVM(5, 0, nullptr) != 0; }
BOOL CVXLibrary::bExecutionMCU() { return _InfoVM(7, 0, nullptr) != 0; }
BOOL CVXLibrary::bRemplitSystemTime(SYSTEMTIME* pstHeure) { return _InfoVM(9, 0, pstHeure) != 0; }
BOOL CVXLibrary::bChargeOBJ(const char* pszFichier) {
  // The VM answers an error object when the load failed.
  auto* pclErreur = reinterpret_cast<CXError*>(_InfoVM(10, 0, const_cast<char*>(pszFichier)));
  return pclErreur == nullptr;
}
int CVXLibrary::nGetModeExecution() {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->nGetModeExecution() : 0;
}
int CVXLibrary::ChangeMode(int nMode) {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->ChangeMode(nMode) : 0;
}
BOOL CVXLibrary::bMTEnCours() {
  IVM* piVM = piGetVM();
  return piVM != nullptr && piVM->bMTEnCours();
}
BOOL CVXLibrary::bThreadPrincipal() {
  IVM* piVM = piGetVM();
  return piVM == nullptr || piVM->bThreadPrincipal();
}
void* CVXLibrary::GestionMT() {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->GestionMT() : nullptr;
}
unsigned CVXLibrary::uGetMessageMT() {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->uGetMessageMT() : 0;
}
void* CVXLibrary::piGetVMData() {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->piGetVMData() : nullptr;
}
IObjetAPCode* CVXLibrary::pGetCallingObject() {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->pGetCallingObject() : nullptr;
}
HANDLE_VX CVXLibrary::hGetObjetCourant() {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->hGetObjetCourant() : 0;
}
HWND CVXLibrary::hGetFenetreCourant() {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->hGetFenetreCourant() : 0;
}
void* CVXLibrary::piGetDBContext(int nParametre, void* pSortie) {
  IVM* piVM = piGetVM();
  return piVM != nullptr ? piVM->piGetDBContext(nParametre, m_pstAppel->dwAppel, pSortie, m_pclErreur) : nullptr;
}
