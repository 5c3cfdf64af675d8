// CComposanteStandard: the component object. Every language function is one
// of its methods; it starts and stops the function modules.
#pragma once

#include "frame/VXLibrary.h"

// Euro context: two zero words and the runtime object library's module.
struct STCtxEuro {
  DWORD adwReserve[2];
  HMODULE hModuleObjets;
};

class CComposanteStandard : public CVXLibrary {
public:
  CComposanteStandard();
  ~CComposanteStandard() override;

  void* pQueryProxy(int nNumero) override;
  BOOL bFinInit() override;
  void TermCompo() override;

  STCtxEuro* pstGetCtxEuro() { return &m_stCtxEuro; }
  bool bModulesDemarres() const { return m_bInit; }
  // Number of started components (the shared modules run while it is positive).
  static int s_nNbComposanteDemarree() { return m_snStaticCountInit; }

  // Redirected obsolete functions reach the VM through this (see Entree.h).
  void SetNiveauRedirection();

private:
  STCtxEuro m_stCtxEuro{};
  bool m_bInit = false;

  static int m_snStaticCountInit;   // started components
  static bool m_sbStaticInit;       // shared modules started
};
