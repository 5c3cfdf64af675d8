// Comparisons of Windows-1252 texts with the case and accent options.
#include "core/STR.h"

#include <array>
#include <cstdlib>
#include <cstring>

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

int STR_nCompare(const char* a, const char* b, unsigned nOptions) {
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

int STR_nMapStringEx(const char* pszSource, char* pszDest, int nTaille, unsigned nOptions) {
  if (pszDest == nullptr || nTaille <= 0) return 0;
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
