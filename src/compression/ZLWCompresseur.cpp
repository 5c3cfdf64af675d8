// The type-4 LZW coder and decoder (CCodeurZLW, ZLW_dwDecode) and the
// compressor object over them.
#include "compression/ZLWCompresseur.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD NB_SLOTS = 131072;
constexpr DWORD NB_CODES = 65536;
constexpr DWORD CODE_RESET = 0, CODE_FIN = 257, PREMIER_CODE = 258;
constexpr int ESSAIS_HASH = 11;
constexpr DWORD PAS_CONTROLE = 4096;  // bytes read between two checks of a full dictionary

inline DWORD dwSlot(DWORD p, DWORD c) { return (c * 512 + p * 2 + 1) & (NB_SLOTS - 1); }
inline DWORD dwSlotSuivant(DWORD k, DWORD idx) { return ((k + idx + 1019) & 0xFFFF) * 2; }

}  // namespace

// ---- coder ----

CCodeurZLW::~CCodeurZLW() {
  std::free(m_pwHash);
  std::free(m_pdwEntree);
}

void CCodeurZLW::_RAZDico() {
  std::memset(m_pwHash, 0, NB_SLOTS * sizeof(WORD));
  m_dwSuivant = PREMIER_CODE;
  m_nLargeur = 9;
  m_dwLimiteCode = 512;
  m_dwLusReset = m_dwLus;
  m_dwPosReset = m_dwPos;
  m_dwProchainControle = 0;
  m_dBest = -1e9;
}

bool CCodeurZLW::bDebut(BYTE* out, DWORD limite) {
  if (m_pwHash == nullptr) m_pwHash = static_cast<WORD*>(std::malloc(NB_SLOTS * sizeof(WORD)));
  if (m_pdwEntree == nullptr) m_pdwEntree = static_cast<DWORD*>(std::malloc(NB_CODES * sizeof(DWORD)));
  if (m_pwHash == nullptr || m_pdwEntree == nullptr) return false;
  m_pbySortie = out;
  m_dwPos = TAILLE_ENTETE_BLOC;
  m_dwLimite = limite;
  m_dwAccu = 0;
  m_nBits = 0;
  m_nCourant = -1;
  m_dwLus = 0;
  m_bAbandon = false;
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
    // Full: keep the dictionary while the ratio since the last reset holds
    // up, reset it when it falls clearly below the best reached.
    if (m_dwLus >= m_dwProchainControle) {
      m_dwProchainControle = m_dwLus + PAS_CONTROLE;
      const double dLus = m_dwLus - m_dwLusReset, dEcrits = m_dwPos - m_dwPosReset;
      const double dTaux = dLus > 0 ? 100.0 * (1.0 - dEcrits / dLus) : 0.0;
      if (dTaux > m_dBest) {
        m_dBest = dTaux;
      } else if (dTaux < m_dBest - MARGE_DICO_PLEIN) {
        _EmetReset();
      }
    }
  } else if (bSlotLibre) {
    m_pwHash[dwSlot] = static_cast<WORD>(m_dwSuivant);
    m_pdwEntree[m_dwSuivant] = dwCle;
    if (++m_dwSuivant > m_dwLimiteCode && m_nLargeur <= 15) {
      m_dwLimiteCode <<= 1;
      ++m_nLargeur;
    }
  } else {
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
  const WORD* const pwHash = m_pwHash;
  const DWORD* const pdwEntree = m_pdwEntree;
  while (p < pFin) {
    const DWORD c = *p++;
    const DWORD dwCle = (dwCourant << 8) | c;
    DWORD idx = dwSlot(dwCourant, c);
    bool bTrouve = false, bLibre = false;
    for (int k = 0; k < ESSAIS_HASH; ++k) {
      const DWORD dwCode = pwHash[idx];
      if (dwCode == 0) {
        bLibre = true;
        break;
      }
      if (pdwEntree[dwCode] == dwCle) {
        dwCourant = dwCode;
        bTrouve = true;
        break;
      }
      idx = dwSlotSuivant(static_cast<DWORD>(k), idx);
    }
    if (bTrouve) continue;
    m_dwLus = dwLusDebut + static_cast<DWORD>(p - pDebut);
    _Emet(dwCourant);
    if (m_dwPos >= m_dwLimite || !_bAjoute(dwCle, idx, bLibre)) {
      m_bAbandon = true;
      return false;
    }
    dwCourant = c + 1;
  }
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

namespace {

// Reads codes least-significant bit first, refilling a byte at a time.
class CLecteurBits {
public:
  CLecteurBits(const BYTE* p, DWORD n) : m_p(p), m_pFin(p + n) {}
  // False when fewer than nLargeur bits are left.
  bool bLit(unsigned nLargeur, DWORD& dwCode) {
    while (m_nBits < 24 && m_p < m_pFin) {
      m_dwAccu |= DWORD{*m_p++} << m_nBits;
      m_nBits += 8;
    }
    if (m_nBits < nLargeur) return false;
    dwCode = m_dwAccu & ((1u << nLargeur) - 1);
    m_dwAccu >>= nLargeur;
    m_nBits -= nLargeur;
    return true;
  }

private:
  const BYTE* m_p;
  const BYTE* m_pFin;
  DWORD m_dwAccu = 0;
  unsigned m_nBits = 0;
};

struct STDicoDecodage {
  WORD awPrefixe[NB_CODES];
  BYTE abyCar[NB_CODES];
  BYTE abyPremier[NB_CODES];
  WORD awLongueur[NB_CODES];  // string length - 1
};

}  // namespace

DWORD ZLW_dwDecode(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity) {
  if (src == nullptr || srcSize < TAILLE_ENTETE_BLOC || src[0] != COMPRESSEUR_ZLW) return 0;
  DWORD dwCharge = dwLitLE32(src + 1);
  if (dwCharge > srcSize - TAILLE_ENTETE_BLOC) dwCharge = srcSize - TAILLE_ENTETE_BLOC;
  DWORD dwTotal = dwLitLE32(src + 5);
  if (dwTotal > dstCapacity) dwTotal = dstCapacity;
  if (dwTotal == 0) return 0;
  auto* d = static_cast<STDicoDecodage*>(std::malloc(sizeof(STDicoDecodage)));
  if (d == nullptr) return 0;
  for (DWORD b = 0; b < 256; ++b) {
    d->awPrefixe[b + 1] = 0;
    d->abyCar[b + 1] = d->abyPremier[b + 1] = static_cast<BYTE>(b);
    d->awLongueur[b + 1] = 0;
  }
  CLecteurBits lecteur(src + TAILLE_ENTETE_BLOC, dwCharge);
  DWORD dwSuivant = PREMIER_CODE, dwLimite = 512, n = 0;
  unsigned nLargeur = 9;
  int nPrec = -1;
  auto reset = [&] {
    dwSuivant = PREMIER_CODE;
    dwLimite = 512;
    nLargeur = 9;
    nPrec = -1;
  };
  // Writes the string of code at dst + n, as far as the output goes.
  auto ecrit = [&](DWORD dwCode) {
    const DWORD L = DWORD{d->awLongueur[dwCode]} + 1;
    DWORD i = L;
    if (n + L <= dwTotal) {
      BYTE* p = dst + n;
      while (i-- > 0) {
        p[i] = d->abyCar[dwCode];
        dwCode = d->awPrefixe[dwCode];
      }
    } else {
      while (i-- > 0) {
        if (n + i < dwTotal) dst[n + i] = d->abyCar[dwCode];
        dwCode = d->awPrefixe[dwCode];
      }
    }
    n = n + L < dwTotal ? n + L : dwTotal;
  };
  auto ajoute = [&](DWORD dwPrefixe, BYTE by) {
    if (dwSuivant >= NB_CODES) return;
    d->awPrefixe[dwSuivant] = static_cast<WORD>(dwPrefixe);
    d->abyCar[dwSuivant] = by;
    d->abyPremier[dwSuivant] = d->abyPremier[dwPrefixe];
    const DWORD L = DWORD{d->awLongueur[dwPrefixe]} + 1;
    d->awLongueur[dwSuivant] = static_cast<WORD>(L < 0xFFFF ? L : 0xFFFF);
    if (++dwSuivant == dwLimite && nLargeur < 16) {
      dwLimite <<= 1;
      ++nLargeur;
    }
  };
  DWORD c = 0;
  while (n < dwTotal && lecteur.bLit(nLargeur, c)) {
    if (c == CODE_FIN) break;
    if (c == CODE_RESET) {
      reset();
      continue;
    }
    if (nPrec < 0) {
      if (c > 256) break;  // a string before any was defined: damaged
      ecrit(c);
      nPrec = static_cast<int>(c);
      continue;
    }
    const DWORD p = static_cast<DWORD>(nPrec);
    if (c >= dwSuivant) {
      // The string being defined: the previous one and its first byte.
      const BYTE by = d->abyPremier[p];
      const DWORD nAvant = n;
      ecrit(p);
      if (n < dwTotal) dst[n++] = by;
      (void)nAvant;
      const bool bPlace = dwSuivant < NB_CODES;
      ajoute(p, by);
      nPrec = bPlace ? static_cast<int>(dwSuivant - 1) : static_cast<int>(p);
    } else {
      ecrit(c);
      ajoute(p, d->abyPremier[c]);
      nPrec = static_cast<int>(c);
    }
  }
  std::free(d);
  return n;
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
