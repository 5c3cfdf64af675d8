// URL percent-encoding and decoding. The two tables say, for each byte,
// whether it is written as '%' and two upper-case hexadecimal digits; they
// are built at compile time from the characters each mode keeps.
#include <array>
#include <cstring>

#include "crypto/Encodeurs.h"

namespace {

constexpr bool bAlphanumerique(unsigned c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Code[mode][byte]: true when the byte is escaped.
constexpr std::array<std::array<bool, 256>, 2> TablesCode() {
  std::array<std::array<bool, 256>, 2> t{};
  constexpr char kGardes0[] = "@!#$&'()*,-./:;=?_";
  for (unsigned c = 0; c < 256; ++c) {
    bool bGarde0 = bAlphanumerique(c);
    for (const char* p = kGardes0; *p != '\0'; ++p) bGarde0 = bGarde0 || c == static_cast<unsigned char>(*p);
    t[0][c] = !bGarde0;
    t[1][c] = !bAlphanumerique(c);
  }
  return t;
}

constexpr auto gCode = TablesCode();
constexpr char kHexa[] = "0123456789ABCDEF";

const std::array<bool, 256>& tableMode(int mode) { return gCode[mode == 1 ? 1 : 0]; }

int nHexa(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The HTML entity of the euro sign, percent-encoded, after its '%'.
constexpr char kEuro[] = "%26%238364%3B";
constexpr std::size_t nEuro = 13;

// Walks text, giving each decoded byte to emet; returns the count.
template <class F>
std::size_t nDecodeURL(const char* text, F emet) {
  std::size_t n = 0;
  if (text == nullptr) return 0;
  for (const char* p = text; *p != '\0';) {
    const char c = *p;
    if (c == '+') {
      emet(n++, ' ');
      ++p;
    } else if (c == '%') {
      if (std::strncmp(p, kEuro, nEuro) == 0) {
        emet(n++, '\x80');
        p += nEuro;
      } else if (p[1] != '\0' && p[2] != '\0') {
        // A character that is not a hexadecimal digit counts as 0.
        const int h = nHexa(p[1]), l = nHexa(p[2]);
        emet(n++, static_cast<char>(((h < 0 ? 0 : h) << 4) | (l < 0 ? 0 : l)));
        p += 3;
      } else {
        break;
      }
    } else {
      emet(n++, c);
      ++p;
    }
  }
  return n;
}

}  // namespace

std::size_t nCalculeLongueurEncodee(const char* text, int mode) {
  if (text == nullptr) return 0;
  const auto& code = tableMode(mode);
  std::size_t n = 0;
  for (const char* p = text; *p != '\0'; ++p) n += code[static_cast<unsigned char>(*p)] ? 3 : 1;
  return n;
}

void EncodeURL(const char* text, char* out, int mode) {
  if (text == nullptr) return;
  const auto& code = tableMode(mode);
  for (const char* p = text; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (code[c]) {
      *out++ = '%';
      *out++ = kHexa[c >> 4];
      *out++ = kHexa[c & 15];
    } else {
      *out++ = static_cast<char>(c);
    }
  }
}

std::size_t nCalculeLongueurDecodee(const char* text) {
  return nDecodeURL(text, [](std::size_t, char) {});
}

std::size_t DecodeURL(const char* text, char* out) {
  return nDecodeURL(text, [out](std::size_t i, char c) { out[i] = c; });
}
