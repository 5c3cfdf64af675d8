// Shell words and constant expressions to values.
#include "Arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Charset.h"
#include "Text.h"
#include "Types.h"

namespace kvrun {

namespace {

std::optional<std::int64_t> parseNumber(const std::string& t) {
  if (t.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long v;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    v = static_cast<long long>(std::strtoull(t.c_str() + 2, &end, 16));
  } else {
    v = std::strtoll(t.c_str(), &end, 10);
  }
  if (errno != 0 || end == t.c_str() || *end != '\0') return std::nullopt;
  return v;
}

std::optional<double> parseReal(const std::string& t) {
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  double d = std::strtod(t.c_str(), &end);
  if (*end != '\0') return std::nullopt;
  return d;
}

std::optional<bool> parseBoolean(const std::string& t) {
  std::string f = kvhost::foldName(t);
  if (f == "1" || f == "true" || f == "vrai") return true;
  if (f == "0" || f == "false" || f == "faux") return false;
  return std::nullopt;
}

// Bytes of a word: hex:, file:, str: or the text itself (in the library's
// character set).
std::optional<std::string> bytesOf(const std::string& word, bool* isBinary, std::string* why) {
  *isBinary = false;
  if (word.rfind("hex:", 0) == 0) {
    auto b = fromHex(word.substr(4));
    if (!b) *why = "'" + word + "' is not an even number of hexadecimal digits";
    *isBinary = true;
    return b;
  }
  if (word.rfind("file:", 0) == 0) {
    std::ifstream in(word.substr(5), std::ios::binary);
    if (!in) {
      *why = "cannot read " + word.substr(5);
      return std::nullopt;
    }
    std::ostringstream s;
    s << in.rdbuf();
    *isBinary = true;
    return s.str();
  }
  return toLibrary(word.rfind("str:", 0) == 0 ? word.substr(4) : word, why);
}

}  // namespace

std::optional<std::int64_t> parseInteger(const std::string& text, const kvhost::Catalog& catalog, std::string* why) {
  std::int64_t total = 0;
  char op = '+';
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    // A sign at the start of the expression belongs to the first number.
    bool end = i == text.size();
    if (!end && (text[i] != '+' && text[i] != '|')) continue;
    if (!end && i == start && i == 0) continue;
    std::string term = text.substr(start, i - start);
    std::optional<std::int64_t> v = parseNumber(term);
    if (!v) {
      const kvhost::ConstantInfo* c = catalog.findConstant(term);
      if (c == nullptr || c->type != 0x08) {
        if (why) *why = "'" + toUtf8(term) + "' is neither a number nor an integer constant";
        return std::nullopt;
      }
      v = static_cast<std::uint32_t>(c->integer);
    }
    total = op == '+' ? total + *v : (total | *v);
    if (!end) op = text[i];
    start = i + 1;
  }
  return total;
}

std::optional<kvhost::Value> shellArgument(DWORD code, const std::string& word, const kvhost::Catalog& catalog,
                                           std::string* why) {
  using kvhost::Value;
  DWORD base = VXT_dwBase(code);
  auto finish = [&](std::optional<Value> v) -> std::optional<Value> {
    if (v && VXT_bParReference(code)) return Value::byReference(*v);
    return v;
  };
  std::string text = fromUtf8(word);
  using C = kvhost::TypeClass;
  switch (kvhost::classOf(code)) {
    case C::Boolean: {
      if (auto b = parseBoolean(word)) return finish(Value::boolean(*b));
      auto n = parseInteger(text, catalog, why);
      if (!n) return std::nullopt;
      return finish(Value::boolean(*n != 0));
    }
    case C::Integer: {
      auto n = parseInteger(text, catalog, why);
      if (!n) return std::nullopt;
      if (base == VXT_ENTIER8 || base == VXT_UI8) return finish(Value::integer64(*n));
      if (*n < INT32_MIN || *n > UINT32_MAX) {
        *why = "'" + word + "' does not fit a 32-bit integer";
        return std::nullopt;
      }
      return finish(Value::integer32(static_cast<std::int32_t>(static_cast<std::uint32_t>(*n))));
    }
    case C::Duration: {
      auto n = parseInteger(text, catalog, why);
      if (!n) return std::nullopt;
      return finish(Value::duration(*n));
    }
    case C::Real: {
      auto d = parseReal(text);
      if (!d) {
        *why = "'" + word + "' is not a number";
        return std::nullopt;
      }
      return finish(Value::realValue(*d));
    }
    case C::Money: {
      if (!parseReal(text)) {
        *why = "'" + word + "' is not a number";
        return std::nullopt;
      }
      return finish(Value::text(text));
    }
    case C::Text: {
      bool binary = false;
      auto b = bytesOf(word, &binary, why);
      if (!b) return std::nullopt;
      return finish(Value::text(*b));
    }
    case C::Bytes:
    case C::TextOrBytes: {
      bool binary = false;
      auto b = bytesOf(word, &binary, why);
      if (!b) return std::nullopt;
      return finish(binary || base == VXT_BINAIRE ? Value::buffer(*b) : Value::text(*b));
    }
    case C::Any: {
      if (word.rfind("hex:", 0) == 0 || word.rfind("file:", 0) == 0) {
        bool binary = false;
        auto b = bytesOf(word, &binary, why);
        if (!b) return std::nullopt;
        return finish(Value::buffer(*b));
      }
      if (word.rfind("str:", 0) == 0) {
        auto t = toLibrary(word.substr(4), why);
        return t ? finish(Value::text(*t)) : std::nullopt;
      }
      if (auto n = parseNumber(text)) {
        return finish(*n >= INT32_MIN && *n <= INT32_MAX ? Value::integer32(static_cast<std::int32_t>(*n))
                                                         : Value::integer64(*n));
      }
      if (auto d = parseReal(text)) return finish(Value::realValue(*d));
      auto t = toLibrary(word, why);
      return t ? finish(Value::text(*t)) : std::nullopt;
    }
    case C::Procedure:
      *why = "a procedure argument needs a script (kvrun FILE.lua)";
      return std::nullopt;
    case C::Object:
      *why = "program objects need the page library, which the stand-in VM does not have";
      return std::nullopt;
    case C::None:
      break;
  }
  *why = "kvrun cannot pass a " + kvhost::typeName(code);
  return std::nullopt;
}

kvhost::ArgKind wordKind(const std::string& word) {
  using kvhost::ArgKind;
  if (word.rfind("hex:", 0) == 0 || word.rfind("file:", 0) == 0) return ArgKind::Buffer;
  if (word.rfind("str:", 0) == 0) return ArgKind::Text;
  if (parseNumber(word)) return ArgKind::Integer;
  if (auto d = parseReal(word)) {
    return std::isfinite(*d) && *d == std::floor(*d) && std::fabs(*d) < 9.2e18 ? ArgKind::WholeReal : ArgKind::Real;
  }
  if (parseBoolean(word)) return ArgKind::Boolean;
  return ArgKind::Text;
}

}  // namespace kvrun
