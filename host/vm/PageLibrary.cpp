// The stand-in page library's controls and gate.
#include "PageLibrary.h"

#include "core/Any.h"
#include "core/XError.h"

namespace kvhost {

namespace {

PageObject* object(IObjetAPCode* pi) { return dynamic_cast<PageObject*>(pi); }

bool columnExists(const PageObject* o, int n) { return o != nullptr && n >= 0 && n < static_cast<int>(o->columns.size()); }

}  // namespace

BOOL PageObject::bGetPropriete(const char* pszNom, CAny* pclValeur, CXError* pclErreur) {
  if (pszNom != nullptr && std::string(pszNom) == "Occurrence" && pclValeur != nullptr) {
    pclValeur->SetEntier(static_cast<int>(rows.size()));
    return 1;
  }
  if (pclErreur != nullptr) {
    pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
    pclErreur->AddUserMessage("Unknown property of a page control.");
  }
  return 0;
}

BOOL PageObject::bSetPropriete(const char*, const CAny*, CXError* pclErreur) {
  if (pclErreur != nullptr) pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
  return 0;
}

int PageLibrary::nGetType(IObjetAPCode* piObjet) {
  const PageObject* o = object(piObjet);
  return o != nullptr ? o->type : -1;
}

int PageLibrary::nGetNombreColonne(IObjetAPCode* piObjet) {
  const PageObject* o = object(piObjet);
  return o != nullptr ? static_cast<int>(o->columns.size()) : 0;
}

BOOL PageLibrary::bColonneVisible(IObjetAPCode* piObjet, int nColonne) {
  const PageObject* o = object(piObjet);
  return columnExists(o, nColonne) && o->columns[static_cast<std::size_t>(nColonne)].visible;
}

const char* PageLibrary::pszGetTitreColonne(IObjetAPCode* piObjet, int nColonne) {
  const PageObject* o = object(piObjet);
  return columnExists(o, nColonne) ? o->columns[static_cast<std::size_t>(nColonne)].title.c_str() : nullptr;
}

int PageLibrary::nGetLigneSelectionnee(IObjetAPCode* piObjet, int n) {
  const PageObject* o = object(piObjet);
  if (o == nullptr || n < 0 || n >= static_cast<int>(o->selected.size())) return -1;
  return o->selected[static_cast<std::size_t>(n)];
}

BOOL PageLibrary::bPremiereOccurrence(IObjetAPCode* piObjet) {
  PageObject* o = object(piObjet);
  if (o == nullptr) return 0;
  o->walk = 1;
  return o->walk <= static_cast<int>(o->rows.size());
}

BOOL PageLibrary::bOccurrenceSuivante(IObjetAPCode* piObjet) {
  PageObject* o = object(piObjet);
  if (o == nullptr) return 0;
  ++o->walk;
  return o->walk <= static_cast<int>(o->rows.size());
}

BOOL PageLibrary::bGetValeurCellule(IObjetAPCode* piObjet, int nLigne, int nColonne, CAny* pclValeur,
                                    CXError* pclErreur) {
  const PageObject* o = object(piObjet);
  if (!columnExists(o, nColonne) || nLigne < 1 || nLigne > static_cast<int>(o->rows.size()) || pclValeur == nullptr) {
    if (pclErreur != nullptr) pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
    return 0;
  }
  const auto& row = o->rows[static_cast<std::size_t>(nLigne - 1)];
  const std::size_t c = static_cast<std::size_t>(nColonne);
  anyFromValue(c < row.size() ? row[c] : Value::none(), pclValeur);
  return 1;
}

PageLibrary& pageLibrary() {
  static PageLibrary library;
  return library;
}

}  // namespace kvhost
