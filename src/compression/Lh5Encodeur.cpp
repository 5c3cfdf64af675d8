// The "-lh5-" encoder: hash-chain match finder over a sliding text buffer
// with one byte of lazy evaluation, codes staged in groups of eight behind a
// flag byte, and static Huffman blocks written most-significant bit first.
// The search is bounded the way text rewards: a chain of at most 48
// candidates, a quarter of that once a match of 16 bytes is in hand, and a
// match of 32 bytes or more is taken without looking one byte further.
// Resumable: the coder works only on positions that see 2 x 256 bytes of
// look-ahead (or the end of the input), so the stream depends on the bytes
// only, never on how they were cut into pieces.
#include <cstdint>
#include <cstring>
#include <new>

#include "compression/Lh5.h"
#include "core/Allocation.h"

namespace {

constexpr int BLOC = 1 << 16;  // the text moves down by this much at a time
constexpr int LOOK_AHEAD = 2 * LH5_MAXMATCH + 1;
constexpr int TAILLE_TEXTE = LH5_DICSIZ + BLOC + LOOK_AHEAD;
constexpr int MARGE_TEXTE = 8;  // word reads near the end of the text
constexpr int BITS_HACHAGE = 15;
constexpr int TAILLE_HACHAGE = 1 << BITS_HACHAGE;
constexpr int NIL = -(1 << 30);  // no candidate: always farther than the window

// Search bounds, tuned on English text (a 64 MiB text of licences): a
// deeper search gains little size and costs time.
constexpr int CHAINE_MAX = 48;       // candidates looked at per position
constexpr int LONG_BONNE = 16;       // with a match this long in hand, a quarter of that
constexpr int LONG_PARESSE_MAX = 32; // a match this long is coded without looking further

constexpr int TAILLE_TAMPON = 65000;  // staged codes of one block (at most 65535 codes)
constexpr int MARGE_TAMPON = 3 * 8;   // room kept for one more group of eight
// One block's bits: at most 16 per staged byte, and its header.
constexpr int TAILLE_SORTIE = 2 * TAILLE_TAMPON + 4096;

// Bit length of a distance (0 for 0): its P symbol.
inline int nBits(unsigned p) { return p == 0 ? 0 : 32 - __builtin_clz(p); }

inline std::uint32_t Lit32(const BYTE* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

struct CLh5Encodeur::Etat {
  BYTE texte[TAILLE_TEXTE + MARGE_TEXTE];
  int tete[TAILLE_HACHAGE];
  int precedent[TAILLE_TEXTE];
  int nFin = 0;         // bytes of texte filled
  int nPos = 0;         // current position (already searched and inserted)
  int nLong = 0;        // longest match found at nPos (0: none)
  int nPosMatch = 0;    // where it starts
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
  int nBitsEnAttente = 0;  // bits held in dwBits (fewer than 8 between calls)
  BYTE sortie[TAILLE_SORTIE];
  int nSortie = 0;
  int nSortieLue = 0;

  void Reinit();
  void PutBits(int n, unsigned x) {
    // Most significant bit first; x holds n <= 16 significant bits.
    dwBits = (dwBits << n) | x;
    nBitsEnAttente += n;
    while (nBitsEnAttente >= 8) {
      nBitsEnAttente -= 8;
      sortie[nSortie++] = static_cast<BYTE>(dwBits >> nBitsEnAttente);
    }
  }
  static unsigned nHache(const BYTE* p) {
    return ((Lit32(p) & 0xFFFFFF) * 2654435761u) >> (32 - BITS_HACHAGE);
  }
  void Insere(int p) {
    if (nFin - p < LH5_THRESHOLD) return;
    const unsigned h = nHache(texte + p);
    precedent[p] = tete[h];
    tete[h] = p;
  }
  void Cherche(int nProfondeur);
  void Glisse();
  void CodePositions(bool bDernier);
  void Sortie(unsigned c, unsigned p);
  void EnvoieBloc();
  void CompteTFreq();
  void EcritPtLen(const BYTE* len, int n, int nbit, int special);
  void EcritCLen();
};

void CLh5Encodeur::Etat::Reinit() {
  for (int& t : tete) t = NIL;
  std::memset(texte + TAILLE_TEXTE, 0, MARGE_TEXTE);
  nFin = nPos = nLong = nPosMatch = 0;
  bPremier = bFinEntree = bTermine = false;
  nTampon = nPosDrapeau = 0;
  nMasque = 0;
  nCodes = 0;
  std::memset(c_freq, 0, sizeof c_freq);
  std::memset(p_freq, 0, sizeof p_freq);
  dwBits = 0;
  nBitsEnAttente = 0;
  nSortie = nSortieLue = 0;
}

// Longest match for the bytes at nPos among at most nProfondeur positions
// of the last 8191 bytes that share their hash (the nearest first, a longer
// one only replacing it), then nPos joins its chain.
void CLh5Encodeur::Etat::Cherche(int nProfondeur) {
  nLong = 0;
  const int nReste = nFin - nPos;
  if (nReste < LH5_THRESHOLD) return;
  const int nLimite = nReste < LH5_MAXMATCH ? nReste : LH5_MAXMATCH;
  const BYTE* const p = texte + nPos;
  const unsigned h = nHache(p);
  int nCandidat = tete[h];
  precedent[nPos] = nCandidat;
  tete[h] = nPos;
  int nMeilleur = LH5_THRESHOLD - 1;
  BYTE byFin = p[nMeilleur];  // the byte a longer match must have
  const std::uint32_t dwDebut = Lit32(p) & 0xFFFFFF;
  for (; nPos - nCandidat < LH5_DICSIZ && nProfondeur > 0; nProfondeur--, nCandidat = precedent[nCandidat]) {
    const BYTE* const q = texte + nCandidat;
    if (q[nMeilleur] != byFin || (Lit32(q) & 0xFFFFFF) != dwDebut) continue;
    int l = 3;
    for (;;) {
      if (l + 4 > nLimite) {
        while (l < nLimite && q[l] == p[l]) l++;
        break;
      }
      const std::uint32_t x = Lit32(q + l) ^ Lit32(p + l);
      if (x != 0) {
        l += __builtin_ctz(x) >> 3;
        break;
      }
      l += 4;
    }
    if (l > nLimite) l = nLimite;
    if (l > nMeilleur) {
      nMeilleur = l;
      nPosMatch = nCandidat;
      if (l == nLimite) break;
      byFin = p[l];
    }
  }
  if (nMeilleur >= LH5_THRESHOLD) nLong = nMeilleur;
}

// The text moves down by BLOC bytes, and the chains with it.
void CLh5Encodeur::Etat::Glisse() {
  std::memmove(texte, texte + BLOC, static_cast<std::size_t>(nFin - BLOC));
  nFin -= BLOC;
  nPos -= BLOC;
  nPosMatch -= BLOC;
  for (int& t : tete) t = t >= BLOC ? t - BLOC : NIL;
  for (int i = 0; i < nFin; i++) {
    const int v = precedent[i + BLOC];
    precedent[i] = v >= BLOC ? v - BLOC : NIL;
  }
}

// Codes positions from nPos while they see their look-ahead, until the
// staged block went out (its coded bytes are to be handed out first).
void CLh5Encodeur::Etat::CodePositions(bool bDernier) {
  while (nSortie == 0 && nPos < nFin) {
    if (nPos >= LH5_DICSIZ + BLOC) Glisse();
    if (!bDernier && nFin - nPos < LOOK_AHEAD) return;
    const int L = nLong;
    if (L == 0) {
      Sortie(texte[nPos], 0);
      nPos++;
      Cherche(CHAINE_MAX);
      continue;
    }
    const unsigned nDistance = static_cast<unsigned>(nPos - nPosMatch - 1);
    if (L < LONG_PARESSE_MAX) {
      // One byte further: a longer match there makes this byte a literal.
      nPos++;
      Cherche(L >= LONG_BONNE ? CHAINE_MAX / 4 : CHAINE_MAX);
      if (nLong > L) {
        Sortie(texte[nPos - 1], 0);
        continue;
      }
      // The match from the byte before; the byte after it is in its chain.
      Sortie(static_cast<unsigned>(L + 256 - LH5_THRESHOLD), nDistance);
      for (int k = 1; k < L - 1; k++) Insere(nPos + k);
      nPos += L - 1;
    } else {
      Sortie(static_cast<unsigned>(L + 256 - LH5_THRESHOLD), nDistance);
      for (int k = 1; k < L; k++) Insere(nPos + k);
      nPos += L;
    }
    Cherche(CHAINE_MAX);
  }
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
    if (e.nSortieLue < e.nSortie) {
      DWORD n = static_cast<DWORD>(e.nSortie - e.nSortieLue);
      if (n > flux.nSortie) n = flux.nSortie;
      if (n > 0) {
        std::memcpy(flux.pSortie, e.sortie + e.nSortieLue, n);
        flux.pSortie += n;
        flux.nSortie -= n;
        flux.qTotalSortie += n;
        e.nSortieLue += static_cast<int>(n);
      }
      if (e.nSortieLue < e.nSortie) return LH5_OK;
      e.nSortie = e.nSortieLue = 0;
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
      if (e.nFin - e.nPos < LOOK_AHEAD && !bDernier) return LH5_OK;
      e.bPremier = true;
      e.Cherche(CHAINE_MAX);
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
    const int nAvant = e.nPos;
    e.CodePositions(bDernier);
    // Short of look-ahead: more input first (a slide has made room for it).
    if (e.nPos == nAvant && e.nSortie == 0 && flux.nEntree == 0) return LH5_OK;
  }
}
