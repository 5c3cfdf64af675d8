// CTableKorval: a table control or a looper of the page library seen as
// lines (an optional title line, then the exported rows) of exported
// columns, for the table exports. It reads the control only through the
// page library's controls access.
#pragma once

#include <vector>

#include "abi/TypesBase.h"

class CAny;
class CTString;
class CXError;
class IControlesPage;
class IInfoLangue;
class IObjetAPCode;
class ILibShop;

enum : int { TYPE_PAGE_TABLE = 9, TYPE_PAGE_ZONEREPETEE = 11 };

class CTableKorval {
public:
  CTableKorval(IObjetAPCode* piSource, bool bColonnesInvisibles, bool bTitre, bool bTotaux);
  ~CTableKorval();
  CTableKorval(const CTableKorval&) = delete;
  CTableKorval& operator=(const CTableKorval&) = delete;

  void SetLignesSelectionnees(bool b) { m_bSelection = b; }
  void SetOrdreAffichage(bool b) { m_bOrdreAffichage = b; }

  // Binds the page library, counts the rows and lists the columns; false
  // with the error filled when the library or the rows cannot be reached.
  bool bInit(ILibShop* piLibShop, CXError* pclErreur);
  // Rows to export (the title and totals lines not counted).
  int nNombreLigne() const { return static_cast<int>(m_nNombreRangee); }
  // Rows skipped at the start of a traversal; refused past the lines.
  bool bSetPremiereLigne(int nSautees);
  int nNombreColonne() const { return static_cast<int>(m_vColonnes.size()); }
  // Starts a traversal on the title line (or the first row kept without
  // one); false when there is no line to stand on.
  bool bInitParcours(int nReserve);
  void GetTitreColonne(int nColonne, CTString* pclTitre);
  bool bParcoursLigneSuivante();
  bool bDonneValeurCelluleLigneCourante(int nColonne, CAny* pclValeur, CXError* pclErreur, unsigned dwFlags,
                                        IInfoLangue* piInfoLangue);
  void FinParcours() { m_bParcours = false; }

  // The page library's type number of an object (-1 when it is not one of
  // its objects or the library gives no controls access).
  static int s_nGetType(IControlesPage* pi, IObjetAPCode* piObjet);

private:
  int _nNombreLignesTotal() const { return m_nNombreRangee + (m_bTitre ? 1 : 0) + m_nTotaux; }

  IObjetAPCode* m_piSource;
  int m_nType = -1;
  IControlesPage* m_piControles = nullptr;
  bool m_bPageLie = false;
  bool m_bColonnesInvisibles, m_bTitre, m_bTotaux;
  bool m_bSelection = false, m_bOrdreAffichage = false;
  bool m_bParcours = false;
  int m_nLigne = 0;    // current line: 0 the title, then rows from 1
  int m_nSautees = 0;  // rows skipped at the start
  int m_nNombreRangee = 0;
  int m_nTotaux = 0;
  std::vector<int> m_vLignes;    // the selected rows' numbers
  std::vector<int> m_vColonnes;  // the exported columns' numbers
};
