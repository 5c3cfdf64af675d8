// The encodings of Encodeurs.h: base 64 (both forms) and the UU-style form.
// Encoding goes through a table of character pairs (12 bits a lookup);
// decoding of the base-64 forms through four tables that place each
// character's six bits, with a byte-at-a-time path for the ends, the
// padding and the UU-style form. The plain middle of a base-64 text goes
// through vector kernels (Base64Simd.cpp) when the processor has them.
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "crypto/Encodeurs.h"

#include "core/Allocation.h"
#include "crypto/Base64Interne.h"

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kEnteteUU[] = "begin 0666 uu\r\n";  // 15 characters
constexpr char kFinUU[] = "\r\nend\r\n";           // 7 characters
constexpr std::size_t nEnteteUU = 15, nFinUU = 7;

// Pairs of characters of a 12-bit value (first character in the low byte).
struct STPaires {
  std::array<WORD, 4096> aw{};
  explicit STPaires(const char* pszAlphabet) {
    for (unsigned v = 0; v < 4096; ++v)
      aw[v] = static_cast<WORD>(static_cast<BYTE>(pszAlphabet[v >> 6]) |
                                (static_cast<BYTE>(pszAlphabet[v & 63]) << 8));
  }
};

const STPaires& stPaires(bool bUU) {
  static const STPaires base64(kBase64);
  static const STPaires uu([] {
    static char sz[65];
    for (int i = 0; i < 64; ++i) sz[i] = static_cast<char>(i + 32);
    return sz;
  }());
  return bUU ? uu : base64;
}

// Decoding tables of a base-64 form: the value of each character placed for
// positions 0 to 3 of a group; bit 31 marks '=' in the padded form.
struct STDecodage {
  std::array<DWORD, 256> a0{}, a1{}, a2{}, a3{};
  explicit STDecodage(const CEncodeBase& cl, bool bPadding) {
    for (unsigned c = 0; c < 256; ++c) {
      const DWORD v = cl.__byDecodeChar(static_cast<char>(c)) & 63;
      const DWORD dwMarque = (bPadding && c == '=') ? 0x80000000u : 0;
      a0[c] = (v << 18) | dwMarque;
      a1[c] = (v << 12) | dwMarque;
      a2[c] = (v << 6) | dwMarque;
      a3[c] = v | dwMarque;
    }
  }
};

// Path in use, -1 before the first choice.
std::atomic<int> gnChemin{-1};

using PFEncode = char* (*)(const BYTE*, std::size_t, unsigned, unsigned&, char*);
using PFDecode = std::size_t (*)(const BYTE*, std::size_t, std::size_t, bool, BYTE*, std::size_t&);

PFEncode pfEncodeVecteur() {
  switch (BASE64_eChemin()) {
    case BASE64_AVX2: return kvb64::pEncodeAvx2;
    case BASE64_SSSE3: return kvb64::pEncodeSsse3;
    default: return nullptr;
  }
}

PFDecode pfDecodeVecteur() {
  switch (BASE64_eChemin()) {
    case BASE64_AVX2: return kvb64::nDecodeAvx2;
    case BASE64_SSSE3: return kvb64::nDecodeSsse3;
    default: return nullptr;
  }
}

inline void EcritPaire(char* out, WORD w) {
  out[0] = static_cast<char>(w & 0xFF);
  out[1] = static_cast<char>(w >> 8);
}

}  // namespace

bool BASE64_bCheminDisponible(eCHEMINBASE64 eChemin) {
  switch (eChemin) {
    case BASE64_SCALAIRE: return true;
    case BASE64_SSSE3: return kvb64::bSsse3Disponible();
    case BASE64_AVX2: return kvb64::bAvx2Disponible();
  }
  return false;
}

eCHEMINBASE64 BASE64_eChemin() {
  int n = gnChemin.load(std::memory_order_relaxed);
  if (n < 0) {
    n = BASE64_bCheminDisponible(BASE64_AVX2)    ? BASE64_AVX2
        : BASE64_bCheminDisponible(BASE64_SSSE3) ? BASE64_SSSE3
                                                 : BASE64_SCALAIRE;
    int nAttendu = -1;
    if (!gnChemin.compare_exchange_strong(nAttendu, n, std::memory_order_relaxed)) n = nAttendu;
  }
  return static_cast<eCHEMINBASE64>(n);
}

bool BASE64_bImposeChemin(eCHEMINBASE64 eChemin) {
  if (!BASE64_bCheminDisponible(eChemin)) return false;
  gnChemin.store(eChemin, std::memory_order_relaxed);
  return true;
}

const char* CEncodeBase::_pszAlphabet() const { return kBase64; }

const char* CEncodeUUEncode::_pszAlphabet() const {
  static const char* psz = [] {
    static char sz[65];
    for (int i = 0; i < 64; ++i) sz[i] = static_cast<char>(i + 32);
    return sz;
  }();
  return psz;
}

char CEncodeBase::__cEncodeByte(BYTE bySixBits) const { return kBase64[bySixBits & 63]; }

BYTE CEncodeBase::__byDecodeChar(char c) const {
  if (c >= 'A' && c <= 'Z') return static_cast<BYTE>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<BYTE>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<BYTE>(c - '0' + 52);
  if (c == '+') return 62;
  return 63;
}

BYTE CEncodeBase64::__byDecodeChar(char c) const { return c == '=' ? 0 : CEncodeBase::__byDecodeChar(c); }

// ---- encoding ----

std::size_t CEncodeBase::nTailleMorceau(const STEtatEncodage& etat, std::size_t length, unsigned groupsPerLine) const {
  if (_bUU()) groupsPerLine = UU_GROUPES_LIGNE;
  const std::size_t nGroupes = (etat.nReste + length) / 3;
  std::size_t n = nGroupes * 4;
  if (groupsPerLine > 0) n += 2 * ((etat.nGroupesLigne + nGroupes) / groupsPerLine);
  if (_bUU() && !etat.bDebut) n += nEnteteUU;
  return n;
}

std::size_t CEncodeBase::nEncodeMorceau(STEtatEncodage& etat, const BYTE* data, std::size_t length,
                                        unsigned groupsPerLine, char* out) {
  if (out == nullptr) return nTailleMorceau(etat, length, groupsPerLine);
  const bool bUU = _bUU();
  if (bUU) groupsPerLine = UU_GROUPES_LIGNE;
  const auto& paires = stPaires(bUU).aw;
  char* p = out;
  if (bUU && !etat.bDebut) {
    std::memcpy(p, kEnteteUU, nEnteteUU);
    p += nEnteteUU;
  }
  etat.bDebut = true;
  const unsigned nLigne = groupsPerLine > 0 ? groupsPerLine : 0xFFFFFFFFu;
  const PFEncode pfVecteur = bUU ? nullptr : pfEncodeVecteur();
  auto ecritGroupe = [&](DWORD g) {
    EcritPaire(p, paires[g >> 12]);
    EcritPaire(p + 2, paires[g & 0xFFF]);
    p += 4;
    if (++etat.nGroupesLigne == nLigne) {
      p[0] = '\r';
      p[1] = '\n';
      p += 2;
      etat.nGroupesLigne = 0;
    }
  };
  // Complete the group left by the previous piece.
  while (etat.nReste > 0 && length > 0) {
    etat.abyReste[etat.nReste++] = *data++;
    --length;
    if (etat.nReste == 3) {
      ecritGroupe((DWORD{etat.abyReste[0]} << 16) | (DWORD{etat.abyReste[1]} << 8) | etat.abyReste[2]);
      etat.nReste = 0;
    }
  }
  // Whole lines, then the groups of the last line.
  std::size_t nGroupes = length / 3;
  if (pfVecteur != nullptr) {
    p = pfVecteur(data, nGroupes, nLigne, etat.nGroupesLigne, p);
    data += 3 * nGroupes;
    nGroupes = 0;
  }
  while (nGroupes > 0) {
    std::size_t nPas = nLigne - etat.nGroupesLigne;
    if (nPas > nGroupes) nPas = nGroupes;
    // All but the last group of the step go without the line check.
    for (std::size_t i = 1; i < nPas; ++i) {
      const DWORD g = (DWORD{data[0]} << 16) | (DWORD{data[1]} << 8) | data[2];
      EcritPaire(p, paires[g >> 12]);
      EcritPaire(p + 2, paires[g & 0xFFF]);
      p += 4;
      data += 3;
    }
    etat.nGroupesLigne += static_cast<unsigned>(nPas - 1);
    ecritGroupe((DWORD{data[0]} << 16) | (DWORD{data[1]} << 8) | data[2]);
    data += 3;
    nGroupes -= nPas;
  }
  length %= 3;
  for (std::size_t i = 0; i < length; ++i) etat.abyReste[etat.nReste++] = data[i];
  return static_cast<std::size_t>(p - out);
}

std::size_t CEncodeBase::nEncodeFin(STEtatEncodage& etat, unsigned groupsPerLine, char* out) {
  (void)groupsPerLine;
  const bool bUU = _bUU();
  char buf[nTailleFin + nEnteteUU];
  char* p = buf;
  if (bUU && !etat.bDebut) {
    std::memcpy(p, kEnteteUU, nEnteteUU);
    p += nEnteteUU;
  }
  etat.bDebut = true;
  if (etat.nReste > 0) {
    const BYTE b0 = etat.abyReste[0], b1 = etat.nReste > 1 ? etat.abyReste[1] : 0;
    *p++ = __cEncodeByte(static_cast<BYTE>(b0 >> 2));
    *p++ = __cEncodeByte(static_cast<BYTE>(((b0 & 3) << 4) | (b1 >> 4)));
    if (etat.nReste == 2) *p++ = __cEncodeByte(static_cast<BYTE>((b1 & 15) << 2));
    if (_bPadding()) {
      *p++ = '=';
      if (etat.nReste == 1) *p++ = '=';
    }
    etat.nReste = 0;
  }
  if (bUU) {
    std::memcpy(p, kFinUU, nFinUU);
    p += nFinUU;
  }
  const std::size_t n = static_cast<std::size_t>(p - buf);
  if (out != nullptr) std::memcpy(out, buf, n);
  return n;
}

std::size_t CEncodeBase::nEncode(const BYTE* data, std::size_t length, unsigned groupsPerLine, char* out) {
  STEtatEncodage etat;
  if (out == nullptr) {
    std::size_t n = nTailleMorceau(etat, length, groupsPerLine);
    const std::size_t nReste = length % 3;
    if (nReste > 0) n += _bPadding() ? 4 : nReste + 1;
    if (_bUU()) n += nFinUU;
    return n;
  }
  std::size_t n = nEncodeMorceau(etat, data, length, groupsPerLine, out);
  return n + nEncodeFin(etat, groupsPerLine, out + n);
}

long CEncodeBase::nEncodeEtAlloue(const BYTE* data, std::size_t length, unsigned groupsPerLine, char*& out) {
  out = nullptr;
  const std::size_t n = nEncode(data, length, groupsPerLine, nullptr);
  char* p = static_cast<char*>(KV_pAlloue(n + 1));
  if (p == nullptr) return -1;
  const std::size_t nEcrit = nEncode(data, length, groupsPerLine, p);
  p[nEcrit] = '\0';
  out = p;
  return static_cast<long>(nEcrit);
}

// ---- decoding ----

std::size_t CEncodeBase::nDecode(const char* text, BYTE* out) {
  return text == nullptr ? 0 : nDecode(text, std::strlen(text), out);
}

// Whole groups of t[pos, fin) through the vectors and the tables, while no
// '=' is met (base-64 forms, out not null). Returns where it stopped.
std::size_t CEncodeBase::_nDecodeGroupes(const BYTE* t, std::size_t pos, std::size_t fin, BYTE* out,
                                         std::size_t& n) const {
  static const STDecodage orx(CEncodeBase64ORX(), false);
  static const STDecodage b64(CEncodeBase64(), true);
  const bool bPadding = _bPadding();
  const STDecodage& d = bPadding ? b64 : orx;
  const PFDecode pfVecteur = pfDecodeVecteur();
  while (fin - pos >= 4) {
    if (pfVecteur != nullptr && fin - pos >= 16) {
      pos = pfVecteur(t, pos, fin, bPadding, out, n);
      if (fin - pos < 4) break;
    }
    const BYTE c0 = t[pos];
    if (c0 == '\r' || c0 == '\n') {
      ++pos;
      continue;
    }
    const DWORD w = d.a0[c0] | d.a1[t[pos + 1]] | d.a2[t[pos + 2]] | d.a3[t[pos + 3]];
    if (w & 0x80000000u) break;
    out[n] = static_cast<BYTE>(w >> 16);
    out[n + 1] = static_cast<BYTE>(w >> 8);
    out[n + 2] = static_cast<BYTE>(w);
    n += 3;
    pos += 4;
  }
  return pos;
}

// Steps of t[pos, fin) a character at a time (out null: count only). With
// bFinal the text ends at fin and a last step of two or three characters
// gives its bytes; otherwise such a step is left and the position of its
// first character returned. bArret is set when decoding has ended.
std::size_t CEncodeBase::_nDecodeEtapes(const BYTE* t, std::size_t pos, std::size_t fin, bool bFinal, BYTE* out,
                                        std::size_t& n, bool& bArret) {
  const bool bPadding = _bPadding();
  while (pos < fin) {
    const char c0 = static_cast<char>(t[pos]);
    if (c0 == '\r' || c0 == '\n') {
      ++pos;
      continue;
    }
    const std::size_t r = fin - pos;
    if (r < 4 && !bFinal) return pos;
    if (r < 2 || (bPadding && c0 == '=')) {
      bArret = true;
      return pos;
    }
    const std::size_t k = r < 4 ? r : 4;
    BYTE v[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < k; ++i) v[i] = __byDecodeChar(static_cast<char>(t[pos + i]));
    std::size_t nOctets = k - 1;
    bool bFin = r < 4;
    if (bPadding) {
      if (t[pos + 1] == '=') {
        nOctets = 1;
        bFin = true;
      } else if (k >= 3 && t[pos + 2] == '=') {
        nOctets = (v[1] & 15) == 0 ? 1 : 2;
        bFin = true;
      } else if (k == 4 && t[pos + 3] == '=') {
        nOctets = (v[2] & 3) == 0 ? 2 : 3;
        bFin = true;
      }
    }
    if (out != nullptr) {
      const BYTE ab[3] = {static_cast<BYTE>((v[0] << 2) | (v[1] >> 4)), static_cast<BYTE>((v[1] << 4) | (v[2] >> 2)),
                          static_cast<BYTE>((v[2] << 6) | v[3])};
      for (std::size_t i = 0; i < nOctets; ++i) out[n + i] = ab[i];
    }
    n += nOctets;
    pos += k;
    if (bFin) {
      bArret = true;
      return pos;
    }
  }
  return pos;
}

std::size_t CEncodeBase::nDecode(const char* text, std::size_t length, BYTE* out) {
  if (text == nullptr) return 0;
  const auto* t = reinterpret_cast<const BYTE*>(text);
  std::size_t pos = 0, fin = 0, n = 0;
  if (!_bUU() && out != nullptr) {
    // The text is searched for a NUL a piece at a time just before it is
    // decoded, while it is in the cache: [0, fin) holds none.
    constexpr std::size_t MORCEAU = 32768;
    for (;;) {
      if (fin < length && fin - pos < MORCEAU / 2) {
        const std::size_t k = length - fin < MORCEAU ? length - fin : MORCEAU;
        const void* pNul = std::memchr(t + fin, 0, k);
        if (pNul != nullptr) {
          length = static_cast<std::size_t>(static_cast<const BYTE*>(pNul) - t);
          fin = length;
        } else {
          fin += k;
        }
      }
      pos = _nDecodeGroupes(t, pos, fin, out, n);
      // Stopped short of the known end ('=' met) or at the end: the rest
      // goes step by step.
      if (fin - pos >= 4 || fin == length) break;
    }
    length = fin + strnlen(text + fin, length - fin);
    fin = length;
  } else {
    length = strnlen(text, length);
    fin = length;
    if (_bUU()) {
      if (length < nEnteteUU + nFinUU) return 0;
      pos = nEnteteUU;
      fin = length - nFinUU;
    }
  }
  bool bArret = false;
  _nDecodeEtapes(t, pos, fin, true, out, n, bArret);
  return n;
}

// ---- decoding piece by piece ----

// Feeds run characters (no NUL among them) to the steps: the group left
// incomplete by the previous piece first, then whole groups, and keeps what
// does not make a whole group.
std::size_t CEncodeBase::_nDecodeFlux(STEtatDecodage& etat, const BYTE* t, std::size_t length, BYTE* out) {
  std::size_t n = 0, pos = 0;
  bool bArret = false;
  while (!etat.bFini && pos < length && etat.nReste > 0) {
    // Complete the group in hand (its first character is no line break).
    etat.acReste[etat.nReste++] = static_cast<char>(t[pos++]);
    if (etat.nReste < 4) continue;
    _nDecodeEtapes(reinterpret_cast<const BYTE*>(etat.acReste), 0, 4, false, out, n, bArret);
    etat.nReste = 0;
    etat.bFini = bArret;
  }
  if (etat.bFini || pos == length) return n;
  if (!_bUU() && out != nullptr) pos = _nDecodeGroupes(t, pos, length, out, n);
  pos = _nDecodeEtapes(t, pos, length, false, out, n, bArret);
  if (bArret) {
    etat.bFini = true;
    return n;
  }
  // Fewer than four characters from the start of a group are left.
  for (; pos < length; ++pos) etat.acReste[etat.nReste++] = static_cast<char>(t[pos]);
  return n;
}

std::size_t CEncodeBase::nDecodeMorceau(STEtatDecodage& etat, const char* text, std::size_t length, BYTE* out) {
  if (etat.bFini || text == nullptr) return 0;
  const std::size_t nTexte = strnlen(text, length);
  const auto* t = reinterpret_cast<const BYTE*>(text);
  std::size_t n = 0;
  if (!_bUU()) {
    n = _nDecodeFlux(etat, t, nTexte, out);
  } else {
    // The header is skipped; the last seven characters seen are held back,
    // for they may be the trailer.
    std::size_t pos = 0;
    while (pos < nTexte && etat.nVus < nEnteteUU) {
      ++pos;
      ++etat.nVus;
    }
    const std::size_t nNouveaux = nTexte - pos;
    etat.nVus += nNouveaux;
    if (etat.nFin + nNouveaux > nFinUU) {
      // Held characters that are now known not to be the trailer go first.
      const std::size_t nSortent = etat.nFin + nNouveaux - nFinUU;
      const std::size_t nDesTenus = nSortent < etat.nFin ? nSortent : etat.nFin;
      n += _nDecodeFlux(etat, reinterpret_cast<const BYTE*>(etat.acFin), nDesTenus, out);
      std::memmove(etat.acFin, etat.acFin + nDesTenus, etat.nFin - nDesTenus);
      etat.nFin -= static_cast<unsigned>(nDesTenus);
      const std::size_t nDuMorceau = nSortent - nDesTenus;
      n += _nDecodeFlux(etat, t + pos, nDuMorceau, out != nullptr ? out + n : nullptr);
      pos += nDuMorceau;
    }
    for (; pos < nTexte; ++pos) etat.acFin[etat.nFin++] = static_cast<char>(t[pos]);
  }
  // A NUL ends the text.
  if (nTexte < length && !etat.bFini) n += nDecodeFin(etat, out != nullptr ? out + n : nullptr);
  return n;
}

std::size_t CEncodeBase::nDecodeFin(STEtatDecodage& etat, BYTE* out) {
  std::size_t n = 0;
  if (!etat.bFini && etat.nReste > 0) {
    bool bArret = false;
    _nDecodeEtapes(reinterpret_cast<const BYTE*>(etat.acReste), 0, etat.nReste, true, out, n, bArret);
  }
  etat.nReste = 0;
  etat.nFin = 0;  // the UU-style trailer
  etat.bFini = true;
  return n;
}

long CEncodeBase::nDecodeEtAlloue(const char* text, BYTE*& out) {
  out = nullptr;
  const std::size_t nTexte = text != nullptr ? std::strlen(text) : 0;
  // At most three bytes per four characters (one or two for a last partial step).
  BYTE* p = static_cast<BYTE*>(KV_pAlloue(nTexte / 4 * 3 + 3));
  if (p == nullptr) return -1;
  out = p;
  return static_cast<long>(nDecode(text, nTexte, p));
}

CEncodeBase* pclGetEncodeur(int nEncodage) {
  switch (nEncodage) {
    case 1: return KV_pCree<CEncodeBase64ORX>();
    case 2: return KV_pCree<CEncodeBase64>();
    case 3: return KV_pCree<CEncodeUUEncode>();
    default: return nullptr;
  }
}
