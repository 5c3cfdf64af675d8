// The stock engine of the memory lists: named lists of (key, value) records
// kept in growable memory areas and, past their limits, in a temporary file;
// an index of record offsets per list; navigation flags; sort and search.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "abi/TypesBase.h"

// A typed byte image of a value: its type letter and bytes.
struct STValeurMem {
  char cType = 'B';   // B bytes, L 4-byte integer, D 8-byte real, F 4-byte real, E 16-bit integer, T text
  std::string octets;
};

struct _stBUFFERMEM;
struct stCTXMEMCOMPO;

// The engine context: the lists of the process, shared by every component
// by name. Every list operation holds `mutex` from the lookup of its list to
// its last access.
struct stCTXMEM {
  _stBUFFERMEM* pstPremiere = nullptr;  // newest first
  std::string sRepertoireTemp;
  DWORD nTailleBlocIndex = 64020;
  int nNbListes = 0;
  int nNbExtensions = 0;                // all lists together
  int nMaxExtensions = 128;
  int nMaxExtensionsListe = 64;
  stCTXMEMCOMPO* pstComposantes = nullptr;  // the components' views, attached
  std::mutex mutex;
};

// A component's view of the lists: its current and default list and the
// last element it read. Used under the context's mutex (a list deleted
// through another component clears the references of every view).
struct stCTXMEMCOMPO {
  stCTXMEM* pstPartage = nullptr;
  _stBUFFERMEM* pstDefaut = nullptr;    // "KVMEMDEF"
  _stBUFFERMEM* pstCourante = nullptr;
  std::string sDernierLu;               // scratch of the last element read
  stCTXMEMCOMPO* pstSuivante = nullptr;
};

constexpr DWORD MEM_TAILLE_ZONE = 65536;
constexpr DWORD MEM_TAILLE_MAX_VALEUR = 0xFFF1;  // 65,521
constexpr const char* MEM_NOM_DEFAUT = "KVMEMDEF";
constexpr std::size_t MEM_LONGUEUR_NOM = 20;

struct _stBUFFERMEM {
  char szNom[MEM_LONGUEUR_NOM + 1] = {};
  int nFichier = -1;                // temporary file (-1 none; 65535 after a failed spill)
  std::string sFichier;
  char* pZone = nullptr;
  DWORD nTailleZone = 0;
  int nNbExtensions = 0;
  bool bExtensionRatee = false;
  std::vector<DWORD> index;         // record offsets, in order
  DWORD nUtiliseZone = 0;
  DWORD nUtiliseFichier = 0;
  int nNbMemoire = 0;
  int nNbFichier = 0;
  DWORD nPlusGrand = 0;
  bool bTrie = false;
  int nOrdreTri = 1;
  int nCourant = 0;                 // 1-based, 0 none
  bool bTrouve = false;
  bool bEnDehors = false;
  bool bAvantDebut = false;
  bool bApresFin = false;
  bool bPositionne = false;
  _stBUFFERMEM* pstSuivante = nullptr;

  int nOccurrence() const { return nNbMemoire + nNbFichier; }
};

// A record read back: key and value.
struct STEnregMem {
  STValeurMem cle;
  STValeurMem valeur;
};

// The lists of the process, shared by every component.
stCTXMEM* MEM_pstPartage();

void MEM_InitModule(stCTXMEM* pst);
void MEM_FinModule(stCTXMEM* pst);
// A component's view joins or leaves the context (under its mutex).
void MEM_Attache(stCTXMEM* pst, stCTXMEMCOMPO* pstVue);
void MEM_Detache(stCTXMEM* pst, stCTXMEMCOMPO* pstVue);

// By name (upper case, first 20 characters); an empty name is the view's
// current list.
_stBUFFERMEM* MEM_pstCherche(stCTXMEMCOMPO* pstVue, const char* pszNom);
// A new empty list (an existing one of that name deleted first), made the
// view's current list.
_stBUFFERMEM* MEM_pstCree(stCTXMEMCOMPO* pstVue, const char* pszNom);
void MEM_Supprime(stCTXMEM* pst, _stBUFFERMEM* pstListe);
void MEM_SupprimeTout(stCTXMEM* pst);
// Removes every element of a list, which stays.
void MEM_Vide(stCTXMEM* pst, _stBUFFERMEM* pstListe);

// Stores a record: memory area, extension, or temporary file; false when it
// cannot be stored (the list unchanged). `nOffset` receives its offset.
bool MEM_bStocke(stCTXMEM* pst, _stBUFFERMEM* pl, const STValeurMem& cle, const STValeurMem& valeur, DWORD* pnOffset);
bool MEM_bAjoute(stCTXMEM* pst, _stBUFFERMEM* pl, const STValeurMem& cle, const STValeurMem& valeur);
bool MEM_bModifie(stCTXMEM* pst, _stBUFFERMEM* pl, int nPosition, const STValeurMem& cle, const STValeurMem& valeur);
bool MEM_bSupprimePosition(_stBUFFERMEM* pl, int nPosition);
// Reads element `nPosition` (1-based) and sets the position flags.
bool MEM_bLit(stCTXMEMCOMPO* pstVue, _stBUFFERMEM* pl, int nPosition, STEnregMem* pEnreg);
bool MEM_bLitSansPosition(_stBUFFERMEM* pl, int nPosition, STEnregMem* pEnreg);

// < 0, 0 or > 0 for a searched key against a stored one (numbers as
// numbers, bytes over the shorter length then the shorter first; a string
// against a number is unequal).
int MEM_nCompare(const STValeurMem& cherche, const STValeurMem& stocke);
void MEM_Trie(_stBUFFERMEM* pl, int nOrdre);
// Position of the first element with this key, or 0.
int MEM_nChercheCle(_stBUFFERMEM* pl, const STValeurMem& cle);
// Position of the first element whose value starts with these bytes (same type), or -1.
int MEM_nChercheValeur(_stBUFFERMEM* pl, const STValeurMem& valeur);
