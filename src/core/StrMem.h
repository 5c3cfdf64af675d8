// Memory blocks of the language strings and buffers, shared with the VM:
// five header words, the data, then a terminating zero word. The allocator
// hands out blocks in capacity classes and keeps two small caches.
#pragma once

#include <pthread.h>

#include "abi/TypesBase.h"
#include "abi/Valeurs.h"

class CStrMemCache;

enum : DWORD {
  BLOC_CHAINE = 2,        // string (type 0x13); no kind bit counts as a string too
  BLOC_UNICODE = 4,       // wide string of 4-byte characters (type 0x10)
  BLOC_BINAIRE = 8,       // buffer (type 0x1c)
  BLOC_MASQUE_GENRE = BLOC_CHAINE | BLOC_UNICODE | BLOC_BINAIRE,
};

// Status codes of the string operations.
enum : int {
  STR_OK = 0,
  STR_ERR_MEMOIRE = 100,     // no memory
  STR_ERR_CONVERSION = 105,  // conversion failed
  STR_ERR_LONGUEUR = 108,    // length above STR_LONGUEUR_MAX
};

constexpr DWORD STR_LONGUEUR_MAX = 0x7FFFFEFF;
constexpr DWORD STR_TAILLE_ENTETE = sizeof(STBlocStr);
constexpr DWORD STR_TAILLE_SUPPLEMENT = sizeof(STBlocStr) + 4;  // header and terminating word

constexpr DWORD STR_CAPACITE_PETITE = 104;
constexpr DWORD STR_CAPACITE_MOYENNE = 1000;
constexpr int STR_NB_CACHE = 20;

// Header of the block holding `pData`.
inline STBlocStr* pstGetBloc(const void* pData) {
  return reinterpret_cast<STBlocStr*>(const_cast<char*>(static_cast<const char*>(pData)) - STR_TAILLE_ENTETE);
}
// Data of a block.
inline char* pszGetDonnees(STBlocStr* pst) { return reinterpret_cast<char*>(pst) + STR_TAILLE_ENTETE; }

// Capacity given to a first request of `nTaille` bytes: 104 below 105,
// 1000 up to 1000, twice the request above.
DWORD STR_nCapaciteInitiale(DWORD nTaille);
// Capacity of a block of capacity `nAncienne` that must hold `nTaille` bytes.
DWORD STR_nCapaciteCroissance(DWORD nAncienne, DWORD nTaille);

// A thread's recycler of blocks, installed by a multi-threaded VM under its
// thread-specific key: it may supply a block for a request and take back a
// freed one, so that blocks stay local to a thread.
class IRecycleurStr {
public:
  // A block of `nOctets` bytes (header, capacity and terminator), or null.
  virtual void* pDonneBloc(DWORD nOctets) = 0;
  // Takes a freed block of `nOctets` bytes: true when kept.
  virtual BOOL bPrendBloc(void* pBloc, DWORD nOctets) = 0;

protected:
  ~IRecycleurStr() = default;
};

// Allocator of blocks: the block's owner word points at it, so that any
// component (or the VM) can grow or free a block it did not make.
class CStrMemCache {
public:
  explicit CStrMemCache(const char* pszLibelle);
  virtual ~CStrMemCache();
  CStrMemCache(const CStrMemCache&) = delete;
  CStrMemCache& operator=(const CStrMemCache&) = delete;

  // A new block able to hold `nTaille` bytes: count 1, length 0, kind
  // `dwFlags`, data zeroed at its start; null when memory is short.
  virtual STBlocStr* pstAlloue(DWORD nTaille, DWORD dwFlags);
  // Grows `pst` (count 1) to hold `nTaille` bytes by the growth rule; null
  // when memory is short (the block is then unchanged).
  virtual STBlocStr* pstAgrandit(STBlocStr* pst, DWORD nTaille);
  // Takes back a block whose count fell to 0.
  virtual void Libere(STBlocStr* pst);

  const char* pszGetLibelle() const { return m_pszLibelle; }
  // Blocks waiting in each cache (104 and 1000 bytes).
  int nNbCache(DWORD dwCapacite) const;

  // Multi-threading declared by the VM: the key of the per-thread recycler
  // and the address of the VM's multi-threading flag.
  static void s_SetCleRecycleur(pthread_key_t cle);
  static void s_SetFlagMT(const int* pbMT);

private:
  void* _pAlloueMemoire(DWORD nOctets);
  void _LibereMemoire(void* p, DWORD nOctets);
  IRecycleurStr* _piRecycleur() const;

  const char* m_pszLibelle;
  STBlocStr* m_apstLibres[2] = {nullptr, nullptr};  // free lists of 104 and 1000 bytes
  int m_anLibres[2] = {0, 0};
  pthread_mutex_t m_mutex;
};

// The library's own allocator, labelled "KVSTD".
class CStrMemAlloc : public CStrMemCache {
public:
  CStrMemAlloc() : CStrMemCache("KVSTD") {}
};
