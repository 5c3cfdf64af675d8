// The old block LZW (type 2): codes most-significant bit first from 9 bits,
// a dictionary of 4096 strings found through a hash of 32768 slots (20
// tries), and the escape code 256 followed by a control code: 0 the code
// 256 itself, 1 reset, 2 one more bit, 3 end.
#include <cstdlib>
#include <cstring>

#include "compression/ZLWCompresseur.h"
#include "core/Allocation.h"

namespace {

constexpr DWORD NB_ENTREES = 4096;
constexpr DWORD NB_SLOTS = 32768;
constexpr DWORD SANS_PREFIXE = 32769;
constexpr DWORD SLOT_VIDE = 4097;       // content of an empty slot
constexpr DWORD SANS_SLOT = NB_SLOTS;   // no free slot found
constexpr DWORD ESCAPE = 256;
constexpr int ESSAIS = 20;
constexpr unsigned LARGEUR_MAX = 16;

// The dictionary both sides keep alike.
struct STDicoVieux {
  DWORD adwPrefixe[NB_ENTREES];
  BYTE abyCar[NB_ENTREES];
  DWORD adwHash[NB_SLOTS];
  DWORD dwSuivant;

  static DWORD dwHash(DWORD p, DWORD c) { return p == SANS_PREFIXE ? c : ((p * 8) ^ c) % NB_SLOTS; }

  void Init() {
    for (DWORD i = 0; i < NB_SLOTS; ++i) adwHash[i] = SLOT_VIDE;
    for (DWORD c = 0; c < 256; ++c) {
      adwPrefixe[c] = SANS_PREFIXE;
      abyCar[c] = static_cast<BYTE>(c);
      adwHash[c] = c;
    }
    dwSuivant = 256;
  }
  // Code of (p, c), or SLOT_VIDE; *pdwLibre receives a free slot found on
  // the way (SANS_SLOT when none within the tries). Slot numbers run over
  // 0-32767, so "none" cannot be SLOT_VIDE: 4097 is a slot like any other.
  DWORD dwTrouve(DWORD p, DWORD c, DWORD* pdwLibre) const {
    DWORD q = p;
    *pdwLibre = SANS_SLOT;
    for (int k = 0; k < ESSAIS; ++k) {
      const DWORD s = dwHash(q, c);
      const DWORD code = adwHash[s];
      if (code == SLOT_VIDE) {
        *pdwLibre = s;
        return SLOT_VIDE;
      }
      if (code < dwSuivant && adwPrefixe[code] == p && abyCar[code] == c) return code;
      q = (q + 1019) % NB_SLOTS;
    }
    return SLOT_VIDE;
  }
  void Ajoute(DWORD p, DWORD c) {
    if (dwSuivant >= NB_ENTREES) return;
    DWORD dwLibre;
    if (dwTrouve(p, c, &dwLibre) != SLOT_VIDE || dwLibre == SANS_SLOT) return;
    adwHash[dwLibre] = dwSuivant;
    adwPrefixe[dwSuivant] = p;
    abyCar[dwSuivant] = static_cast<BYTE>(c);
    ++dwSuivant;
  }
};

class CEcrivainMSB {
public:
  CEcrivainMSB(BYTE* p, DWORD n) : m_p(p), m_dwCapacite(n) {}
  bool bEcrit(DWORD code, unsigned nLargeur) {
    m_qwAccu = (m_qwAccu << nLargeur) | code;
    m_nBits += nLargeur;
    while (m_nBits >= 8) {
      if (m_dwPos >= m_dwCapacite) return false;
      m_nBits -= 8;
      m_p[m_dwPos++] = static_cast<BYTE>(m_qwAccu >> m_nBits);
    }
    return true;
  }
  bool bFinit() {
    if (m_nBits == 0) return true;
    if (m_dwPos >= m_dwCapacite) return false;
    m_p[m_dwPos++] = static_cast<BYTE>(m_qwAccu << (8 - m_nBits));
    m_nBits = 0;
    return true;
  }
  DWORD dwPos() const { return m_dwPos; }

private:
  BYTE* m_p;
  DWORD m_dwCapacite, m_dwPos = 0;
  QWORD m_qwAccu = 0;
  unsigned m_nBits = 0;
};

class CLecteurMSB {
public:
  CLecteurMSB(const BYTE* p, DWORD n) : m_p(p), m_pFin(p + n) {}
  bool bLit(unsigned nLargeur, DWORD& code) {
    while (m_nBits < nLargeur && m_p < m_pFin) {
      m_qwAccu = (m_qwAccu << 8) | *m_p++;
      m_nBits += 8;
    }
    if (m_nBits < nLargeur) return false;
    m_nBits -= nLargeur;
    code = static_cast<DWORD>(m_qwAccu >> m_nBits) & ((1u << nLargeur) - 1);
    return true;
  }

private:
  const BYTE* m_p;
  const BYTE* m_pFin;
  QWORD m_qwAccu = 0;
  unsigned m_nBits = 0;
};

}  // namespace

DWORD VIEUXBLOC_dwDecode(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity) {
  if (src == nullptr || srcSize < TAILLE_ENTETE_BLOC || src[0] != COMPRESSEUR_VIEUXBLOC) return 0;
  DWORD dwCharge = dwLitLE32(src + 1);
  if (dwCharge > srcSize - TAILLE_ENTETE_BLOC) dwCharge = srcSize - TAILLE_ENTETE_BLOC;
  auto* d = static_cast<STDicoVieux*>(KV_pAlloue(sizeof(STDicoVieux)));
  if (d == nullptr) return 0;
  d->Init();
  CLecteurMSB lecteur(src + TAILLE_ENTETE_BLOC, dwCharge);
  unsigned nLargeur = 9;
  DWORD n = 0;
  BYTE pile[NB_ENTREES];
  // Writes the string of code (defined) and returns its first byte.
  auto ecrit = [&](DWORD code) {
    DWORD k = 0;
    while (code != SANS_PREFIXE && k < NB_ENTREES) {
      pile[k++] = d->abyCar[code];
      code = d->adwPrefixe[code];
    }
    for (DWORD i = k; i-- > 0;)
      if (n < dstCapacity) dst[n++] = pile[i];
    return pile[k - 1];
  };
  DWORD prec = SANS_PREFIXE, code = 0;
  bool bFin = false;
  while (!bFin && n < dstCapacity && lecteur.bLit(nLargeur, code)) {
    if (code == ESCAPE) {
      DWORD ctl;
      if (!lecteur.bLit(nLargeur, ctl)) break;
      if (ctl == 1) {
        d->Init();
        nLargeur = 9;
        prec = SANS_PREFIXE;
        continue;
      }
      if (ctl == 2) {
        if (++nLargeur > LARGEUR_MAX) break;
        continue;
      }
      if (ctl != 0) break;  // 3 ends; others are damage
    }
    if (code >= NB_ENTREES) break;
    if (prec == SANS_PREFIXE) {
      if (code >= d->dwSuivant) break;
      ecrit(code);
      prec = code;
      continue;
    }
    BYTE byPremier;
    if (code >= d->dwSuivant) {
      byPremier = ecrit(prec);
      if (n < dstCapacity) dst[n++] = byPremier;
    } else {
      byPremier = ecrit(code);
    }
    d->Ajoute(prec, byPremier);
    prec = code < d->dwSuivant ? code : d->dwSuivant - 1;
  }
  std::free(d);
  return n;
}

DWORD VIEUXBLOC_dwCode(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity) {
  if (dst == nullptr || dstCapacity < TAILLE_ENTETE_BLOC || srcSize == 0) return 0;
  auto* d = static_cast<STDicoVieux*>(KV_pAlloue(sizeof(STDicoVieux)));
  if (d == nullptr) return 0;
  d->Init();
  CEcrivainMSB sortie(dst + TAILLE_ENTETE_BLOC, dstCapacity - TAILLE_ENTETE_BLOC);
  unsigned nLargeur = 9;
  bool bOk = true;
  auto emet = [&](DWORD code) {
    while (code >= (1u << nLargeur)) {
      bOk = bOk && sortie.bEcrit(ESCAPE, nLargeur) && sortie.bEcrit(2, nLargeur);
      ++nLargeur;
    }
    if (code == ESCAPE) bOk = bOk && sortie.bEcrit(ESCAPE, nLargeur) && sortie.bEcrit(0, nLargeur);
    else bOk = bOk && sortie.bEcrit(code, nLargeur);
  };
  DWORD courant = src[0];
  for (DWORD i = 1; i < srcSize && bOk; ++i) {
    const DWORD c = src[i];
    DWORD dwLibre;
    const DWORD trouve = d->dwTrouve(courant, c, &dwLibre);
    if (trouve != SLOT_VIDE) {
      courant = trouve;
      continue;
    }
    emet(courant);
    d->Ajoute(courant, c);
    if (d->dwSuivant >= NB_ENTREES) {
      bOk = bOk && sortie.bEcrit(ESCAPE, nLargeur) && sortie.bEcrit(1, nLargeur);
      d->Init();
      nLargeur = 9;
    }
    courant = c;
  }
  emet(courant);
  bOk = bOk && sortie.bEcrit(ESCAPE, nLargeur) && sortie.bEcrit(3, nLargeur) && sortie.bFinit();
  std::free(d);
  if (!bOk) return 0;
  dst[0] = COMPRESSEUR_VIEUXBLOC;
  EcritLE32(dst + 1, sortie.dwPos());
  EcritLE32(dst + 5, srcSize);
  dst[9] = dst[10] = 0;
  return TAILLE_ENTETE_BLOC + sortie.dwPos();
}

DWORD CVieuxBlocCompresseur::_dwCompression() {
  const DWORD dw = m_dwTailleSource > 19
                       ? VIEUXBLOC_dwCode(m_pbySource, m_dwTailleSource, m_pbyDestination, m_dwTailleSource + 3)
                       : 0;
  return dw != 0 ? dw : _dwCompresseCopie();
}

DWORD CVieuxBlocCompresseur::_dwDecompression() {
  if (m_pbySource[0] == COMPRESSEUR_COPIE) return _dwDecompresseCopie();
  return VIEUXBLOC_dwDecode(m_pbySource, m_dwTailleSource, m_pbyDestination, m_dwTailleDestination);
}
