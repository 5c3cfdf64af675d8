// Short-string coder: character tables, choice of shifts, latches and raw
// runs, packing of digits into byte pairs, and decoding.
#include "core/DataCompressor.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/Allocation.h"

namespace {

// The four charsets, sorted.
constexpr unsigned char tabCharset1[32] = {
    0x09, 0x0A, 0x0D, 0x20, 0x2C, 0x2E, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J',
    'K',  'L',  'M',  'N',  'O',  'P',  'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z'};
constexpr unsigned char tabCharset2[32] = {
    0x20, 0x2C, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n',
    'o',  'p',  'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z', 0xE0, 0xE8, 0xE9, 0xEA};
constexpr unsigned char tabCharset3[32] = {
    0x20, 0x21, 0x22, 0x25, 0x27, 0x28, 0x29, 0x2C, 0x2E, '0', '1', '2', '3', '4', '5', '6',
    '7',  '8',  '9',  0x3C, 0x3E, 0x3F, 0x58, 0x63, 0x64, 0x66, 0x67, 0x6C, 0x70, 0x73, 0x75, 0x78};
constexpr unsigned char tabCharset4[32] = {
    0x23, 0x24, 0x26, 0x2A, 0x2B, 0x2D, 0x2F, 0x3A, 0x3B, 0x3D, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x7B, 0x7C, 0x7D, 0x7E, 0xA0, 0xB0, 0xE2, 0xE7, 0xEB, 0xEE, 0xEF, 0xF4, 0xF9, 0xFB, 0xFE, 0xFF};
constexpr const unsigned char* gapbyJeux[4] = {tabCharset1, tabCharset2, tabCharset3, tabCharset4};

// Digits: 0-3 shift, 4-7 latch, 8-39 character (digit - 8) of the table in
// force. While charset 3 is latched, 38 and 39 mark raw bytes instead.
constexpr int CHIFFRE_LATCH = 4;
constexpr int CHIFFRE_CARACTERE = 8;
constexpr int CHIFFRE_OCTET_BRUT = 38;  // one raw byte follows the pair
constexpr int CHIFFRE_SUITE_BRUTE = 39; // a count and that many raw bytes follow; also padding
constexpr int JEU_BRUT = 3;              // charset whose latch enables the markers
constexpr int REPONSE_BINAIRE = 8;
constexpr int INDEX_MARQUES = CHIFFRE_OCTET_BRUT - CHIFFRE_CARACTERE; // table positions 30, 31
constexpr int SUITE_MAX = 255;           // a run's count is one byte

// Position of each byte in each table, -1 when absent.
struct _stPositions {
  signed char an[4][256];
};
constexpr _stPositions _stCalculePositions() {
  _stPositions st{};
  for (int k = 0; k < 4; ++k) {
    for (int c = 0; c < 256; ++c) st.an[k][c] = -1;
    for (int i = 0; i < 32; ++i) st.an[k][gapbyJeux[k][i]] = static_cast<signed char>(i);
  }
  return st;
}
constexpr _stPositions gstPositions = _stCalculePositions();

// Positions 30 and 31 give digits 38 and 39, which are markers whenever
// charset 3 is latched, whatever the table (a shift does not change that).
// So with charset 3 latched those positions of every table are out of reach.

// c can be written in charset k once k is the latched charset.
bool _bPresentVerrouille(unsigned char c, int k) {
  const int n = gstPositions.an[k][c];
  return n >= 0 && !(k == JEU_BRUT && n >= INDEX_MARQUES);
}

// c can be written through a shift to k while nCourant is latched.
bool _bPresentDecale(unsigned char c, int k, int nCourant) {
  const int n = gstPositions.an[k][c];
  return n >= 0 && !(nCourant == JEU_BRUT && n >= INDEX_MARQUES);
}

// c can only go raw while nCourant is latched: no shift and no latch reaches it.
bool _bBinaire(unsigned char c, int nCourant) {
  for (int k = 0; k < 4; ++k) {
    if (_bPresentVerrouille(c, k)) return false;
    if (k != nCourant && _bPresentDecale(c, k, nCourant)) return false;
  }
  return true;
}

} // namespace

bool CDataCompressor::_bEmet(unsigned char by) {
  if (m_nPosSortie >= m_nCapaciteSortie) return false;
  if (!m_bMesure) m_pbySortie[m_nPosSortie] = by;
  ++m_nPosSortie;
  return true;
}

bool CDataCompressor::_bEmetTriplet(int d1, int d2, int d3) {
  // At most 39*1600 + 39*40 + 39 = 63999: the first byte stays in 1-251.
  const int v = 1600 * d1 + 40 * d2 + d3;
  return _bEmet(static_cast<unsigned char>(v / 255 + 1)) && _bEmet(static_cast<unsigned char>(v % 255 + 1));
}

int CDataCompressor::nCompress(unsigned char* pbySortie, int nCapacite, const unsigned char* pbyEntree,
                               int nLongueurEntree) {
  if (pbyEntree == nullptr) {
    nLongueurEntree = 0;
  } else if (nLongueurEntree < 0) {
    nLongueurEntree = static_cast<int>(std::strlen(reinterpret_cast<const char*>(pbyEntree)));
  } else if (std::memchr(pbyEntree, 0, static_cast<size_t>(nLongueurEntree)) != nullptr) {
    // A raw 0 would end the coded text early for every NUL-terminated reader.
    if (pbySortie != nullptr && nCapacite > 0) pbySortie[0] = 0;
    return DC_OCTET_NUL;
  }
  m_pbyEntree = pbyEntree;
  m_nLongueurEntree = nLongueurEntree;
  m_pbySortie = pbySortie;
  m_nCapaciteSortie = (pbySortie != nullptr && nCapacite > 0) ? nCapacite : 0;
  m_nPosSortie = 0;
  m_nJeuCourant = 0;
  const int nResultat = _nGenerateBitStream();
  if (nResultat != DC_OK && m_nCapaciteSortie > 0) pbySortie[0] = 0;
  return nResultat;
}

int CDataCompressor::nTailleCodage(const unsigned char* pbyEntree, int nLongueurEntree) {
  if (pbyEntree == nullptr) {
    nLongueurEntree = 0;
  } else if (nLongueurEntree < 0) {
    nLongueurEntree = static_cast<int>(std::strlen(reinterpret_cast<const char*>(pbyEntree)));
  } else if (std::memchr(pbyEntree, 0, static_cast<size_t>(nLongueurEntree)) != nullptr) {
    return -1;
  }
  m_pbyEntree = pbyEntree;
  m_nLongueurEntree = nLongueurEntree;
  m_pbySortie = nullptr;
  m_nCapaciteSortie = INT_MAX;
  m_nPosSortie = 0;
  m_nJeuCourant = 0;
  m_bMesure = true;
  const int nResultat = _nGenerateBitStream();
  m_bMesure = false;
  return nResultat == DC_OK ? m_nPosSortie : -1;
}

int CDataCompressor::_nGenerateBitStream() {
  // Pending digits: at most 2 left over, then a shift or latch and a
  // character, or a latch, a marker and padding.
  int anFile[6];
  int nFile = 0;
  int nPos = 0;
  for (;;) {
    int nBrut = 0; // raw bytes to send once the pending digits are out
    while (nFile < 3 && nPos < m_nLongueurEntree) {
      const unsigned char c = m_pbyEntree[nPos];
      if (_bPresentVerrouille(c, m_nJeuCourant)) {
        anFile[nFile++] = CHIFFRE_CARACTERE + gstPositions.an[m_nJeuCourant][c];
        ++nPos;
        continue;
      }
      const int nReponse = _nMeilleurDecalage(nPos);
      if (nReponse < CHIFFRE_LATCH) {
        anFile[nFile++] = nReponse;
        anFile[nFile++] = CHIFFRE_CARACTERE + gstPositions.an[nReponse][c];
        ++nPos;
      } else if (nReponse < REPONSE_BINAIRE) {
        anFile[nFile++] = nReponse;
        m_nJeuCourant = nReponse - CHIFFRE_LATCH;
        anFile[nFile++] = CHIFFRE_CARACTERE + gstPositions.an[m_nJeuCourant][c];
        ++nPos;
      } else {
        if (m_nJeuCourant != JEU_BRUT) {
          anFile[nFile++] = CHIFFRE_LATCH + JEU_BRUT;
          m_nJeuCourant = JEU_BRUT;
        }
        nBrut = _nLongueurBinaire(nPos);
        anFile[nFile++] = nBrut == 1 ? CHIFFRE_OCTET_BRUT : CHIFFRE_SUITE_BRUTE;
        // The decoder drops what follows a marker in its triple.
        while (nFile % 3 != 0) anFile[nFile++] = CHIFFRE_SUITE_BRUTE;
      }
    }

    int nDebut = 0;
    for (; nFile - nDebut >= 3; nDebut += 3) {
      if (!_bEmetTriplet(anFile[nDebut], anFile[nDebut + 1], anFile[nDebut + 2])) return DC_SORTIE_PLEINE;
    }
    for (int i = nDebut; i < nFile; ++i) anFile[i - nDebut] = anFile[i];
    nFile -= nDebut;

    if (nBrut > 0) {
      if (nBrut > 1 && !_bEmet(static_cast<unsigned char>(nBrut))) return DC_SORTIE_PLEINE;
      for (int i = 0; i < nBrut; ++i) {
        if (!_bEmet(m_pbyEntree[nPos + i])) return DC_SORTIE_PLEINE;
      }
      nPos += nBrut;
    }
    if (nPos >= m_nLongueurEntree && nFile < 3) break;
  }

  // One digit left goes alone as a byte (1 to 40); two are completed by a
  // latch to the charset already in force.
  if (nFile == 1 && !_bEmet(static_cast<unsigned char>(anFile[0] + 1))) return DC_SORTIE_PLEINE;
  if (nFile == 2 && !_bEmetTriplet(anFile[0], anFile[1], CHIFFRE_LATCH + m_nJeuCourant)) return DC_SORTIE_PLEINE;
  return _bEmet(0) ? DC_OK : DC_SORTIE_PLEINE;
}

int CDataCompressor::_nMeilleurDecalage(int nPos) {
  const unsigned char c = m_pbyEntree[nPos];
  // Cost of c in each charset: 1 to leave the current one, then 1 when the
  // charset holds c and 2 when it does not (the current one does not).
  int anCout[4];
  int nDecalage = REPONSE_BINAIRE;
  for (int k = 0; k < 4; ++k) {
    if (k == m_nJeuCourant) {
      anCout[k] = 2;
      continue;
    }
    anCout[k] = 1 + (_bPresentVerrouille(c, k) ? 1 : 2);
    if (nDecalage == REPONSE_BINAIRE && _bPresentDecale(c, k, m_nJeuCourant)) nDecalage = k;
  }
  if (nPos + 1 < m_nLongueurEntree) {
    // Latch instead when the text after c is cheapest in a charset holding c.
    const int nJeu = _nMeilleurJeu(nPos + 1, anCout);
    if (_bPresentVerrouille(c, nJeu)) return CHIFFRE_LATCH + nJeu;
  }
  if (nDecalage == REPONSE_BINAIRE) {
    // Only a latch reaches c (the end of a table while charset 3 is latched):
    // cheaper than sending it raw.
    for (int k = 0; k < 4; ++k) {
      if (_bPresentVerrouille(c, k)) return CHIFFRE_LATCH + k;
    }
  }
  return nDecalage;
}

int CDataCompressor::_nMeilleurJeu(int nPos, int anCout[4]) {
  bool abVivant[4] = {true, true, true, true};
  for (int q = nPos; q < m_nLongueurEntree; ++q) {
    const unsigned char c = m_pbyEntree[q];
    int nMin = INT_MAX;
    for (int k = 0; k < 4; ++k) {
      if (!abVivant[k]) continue;
      anCout[k] += _bPresentVerrouille(c, k) ? 1 : 2;
      if (anCout[k] < nMin) nMin = anCout[k];
    }
    int nAuMin = 0;
    int nPremier = 0;
    for (int k = 3; k >= 0; --k) {
      if (!abVivant[k]) continue;
      if (anCout[k] > nMin) {
        abVivant[k] = false;
      } else {
        ++nAuMin;
        nPremier = k;
      }
    }
    if (nAuMin == 1) return nPremier;
  }
  for (int k = 0; k < 4; ++k) {
    if (abVivant[k]) return k;
  }
  return 0;
}

int CDataCompressor::_nLongueurBinaire(int nPos) {
  // Charset 3 is latched here. Up to two (or eight) codable bytes between raw
  // ones are cheaper sent raw with them; a lone raw byte stops earlier.
  int nSuite = 0;
  int nAttente = 0;
  for (int q = nPos; q < m_nLongueurEntree && nSuite < SUITE_MAX; ++q) {
    if (_bBinaire(m_pbyEntree[q], m_nJeuCourant)) {
      nSuite += nAttente + 1;
      nAttente = 0;
    } else {
      ++nAttente;
      if (nAttente == 9 || (nAttente == 3 && nSuite == 1)) break;
    }
  }
  if (nAttente <= 2) nSuite += nAttente;
  // Longer runs go out in several pieces, each with its own marker.
  return nSuite > SUITE_MAX ? SUITE_MAX : nSuite;
}

int CDataCompressor::nDeCompress(unsigned char* pbySortie, int* pnLongueurSortie, const unsigned char* pbyEntree) {
  const int nLongueur =
      pbyEntree != nullptr ? static_cast<int>(std::strlen(reinterpret_cast<const char*>(pbyEntree))) : 0;
  return nDeCompress(pbySortie, pnLongueurSortie, pbyEntree, nLongueur);
}

int CDataCompressor::nDeCompress(unsigned char* pbySortie, int* pnLongueurSortie, const unsigned char* pbyEntree,
                                 int nLongueurEntree) {
  const int nCapacite =
      (pbySortie != nullptr && pnLongueurSortie != nullptr && *pnLongueurSortie > 0) ? *pnLongueurSortie : 0;
  int nFin = 0; // the coded text ends at its first 0 byte
  if (pbyEntree != nullptr && nLongueurEntree > 0) {
    const void* p = std::memchr(pbyEntree, 0, static_cast<size_t>(nLongueurEntree));
    nFin = p != nullptr ? static_cast<int>(static_cast<const unsigned char*>(p) - pbyEntree) : nLongueurEntree;
  }

  int nSortie = 0;
  bool bTronque = false;
  // Keeps the last byte of pbySortie for the terminator.
  auto bSort = [&](unsigned char by) {
    if (nSortie + 1 >= nCapacite) {
      bTronque = true;
      return false;
    }
    pbySortie[nSortie++] = by;
    return true;
  };

  int nJeu = 0;
  int nDecalage = -1;
  int i = 0;
  while (!bTronque && i < nFin) {
    int anChiffre[3];
    int nChiffres;
    if (i + 1 < nFin) {
      const int v = (pbyEntree[i] - 1) * 255 + (pbyEntree[i + 1] - 1);
      anChiffre[0] = v / 1600;
      anChiffre[1] = v % 1600 / 40;
      anChiffre[2] = v % 40;
      nChiffres = 3;
      i += 2;
    } else {
      anChiffre[0] = pbyEntree[i] - 1;
      nChiffres = 1;
      i += 1;
    }

    int nMarque = 0;
    for (int j = 0; j < nChiffres; ++j) {
      const int d = anChiffre[j];
      if (nJeu == JEU_BRUT && (d == CHIFFRE_OCTET_BRUT || d == CHIFFRE_SUITE_BRUTE)) {
        nMarque = d; // the rest of the triple is padding
        break;
      }
      if (d < CHIFFRE_LATCH) {
        nDecalage = d;
      } else if (d < CHIFFRE_CARACTERE) {
        nJeu = d - CHIFFRE_LATCH;
        nDecalage = -1;
      } else if (d < 40) {
        if (!bSort(gapbyJeux[nDecalage >= 0 ? nDecalage : nJeu][d - CHIFFRE_CARACTERE])) break;
        nDecalage = -1;
      }
      // Digits above 39 never come from the coder: dropped.
    }
    if (bTronque) break;

    if (nMarque == CHIFFRE_OCTET_BRUT) {
      if (i < nFin && bSort(pbyEntree[i])) ++i;
    } else if (nMarque == CHIFFRE_SUITE_BRUTE && i < nFin) {
      int n = pbyEntree[i++];
      for (; n > 0 && i < nFin; --n, ++i) {
        if (!bSort(pbyEntree[i])) break;
      }
    }
  }

  if (pnLongueurSortie != nullptr) *pnLongueurSortie = nSortie;
  if (nCapacite == 0) return DC_SORTIE_PLEINE;
  pbySortie[nSortie] = 0;
  return bTronque ? DC_SORTIE_PLEINE : DC_OK;
}

int CDataCompressor::s_nDeCompress(char* pszSortie, int* pnLongueurSortie, const char* pszEntree) {
  CDataCompressor cl;
  return cl.nDeCompress(reinterpret_cast<unsigned char*>(pszSortie), pnLongueurSortie,
                        reinterpret_cast<const unsigned char*>(pszEntree));
}

char* CDataCompressor::s_pszDeCompress(const char* pszEntree) {
  if (pszEntree == nullptr) return nullptr;
  // Three characters at most per pair of bytes, one per other byte.
  const size_t nTaille = std::strlen(pszEntree) * 3 / 2 + 2;
  if (nTaille > static_cast<size_t>(INT_MAX)) return nullptr;
  char* psz = static_cast<char*>(KV_pAlloue(nTaille));
  if (psz == nullptr) return nullptr;
  int nLongueur = static_cast<int>(nTaille);
  if (s_nDeCompress(psz, &nLongueur, pszEntree) != DC_OK) {
    std::free(psz);
    return nullptr;
  }
  return psz;
}
