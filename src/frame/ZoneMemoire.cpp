// CZoneMemoire.
#include "frame/ZoneMemoire.h"

#include "core/XError.h"
#include "frame/Standard.h"

int CZoneMemoire::Release() {
  if (--m_nRef > 0) return m_nRef;
  delete this;
  return 0;
}

BOOL CZoneMemoire::bMemExiste(const char* pszListe, CXError* pclErreur) {
  m_pclCompo->RAZError();
  BOOL b = m_pclCompo->MemExiste(pszListe);
  if (pclErreur != nullptr) pclErreur->Copy(m_pclCompo->pclGetError());
  return b;
}

int CZoneMemoire::nMemOccurrence(const char* pszListe, CXError* pclErreur) {
  m_pclCompo->RAZError();
  int n = m_pclCompo->MemOccurrence(pszListe);
  if (pclErreur != nullptr) pclErreur->Copy(m_pclCompo->pclGetError());
  return n;
}

CAny CZoneMemoire::clMemRecupere(const char* pszListe, int nPosition, CXError* pclErreur) {
  m_pclCompo->RAZError();
  CAny r = m_pclCompo->MemRecupere(pszListe, nPosition);
  if (pclErreur != nullptr) pclErreur->Copy(m_pclCompo->pclGetError());
  return r;
}
