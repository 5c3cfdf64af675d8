// The stand-in page library: table controls and loopers made by the host
// (in kvrun, with kv.table), and the gate through which the component reads
// them. The library manager hands the gate out as "PageGate" of library 31.
#pragma once

#include <string>
#include <vector>

#include "Value.h"
#include "abi/InterfacesPage.h"
#include "abi/InterfacesVM.h"

namespace kvhost {

struct PageColumn {
  std::string title;
  bool visible = true;
};

// One control: a table (type 9), a looper (11) or another page object.
class PageObject final : public IObjetAPCode {
public:
  int type = 9;
  std::vector<PageColumn> columns;
  std::vector<std::vector<Value>> rows;  // cells by row, then column
  std::vector<int> selected;             // selected rows, numbered from 1

  int AddRef() override { return 1; }
  int Release() override { return 1; }
  // "Occurrence": the number of rows.
  BOOL bGetPropriete(const char* pszNom, CAny* pclValeur, CXError* pclErreur) override;
  BOOL bSetPropriete(const char*, const CAny*, CXError* pclErreur) override;
  IObjetAPCode* piGetFenetre() override { return nullptr; }
  HWND hGetHandle() override { return 0; }

  int walk = 0;  // a looper's walk: the row it stands on
};

class PageLibrary final : public IPageGate, public IControlesPage {
public:
  int nGetVersion() override { return 1; }
  int nGetCompatSince() override { return 1; }
  int nGetDllNum() override { return 31; }
  void StdVersion_EmptySlot_1() override {}
  void StdVersion_EmptySlot_2() override {}
  void StdVersion_EmptySlot_3() override {}
  int AddRef() override { return 1; }
  int Release() override { return 1; }
  const char* pszGetVersion() override { return "14.00Cpe"; }
  BOOL bAccepteModule(const char*, const char*, CXError*) override { return 1; }
  void SetLibShop(ILibShop*) override {}
  IControlesPage* piGetControles() override { return this; }

  int nGetType(IObjetAPCode* piObjet) override;
  int nGetNombreColonne(IObjetAPCode* piObjet) override;
  BOOL bColonneVisible(IObjetAPCode* piObjet, int nColonne) override;
  const char* pszGetTitreColonne(IObjetAPCode* piObjet, int nColonne) override;
  int nGetLigneSelectionnee(IObjetAPCode* piObjet, int n) override;
  BOOL bPremiereOccurrence(IObjetAPCode* piObjet) override;
  BOOL bOccurrenceSuivante(IObjetAPCode* piObjet) override;
  int nGetNombreTotaux(IObjetAPCode*) override { return 0; }
  BOOL bGetValeurCellule(IObjetAPCode* piObjet, int nLigne, int nColonne, CAny* pclValeur,
                         CXError* pclErreur) override;
};

// The process's page library.
PageLibrary& pageLibrary();

}  // namespace kvhost
