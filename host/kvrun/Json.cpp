// JSON of one call.
#include "Json.h"

#include <cmath>
#include <cstdio>

#include "Charset.h"
#include "Output.h"
#include "Text.h"

namespace kvrun {

namespace {

std::string quoted(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
  }
  if (i + 1 == bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], '='};
  }
  return out;
}

// Text is printable: no control characters but tab and line breaks.
bool printable(const std::string& bytes) {
  for (unsigned char c : bytes) {
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return false;
  }
  return true;
}

// Well-formed UTF-8 (no overlong forms, no surrogates).
bool validUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
    if (n == 9 || i + n >= s.size()) return false;
    std::uint32_t cp = n == 0 ? c : c & (0x3F >> n);
    for (std::size_t k = 1; k <= n; ++k) {
      auto d = static_cast<unsigned char>(s[i + k]);
      if ((d >> 6) != 2) return false;
      cp = cp << 6 | (d & 0x3F);
    }
    static const std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

// Windows-1252 bytes with no character (0x81, 0x8D, 0x8F, 0x90, 0x9D).
bool windows1252(const std::string& s) {
  for (unsigned char c : s) {
    if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) return false;
  }
  return true;
}

std::string bytesObject(const std::string& bytes, bool hex) {
  return hex ? "{\"hex\": " + quoted(toHex(bytes)) + "}" : "{\"base64\": " + quoted(base64(bytes)) + "}";
}

std::string typeOf(const kvhost::Value& v) {
  switch (v.type) {
    case VXT_AUCUN: return "none";
    case VXT_BOOLEEN: return "boolean";
    case VXT_ENTIER:
    case VXT_ENTIER8: return "integer";
    case VXT_REEL: return "real";
    case VXT_MONETAIRE: return "currency";
    case VXT_DUREE: return "duration";
    case VXT_DATEHEURE: return "datetime";
    case VXT_BINAIRE: return "buffer";
    default: return "string";
  }
}

}  // namespace

std::string jsonValue(const kvhost::Value& v, bool hex) {
  switch (v.type) {
    case VXT_AUCUN: return "null";
    case VXT_BOOLEEN: return v.integer ? "true" : "false";
    case VXT_ENTIER:
    case VXT_ENTIER8: return std::to_string(v.integer);
    case VXT_REEL: {
      if (!std::isfinite(v.real)) return "null";
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", v.real);
      return buf;
    }
    case VXT_MONETAIRE:
    case VXT_DUREE:
    case VXT_DATEHEURE: return quoted(convertedText(v));
    case VXT_BINAIRE:
      // Bytes: as they are when they are UTF-8 text.
      if (!hex && printable(v.bytes) && validUtf8(v.bytes)) return quoted(v.bytes);
      return bytesObject(v.bytes, hex);
    default:
      // The library's text, in the charset declared to it.
      if (!hex && printable(v.bytes) && (libraryIsUtf8() ? validUtf8(v.bytes) : windows1252(v.bytes)))
        return quoted(fromLibrary(v.bytes));
      return bytesObject(v.bytes, hex);
  }
}

std::string jsonCall(const kvhost::FunctionInfo& f, bool hasResult, const std::vector<kvhost::Value>& args,
                     const kvhost::CallResult& r, bool hex) {
  std::string out = "{\"function\": " + quoted(toUtf8(f.french)) + ", \"english\": " + quoted(toUtf8(f.english));
  if (hasResult) {
    out += ", \"result\": " + jsonValue(r.value, hex) + ", \"type\": " + quoted(typeOf(r.value));
  } else {
    out += ", \"result\": null, \"type\": \"none\"";
  }
  out += ", \"references\": [";
  bool first = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!args[i].variable) continue;
    out += std::string(first ? "" : ", ") + "{\"argument\": " + std::to_string(i + 1) +
           ", \"value\": " + jsonValue(*args[i].variable, hex) + ", \"type\": " + quoted(typeOf(*args[i].variable)) + "}";
    first = false;
  }
  out += "], \"error\": ";
  if (!r.error.isError()) return out + "null}";
  const auto& e = r.error;
  out += "{\"code\": " + std::to_string(e.code) + ", \"level\": " + std::to_string(e.level) +
         ", \"message\": " + quoted(fromLibrary(e.message)) + ", \"system\": ";
  if (e.systemCode == 0 && e.systemMessage.empty()) {
    out += "null";
  } else {
    std::string name = systemErrorName(e);
    out += "{\"code\": " + std::to_string(e.systemCode) + ", \"name\": " + (name.empty() ? "null" : quoted(name)) +
           ", \"message\": " + quoted(systemErrorText(e)) + "}";
  }
  return out + "}}";
}

}  // namespace kvrun
