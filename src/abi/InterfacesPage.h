// The page library's interfaces as this library reads them: its gate, and
// through it the table controls and loopers.
#pragma once

#include "abi/InterfacesVM.h"
#include "abi/TypesBase.h"

class CAny;
class CXError;

// Table controls and loopers of the page library, as the table export
// reads them. Rows and columns are numbered from 1 and 0.
class IControlesPage {
public:
  // 9 table, 11 looper, other numbers for other page objects, -1 for an
  // object that is not the page library's.
  virtual int nGetType(IObjetAPCode* piObjet) = 0;
  virtual int nGetNombreColonne(IObjetAPCode* piObjet) = 0;
  virtual BOOL bColonneVisible(IObjetAPCode* piObjet, int nColonne) = 0;
  // The column's title, valid until the next call; null when it has none.
  virtual const char* pszGetTitreColonne(IObjetAPCode* piObjet, int nColonne) = 0;
  // The n-th selected row (n from 0); -1 after the last.
  virtual int nGetLigneSelectionnee(IObjetAPCode* piObjet, int n) = 0;
  // A looper's rows, walked first to last; false past the end.
  virtual BOOL bPremiereOccurrence(IObjetAPCode* piObjet) = 0;
  virtual BOOL bOccurrenceSuivante(IObjetAPCode* piObjet) = 0;
  // Totals lines of a looper.
  virtual int nGetNombreTotaux(IObjetAPCode* piObjet) = 0;
  // A cell's value; false with the error filled when it cannot be read.
  virtual BOOL bGetValeurCellule(IObjetAPCode* piObjet, int nLigne, int nColonne, CAny* pclValeur,
                                 CXError* pclErreur) = 0;

protected:
  ~IControlesPage() = default;
};

// The page library's gate, as the library manager hands it out.
class IPageGate : public IStdVersion {
public:
  virtual int AddRef() = 0;
  virtual int Release() = 0;
  // Version of the page library, e.g. "14.00Cpe".
  virtual const char* pszGetVersion() = 0;
  // Whether the page library accepts this module at this version.
  virtual BOOL bAccepteModule(const char* pszModule, const char* pszVersion, CXError* pclErreur) = 0;
  virtual void SetLibShop(ILibShop* piLibShop) = 0;
  // The controls' access; null when the page library gives none.
  virtual IControlesPage* piGetControles() = 0;

protected:
  ~IPageGate() = default;
};
