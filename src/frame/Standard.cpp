// CComposanteStandard: construction, module start and stop.
#include "frame/Standard.h"

#include "core/XError.h"
#include "misc/Divers.h"
#include "numbers/EuroModule.h"

int CComposanteStandard::m_snStaticCountInit = 0;
bool CComposanteStandard::m_sbStaticInit = false;

CComposanteStandard::CComposanteStandard() = default;

CComposanteStandard::~CComposanteStandard() = default;

void* CComposanteStandard::pQueryProxy(int) { return nullptr; }

BOOL CComposanteStandard::bFinInit() {
  bool bDivers = _DIVERS_bInitModule();
  m_bInit = bDivers && _EURO_bInitModule(this);
  ++m_snStaticCountInit;
  m_sbStaticInit = true;
  return m_bInit;
}

void CComposanteStandard::TermCompo() {
  if (!m_bInit) return;
  _DIVERS_FinModule();
  --m_snStaticCountInit;
  m_bInit = false;
}

void CComposanteStandard::SetNiveauRedirection() { m_pclErreur->SetErrorLevel(EL_REDIRECTION); }
