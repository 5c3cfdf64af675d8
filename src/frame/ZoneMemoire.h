// CZoneMemoire: the memory lists of a component offered to other
// components (proxy number 1).
#pragma once

#include "abi/InterfacesVM.h"
#include "core/Any.h"

class CComposanteStandard;
class CXError;

class IZoneMemoire : public IStdVersion {
public:
  virtual int AddRef() = 0;
  virtual int Release() = 0;  // destroys at 0
  virtual BOOL bMemExiste(const char* pszListe, CXError* pclErreur) = 0;
  virtual int nMemOccurrence(const char* pszListe, CXError* pclErreur) = 0;
  virtual CAny clMemRecupere(const char* pszListe, int nPosition, CXError* pclErreur) = 0;

protected:
  virtual ~IZoneMemoire() = default;
};

class CZoneMemoire final : public IZoneMemoire {
public:
  explicit CZoneMemoire(CComposanteStandard* pclCompo) : m_pclCompo(pclCompo) {}

  int nGetVersion() override { return 1; }
  int nGetCompatSince() override { return 1; }
  int nGetDllNum() override { return 8; }
  void StdVersion_EmptySlot_1() override {}
  void StdVersion_EmptySlot_2() override {}
  void StdVersion_EmptySlot_3() override {}
  int AddRef() override { return ++m_nRef; }
  int Release() override;
  // Each empties the component's error, calls its function and copies the
  // component's error into the caller's.
  BOOL bMemExiste(const char* pszListe, CXError* pclErreur) override;
  int nMemOccurrence(const char* pszListe, CXError* pclErreur) override;
  CAny clMemRecupere(const char* pszListe, int nPosition, CXError* pclErreur) override;

private:
  ~CZoneMemoire() override = default;
  CComposanteStandard* m_pclCompo;
  int m_nRef = 1;
};
