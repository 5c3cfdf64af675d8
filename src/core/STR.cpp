// Comparisons of texts with the case and accent options: Windows-1252
// bytes, or UTF-8 characters when the VM declared UTF-8.
#include "core/STR.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/CodePage.h"

namespace {

// Base letter of each Windows-1252 byte (accents dropped), case kept.
constexpr std::array<unsigned char, 256> tableSansAccent() {
  std::array<unsigned char, 256> t{};
  for (unsigned i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  const char* haut = "AAAAAAACEEEEIIIIDNOOOOO\xD7OUUUUY\xDE\xDF";  // C0-DF
  const char* bas = "aaaaaaaceeeeiiiidnooooo\xF7ouuuuy\xFEy";     // E0-FF
  for (unsigned i = 0; i < 32; ++i) {
    t[0xC0 + i] = static_cast<unsigned char>(haut[i]);
    t[0xE0 + i] = static_cast<unsigned char>(bas[i]);
  }
  t[0x8A] = 'S'; t[0x8C] = 'O'; t[0x8E] = 'Z';
  t[0x9A] = 's'; t[0x9C] = 'o'; t[0x9E] = 'z'; t[0x9F] = 'Y';
  return t;
}

// Lower-case form of each Windows-1252 byte.
constexpr std::array<unsigned char, 256> tableMinuscule() {
  std::array<unsigned char, 256> t{};
  for (unsigned i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (unsigned i = 'A'; i <= 'Z'; ++i) t[i] = static_cast<unsigned char>(i + 32);
  for (unsigned i = 0xC0; i <= 0xDE; ++i) {
    if (i != 0xD7) t[i] = static_cast<unsigned char>(i + 32);
  }
  t[0x8A] = 0x9A; t[0x8C] = 0x9C; t[0x8E] = 0x9E; t[0x9F] = 0xFF;
  return t;
}

constexpr auto gtabSansAccent = tableSansAccent();
constexpr auto gtabMinuscule = tableMinuscule();

int gnAlphabet = 0;
_stCHARTAB* gpstAlphabet = nullptr;

}  // namespace

unsigned char STR_byCompare(unsigned char c, unsigned nOptions) {
  if (nOptions & STR_IGNORE_ACCENTS) c = gtabSansAccent[c];
  if (nOptions & STR_IGNORE_CASSE) c = gtabMinuscule[c];
  return c;
}

namespace {

// Base letters of U+0100 to U+017F (Latin Extended-A); '*' keeps the letter.
constexpr char gszLatinEtenduA[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi**JjKk*LlLlLlLlLlNnNnNn***OoOoOo**RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(sizeof gszLatinEtenduA == 0x80 + 1, "one letter per code point");

// Greek letters with tonos (U+0386 to U+03CE) and their bare forms.
char32_t cGrecSansTonos(char32_t c) {
  switch (c) {
    case 0x386: return 0x391;
    case 0x388: return 0x395;
    case 0x389: return 0x397;
    case 0x38A: return 0x399;
    case 0x38C: return 0x39F;
    case 0x38E: return 0x3A5;
    case 0x38F: return 0x3A9;
    case 0x390: return 0x3B9;
    case 0x3AA: return 0x399;
    case 0x3AB: return 0x3A5;
    case 0x3AC: return 0x3B1;
    case 0x3AD: return 0x3B5;
    case 0x3AE: return 0x3B7;
    case 0x3AF: return 0x3B9;
    case 0x3B0: return 0x3C5;
    case 0x3CA: return 0x3B9;
    case 0x3CB: return 0x3C5;
    case 0x3CC: return 0x3BF;
    case 0x3CD: return 0x3C5;
    case 0x3CE: return 0x3C9;
    default: return c;
  }
}

// Lower case of the letters outside Windows-1252 that have one: Latin
// Extended-A, Greek, Cyrillic.
char32_t cMinusculeEtendue(char32_t c) {
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    bool bPaireMajuscule = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E) ? (c & 1) != 0 : (c & 1) == 0;
    return bPaireMajuscule ? c + 1 : c;
  }
  if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  switch (c) {
    case 0x386: return 0x3AC;
    case 0x388: case 0x389: case 0x38A: return c + 0x25;
    case 0x38C: return 0x3CC;
    case 0x38E: case 0x38F: return c + 0x3F;
    case 0x3AA: case 0x3AB: return c + 0x20;
    case 0x3C2: return 0x3C3;  // final sigma
    default: return c;
  }
}

// One character of UTF-8 text as the comparison sees it under the options:
// a character of Windows-1252 as its mapped byte (so texts sort as they do
// in that page), a letter of Latin Extended-A without its accent as its
// base letter, any other character after 0xFF in code point order.
char32_t cCleCompare(char32_t c, unsigned nOptions) {
  if (nOptions & STR_IGNORE_ACCENTS) {
    if (c >= 0x100 && c <= 0x17F && gszLatinEtenduA[c - 0x100] != '*' && CP_n1252DepuisUnicode(c) < 0)
      c = static_cast<unsigned char>(gszLatinEtenduA[c - 0x100]);
    c = cGrecSansTonos(c);
  }
  int b = CP_n1252DepuisUnicode(c);
  if (b >= 0 && c < CP_OCTET_BRUT) return STR_byCompare(static_cast<unsigned char>(b), nOptions);
  if (nOptions & STR_IGNORE_CASSE) c = cMinusculeEtendue(c);
  return 0x100 + c;
}

// The same character mapped for STR_nMapStringEx (a code point again).
char32_t cMappe(char32_t c, unsigned nOptions) {
  if (nOptions & STR_IGNORE_ACCENTS) {
    if (c >= 0x100 && c <= 0x17F && gszLatinEtenduA[c - 0x100] != '*' && CP_n1252DepuisUnicode(c) < 0)
      c = static_cast<unsigned char>(gszLatinEtenduA[c - 0x100]);
    c = cGrecSansTonos(c);
  }
  int b = CP_n1252DepuisUnicode(c);
  if (b >= 0 && c < CP_OCTET_BRUT) return CP_c1252VersUnicode(STR_byCompare(static_cast<unsigned char>(b), nOptions));
  return (nOptions & STR_IGNORE_CASSE) ? cMinusculeEtendue(c) : c;
}

int nCompareUTF8(const char* a, const char* b, unsigned nOptions) {
  const char* pa = a;
  const char* pb = b;
  const char* fa = a + std::strlen(a);
  const char* fb = b + std::strlen(b);
  for (;;) {
    if (pa == fa || pb == fb) return (pa != fa) - (pb != fb);
    char32_t ca = cCleCompare(CP_cLitCaractere(&pa, fa), nOptions);
    char32_t cb = cCleCompare(CP_cLitCaractere(&pb, fb), nOptions);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
}

}  // namespace

int STR_nCompare(const char* a, const char* b, unsigned nOptions) {
  if (CP_bUTF8()) return nCompareUTF8(a, b, nOptions);
  auto pa = reinterpret_cast<const unsigned char*>(a);
  auto pb = reinterpret_cast<const unsigned char*>(b);
  for (;; ++pa, ++pb) {
    int d = STR_byCompare(*pa, nOptions) - STR_byCompare(*pb, nOptions);
    if (d != 0 || *pa == 0) return d;
  }
}

int STR_nNullCompare(const char* a, const char* b, unsigned nOptions) {
  if (a == nullptr || b == nullptr) return (a != nullptr) - (b != nullptr);
  return STR_nCompare(a, b, nOptions);
}

void STR_ChangeAlphabet(int nAlphabet, _stCHARTAB* pstTable) {
  gnAlphabet = nAlphabet;
  gpstAlphabet = pstTable;
  // The alphabet is the VM's character set: its code page becomes the
  // library's (65001 UTF-8); a set without a code page means Windows-1252.
  DWORD nPage = dwGetCodePageFromCharset(static_cast<DWORD>(nAlphabet));
  CP_SetPageCourante(nPage != 0 ? nPage : 1252);
}

_stCHARTAB* STR_pstGetAlphabet(int* pnAlphabet) {
  if (pnAlphabet != nullptr) *pnAlphabet = gnAlphabet;
  return gpstAlphabet;
}

namespace {
void* gpiInfoAlphabet = nullptr;
}  // namespace

void STR_ChangeInfoAlphabet(void* piInfo) { gpiInfoAlphabet = piInfo; }

void* STR_piGetInfoAlphabet() { return gpiInfoAlphabet; }

namespace {

// The UTF-8 form of STR_nMapStringEx: characters mapped whole, never cut.
int nMapUTF8(const char* pszSource, char* pszDest, int nTaille, unsigned nOptions) {
  unsigned nComp = ((nOptions & 1) ? STR_IGNORE_CASSE : 0u) | ((nOptions & 2) ? STR_IGNORE_ACCENTS : 0u);
  const char* p = pszSource != nullptr ? pszSource : "";
  const char* pFin = p + std::strlen(p);
  std::string sortie;
  while (p < pFin) {
    char32_t c = cMappe(CP_cLitCaractere(&p, pFin), nComp);
    if (nOptions & 4) {
      // Letters and digits kept: in Windows-1252 as for 8-bit text; beyond
      // it, every character but punctuation, symbols and spaces.
      char32_t base = cCleCompare(c, STR_IGNORE_ACCENTS | STR_IGNORE_CASSE);
      bool lettre = base < 0x100 ? (base >= 'a' && base <= 'z') || (base >= '0' && base <= '9') || base >= 0xC0
                                 : !(c >= 0x2000 && c <= 0x2BFF) && !(c >= 0x3000 && c <= 0x303F) && c < CP_OCTET_BRUT;
      if (!lettre) continue;
    }
    std::string un;
    CP_AjouteCaractere(&un, c);
    if (static_cast<int>(sortie.size() + un.size()) > nTaille - 1) break;
    sortie += un;
  }
  std::memcpy(pszDest, sortie.data(), sortie.size());
  pszDest[sortie.size()] = '\0';
  return static_cast<int>(sortie.size());
}

}  // namespace

int STR_nMapStringEx(const char* pszSource, char* pszDest, int nTaille, unsigned nOptions) {
  if (pszDest == nullptr || nTaille <= 0) return 0;
  if (CP_bUTF8()) return nMapUTF8(pszSource, pszDest, nTaille, nOptions);
  int n = 0;
  for (auto p = reinterpret_cast<const unsigned char*>(pszSource != nullptr ? pszSource : ""); *p && n < nTaille - 1;
       ++p) {
    unsigned char c = STR_byCompare(*p, ((nOptions & 1) ? STR_IGNORE_CASSE : 0u) | ((nOptions & 2) ? STR_IGNORE_ACCENTS : 0u));
    if (nOptions & 4) {
      unsigned char base = STR_byCompare(c, STR_IGNORE_ACCENTS | STR_IGNORE_CASSE);
      bool lettre = (base >= 'a' && base <= 'z') || (base >= '0' && base <= '9') || base >= 0xC0;
      if (!lettre) continue;
    }
    pszDest[n++] = static_cast<char>(c);
  }
  pszDest[n] = '\0';
  return n;
}

char* STR_pszCreate(const char* psz) { return psz != nullptr ? strdup(psz) : nullptr; }

void STR_Delete(char* psz) { std::free(psz); }
