// The library's character set as kvrun declares it and converts for it.
#include "Charset.h"

#include <sys/stat.h>

#include <cstdlib>

#include "Runtime.h"
#include "Text.h"

namespace kvrun {

namespace {

unsigned gCharset = kvhost::kCharset1252;

// The word as valid UTF-8 with at least one character beyond ASCII.
bool isUtf8BeyondAscii(std::string_view s) {
  bool beyond = false;
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    beyond = beyond || n > 1;
    i += n;
  }
  return beyond;
}

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::optional<unsigned> parseCharset(std::string_view name) {
  std::string n;
  for (char c : name) n += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (n == "utf-8" || n == "utf8" || n == "65001") return kvhost::kCharsetUtf8;
  if (n == "1252" || n == "cp1252" || n == "windows-1252") return kvhost::kCharset1252;
  return std::nullopt;
}

unsigned charsetFromLocale() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') continue;
    std::string s;
    for (const char* p = v; *p; ++p) s += static_cast<char>(*p >= 'A' && *p <= 'Z' ? *p + 32 : *p);
    return s.find("utf-8") != std::string::npos || s.find("utf8") != std::string::npos ? kvhost::kCharsetUtf8
                                                                                          : kvhost::kCharset1252;
  }
  return kvhost::kCharset1252;
}

void setLibraryCharset(unsigned charset) { gCharset = charset; }
unsigned libraryCharset() { return gCharset; }
bool libraryIsUtf8() { return gCharset == kvhost::kCharsetUtf8; }

std::string fromLibrary(std::string_view text) { return libraryIsUtf8() ? std::string(text) : toUtf8(text); }

std::optional<std::string> toLibrary(std::string_view utf8, std::string* why) {
  if (libraryIsUtf8()) return std::string(utf8);
  std::string out = fromUtf8(utf8);
  // fromUtf8 writes '?' for a character it cannot map: any '?' that was
  // not in the input is such a character.
  std::size_t asked = 0, given = 0;
  for (char c : utf8) asked += c == '?';
  for (char c : out) given += c == '?';
  if (given != asked) {
    if (why) {
      *why = "'" + std::string(utf8) +
             "' holds characters that Windows-1252 does not have (--charset utf-8 passes text as it is)";
    }
    return std::nullopt;
  }
  return out;
}

std::string charsetHint(const std::vector<std::string>& words) {
  if (libraryIsUtf8()) return {};
  for (const auto& w : words) {
    if (!isUtf8BeyondAscii(w) || !exists(w)) continue;
    std::string latin = fromUtf8(w);
    if (exists(latin)) continue;
    return "kvrun: '" + w + "' exists in UTF-8, which Windows-1252 text does not name; try kvrun --charset utf-8";
  }
  return {};
}

}  // namespace kvrun
