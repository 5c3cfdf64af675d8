// The "-lh5-" encoder: hash-chain match finder over a sliding text buffer
// with one byte of lazy evaluation, codes staged in groups of eight behind a
// flag byte, and static Huffman blocks written most-significant bit first.
// Resumable: every step waits until it sees 256 bytes of look-ahead (or the
// end of the input), so the stream depends on the bytes only.
#include <cstring>
#include <new>
#include <vector>

#include "compression/Lh5.h"
#include "core/Allocation.h"

namespace {

constexpr int TAILLE_TEXTE = 2 * LH5_DICSIZ + LH5_MAXMATCH;  // 16640
constexpr int BITS_HACHAGE = 15;
constexpr int TAILLE_HACHAGE = 1 << BITS_HACHAGE;
constexpr int NIL = -1;
constexpr int CHAINE_MAX = 256;        // candidates looked at per position
constexpr int TAILLE_TAMPON = 16384;   // staged codes of one block
constexpr int MARGE_TAMPON = 3 * 8;    // room kept for one more group of eight

int nBits(unsigned p) {
  int c = 0;
  while (p != 0) {
    p >>= 1;
    c++;
  }
  return c;
}

}  // namespace

struct CLh5Encodeur::Etat {
  BYTE texte[TAILLE_TEXTE];
  int tete[TAILLE_HACHAGE];
  int precedent[TAILLE_TEXTE];
  int nFin = 0;         // bytes of texte filled
  int nPos = 0;         // current position (already searched and inserted)
  int nLong = 0;        // longest match found at nPos
  int nPosMatch = 0;    // where it starts
  int nASauter = 0;     // positions still to pass over after a coded match
  bool bPremier = false;
  bool bFinEntree = false;
  bool bTermine = false;

  // Staged codes of the current block.
  BYTE tampon[TAILLE_TAMPON];
  int nTampon = 0;
  int nPosDrapeau = 0;
  unsigned nMasque = 0;
  unsigned nCodes = 0;
  WORD c_freq[LH5_NC];
  WORD p_freq[LH5_NP];
  WORD t_freq[LH5_NT];
  BYTE c_len[LH5_NC];
  WORD c_code[LH5_NC];
  BYTE p_len[LH5_NP];
  WORD p_code[LH5_NP];
  BYTE t_len[LH5_NT];
  WORD t_code[LH5_NT];

  // Bit writer and the coded bytes not yet handed out.
  DWORD dwBits = 0;
  int nBitsLibres = 0;  // bits held in dwBits
  std::vector<BYTE> sortie;
  std::size_t nSortieLue = 0;

  void Reinit();
  void PutBits(int n, unsigned x);
  int nHache(int p) const {
    return ((texte[p] << 10) ^ (texte[p + 1] << 5) ^ texte[p + 2]) & (TAILLE_HACHAGE - 1);
  }
  void Cherche();
  void Glisse();
  bool bPeutAvancer(bool bFin);
  // One byte further; the search is skipped (the position only joins its
  // chain) when its result would not be used.
  void Avance(bool bCherche = true) {
    nPos++;
    if (bCherche)
      Cherche();
    else
      Insere();
  }
  void Insere() {
    if (nFin - nPos < LH5_THRESHOLD) return;
    const int h = nHache(nPos);
    precedent[nPos] = tete[h];
    tete[h] = nPos;
  }
  void Sortie(unsigned c, unsigned p);
  void EnvoieBloc();
  void CompteTFreq();
  void EcritPtLen(const BYTE* len, int n, int nbit, int special);
  void EcritCLen();
};

void CLh5Encodeur::Etat::Reinit() {
  for (int& t : tete) t = NIL;
  nFin = nPos = nLong = nPosMatch = nASauter = 0;
  bPremier = bFinEntree = bTermine = false;
  nTampon = nPosDrapeau = 0;
  nMasque = 0;
  nCodes = 0;
  std::memset(c_freq, 0, sizeof c_freq);
  std::memset(p_freq, 0, sizeof p_freq);
  dwBits = 0;
  nBitsLibres = 0;
  sortie.clear();
  nSortieLue = 0;
}

void CLh5Encodeur::Etat::PutBits(int n, unsigned x) {
  // Most significant bit first; x holds n <= 16 significant bits.
  while (n > 0) {
    const int k = n > 8 ? 8 : n;
    n -= k;
    dwBits = (dwBits << k) | ((x >> n) & ((1u << k) - 1));
    nBitsLibres += k;
    if (nBitsLibres >= 8) {
      nBitsLibres -= 8;
      sortie.push_back(static_cast<BYTE>(dwBits >> nBitsLibres));
    }
  }
}

// Longest match for the bytes at nPos among the positions of the last 8191
// bytes that share their first three bytes, then nPos joins its chain.
void CLh5Encodeur::Etat::Cherche() {
  nLong = 0;
  const int nReste = nFin - nPos;
  if (nReste < LH5_THRESHOLD) return;
  const int nLimite = nReste < LH5_MAXMATCH ? nReste : LH5_MAXMATCH;
  const int h = nHache(nPos);
  const BYTE* const p = texte + nPos;
  int nCandidat = tete[h];
  for (int nTours = CHAINE_MAX; nCandidat != NIL && nPos - nCandidat < LH5_DICSIZ && nTours > 0; nTours--) {
    const BYTE* const q = texte + nCandidat;
    if (q[nLong] == p[nLong] && q[0] == p[0]) {
      int l = 0;
      while (l < nLimite && q[l] == p[l]) l++;
      if (l > nLong) {
        nLong = l;
        nPosMatch = nCandidat;
        if (l == nLimite) break;
      }
    }
    nCandidat = precedent[nCandidat];
  }
  if (nLong < LH5_THRESHOLD) nLong = 0;
  precedent[nPos] = tete[h];
  tete[h] = nPos;
}

// The window moves down by 8192 bytes, and the chains with it.
void CLh5Encodeur::Etat::Glisse() {
  std::memmove(texte, texte + LH5_DICSIZ, static_cast<std::size_t>(nFin - LH5_DICSIZ));
  nFin -= LH5_DICSIZ;
  nPos -= LH5_DICSIZ;
  nPosMatch -= LH5_DICSIZ;
  for (int& t : tete) t = t >= LH5_DICSIZ ? t - LH5_DICSIZ : NIL;
  for (int i = 0; i < nFin; i++) {
    const int v = precedent[i + LH5_DICSIZ];
    precedent[i] = v >= LH5_DICSIZ ? v - LH5_DICSIZ : NIL;
  }
}

bool CLh5Encodeur::Etat::bPeutAvancer(bool bFin) {
  if (nPos + 1 == 2 * LH5_DICSIZ) Glisse();
  return bFin || nFin - (nPos + 1) >= LH5_MAXMATCH;
}

void CLh5Encodeur::Etat::Sortie(unsigned c, unsigned p) {
  nMasque >>= 1;
  if (nMasque == 0) {
    nMasque = 0x80;
    if (nTampon >= TAILLE_TAMPON - MARGE_TAMPON) {
      EnvoieBloc();
      nTampon = 0;
    }
    nPosDrapeau = nTampon++;
    tampon[nPosDrapeau] = 0;
  }
  tampon[nTampon++] = static_cast<BYTE>(c);
  c_freq[c]++;
  nCodes++;
  if (c >= 256) {
    tampon[nPosDrapeau] = static_cast<BYTE>(tampon[nPosDrapeau] | nMasque);
    tampon[nTampon++] = static_cast<BYTE>(p >> 8);
    tampon[nTampon++] = static_cast<BYTE>(p);
    p_freq[nBits(p)]++;
  }
}

void CLh5Encodeur::Etat::CompteTFreq() {
  std::memset(t_freq, 0, sizeof t_freq);
  int n = LH5_NC;
  while (n > 0 && c_len[n - 1] == 0) n--;
  int i = 0;
  while (i < n) {
    const int k = c_len[i++];
    if (k == 0) {
      int nCompte = 1;
      while (i < n && c_len[i] == 0) {
        i++;
        nCompte++;
      }
      if (nCompte <= 2)
        t_freq[0] = static_cast<WORD>(t_freq[0] + nCompte);
      else if (nCompte <= 18)
        t_freq[1]++;
      else if (nCompte == 19) {
        t_freq[0]++;
        t_freq[1]++;
      } else
        t_freq[2]++;
    } else
      t_freq[k + 2]++;
  }
}

// Lengths of the T or P code: count in nbit bits, lengths below 7 in 3
// bits, longer ones in unary after 111; after the entry at `special`, a
// 2-bit count of the zero lengths that follow (up to 3).
void CLh5Encodeur::Etat::EcritPtLen(const BYTE* len, int n, int nbit, int special) {
  while (n > 0 && len[n - 1] == 0) n--;
  PutBits(nbit, static_cast<unsigned>(n));
  int i = 0;
  while (i < n) {
    const int k = len[i++];
    if (k <= 6)
      PutBits(3, static_cast<unsigned>(k));
    else
      PutBits(k - 3, (1u << (k - 3)) - 2);
    if (i == special) {
      while (i < 6 && len[i] == 0) i++;
      PutBits(2, static_cast<unsigned>((i - 3) & 3));
    }
  }
}

// Lengths of the C code, each through the T code; runs of zeros as T codes
// 0 (one zero), 1 (3 to 18 zeros) and 2 (20 or more).
void CLh5Encodeur::Etat::EcritCLen() {
  int n = LH5_NC;
  while (n > 0 && c_len[n - 1] == 0) n--;
  PutBits(LH5_CBIT, static_cast<unsigned>(n));
  int i = 0;
  while (i < n) {
    const int k = c_len[i++];
    if (k == 0) {
      int nCompte = 1;
      while (i < n && c_len[i] == 0) {
        i++;
        nCompte++;
      }
      if (nCompte <= 2) {
        for (int j = 0; j < nCompte; j++) PutBits(t_len[0], t_code[0]);
      } else if (nCompte <= 18) {
        PutBits(t_len[1], t_code[1]);
        PutBits(4, static_cast<unsigned>(nCompte - 3));
      } else if (nCompte == 19) {
        PutBits(t_len[0], t_code[0]);
        PutBits(t_len[1], t_code[1]);
        PutBits(4, 15);
      } else {
        PutBits(t_len[2], t_code[2]);
        PutBits(LH5_CBIT, static_cast<unsigned>(nCompte - 20));
      }
    } else
      PutBits(t_len[k + 2], t_code[k + 2]);
  }
}

void CLh5Encodeur::Etat::EnvoieBloc() {
  if (nCodes == 0) return;
  int nSeul = 0;
  PutBits(16, nCodes);
  if (LH5_nConstruitCode(LH5_NC, c_freq, c_len, c_code, &nSeul) >= 2) {
    CompteTFreq();
    int nSeulT = 0;
    if (LH5_nConstruitCode(LH5_NT, t_freq, t_len, t_code, &nSeulT) >= 2) {
      EcritPtLen(t_len, LH5_NT, LH5_TBIT, 3);
    } else {
      PutBits(LH5_TBIT, 0);
      PutBits(LH5_TBIT, static_cast<unsigned>(nSeulT));
    }
    EcritCLen();
  } else {
    PutBits(LH5_TBIT, 0);
    PutBits(LH5_TBIT, 0);
    PutBits(LH5_CBIT, 0);
    PutBits(LH5_CBIT, static_cast<unsigned>(nSeul));
  }
  if (LH5_nConstruitCode(LH5_NP, p_freq, p_len, p_code, &nSeul) >= 2) {
    EcritPtLen(p_len, LH5_NP, LH5_PBIT, -1);
  } else {
    PutBits(LH5_PBIT, 0);
    PutBits(LH5_PBIT, static_cast<unsigned>(nSeul));
  }
  int nLu = 0;
  unsigned nDrapeaux = 0;
  for (unsigned i = 0; i < nCodes; i++) {
    if (i % 8 == 0)
      nDrapeaux = tampon[nLu++];
    else
      nDrapeaux <<= 1;
    if (nDrapeaux & 0x80) {
      const unsigned c = tampon[nLu++] + 256u;
      PutBits(c_len[c], c_code[c]);
      const unsigned p = (unsigned{tampon[nLu]} << 8) | tampon[nLu + 1];
      nLu += 2;
      const int k = nBits(p);
      PutBits(p_len[k], p_code[k]);
      if (k > 1) PutBits(k - 1, p & ((1u << (k - 1)) - 1));
    } else {
      const unsigned c = tampon[nLu++];
      PutBits(c_len[c], c_code[c]);
    }
  }
  std::memset(c_freq, 0, sizeof c_freq);
  std::memset(p_freq, 0, sizeof p_freq);
  nCodes = 0;
}

CLh5Encodeur::CLh5Encodeur() = default;
CLh5Encodeur::~CLh5Encodeur() = default;

bool CLh5Encodeur::bDemarre() {
  if (!m_p) {
    m_p.reset(KV_pCree<Etat>());
    if (!m_p) return false;
  }
  m_p->Reinit();
  return true;
}

int CLh5Encodeur::nCode(STLh5Flux& flux, bool bFin) {
  if (!m_p) return LH5_ERREUR_ETAT;
  Etat& e = *m_p;
  if (bFin) e.bFinEntree = true;
  for (;;) {
    // Coded bytes go out first.
    if (e.nSortieLue < e.sortie.size()) {
      std::size_t n = e.sortie.size() - e.nSortieLue;
      if (n > flux.nSortie) n = flux.nSortie;
      if (n > 0) {
        std::memcpy(flux.pSortie, e.sortie.data() + e.nSortieLue, n);
        flux.pSortie += n;
        flux.nSortie -= static_cast<DWORD>(n);
        flux.qTotalSortie += n;
        e.nSortieLue += n;
      }
      if (e.nSortieLue < e.sortie.size()) return LH5_OK;
      e.sortie.clear();
      e.nSortieLue = 0;
    }
    if (e.bTermine) return LH5_FIN;

    // Then as much input as the text buffer takes.
    if (flux.nEntree > 0 && e.nFin < TAILLE_TEXTE) {
      DWORD n = static_cast<DWORD>(TAILLE_TEXTE - e.nFin);
      if (n > flux.nEntree) n = flux.nEntree;
      std::memcpy(e.texte + e.nFin, flux.pEntree, n);
      e.nFin += static_cast<int>(n);
      flux.pEntree += n;
      flux.nEntree -= n;
      flux.qTotalEntree += n;
    }
    const bool bDernier = e.bFinEntree && flux.nEntree == 0;

    if (!e.bPremier) {
      if (e.nFin - e.nPos < LH5_MAXMATCH && !bDernier) return LH5_OK;
      e.bPremier = true;
      e.Cherche();
      continue;
    }
    if (e.nASauter > 0) {
      if (!e.bPeutAvancer(bDernier)) return LH5_OK;
      // Inside a coded match only the last position's search counts.
      e.Avance(e.nASauter == 1);
      e.nASauter--;
      continue;
    }
    if (e.nPos >= e.nFin) {
      if (!bDernier) return LH5_OK;
      // The last block, then the partial byte padded with zeros.
      if (e.nCodes > 0) {
        e.EnvoieBloc();
        e.PutBits(7, 0);
      }
      e.bTermine = true;
      continue;
    }
    // Several steps may follow without output: stop now and then to
    // hand out the coded bytes already waiting.
    if (!e.bPeutAvancer(bDernier)) return LH5_OK;
    const int nLongPrec = e.nLong;
    const unsigned nDistance = static_cast<unsigned>(e.nPos - e.nPosMatch - 1) & (LH5_DICSIZ - 1);
    const BYTE byLitteral = e.texte[e.nPos];
    e.Avance();
    if (e.nLong > nLongPrec || nLongPrec < LH5_THRESHOLD) {
      e.Sortie(byLitteral, 0);
    } else {
      e.Sortie(static_cast<unsigned>(nLongPrec + 256 - LH5_THRESHOLD), nDistance);
      e.nASauter = nLongPrec - 1;
    }
  }
}
