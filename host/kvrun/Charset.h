// The character set kvrun declares to the library (Windows-1252 or UTF-8),
// the terminal's UTF-8 to the library's text and back in that set, and the
// hint given when a name fails only for want of UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvrun {

// "utf-8" (or "utf8", "65001") and "1252" (or "cp1252", "windows-1252") to
// the charset number the VM declares; nullopt for anything else.
std::optional<unsigned> parseCharset(std::string_view name);

// The charset of the user's locale: UTF-8 when the first of LC_ALL,
// LC_CTYPE and LANG that is set names UTF-8 (en_US.UTF-8, C.utf8), else
// Windows-1252. The locale itself is not installed: the library formats
// numbers in the C locale, as ever.
unsigned charsetFromLocale();

// The charset declared for this process (kvhost::kCharset1252 until set).
void setLibraryCharset(unsigned charset);
unsigned libraryCharset();
bool libraryIsUtf8();

// The library's text for the terminal: as it is in UTF-8, else from
// Windows-1252 to UTF-8 (every byte, so the way back gives the same bytes).
std::string fromLibrary(std::string_view text);
// The terminal's text for the library: as it is in UTF-8; else to
// Windows-1252, bytes that are not UTF-8 kept as they are. nullopt, with
// the reason in `why`, when a character has no Windows-1252 form: it is
// never replaced by another character, which could name another file.
std::optional<std::string> toLibrary(std::string_view utf8, std::string* why);

// When a call failed in Windows-1252: for the first word holding bytes
// above 127 that names an existing file or directory under its UTF-8
// spelling while its Windows-1252 spelling names none, a one-line hint
// suggesting --charset utf-8; empty otherwise.
std::string charsetHint(const std::vector<std::string>& words);

}  // namespace kvrun
