// The type-4 LZW coder and decoder (CCodeurZLW, CDecodeurZLW, ZLW_dwDecode)
// and the compressor object over them.
//
// The decoder keeps, for each code, where its string already lies in the
// output and its length: a code's string is copied from there instead of
// walking its prefix chain backwards.
#include "compression/ZLWCompresseur.h"

#include <cstdlib>
#include <cstdint>
#include <cstring>

#include "core/Allocation.h"

namespace {

constexpr DWORD NB_SLOTS = 131072;
constexpr DWORD NB_CODES = 65536;
constexpr DWORD CODE_RESET = 0, CODE_FIN = 257, PREMIER_CODE = 258;
constexpr int ESSAIS_HASH = 11;
constexpr DWORD FENETRE = 16384;  // bytes read over which a full dictionary is judged

inline DWORD dwSlot(DWORD p, DWORD c) { return (c * 512 + p * 2 + 1) & (NB_SLOTS - 1); }
inline DWORD dwSlotSuivant(DWORD k, DWORD idx) { return ((k + idx + 1019) & 0xFFFF) * 2; }

}  // namespace

// ---- coder ----

CCodeurZLW::~CCodeurZLW() {
  std::free(m_pdwCle);
  std::free(m_pwCode);
}

void CCodeurZLW::_RAZDico() {
  // Every slot becomes free by moving to the next generation; the tags are
  // cleared once every 255 resets.
  if (++m_dwGeneration > 255) {
    std::memset(m_pdwCle, 0, NB_SLOTS * sizeof(DWORD));
    m_dwGeneration = 1;
  }
  m_dwSuivant = PREMIER_CODE;
  m_nLargeur = 9;
  m_dwLimiteCode = 512;
  m_bFenetre = false;
  m_dBest = -1e9;
}

bool CCodeurZLW::bDebut(BYTE* out, DWORD limite) {
  if (m_pdwCle == nullptr) m_pdwCle = static_cast<DWORD*>(KV_pAlloue(NB_SLOTS * sizeof(DWORD)));
  if (m_pwCode == nullptr) m_pwCode = static_cast<WORD*>(KV_pAlloue(NB_SLOTS * sizeof(WORD)));
  if (m_pdwCle == nullptr || m_pwCode == nullptr) return false;
  m_dwGeneration = 255;  // the first reset clears the tags
  m_pbySortie = out;
  m_dwPos = TAILLE_ENTETE_BLOC;
  m_dwLimite = limite;
  m_dwAccu = 0;
  m_nBits = 0;
  m_nCourant = -1;
  m_dwLus = 0;
  m_bAbandon = false;
  m_stStat = STStatistiques();
  _RAZDico();
  return true;
}

void CCodeurZLW::_EmetReset() {
  if (m_dwSuivant == m_dwLimiteCode && m_nLargeur <= 15) ++m_nLargeur;
  _Emet(CODE_RESET);
  _RAZDico();
}

bool CCodeurZLW::_bAjoute(DWORD dwCle, DWORD dwSlot, bool bSlotLibre) {
  if (m_dwSuivant == NB_CODES) {
    // Full: the ratio of each window of input is compared with the best
    // window since the dictionary filled; the dictionary is kept while it
    // holds up and reset when it falls clearly below (the data have changed).
    if (!m_bFenetre || m_dwLus >= m_dwFinFenetre) {
      if (m_bFenetre) {
        const double dLus = m_dwLus - m_dwLusFenetre, dEcrits = m_dwPos - m_dwPosFenetre;
        const double dTaux = 100.0 * (1.0 - dEcrits / dLus);
        if (dTaux > m_dBest) {
          m_dBest = dTaux;
        } else if (dTaux < m_dBest - MARGE_DICO_PLEIN) {
          ++m_stStat.dwResetPlein;
          _EmetReset();
          return m_dwPos < m_dwLimite;
        }
      }
      m_bFenetre = true;
      m_dwLusFenetre = m_dwLus;
      m_dwPosFenetre = m_dwPos;
      m_dwFinFenetre = m_dwLus + FENETRE;
    }
  } else if (bSlotLibre) {
    m_pdwCle[dwSlot] = (m_dwGeneration << 24) | dwCle;
    m_pwCode[dwSlot] = static_cast<WORD>(m_dwSuivant);
    if (++m_dwSuivant > m_dwLimiteCode && m_nLargeur <= 15) {
      m_dwLimiteCode <<= 1;
      ++m_nLargeur;
    }
    if (m_dwSuivant == NB_CODES) ++m_stStat.dwPlein;
  } else {
    ++m_stStat.dwResetHash;
    _EmetReset();
  }
  return m_dwPos < m_dwLimite;
}

bool CCodeurZLW::bCode(const BYTE* p, DWORD n) {
  if (m_bAbandon) return false;
  if (n == 0) return true;
  const BYTE* const pFin = p + n;
  if (m_nCourant < 0) {
    m_nCourant = *p++ + 1;
    ++m_dwLus;
  }
  DWORD dwCourant = static_cast<DWORD>(m_nCourant);
  const BYTE* const pDebut = p;
  const DWORD dwLusDebut = m_dwLus;
  DWORD* const pdwCle = m_pdwCle;
  WORD* const pwCode = m_pwCode;
  DWORD dwMarque = m_dwGeneration << 24;
  // The output and dictionary state in locals while coding; the members
  // are brought up to date around the rare paths that use them.
  BYTE* const pbySortie = m_pbySortie;
  const DWORD dwLimite = m_dwLimite;
  DWORD dwAccu = m_dwAccu, dwPos = m_dwPos, dwSuivant = m_dwSuivant, dwLimiteCode = m_dwLimiteCode;
  unsigned nBits = m_nBits, nLargeur = m_nLargeur;
  auto sauve = [&] {
    m_dwAccu = dwAccu;
    m_dwPos = dwPos;
    m_dwSuivant = dwSuivant;
    m_dwLimiteCode = dwLimiteCode;
    m_nBits = nBits;
    m_nLargeur = nLargeur;
  };
  while (p < pFin) {
    const DWORD c = *p++;
    const DWORD dwCle = (dwCourant << 8) | c;
    const DWORD dwCleMarquee = dwMarque | dwCle;
    DWORD idx = dwSlot(dwCourant, c);
    // Most lookups end at the first slot.
    DWORD dwOccupant = pdwCle[idx];
    if (dwOccupant == dwCleMarquee) {
      dwCourant = pwCode[idx];
      continue;
    }
    bool bLibre = (dwOccupant & 0xFF000000u) != dwMarque;
    if (!bLibre) {
      bool bTrouve = false;
      for (DWORD k = 0; k + 1 < ESSAIS_HASH; ++k) {
        idx = dwSlotSuivant(k, idx);
        dwOccupant = pdwCle[idx];
        if (dwOccupant == dwCleMarquee) {
          dwCourant = pwCode[idx];
          bTrouve = true;
          break;
        }
        if ((dwOccupant & 0xFF000000u) != dwMarque) {
          bLibre = true;
          break;
        }
      }
      if (bTrouve) continue;
    }
    // The string ends: its code goes out (the position is below the limit,
    // so four bytes fit, as in _Emet) and (string, c) comes in.
    dwAccu |= dwCourant << nBits;
    nBits += nLargeur;
    std::memcpy(pbySortie + dwPos, &dwAccu, 4);
    dwPos += nBits >> 3;
    dwAccu >>= nBits & ~7u;
    nBits &= 7;
    if (dwPos >= dwLimite) {
      sauve();
      m_bAbandon = true;
      return false;
    }
    if (bLibre && dwSuivant < NB_CODES) {
      pdwCle[idx] = dwCleMarquee;
      pwCode[idx] = static_cast<WORD>(dwSuivant);
      if (++dwSuivant > dwLimiteCode && nLargeur <= 15) {
        dwLimiteCode <<= 1;
        ++nLargeur;
      }
      if (dwSuivant == NB_CODES) ++m_stStat.dwPlein;
    } else {
      m_dwLus = dwLusDebut + static_cast<DWORD>(p - pDebut);
      sauve();
      const bool bOk = _bAjoute(dwCle, idx, bLibre);
      dwAccu = m_dwAccu;
      dwPos = m_dwPos;
      dwSuivant = m_dwSuivant;
      dwLimiteCode = m_dwLimiteCode;
      nBits = m_nBits;
      nLargeur = m_nLargeur;
      if (!bOk) {
        m_bAbandon = true;
        return false;
      }
      dwMarque = m_dwGeneration << 24;  // a reset moves to the next generation
    }
    dwCourant = c + 1;
  }
  sauve();
  m_nCourant = static_cast<int>(dwCourant);
  m_dwLus = dwLusDebut + static_cast<DWORD>(p - pDebut);
  return true;
}

DWORD CCodeurZLW::dwTermine() {
  if (m_bAbandon) return 0;
  if (m_nCourant >= 0) _Emet(static_cast<DWORD>(m_nCourant));
  // The decoder adds its entry for the last code before reading the end
  // code, which may take one more bit.
  if (m_dwSuivant == m_dwLimiteCode && m_nLargeur <= 15) ++m_nLargeur;
  _Emet(CODE_FIN);
  if (m_nBits > 0) m_pbySortie[m_dwPos++] = static_cast<BYTE>(m_dwAccu);
  m_dwAccu = 0;
  m_nBits = 0;
  if (m_dwPos >= m_dwLimite + 2) {  // coding did not pay after all (the stored form is 5 + n)
    m_bAbandon = true;
    return 0;
  }
  m_pbySortie[0] = COMPRESSEUR_ZLW;
  EcritLE32(m_pbySortie + 1, m_dwPos - TAILLE_ENTETE_BLOC);
  EcritLE32(m_pbySortie + 5, m_dwLus);
  m_pbySortie[9] = m_pbySortie[10] = 0;
  return m_dwPos;
}

// ---- decoder ----

CDecodeurZLW::~CDecodeurZLW() { std::free(m_pDico); }

bool CDecodeurZLW::bDebut(BYTE* out, DWORD total) {
  if (m_pDico == nullptr) {
    m_pDico = static_cast<STChaine*>(KV_pAlloue(512 * sizeof(STChaine)));
    if (m_pDico == nullptr) return false;
    m_dwCapacite = 512;
  }
  m_pbySortie = out;
  m_dwTotal = out != nullptr ? total : 0;
  m_n = 0;
  m_dwAccu = 0;
  m_nBits = 0;
  m_nLargeur = 9;
  m_dwLimite = 512;
  m_dwSuivant = PREMIER_CODE;
  m_bPrec = false;
  m_bFini = m_dwTotal == 0;
  m_bMemoire = false;
  return true;
}

// Copies a string already in the output to its end, as far as the total
// allows. The source ends before the output position, so nothing overlaps.
inline void CDecodeurZLW::_Ecrit(DWORD dwDebut, DWORD dwLongueur) {
  BYTE* const d = m_pbySortie + m_n;
  const BYTE* const s = m_pbySortie + dwDebut;
  if (dwLongueur <= 16 && m_dwTotal - m_n >= 16) {
    // Short strings (most of them) in two 8-byte moves; the bytes past the
    // string are written again later.
    std::uint64_t a, b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + 8, 8);
    std::memcpy(d, &a, 8);
    std::memcpy(d + 8, &b, 8);
    m_n += dwLongueur;
    return;
  }
  if (dwLongueur > m_dwTotal - m_n) dwLongueur = m_dwTotal - m_n;
  std::memcpy(d, s, dwLongueur);
  m_n += dwLongueur;
}

inline bool CDecodeurZLW::_bAjoute(DWORD dwDebut, DWORD dwLongueur) {
  if (m_dwSuivant >= NB_CODES) return true;
  if (m_dwSuivant - PREMIER_CODE >= m_dwCapacite) {
    auto* p = static_cast<STChaine*>(KV_pRealloue(m_pDico, 2 * m_dwCapacite * sizeof(STChaine)));
    if (p == nullptr) {
      m_bMemoire = true;
      return false;
    }
    m_pDico = p;
    m_dwCapacite *= 2;
  }
  m_pDico[m_dwSuivant - PREMIER_CODE] = {dwDebut, dwLongueur};
  if (++m_dwSuivant == m_dwLimite && m_nLargeur < 16) {
    m_dwLimite <<= 1;
    ++m_nLargeur;
  }
  return true;
}

inline bool CDecodeurZLW::_bTraite(DWORD c) {
  if (c == CODE_FIN) return false;
  if (c == CODE_RESET) {
    m_dwSuivant = PREMIER_CODE;
    m_dwLimite = 512;
    m_nLargeur = 9;
    m_bPrec = false;
    return true;
  }
  const DWORD dwDebut = m_n;
  if (!m_bPrec) {
    if (c > 256) return false;  // a string before any was defined: damaged
    m_pbySortie[m_n++] = static_cast<BYTE>(c - 1);
    m_bPrec = true;
    m_dwDebutPrec = dwDebut;
    m_dwLongueurPrec = 1;
    return m_n < m_dwTotal;
  }
  if (c >= m_dwSuivant) {
    // The string being defined: the previous one and its first byte.
    const bool bPlace = m_dwSuivant < NB_CODES;
    _Ecrit(m_dwDebutPrec, m_dwLongueurPrec);
    if (m_n < m_dwTotal) {
      m_pbySortie[m_n] = m_pbySortie[dwDebut];
      ++m_n;
    }
    const DWORD L = m_dwLongueurPrec + 1;
    if (!_bAjoute(dwDebut, L)) return false;
    m_dwDebutPrec = dwDebut;
    m_dwLongueurPrec = bPlace ? L : L - 1;
  } else {
    DWORD dwLongueur = 1;
    if (c <= 256) {
      m_pbySortie[m_n++] = static_cast<BYTE>(c - 1);
    } else {
      const STChaine& e = m_pDico[c - PREMIER_CODE];
      dwLongueur = e.dwLongueur;
      _Ecrit(e.dwDebut, dwLongueur);
    }
    // The previous string followed by the first byte of this one: they lie
    // side by side in the output.
    if (!_bAjoute(m_dwDebutPrec, m_dwLongueurPrec + 1)) return false;
    m_dwDebutPrec = dwDebut;
    m_dwLongueurPrec = dwLongueur;
  }
  return m_n < m_dwTotal;
}

bool CDecodeurZLW::bDecode(const BYTE* p, DWORD n, bool bDernier) {
  if (m_bFini) return false;
  const BYTE* const pFin = p + n;
  DWORD dwAccu = m_dwAccu;
  unsigned nBits = m_nBits;
  for (;;) {
    // At least 24 bits, or all that is left.
    if (nBits < 24) {
      if (pFin - p >= 4) {
        DWORD dw;
        std::memcpy(&dw, p, 4);
        dwAccu |= dw << nBits;
        p += (31 - nBits) >> 3;
        nBits |= 24;
      } else {
        while (nBits < 24 && p < pFin) {
          dwAccu |= DWORD{*p++} << nBits;
          nBits += 8;
        }
      }
    }
    if (nBits < m_nLargeur) break;
    const DWORD c = dwAccu & ((1u << m_nLargeur) - 1);
    dwAccu >>= m_nLargeur;
    nBits -= m_nLargeur;
    if (!_bTraite(c)) {
      m_bFini = true;
      break;
    }
  }
  m_dwAccu = dwAccu;
  m_nBits = nBits;
  if (bDernier) m_bFini = true;
  return !m_bFini;
}

DWORD ZLW_dwDecode(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity) {
  if (src == nullptr || srcSize < TAILLE_ENTETE_BLOC || src[0] != COMPRESSEUR_ZLW) return 0;
  DWORD dwCharge = dwLitLE32(src + 1);
  if (dwCharge > srcSize - TAILLE_ENTETE_BLOC) dwCharge = srcSize - TAILLE_ENTETE_BLOC;
  DWORD dwTotal = dwLitLE32(src + 5);
  if (dwTotal > dstCapacity) dwTotal = dstCapacity;
  if (dwTotal == 0 || dst == nullptr) return 0;
  CDecodeurZLW decodeur;
  if (!decodeur.bDebut(dst, dwTotal)) return 0;
  decodeur.bDecode(src + TAILLE_ENTETE_BLOC, dwCharge, true);
  return decodeur.bMemoireManque() ? 0 : decodeur.dwProduits();
}

// ---- compressor object ----

DWORD CZLWCompresseur::dwCompressionMorceaux(const STMorceau* pMorceaux, int nMorceaux, BYTE* dst, DWORD dstCapacity) {
  DWORD dwTotal = 0;
  for (int i = 0; i < nMorceaux; ++i) dwTotal += pMorceaux[i].n;
  if (dst == nullptr || dstCapacity < dwTotal + 7) return 0;
  auto copie = [&] {
    dst[0] = COMPRESSEUR_COPIE;
    EcritLE32(dst + 1, dwTotal);
    DWORD o = TAILLE_ENTETE_COPIE;
    for (int i = 0; i < nMorceaux; ++i) {
      if (pMorceaux[i].n > 0) std::memmove(dst + o, pMorceaux[i].p, pMorceaux[i].n);
      o += pMorceaux[i].n;
    }
    return o;
  };
  if (dwTotal <= 19) return copie();
  CCodeurZLW codeur;
  if (!codeur.bDebut(dst, dwTotal + 3)) return 0;
  bool bOk = true;
  for (int i = 0; i < nMorceaux && bOk; ++i) bOk = codeur.bCode(pMorceaux[i].p, pMorceaux[i].n);
  const DWORD dw = bOk ? codeur.dwTermine() : 0;
  return dw != 0 ? dw : copie();
}

DWORD CZLWCompresseur::_dwCompression() {
  const STMorceau m{m_pbySource, m_dwTailleSource};
  return dwCompressionMorceaux(&m, 1, m_pbyDestination, m_dwTailleDestination);
}

DWORD CZLWCompresseur::_dwDecompression() {
  if (m_pbySource[0] == COMPRESSEUR_COPIE) return _dwDecompresseCopie();
  return _dwDecompressionZLW();
}

DWORD CZLWCompresseur::_dwDecompressionZLW() {
  return ZLW_dwDecode(m_pbySource, m_dwTailleSource, m_pbyDestination, m_dwTailleDestination);
}
