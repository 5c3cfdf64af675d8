// Conversions between code pages, wide characters, UTF-8 and UTF-16; the
// Windows numbers of character sets, code pages and languages.
#include "core/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

unsigned gnPageCourante = 1252;

// Runs one whole conversion; false when iconv cannot open or refuses it.
bool bConvertit(const char* pszVers, const char* pszDe, const char* pSource, std::size_t nSource, std::string* psSortie) {
  iconv_t cd = iconv_open(pszVers, pszDe);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  psSortie->assign(nSource * 4 + 16, '\0');
  char* pIn = const_cast<char*>(pSource);
  std::size_t nIn = nSource;
  std::size_t nFait = 0;
  bool bOk = true;
  while (nIn > 0) {
    char* pOut = psSortie->data() + nFait;
    std::size_t nOut = psSortie->size() - nFait;
    std::size_t r = iconv(cd, &pIn, &nIn, &pOut, &nOut);
    nFait = psSortie->size() - nOut;
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) {
        psSortie->resize(psSortie->size() * 2);
        continue;
      }
      bOk = false;
      break;
    }
  }
  iconv_close(cd);
  psSortie->resize(nFait);
  return bOk;
}

// Wide side: "UCS4LE", or "UTF32LE" where that name is unknown.
bool bConvertitLarge(bool bVersLarge, const char* pszEtroit, const char* pSource, std::size_t nSource,
                     std::string* psSortie) {
  for (const char* pszLarge : {"UCS4LE", "UTF32LE"}) {
    iconv_t cd = bVersLarge ? iconv_open(pszLarge, pszEtroit) : iconv_open(pszEtroit, pszLarge);
    if (cd == reinterpret_cast<iconv_t>(-1)) continue;
    iconv_close(cd);
    return bVersLarge ? bConvertit(pszLarge, pszEtroit, pSource, nSource, psSortie)
                      : bConvertit(pszEtroit, pszLarge, pSource, nSource, psSortie);
  }
  return false;
}

// Copies a conversion result into the caller's destination, Windows style.
template <class T>
int nRendu(const std::string& s, T* pDest, int nDest) {
  int n = static_cast<int>(s.size() / sizeof(T));
  if (nDest == 0) return n;
  if (pDest == nullptr || n > nDest) return 0;
  std::memcpy(pDest, s.data(), s.size());
  return n;
}

std::size_t nLongueurSource8(const char* psz, int n) {
  return n < 0 ? std::strlen(psz) + 1 : static_cast<std::size_t>(n);
}

}  // namespace

const char* CP_pszNomIconv(unsigned nPageCode) {
  switch (nPageCode) {
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 1361: return "CP1361";
    case CP_UTF8: return "UTF-8";
    default: return "CP1252";
  }
}

unsigned CP_nGetPageCourante() { return gnPageCourante; }
void CP_SetPageCourante(unsigned nPageCode) { gnPageCourante = nPageCode; }
bool CP_bUTF8() { return gnPageCourante == CP_UTF8; }

namespace {

// Code points of Windows-1252 bytes 0x80 to 0x9F; the bytes without a
// character keep their own number.
constexpr char32_t gtab1252Haut[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of a valid UTF-8 sequence at p (n bytes available), 0 when none.
int nSequenceUTF8(const unsigned char* p, std::size_t n, char32_t* pc) {
  unsigned char c = p[0];
  int nLong;
  char32_t cp;
  if (c < 0x80) {
    *pc = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    nLong = 2, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    nLong = 3, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    nLong = 4, cp = c & 0x07;
  } else {
    return 0;
  }
  if (n < static_cast<std::size_t>(nLong)) return 0;
  for (int k = 1; k < nLong; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[k] & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  if ((nLong == 3 && cp < 0x800) || (nLong == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  *pc = cp;
  return nLong;
}

void AjouteUTF8(std::string* ps, char32_t c) {
  if (c >= CP_OCTET_BRUT + 0x80 && c <= CP_OCTET_BRUT + 0xFF) {
    *ps += static_cast<char>(c - CP_OCTET_BRUT);
  } else if (c < 0x80) {
    *ps += static_cast<char>(c);
  } else if (c < 0x800) {
    *ps += static_cast<char>(0xC0 | (c >> 6));
    *ps += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *ps += static_cast<char>(0xE0 | (c >> 12));
    *ps += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *ps += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *ps += static_cast<char>(0xF0 | (c >> 18));
    *ps += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *ps += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *ps += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

char32_t CP_c1252VersUnicode(unsigned char c) { return c >= 0x80 && c < 0xA0 ? gtab1252Haut[c - 0x80] : c; }

int CP_n1252DepuisUnicode(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  if (c >= CP_OCTET_BRUT + 0x80 && c <= CP_OCTET_BRUT + 0xFF) return static_cast<int>(c - CP_OCTET_BRUT);
  for (int k = 0; k < 32; ++k) {
    if (gtab1252Haut[k] == c) return 0x80 + k;
  }
  return -1;
}

char32_t CP_cLitCaractere(const char** pp, const char* pFin) {
  auto p = reinterpret_cast<const unsigned char*>(*pp);
  if (!CP_bUTF8()) {
    ++*pp;
    return CP_c1252VersUnicode(*p);
  }
  char32_t c;
  int n = nSequenceUTF8(p, static_cast<std::size_t>(pFin - *pp), &c);
  if (n == 0) {
    ++*pp;
    return CP_OCTET_BRUT + *p;
  }
  *pp += n;
  return c;
}

int CP_nLongueurCaractere(const char* p) {
  if (*p == '\0') return 0;
  if (!CP_bUTF8()) return 1;
  char32_t c;
  // The terminator stops a sequence, so four bytes may be looked at.
  std::size_t nDispo = 1;
  while (nDispo < 4 && p[nDispo] != '\0') ++nDispo;
  int n = nSequenceUTF8(reinterpret_cast<const unsigned char*>(p), nDispo, &c);
  return n == 0 ? 1 : n;
}

std::u32string CP_sDecode(const char* p, std::size_t n) {
  std::u32string s;
  s.reserve(n);
  for (const char* pFin = p + n; p < pFin;) s += CP_cLitCaractere(&p, pFin);
  return s;
}

void CP_AjouteCaractere(std::string* ps, char32_t c) {
  if (CP_bUTF8()) {
    AjouteUTF8(ps, c);
    return;
  }
  int b = CP_n1252DepuisUnicode(c);
  *ps += static_cast<char>(b >= 0 ? b : '?');
}

std::string CP_sEncode(const std::u32string& s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t c : s) CP_AjouteCaractere(&out, c);
  return out;
}

std::string CP_sDepuis1252(const char* p, std::size_t n) {
  if (!CP_bUTF8()) return std::string(p, n);
  std::string out;
  out.reserve(n + n / 8);
  for (std::size_t i = 0; i < n; ++i) AjouteUTF8(&out, CP_c1252VersUnicode(static_cast<unsigned char>(p[i])));
  return out;
}

int MultiByteToWideChar(unsigned nPageCode, DWORD, const char* pszSource, int nSource, wchar_t* pwDest, int nDest) {
  if (pszSource == nullptr || nDest < 0) return 0;
  std::string s;
  if (!bConvertitLarge(true, CP_pszNomIconv(nPageCode), pszSource, nLongueurSource8(pszSource, nSource), &s)) return 0;
  return nRendu(s, pwDest, nDest);
}

int WideCharToMultiByte(unsigned nPageCode, DWORD, const wchar_t* pwSource, int nSource, char* pszDest, int nDest,
                        const char* pszDefaut, BOOL* pbDefautUtilise) {
  if (pbDefautUtilise != nullptr) *pbDefautUtilise = 0;
  if (pwSource == nullptr || nDest < 0) return 0;
  std::size_t n = nSource < 0 ? std::wcslen(pwSource) + 1 : static_cast<std::size_t>(nSource);
  const char* pszNom = CP_pszNomIconv(nPageCode);
  std::string s;
  if (!bConvertitLarge(false, pszNom, reinterpret_cast<const char*>(pwSource), n * sizeof(wchar_t), &s)) {
    if (pszDefaut == nullptr) return 0;
    // Characters without a form in the code page become the default one.
    s.clear();
    for (std::size_t i = 0; i < n; ++i) {
      std::string one;
      if (bConvertitLarge(false, pszNom, reinterpret_cast<const char*>(pwSource + i), sizeof(wchar_t), &one)) {
        s += one;
      } else {
        s += *pszDefaut;
        if (pbDefautUtilise != nullptr) *pbDefautUtilise = 1;
      }
    }
  }
  return nRendu(s, pszDest, nDest);
}

int MultiByteToUTF8(unsigned nPageCode, const char* pszSource, int nSource, char* pszDest, int nDest) {
  if (pszSource == nullptr || nDest < 0) return 0;
  std::string s;
  if (!bConvertit("UTF-8", CP_pszNomIconv(nPageCode), pszSource, nLongueurSource8(pszSource, nSource), &s)) return 0;
  return nRendu(s, pszDest, nDest);
}

int UTF8ToMultiByte(const char* pszSource, int nSource, char* pszDest, int nDest) {
  if (pszSource == nullptr || nDest < 0) return 0;
  std::string s;
  if (!bConvertit(CP_pszNomIconv(gnPageCourante), "UTF-8", pszSource, nLongueurSource8(pszSource, nSource), &s))
    return 0;
  return nRendu(s, pszDest, nDest);
}

int MultiByteToUTF16(unsigned nPageCode, const char* pszSource, int nSource, WORD* pwDest, int nDest) {
  if (pszSource == nullptr || nDest < 0) return 0;
  std::string s;
  if (!bConvertit("UTF-16LE", CP_pszNomIconv(nPageCode), pszSource, nLongueurSource8(pszSource, nSource), &s))
    return 0;
  return nRendu(s, pwDest, nDest);
}

int UTF16ToMultiByte(unsigned nPageCode, const WORD* pwSource, int nSource, char* pszDest, int nDest) {
  if (pwSource == nullptr || nDest < 0) return 0;
  std::size_t n = nSource < 0 ? static_cast<std::size_t>(utf16len(pwSource)) + 1 : static_cast<std::size_t>(nSource);
  std::string s;
  if (!bConvertit(CP_pszNomIconv(nPageCode), "UTF-16LE", reinterpret_cast<const char*>(pwSource), n * 2, &s)) return 0;
  return nRendu(s, pszDest, nDest);
}

int UTF8Len(const char* psz) {
  int n = 0;
  for (; psz != nullptr && *psz != '\0'; psz = UTF8next(psz)) ++n;
  return n;
}

const char* UTF8next(const char* psz) {
  if (*psz == '\0') return psz;
  ++psz;
  while ((static_cast<unsigned char>(*psz) & 0xC0) == 0x80) ++psz;
  return psz;
}

int utf16len(const WORD* pw) {
  int n = 0;
  while (pw[n] != 0) ++n;
  return n;
}

int utf16nlen(const WORD* pw, int nMax) {
  int n = 0;
  while (n < nMax && pw[n] != 0) ++n;
  return n;
}

WORD* utf16ncpy(WORD* pwDest, const WORD* pwSource, int n) {
  int i = 0;
  for (; i < n && pwSource[i] != 0; ++i) pwDest[i] = pwSource[i];
  for (; i < n; ++i) pwDest[i] = 0;
  return pwDest;
}

namespace {
WORD wMinuscule(WORD w) {
  if ((w >= 'A' && w <= 'Z') || (w >= 0xC0 && w <= 0xDE && w != 0xD7)) return static_cast<WORD>(w + 32);
  return w;
}
}  // namespace

int utf16nicmp(const WORD* a, const WORD* b, int n) {
  for (int i = 0; i < n; ++i) {
    int d = static_cast<int>(wMinuscule(a[i])) - static_cast<int>(wMinuscule(b[i]));
    if (d != 0 || a[i] == 0) return d;
  }
  return 0;
}

const WORD* utf16niutf16(const WORD* pwTexte, const WORD* pwCherche, int n) {
  int nCherche = utf16len(pwCherche);
  int nTexte = utf16nlen(pwTexte, n);
  for (int i = 0; i + nCherche <= nTexte; ++i) {
    if (utf16nicmp(pwTexte + i, pwCherche, nCherche) == 0) return pwTexte + i;
  }
  return nullptr;
}

int WideCharToUTF16(const wchar_t* pwSource, int nSource, WORD* pwDest, int nDest) {
  std::size_t n = nSource < 0 ? std::wcslen(pwSource) : static_cast<std::size_t>(nSource);
  std::vector<WORD> v;
  for (std::size_t i = 0; i < n; ++i) {
    auto c = static_cast<std::uint32_t>(pwSource[i]);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      v.push_back(static_cast<WORD>(0xD800 + (c >> 10)));
      v.push_back(static_cast<WORD>(0xDC00 + (c & 0x3FF)));
    } else {
      v.push_back(static_cast<WORD>(c > 0x10FFFF ? 0xFFFD : c));
    }
  }
  if (nDest == 0) return static_cast<int>(v.size());
  if (pwDest == nullptr || static_cast<int>(v.size()) > nDest) return 0;
  std::memcpy(pwDest, v.data(), v.size() * 2);
  return static_cast<int>(v.size());
}

int UTF16ToWideChar(const WORD* pwSource, int nSource, wchar_t* pwDest, int nDest) {
  int n = nSource < 0 ? utf16len(pwSource) : nSource;
  std::vector<wchar_t> v;
  for (int i = 0; i < n; ++i) {
    std::uint32_t c = pwSource[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && pwSource[i + 1] >= 0xDC00 && pwSource[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (pwSource[i + 1] - 0xDC00u);
      ++i;
    }
    v.push_back(static_cast<wchar_t>(c));
  }
  if (nDest == 0) return static_cast<int>(v.size());
  if (pwDest == nullptr || static_cast<int>(v.size()) > nDest) return 0;
  std::memcpy(pwDest, v.data(), v.size() * sizeof(wchar_t));
  return static_cast<int>(v.size());
}

DWORD dwGetCodePageFromCharset(DWORD nCharset) {
  switch (nCharset) {
    case 0: return 1252;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 1252;
    case 65001: return 65001;
    default: return 0;
  }
}

WORD wGetLanguageID(DWORD nCharset) {
  switch (nCharset) {
    case 128: return 17;
    case 129:
    case 130: return 18;
    case 134: return 2052;
    case 136: return 1028;
    case 161: return 8;
    case 162: return 31;
    case 163: return 42;
    case 177: return 13;
    case 178: return 1;
    case 186: return 37;
    case 204: return 1049;
    case 222: return 30;
    case 238: return 21;
    default: return 0;
  }
}

int nGetCharsetFromLanguage(DWORD nLangueId) {
  DWORD primaire = nLangueId & 0x3FF;
  DWORD sous = nLangueId >> 10;
  switch (primaire) {
    case 1: return 178;
    case 2: case 25: case 34: case 35: return 204;
    case 4: return sous == 1 ? 136 : 134;
    case 5: case 14: case 21: case 24: case 27: case 28: case 36: case 47: return 238;
    case 8: return 161;
    case 13: return 177;
    case 17: return 128;
    case 18: return 129;
    case 26: return sous == 3 ? 204 : 238;
    case 30: return 222;
    case 31: return 162;
    case 37: case 38: case 39: return 186;
    case 42: return 163;
    case 43: case 55: return 65001;
    case 67: return sous == 2 ? 204 : 238;
    default: return 0;
  }
}

int GetCharSetFromLanguageID(DWORD nLangueId) { return nGetCharsetFromLanguage(nLangueId); }

void ChangeLocale(DWORD nCharset) {
  DWORD nPage = dwGetCodePageFromCharset(nCharset);
  if (nPage == 0) return;
  const char* pszPrefixe;
  switch (nCharset) {
    case 161: pszPrefixe = "greek_greece"; break;
    case 162: pszPrefixe = "turkey_turkish"; break;
    case 177:
    case 178: pszPrefixe = ""; break;
    case 204: pszPrefixe = "russian_russia"; break;
    default: return;
  }
  char szLocale[64];
  std::snprintf(szLocale, sizeof szLocale, "%s.%u", pszPrefixe, static_cast<unsigned>(nPage));
  setlocale(LC_ALL, szLocale);
}
