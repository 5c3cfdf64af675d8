// The "-lh5-" decoder: block headers (T, C and P code lengths), lookup
// tables whose entries give symbol and code length at once (small trees
// for the rare longer codes), and a 64 KB output buffer that keeps the 8 KB
// window in front of it, so a match is one forward copy, by words when the
// distance allows. Resumable: a block header is read only once 2 KB of
// input are at hand and a code only once 8 bytes are (or the input is known
// to be complete), so no decoding step ever has to stop half-way. Every
// length, count, table entry and tree walk read from the data is checked
// before it is used.
#include <cstdint>
#include <cstring>
#include <new>

#include "compression/Lh5.h"
#include "core/Allocation.h"

namespace {

constexpr int TAILLE_ENTREE = 16384;
constexpr int BITS_ENTETE_MAX = 2048 * 8;  // a block header is always shorter
constexpr int OCTETS_CODE_MAX = 12;        // one code with its distance, and the bit buffer's 4-byte refills
constexpr int NB_NOEUDS = 2 * LH5_NC - 1;
constexpr int BITS_TABLE_C = 12;
constexpr int BITS_TABLE_PT = 8;
// A table entry: the symbol (or a tree node) in the low 10 bits, the code
// length above. Symbols are below 510, nodes from the alphabet's size up.
constexpr unsigned MASQUE_SYMBOLE = 0x3FF;
constexpr int DECALE_LONGUEUR = 10;

// Output: the window, then the bytes decoded ahead of the caller; a match
// started below the end may run MAXMATCH bytes past it, plus one word.
constexpr int TAILLE_TAMPON = 1 << 16;
constexpr int FIN_TAMPON = LH5_DICSIZ + TAILLE_TAMPON;
constexpr int TAILLE_SORTIE = FIN_TAMPON + LH5_MAXMATCH + 8;

}  // namespace

struct CLh5Decodeur::Etat {
  // Input not yet taken into the bit buffer, and zeros after it once the
  // input is complete (read past the end only to be refused).
  BYTE entree[TAILLE_ENTREE + 2 * OCTETS_CODE_MAX];
  int nEntreeDebut = 0;
  int nEntreeFin = 0;
  bool bFinEntree = false;
  // Bit buffer, most significant bit first; bits below nBits are zero.
  DWORD dwBits = 0;
  int nBits = 0;
  bool bErreur = false;

  BYTE c_len[LH5_NC];
  BYTE pt_len[LH5_NT];
  WORD c_table[1 << BITS_TABLE_C];
  WORD pt_table[1 << BITS_TABLE_PT];
  WORD gauche[NB_NOEUDS];
  WORD droite[NB_NOEUDS];
  unsigned nBlocReste = 0;

  // sortie[nPos - 8192, nPos) is the window; [nRendu, nPos) waits for the
  // caller (only the bytes below qTaille are ever handed out).
  BYTE sortie[TAILLE_SORTIE];
  int nPos = 0;
  int nRendu = 0;
  QWORD qTaille = 0;
  QWORD qDecode = 0;
  QWORD qProduit = 0;

  void Remplit() {
    while (nBits <= 24 && nEntreeDebut < nEntreeFin) {
      dwBits |= DWORD{entree[nEntreeDebut++]} << (24 - nBits);
      nBits += 8;
    }
  }
  unsigned nVoit(int n) {
    Remplit();
    return dwBits >> (32 - n);
  }
  void Consomme(int n) {
    if (n == 0) return;
    Remplit();
    if (n > nBits) {  // past the end of the stream
      bErreur = true;
      n = nBits;
      if (n == 0) return;
    }
    dwBits = n == 32 ? 0 : dwBits << n;
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
  int nDecodeArbre(unsigned c, DWORD dwVoit, int n, int nBitsTable);
  void LitPtLen(int nn, int nbit, int special);
  void LitCLen();
  void LitEntete();
  void DecodeCodes(bool bDernier);
};

// Lookup table of a canonical code: entries of nBitsTable bits give the
// symbol and its length directly, or the root of a small tree (nodes from n
// up) walked with the following bits. False for lengths above 16 or a code
// that is not complete.
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
      const WORD w = static_cast<WORD>(s | l << DECALE_LONGUEUR);
      for (unsigned i = debut[l]; i < nProchain; i++) table[i] = w;
    } else {
      unsigned k = debut[l];
      if ((k >> nDecale) >= nTable) return false;
      WORD* p = &table[k >> nDecale];
      for (int i = l - nBitsTable; i > 0; i--) {
        if (*p == 0) {
          if (nLibre >= static_cast<unsigned>(NB_NOEUDS)) return false;
          gauche[nLibre] = droite[nLibre] = 0;
          *p = static_cast<WORD>(nLibre++);
        } else if ((*p & MASQUE_SYMBOLE) < static_cast<unsigned>(n)) {
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

// Symbol from a table entry c that is a tree node: dwVoit holds the next
// 32 bits of the stream, those after the table's pick the branches.
int CLh5Decodeur::Etat::nDecodeArbre(unsigned c, DWORD dwVoit, int n, int nBitsTable) {
  DWORD nMasque = DWORD{1} << (31 - nBitsTable);
  while (c >= static_cast<unsigned>(n)) {
    if (nMasque < (DWORD{1} << 16) || c >= static_cast<unsigned>(NB_NOEUDS)) {
      bErreur = true;
      return 0;
    }
    c = (dwVoit & nMasque) ? droite[c] : gauche[c];
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
    for (WORD& t : pt_table) t = static_cast<WORD>(c);  // no bits per code
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
    for (WORD& t : c_table) t = static_cast<WORD>(c);  // no bits per code
    return;
  }
  if (n > LH5_NC) {
    bErreur = true;
    return;
  }
  int i = 0;
  while (i < n && !bErreur) {
    unsigned c = pt_table[nVoit(BITS_TABLE_PT)];
    int l = static_cast<int>(c >> DECALE_LONGUEUR);
    c &= MASQUE_SYMBOLE;
    if (c >= static_cast<unsigned>(LH5_NT)) {
      c = static_cast<unsigned>(nDecodeArbre(c, nVoit(16) << 16, LH5_NT, BITS_TABLE_PT));
      if (bErreur) return;
      l = pt_len[c];
    }
    Consomme(l);
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

// Codes of the current block into the output buffer, while the buffer has
// room, the caller wants more bytes and 8 input bytes are at hand (with the
// complete input: until the real end, zeros being read past it only to set
// the error). A match is always copied whole.
void CLh5Decodeur::Etat::DecodeCodes(bool bDernier) {
  const BYTE* p = entree + nEntreeDebut;
  const BYTE* const pFinReelle = entree + nEntreeFin;
  const BYTE* pLimite = pFinReelle - OCTETS_CODE_MAX;
  if (bDernier) {
    std::memset(entree + nEntreeFin, 0, 2 * OCTETS_CODE_MAX);
    pLimite = pFinReelle + OCTETS_CODE_MAX;
  }
  QWORD qReste = qTaille - qDecode;
  const int nLimite = qReste < static_cast<QWORD>(FIN_TAMPON - nPos) ? nPos + static_cast<int>(qReste) : FIN_TAMPON;
  BYTE* const pDebut = sortie + nPos;
  BYTE* q = pDebut;
  BYTE* const qLimite = sortie + nLimite;
  DWORD b = dwBits;
  int n = nBits;
  unsigned nCodes = nBlocReste;
  // At least 25 bits in b after a refill: four bytes read at once, the whole
  // bytes that fit taken. The bits of the partly taken byte also land below
  // the n counted ones; they are the stream's next bits, so the next refill
  // ORs the same values over them.
  auto remplit = [&]() {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    b |= __builtin_bswap32(w) >> n;
    p += (31 - n) >> 3;
    n |= 24;
  };
  while (q < qLimite && nCodes > 0 && p <= pLimite) {
    remplit();
    unsigned c = c_table[b >> (32 - BITS_TABLE_C)];
    int l = static_cast<int>(c >> DECALE_LONGUEUR);
    c &= MASQUE_SYMBOLE;
    if (c >= static_cast<unsigned>(LH5_NC)) {
      c = static_cast<unsigned>(nDecodeArbre(c, b, LH5_NC, BITS_TABLE_C));
      if (bErreur) break;
      l = c_len[c];
    }
    b <<= l;
    n -= l;
    nCodes--;
    if (c < 256) {
      *q++ = static_cast<BYTE>(c);
    } else {
      const int nLong = static_cast<int>(c) - (256 - LH5_THRESHOLD);
      remplit();
      unsigned j = pt_table[b >> (32 - BITS_TABLE_PT)];
      l = static_cast<int>(j >> DECALE_LONGUEUR);
      j &= MASQUE_SYMBOLE;
      if (j >= static_cast<unsigned>(LH5_NP)) {
        j = static_cast<unsigned>(nDecodeArbre(j, b, LH5_NP, BITS_TABLE_PT));
        if (bErreur) break;
        l = pt_len[j];
      }
      b <<= l;
      n -= l;
      if (j > 1) {
        remplit();
        const int k = static_cast<int>(j) - 1;
        j = (1u << k) + (b >> (32 - k));
        b <<= k;
        n -= k;
      }
      // Forward copy from j + 1 bytes back (the window, 8192 bytes, is
      // always there); by words when they do not overlap the destination.
      const BYTE* s = q - j - 1;
      BYTE* const qFin = q + nLong;
      if (j >= 3) {
        do {
          std::uint32_t w;
          std::memcpy(&w, s, 4);
          std::memcpy(q, &w, 4);
          s += 4;
          q += 4;
        } while (q < qFin);
        q = qFin;
      } else if (j == 0) {
        std::memset(q, *s, static_cast<std::size_t>(nLong));
        q = qFin;
      } else {
        while (q < qFin) *q++ = *s++;
      }
    }
    if (p > pFinReelle && n < 8 * (p - pFinReelle)) {
      bErreur = true;  // the code ran past the end of the stream
      break;
    }
  }
  // The zeros read past the real end leave the bit buffer.
  if (p > pFinReelle) {
    const int nPasse = static_cast<int>(8 * (p - pFinReelle));
    n = n >= nPasse ? n - nPasse : 0;
    b = n == 0 ? 0 : b & ~(0xFFFFFFFFu >> n);
    p = pFinReelle;
  }
  dwBits = b;
  nBits = n;
  nEntreeDebut = static_cast<int>(p - entree);
  nBlocReste = nCodes;
  nPos += static_cast<int>(q - pDebut);
  qDecode += static_cast<QWORD>(q - pDebut);
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
  e.dwBits = 0;
  e.nBits = 0;
  e.bErreur = false;
  e.nBlocReste = 0;
  std::memset(e.sortie, ' ', LH5_DICSIZ);
  e.nPos = e.nRendu = LH5_DICSIZ;
  e.qTaille = qTaille;
  e.qDecode = 0;
  e.qProduit = 0;
  return true;
}

int CLh5Decodeur::nDecode(STLh5Flux& flux, bool bFin) {
  if (!m_p) return LH5_ERREUR_ETAT;
  Etat& e = *m_p;
  if (e.bErreur) return LH5_ERREUR_DONNEES;
  if (bFin) e.bFinEntree = true;
  for (;;) {
    // Decoded bytes go out first (never beyond qTaille).
    if (e.nRendu < e.nPos && e.qProduit < e.qTaille) {
      QWORD q = static_cast<QWORD>(e.nPos - e.nRendu);
      if (q > e.qTaille - e.qProduit) q = e.qTaille - e.qProduit;
      if (q > flux.nSortie) q = flux.nSortie;
      const DWORD n = static_cast<DWORD>(q);
      std::memcpy(flux.pSortie, e.sortie + e.nRendu, n);
      flux.pSortie += n;
      flux.nSortie -= n;
      flux.qTotalSortie += n;
      e.qProduit += n;
      e.nRendu += static_cast<int>(n);
    }
    if (e.bErreur) return LH5_ERREUR_DONNEES;  // what came before the damage is out
    if (e.qProduit == e.qTaille) return LH5_FIN;
    if (e.nRendu < e.nPos) return LH5_OK;  // the caller's room is full

    // Then as much input as the buffer takes.
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

    // Everything handed out: the window moves down when the buffer is full.
    if (e.nPos >= FIN_TAMPON) {
      std::memmove(e.sortie, e.sortie + e.nPos - LH5_DICSIZ, LH5_DICSIZ);
      e.nPos = e.nRendu = LH5_DICSIZ;
    }

    const bool bDernier = e.bFinEntree && flux.nEntree == 0;
    if (e.nBlocReste == 0) {
      if (!bDernier && e.nBitsDispo() < BITS_ENTETE_MAX) return LH5_OK;
      e.LitEntete();
      if (e.bErreur) return LH5_ERREUR_DONNEES;
      continue;
    }
    if (!bDernier && e.nEntreeFin - e.nEntreeDebut < OCTETS_CODE_MAX) return LH5_OK;
    e.DecodeCodes(bDernier);
  }
}
