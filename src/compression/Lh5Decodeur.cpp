// The "-lh5-" decoder: block headers (T, C and P code lengths), direct
// lookup tables with small trees for the longer codes, and the 8 KB window.
// Resumable: a block header is read only once 2 KB of input are at hand and
// a code only once 8 bytes are (or the input is known to be complete), so
// no decoding step ever has to stop half-way. Every length, count, table
// entry and tree walk read from the data is checked before it is used.
#include <cstring>
#include <new>

#include "compression/Lh5.h"
#include "core/Allocation.h"

namespace {

constexpr int TAILLE_ENTREE = 4096;
constexpr int BITS_ENTETE_MAX = 2048 * 8;  // a block header is always shorter
constexpr int BITS_CODE_MAX = 64;          // one code with its distance
constexpr int NB_NOEUDS = 2 * LH5_NC - 1;
constexpr int BITS_TABLE_C = 12;
constexpr int BITS_TABLE_PT = 8;

}  // namespace

struct CLh5Decodeur::Etat {
  // Input not yet taken into the bit buffer.
  BYTE entree[TAILLE_ENTREE];
  int nEntreeDebut = 0;
  int nEntreeFin = 0;
  bool bFinEntree = false;
  // Bit buffer, most significant bit first; bits below nBits are zero.
  QWORD qBits = 0;
  int nBits = 0;
  bool bErreur = false;

  BYTE c_len[LH5_NC];
  BYTE pt_len[LH5_NT];
  WORD c_table[1 << BITS_TABLE_C];
  WORD pt_table[1 << BITS_TABLE_PT];
  WORD gauche[NB_NOEUDS];
  WORD droite[NB_NOEUDS];
  unsigned nBlocReste = 0;

  BYTE fenetre[LH5_DICSIZ];
  unsigned nFenetrePos = 0;
  unsigned nCopiePos = 0;
  unsigned nCopieReste = 0;
  QWORD qTaille = 0;
  QWORD qProduit = 0;

  void Remplit() {
    while (nBits <= 56 && nEntreeDebut < nEntreeFin) {
      qBits |= QWORD{entree[nEntreeDebut++]} << (56 - nBits);
      nBits += 8;
    }
  }
  unsigned nVoit(int n) {
    Remplit();
    return static_cast<unsigned>(qBits >> (64 - n));
  }
  void Consomme(int n) {
    if (n == 0) return;
    Remplit();
    if (n > nBits) {  // past the end of the stream
      bErreur = true;
      n = nBits;
      if (n == 0) return;
    }
    qBits = n == 64 ? 0 : qBits << n;
    nBits -= n;
  }
  unsigned nLit(int n) {
    if (n == 0) return 0;
    const unsigned v = nVoit(n);
    Consomme(n);
    return v;
  }
  long long nBitsDispo() const { return nBits + 8LL * (nEntreeFin - nEntreeDebut); }

  bool bFaitTable(int n, const BYTE* len, int nBitsTable, WORD* table);
  int nDecodeArbre(unsigned c, int n, int nBitsTable);
  void LitPtLen(int nn, int nbit, int special);
  void LitCLen();
  void LitEntete();
  unsigned nDecodeC();
  unsigned nDecodeP();
};

// Lookup table of a canonical code: entries of nBitsTable bits give the
// symbol directly, or the root of a small tree (nodes from n up) walked
// with the following bits. False for lengths above 16 or a code that is
// not complete.
bool CLh5Decodeur::Etat::bFaitTable(int n, const BYTE* len, int nBitsTable, WORD* table) {
  unsigned nb[17] = {};
  for (int i = 0; i < n; i++) {
    if (len[i] > 16) return false;
    nb[len[i]]++;
  }
  unsigned debut[18];
  debut[1] = 0;
  for (int i = 1; i <= 16; i++) debut[i + 1] = debut[i] + (nb[i] << (16 - i));
  if (debut[17] != (1u << 16)) return false;

  const int nDecale = 16 - nBitsTable;
  unsigned poids[17];
  for (int i = 1; i <= nBitsTable; i++) {
    debut[i] >>= nDecale;
    poids[i] = 1u << (nBitsTable - i);
  }
  for (int i = nBitsTable + 1; i <= 16; i++) poids[i] = 1u << (16 - i);
  const unsigned nTable = 1u << nBitsTable;
  for (unsigned i = debut[nBitsTable + 1] >> nDecale; i < nTable; i++) table[i] = 0;

  unsigned nLibre = static_cast<unsigned>(n);
  const unsigned nMasque = 1u << (15 - nBitsTable);
  for (int s = 0; s < n; s++) {
    const int l = len[s];
    if (l == 0) continue;
    const unsigned nProchain = debut[l] + poids[l];
    if (l <= nBitsTable) {
      if (nProchain > nTable) return false;
      for (unsigned i = debut[l]; i < nProchain; i++) table[i] = static_cast<WORD>(s);
    } else {
      unsigned k = debut[l];
      if ((k >> nDecale) >= nTable) return false;
      WORD* p = &table[k >> nDecale];
      for (int i = l - nBitsTable; i > 0; i--) {
        if (*p == 0) {
          if (nLibre >= static_cast<unsigned>(NB_NOEUDS)) return false;
          gauche[nLibre] = droite[nLibre] = 0;
          *p = static_cast<WORD>(nLibre++);
        } else if (*p < n) {
          return false;  // a shorter code's slot: not a prefix code
        }
        p = (k & nMasque) ? &droite[*p] : &gauche[*p];
        k <<= 1;
      }
      *p = static_cast<WORD>(s);
    }
    debut[l] = nProchain;
  }
  return true;
}

// Symbol from a table entry c that is a tree node: the bits after the
// table's are read from the bit buffer. Consumes nothing.
int CLh5Decodeur::Etat::nDecodeArbre(unsigned c, int n, int nBitsTable) {
  const unsigned v = nVoit(16);
  unsigned nMasque = 1u << (15 - nBitsTable);
  while (c >= static_cast<unsigned>(n)) {
    if (nMasque == 0 || c >= static_cast<unsigned>(NB_NOEUDS)) {
      bErreur = true;
      return 0;
    }
    c = (v & nMasque) ? droite[c] : gauche[c];
    nMasque >>= 1;
  }
  return static_cast<int>(c);
}

void CLh5Decodeur::Etat::LitPtLen(int nn, int nbit, int special) {
  const int n = static_cast<int>(nLit(nbit));
  if (n == 0) {
    const unsigned c = nLit(nbit);
    if (c >= static_cast<unsigned>(nn)) {
      bErreur = true;
      return;
    }
    std::memset(pt_len, 0, sizeof pt_len);
    for (WORD& t : pt_table) t = static_cast<WORD>(c);
    return;
  }
  if (n > nn) {
    bErreur = true;
    return;
  }
  int i = 0;
  while (i < n && !bErreur) {
    int c = static_cast<int>(nVoit(3));
    if (c == 7) {
      // Unary continuation: one more for each 1 bit after the first three.
      const unsigned v = nVoit(16);
      unsigned nMasque = 1u << 12;
      while (nMasque != 0 && (v & nMasque)) {
        nMasque >>= 1;
        c++;
      }
      if (c > 16) {
        bErreur = true;
        return;
      }
    }
    Consomme(c < 7 ? 3 : c - 3);
    pt_len[i++] = static_cast<BYTE>(c);
    if (i == special) {
      int z = static_cast<int>(nLit(2));
      if (i + z > nn) {
        bErreur = true;
        return;
      }
      while (z-- > 0) pt_len[i++] = 0;
    }
  }
  while (i < nn) pt_len[i++] = 0;
  if (!bErreur && !bFaitTable(nn, pt_len, BITS_TABLE_PT, pt_table)) bErreur = true;
}

void CLh5Decodeur::Etat::LitCLen() {
  const int n = static_cast<int>(nLit(LH5_CBIT));
  if (n == 0) {
    const unsigned c = nLit(LH5_CBIT);
    if (c >= static_cast<unsigned>(LH5_NC)) {
      bErreur = true;
      return;
    }
    std::memset(c_len, 0, sizeof c_len);
    for (WORD& t : c_table) t = static_cast<WORD>(c);
    return;
  }
  if (n > LH5_NC) {
    bErreur = true;
    return;
  }
  int i = 0;
  while (i < n && !bErreur) {
    unsigned c = pt_table[nVoit(BITS_TABLE_PT)];
    if (c >= static_cast<unsigned>(LH5_NT)) c = static_cast<unsigned>(nDecodeArbre(c, LH5_NT, BITS_TABLE_PT));
    if (bErreur) return;
    Consomme(pt_len[c]);
    if (c <= 2) {
      int z;
      if (c == 0)
        z = 1;
      else if (c == 1)
        z = static_cast<int>(nLit(4)) + 3;
      else
        z = static_cast<int>(nLit(LH5_CBIT)) + 20;
      if (i + z > LH5_NC) {
        bErreur = true;
        return;
      }
      while (z-- > 0) c_len[i++] = 0;
    } else {
      c_len[i++] = static_cast<BYTE>(c - 2);
    }
  }
  while (i < LH5_NC) c_len[i++] = 0;
  if (!bErreur && !bFaitTable(LH5_NC, c_len, BITS_TABLE_C, c_table)) bErreur = true;
}

void CLh5Decodeur::Etat::LitEntete() {
  nBlocReste = nLit(16);
  LitPtLen(LH5_NT, LH5_TBIT, 3);
  if (!bErreur) LitCLen();
  if (!bErreur) LitPtLen(LH5_NP, LH5_PBIT, -1);
}

unsigned CLh5Decodeur::Etat::nDecodeC() {
  unsigned c = c_table[nVoit(BITS_TABLE_C)];
  if (c >= static_cast<unsigned>(LH5_NC)) c = static_cast<unsigned>(nDecodeArbre(c, LH5_NC, BITS_TABLE_C));
  Consomme(c_len[c]);
  return c;
}

unsigned CLh5Decodeur::Etat::nDecodeP() {
  unsigned j = pt_table[nVoit(BITS_TABLE_PT)];
  if (j >= static_cast<unsigned>(LH5_NP)) j = static_cast<unsigned>(nDecodeArbre(j, LH5_NP, BITS_TABLE_PT));
  Consomme(pt_len[j]);
  if (j > 1) j = (1u << (j - 1)) + nLit(static_cast<int>(j) - 1);
  return j;
}

CLh5Decodeur::CLh5Decodeur() = default;
CLh5Decodeur::~CLh5Decodeur() = default;

bool CLh5Decodeur::bDemarre(QWORD qTaille) {
  if (!m_p) {
    m_p.reset(KV_pCree<Etat>());
    if (!m_p) return false;
  }
  Etat& e = *m_p;
  e.nEntreeDebut = e.nEntreeFin = 0;
  e.bFinEntree = false;
  e.qBits = 0;
  e.nBits = 0;
  e.bErreur = false;
  e.nBlocReste = 0;
  std::memset(e.fenetre, ' ', sizeof e.fenetre);
  e.nFenetrePos = e.nCopiePos = e.nCopieReste = 0;
  e.qTaille = qTaille;
  e.qProduit = 0;
  return true;
}

int CLh5Decodeur::nDecode(STLh5Flux& flux, bool bFin) {
  if (!m_p) return LH5_ERREUR_ETAT;
  Etat& e = *m_p;
  if (e.bErreur) return LH5_ERREUR_DONNEES;
  if (bFin) e.bFinEntree = true;
  constexpr unsigned MASQUE = LH5_DICSIZ - 1;
  for (;;) {
    if (flux.nEntree > 0 && e.nEntreeFin - e.nEntreeDebut < TAILLE_ENTREE) {
      if (e.nEntreeDebut > 0) {
        std::memmove(e.entree, e.entree + e.nEntreeDebut, static_cast<std::size_t>(e.nEntreeFin - e.nEntreeDebut));
        e.nEntreeFin -= e.nEntreeDebut;
        e.nEntreeDebut = 0;
      }
      DWORD n = static_cast<DWORD>(TAILLE_ENTREE - e.nEntreeFin);
      if (n > flux.nEntree) n = flux.nEntree;
      std::memcpy(e.entree + e.nEntreeFin, flux.pEntree, n);
      e.nEntreeFin += static_cast<int>(n);
      flux.pEntree += n;
      flux.nEntree -= n;
      flux.qTotalEntree += n;
    }
    if (e.qProduit == e.qTaille) return LH5_FIN;
    if (flux.nSortie == 0) return LH5_OK;

    if (e.nCopieReste > 0) {
      // A match in progress: bytes from the window, each written back to it.
      QWORD q = e.qTaille - e.qProduit;
      if (q > e.nCopieReste) q = e.nCopieReste;
      if (q > flux.nSortie) q = flux.nSortie;
      const unsigned n = static_cast<unsigned>(q);
      for (unsigned i = 0; i < n; i++) {
        const BYTE b = e.fenetre[e.nCopiePos];
        e.nCopiePos = (e.nCopiePos + 1) & MASQUE;
        e.fenetre[e.nFenetrePos] = b;
        e.nFenetrePos = (e.nFenetrePos + 1) & MASQUE;
        flux.pSortie[i] = b;
      }
      flux.pSortie += n;
      flux.nSortie -= n;
      flux.qTotalSortie += n;
      e.qProduit += n;
      e.nCopieReste -= n;
      continue;
    }

    const bool bDernier = e.bFinEntree && flux.nEntree == 0;
    if (e.nBlocReste == 0) {
      if (!bDernier && e.nBitsDispo() < BITS_ENTETE_MAX) return LH5_OK;
      e.LitEntete();
      if (e.bErreur) return LH5_ERREUR_DONNEES;
      continue;
    }
    if (!bDernier && e.nBitsDispo() < BITS_CODE_MAX) return LH5_OK;
    // Codes of the block while there is room, input and output left; a
    // match that does not fit stays pending.
    BYTE* p = flux.pSortie;
    BYTE* const pFin = p + (e.qTaille - e.qProduit < flux.nSortie ? static_cast<DWORD>(e.qTaille - e.qProduit)
                                                                   : flux.nSortie);
    while (p < pFin && e.nBlocReste > 0 && !e.bErreur && (bDernier || e.nBitsDispo() >= BITS_CODE_MAX)) {
      const unsigned c = e.nDecodeC();
      e.nBlocReste--;
      if (c < 256) {
        e.fenetre[e.nFenetrePos] = static_cast<BYTE>(c);
        e.nFenetrePos = (e.nFenetrePos + 1) & MASQUE;
        *p++ = static_cast<BYTE>(c);
        continue;
      }
      unsigned nLong = c - (256 - LH5_THRESHOLD);
      unsigned nDe = (e.nFenetrePos - e.nDecodeP() - 1) & MASQUE;
      unsigned nA = e.nFenetrePos;
      while (nLong > 0 && p < pFin) {
        const BYTE b = e.fenetre[nDe];
        nDe = (nDe + 1) & MASQUE;
        e.fenetre[nA] = b;
        nA = (nA + 1) & MASQUE;
        *p++ = b;
        nLong--;
      }
      e.nFenetrePos = nA;
      e.nCopiePos = nDe;
      e.nCopieReste = nLong;
      if (nLong > 0) break;
    }
    const DWORD n = static_cast<DWORD>(p - flux.pSortie);
    flux.pSortie = p;
    flux.nSortie -= n;
    flux.qTotalSortie += n;
    e.qProduit += n;
    if (e.bErreur) return LH5_ERREUR_DONNEES;
  }
}
