// Text helpers of kvrun: the library's 8-bit Windows-1252 text and the
// terminal's UTF-8, hexadecimal forms, and name patterns.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvrun {

// Windows-1252 to UTF-8 (the five bytes without a character map to the C1
// controls of the same number, so fromUtf8 gives every byte back).
std::string toUtf8(std::string_view cp1252);
// UTF-8 to Windows-1252; characters outside it become '?'. Bytes that are
// not UTF-8 are taken as Windows-1252 already.
std::string fromUtf8(std::string_view utf8);

std::string toHex(std::string_view bytes);
// "414243" -> "ABC"; nullopt when not an even count of hexadecimal digits.
std::optional<std::string> fromHex(std::string_view hex);

// Case-insensitive, accent-insensitive match of a pattern with * and ?
// (a pattern without wildcards matches any name containing it).
bool matchesPattern(std::string_view pattern, std::string_view name);

}  // namespace kvrun
