// Text helpers of kvrun.
#include "Text.h"

#include <cstdint>

#include "Catalog.h"

namespace kvrun {

namespace {

// Code points of Windows-1252 bytes 0x80 to 0x9F; the five bytes without a
// character stand for the control of the same number, so that every byte
// (a file name the library lists, say) comes back unchanged.
const std::uint16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string toUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size());
  for (char ch : cp1252) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80 && c < 0xA0) {
      appendUtf8(out, kHigh[c - 0x80]);
    } else {
      appendUtf8(out, c);
    }
  }
  return out;
}

std::string fromUtf8(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp = 0;
    std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool valid = n > 0 && i + n <= utf8.size();
    if (valid) {
      cp = n == 1 ? c : c & (0xFF >> (n + 1));
      for (std::size_t k = 1; k < n; ++k) {
        auto b = static_cast<unsigned char>(utf8[i + k]);
        if ((b & 0xC0) != 0x80) valid = false;
        cp = (cp << 6) | (b & 0x3F);
      }
      if (n > 1 && cp < 0x80) valid = false;
    }
    if (!valid) {  // not UTF-8: a Windows-1252 byte as it stands
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    i += n;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (int k = 0; k < 32; ++k) {
      if (kHigh[k] == cp) mapped = static_cast<char>(0x80 + k);
    }
    out += mapped;
  }
  return out;
}

std::string toHex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::optional<std::string> fromHex(std::string_view hex) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int a = digit(hex[i]), b = digit(hex[i + 1]);
    if (a < 0 || b < 0) return std::nullopt;
    out += static_cast<char>(a * 16 + b);
  }
  return out;
}

bool matchesPattern(std::string_view pattern, std::string_view name) {
  std::string p = kvhost::foldName(pattern), n = kvhost::foldName(name);
  if (p.find_first_of("*?") == std::string::npos) return n.find(p) != std::string::npos;
  // Iterative wildcard matching with backtracking on the last star.
  std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
      ++pi, ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace kvrun
