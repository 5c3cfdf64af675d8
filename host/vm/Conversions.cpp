// The VM's conversion routines, exported by name to the component:
// nConversionDepassement(value storage, type, scratch, target) converts
// between scalars, strings, dates, times, date-times, durations and
// currency; FinConversion frees what a conversion left in the scratch.
// Statuses: 0 exact, 1 rounded or truncated, 104 the value does not fit the
// target or the text is not of its form, 105 no conversion between the types.
#include <cerrno>
#include <cmath>
#include <limits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <type_traits>

#include "Conversions.h"
#include "Types.h"
#include "abi/TypesVX.h"
#include "core/CodePage.h"
#include "core/STR.h"
#include "core/VXDSTR.h"

using kvhost::Plain;

namespace {

constexpr int kExact = 0;
constexpr int kRounded = 1;
constexpr int kNoFit = 104;
constexpr int kNoConversion = 105;

// Currency: signed 80-bit count of millionths, little-endian, in 10 bytes.
long double readCurrency(const unsigned char* p) {
  std::uint64_t low;
  std::memcpy(&low, p, 8);
  std::int16_t high;
  std::memcpy(&high, p + 8, 2);
  return static_cast<long double>(high) * 18446744073709551616.0L + static_cast<long double>(low);
}

bool writeCurrency(long double millionths, unsigned char* p) {
  if (!std::isfinite(millionths)) return false;  // NaN and infinities are no amount
  millionths = std::nearbyint(millionths);
  if (std::fabs(millionths) >= 604462909807314587353088.0L) return false;  // 2^79
  bool negative = millionths < 0;
  long double a = negative ? -millionths : millionths;
  auto high = static_cast<std::uint64_t>(a / 18446744073709551616.0L);
  auto low = static_cast<std::uint64_t>(a - static_cast<long double>(high) * 18446744073709551616.0L);
  if (negative) {  // two's complement over 80 bits
    low = ~low + 1;
    high = ~high + (low == 0 ? 1 : 0);
  }
  std::memcpy(p, &low, 8);
  auto h = static_cast<std::uint16_t>(high);
  std::memcpy(p + 8, &h, 2);
  return true;
}

std::string currencyText(long double millionths) {
  bool negative = millionths < 0;
  long double a = std::fabs(millionths);
  auto units = static_cast<unsigned long long>(a / 1000000.0L);
  auto fraction = static_cast<unsigned long long>(a - static_cast<long double>(units) * 1000000.0L);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%llu.%06llu", negative ? "-" : "", units, fraction);
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

template <class T>
T get(const void* storage) {
  T x;
  std::memcpy(&x, storage, sizeof x);
  return x;
}

}  // namespace

// ---- Storage to plain form, one reader per kind of storage ----

namespace kvhost::conv {

bool readBoolean(const void* storage, WORD, Plain* v) {
  v->integer = get<std::int32_t>(storage) != 0;
  return true;
}

template <class T>
bool readInteger(const void* storage, WORD, Plain* v) {
  v->kind = std::is_same_v<T, std::uint64_t> ? Plain::Unsigned : Plain::Integer;
  v->integer = static_cast<std::int64_t>(get<T>(storage));
  return true;
}
template bool readInteger<std::uint8_t>(const void*, WORD, Plain*);
template bool readInteger<std::uint16_t>(const void*, WORD, Plain*);
template bool readInteger<std::uint32_t>(const void*, WORD, Plain*);
template bool readInteger<std::uint64_t>(const void*, WORD, Plain*);
template bool readInteger<std::int8_t>(const void*, WORD, Plain*);
template bool readInteger<std::int16_t>(const void*, WORD, Plain*);
template bool readInteger<std::int32_t>(const void*, WORD, Plain*);
template bool readInteger<std::int64_t>(const void*, WORD, Plain*);

template <class T>
bool readReal(const void* storage, WORD, Plain* v) {
  v->kind = Plain::Real;
  v->real = get<T>(storage);
  return true;
}
template bool readReal<float>(const void*, WORD, Plain*);
template bool readReal<double>(const void*, WORD, Plain*);

bool readCurrencyValue(const void* storage, WORD, Plain* v) {
  v->kind = Plain::Currency;
  v->real = readCurrency(static_cast<const unsigned char*>(storage));
  return true;
}

bool readDuration(const void* storage, WORD, Plain* v) {
  v->kind = Plain::Duration;
  v->integer = get<std::int64_t>(storage);
  return true;
}

bool readDate(const void* storage, WORD, Plain* v) {
  auto p = static_cast<const char*>(storage);
  v->kind = Plain::Date;
  v->text.assign(p, strnlen(p, 8));
  return true;
}

bool readTime(const void* storage, WORD, Plain* v) {
  auto p = static_cast<const char*>(storage);
  v->kind = Plain::Time;
  v->text.assign(p, strnlen(p, 9));
  return true;
}

bool readDateTime(const void* storage, WORD, Plain* v) {
  auto p = static_cast<const unsigned char*>(storage);
  char buf[32];
  std::uint32_t time;
  std::memcpy(&time, p + 4, 4);
  std::uint16_t year;
  std::memcpy(&year, p + 2, 2);
  std::snprintf(buf, sizeof buf, "%04u%02u%02u%02u%02u%02u%03u", year, p[1], p[0], time / 3600000, time / 60000 % 60,
                time / 1000 % 60, time % 1000);
  v->kind = Plain::DateTime;
  v->text = buf;
  return true;
}

// A language string or buffer: the storage holds its data pointer.
bool readBlock(const void* storage, WORD code, Plain* v) {
  const char* data = get<const char*>(storage);
  v->kind = code == VXT_BINAIRE ? Plain::Bytes : Plain::Text;
  if (data != nullptr) v->text.assign(data, pstGetBloc(data)->dwLongueur);
  return true;
}

bool readWideBlock(const void* storage, WORD, Plain* v) {
  const char* data = get<const char*>(storage);
  v->kind = Plain::Text;
  if (data != nullptr) {
    DWORD n = pstGetBloc(data)->dwLongueur / sizeof(wchar_t);
    int m = WideCharToMultiByte(CP_nGetPageCourante(), 0, reinterpret_cast<const wchar_t*>(data), static_cast<int>(n), nullptr, 0, "?", nullptr);
    v->text.resize(static_cast<std::size_t>(m > 0 ? m : 0));
    if (m > 0) WideCharToMultiByte(CP_nGetPageCourante(), 0, reinterpret_cast<const wchar_t*>(data), static_cast<int>(n), v->text.data(), m, "?", nullptr);
  }
  return true;
}

bool readText(const void* storage, WORD, Plain* v) {
  const char* s = get<const char*>(storage);
  v->kind = Plain::Text;
  if (s != nullptr) v->text = s;
  return true;
}

}  // namespace kvhost::conv

namespace {

bool allDigits(const std::string& s, std::size_t n) {
  if (s.size() != n) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::optional<std::int64_t> parseInteger(const std::string& s) {
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return std::nullopt;
  return n;
}

std::optional<long double> parseReal(const std::string& s) {
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  long double d = std::strtold(s.c_str(), &end);
  if (*end != '\0') return std::nullopt;
  return d;
}

// Duration text "[-]D…DHHMMSSLLL" or a plain count of milliseconds.
std::optional<std::int64_t> parseDuration(const std::string& s) {
  bool negative = !s.empty() && s[0] == '-';
  std::string digits = negative ? s.substr(1) : s;
  if (digits.size() >= 10 && allDigits(digits, digits.size())) {
    std::size_t d = digits.size() - 9;
    std::int64_t days = std::stoll(digits.substr(0, d));
    std::int64_t ms = ((days * 24 + std::stoll(digits.substr(d, 2))) * 60 + std::stoll(digits.substr(d + 2, 2))) * 60000 +
                      std::stoll(digits.substr(d + 4, 2)) * 1000 + std::stoll(digits.substr(d + 6, 3));
    return negative ? -ms : ms;
  }
  return parseInteger(s);
}

std::string durationText(std::int64_t ms) {
  bool negative = ms < 0;
  std::uint64_t a = negative ? static_cast<std::uint64_t>(-(ms + 1)) + 1 : static_cast<std::uint64_t>(ms);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%llu%02llu%02llu%02llu%03llu", negative ? "-" : "",
                static_cast<unsigned long long>(a / 86400000), static_cast<unsigned long long>(a / 3600000 % 24),
                static_cast<unsigned long long>(a / 60000 % 60), static_cast<unsigned long long>(a / 1000 % 60),
                static_cast<unsigned long long>(a % 1000));
  return buf;
}

std::string asText(const Plain& v) {
  switch (v.kind) {
    case Plain::Integer: return std::to_string(v.integer);
    case Plain::Unsigned: return std::to_string(static_cast<std::uint64_t>(v.integer));
    case Plain::Real: {
      char buf[48];
      std::snprintf(buf, sizeof buf, "%.15Lg", v.real);
      return buf;
    }
    case Plain::Currency: return currencyText(v.real);
    case Plain::Duration: return durationText(v.integer);
    default: return v.text;
  }
}

// A new language string or buffer block of the VM's own allocator.
char* newBlock(const std::string& bytes, DWORD kind) {
  CVXDSTR s;
  if (!bytes.empty() && s.nAssign(bytes.data(), static_cast<DWORD>(bytes.size())) != STR_OK) return nullptr;
  CVXDSTRBase::s_VerifieTypeAUB(s.pGetData(), kind);
  char* p = s.pGetData();
  if (p != nullptr) ++pstGetBloc(p)->dwRef;  // the scratch keeps one reference until FinConversion
  return p;
}

template <class T>
int putInteger(std::int64_t n, void* out, int status) {
  if (n < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
      (n > 0 && static_cast<std::uint64_t>(n) > static_cast<std::uint64_t>(std::numeric_limits<T>::max())))
    return kNoFit;
  T t = static_cast<T>(n);
  std::memcpy(out, &t, sizeof t);
  return status;
}

// The integer a plain value gives, and whether it was rounded; nullopt
// status kNoFit or kNoConversion when it gives none.
int integerOf(const Plain& v, std::int64_t* n) {
  switch (v.kind) {
    case Plain::Integer:
    case Plain::Unsigned:
    case Plain::Duration: *n = v.integer; return kExact;
    case Plain::Real:
    case Plain::Currency: {
      long double r = v.kind == Plain::Currency ? v.real / 1000000.0L : v.real;
      if (!(std::fabs(r) < 9.2e18L)) return kNoFit;
      *n = static_cast<std::int64_t>(r);
      return static_cast<long double>(*n) != r ? kRounded : kExact;
    }
    case Plain::Text:
    case Plain::Date:
    case Plain::Time: {
      auto p = parseInteger(v.text);
      if (!p) return kNoFit;
      *n = *p;
      return kExact;
    }
    default: return kNoConversion;
  }
}

}  // namespace

// ---- Plain form to storage, one writer per kind of storage ----

namespace kvhost::conv {

int writeBoolean(const Plain& v, WORD, void* out) {
  std::int32_t b;
  if (v.kind == Plain::Text) {
    const char* s = v.text.c_str();
    if (STR_nCompare(s, "VRAI", STR_IGNORE_CASSE) == 0 || STR_nCompare(s, "TRUE", STR_IGNORE_CASSE) == 0) {
      b = 1;
    } else if (STR_nCompare(s, "FAUX", STR_IGNORE_CASSE) == 0 || STR_nCompare(s, "FALSE", STR_IGNORE_CASSE) == 0) {
      b = 0;
    } else if (auto n = parseInteger(v.text)) {
      b = *n != 0;
    } else {
      return kNoFit;
    }
  } else if (v.kind == Plain::Real || v.kind == Plain::Currency) {
    b = v.real != 0;
  } else if (v.kind == Plain::Integer || v.kind == Plain::Unsigned || v.kind == Plain::Duration) {
    b = v.integer != 0;
  } else {
    return kNoConversion;
  }
  std::memcpy(out, &b, 4);
  return kExact;
}

template <class T>
int writeInteger(const Plain& v, WORD, void* out) {
  std::int64_t n = 0;
  int status = integerOf(v, &n);
  return status > kRounded ? status : putInteger<T>(n, out, status);
}
template int writeInteger<std::uint8_t>(const Plain&, WORD, void*);
template int writeInteger<std::uint16_t>(const Plain&, WORD, void*);
template int writeInteger<std::uint32_t>(const Plain&, WORD, void*);
template int writeInteger<std::uint64_t>(const Plain&, WORD, void*);
template int writeInteger<std::int8_t>(const Plain&, WORD, void*);
template int writeInteger<std::int16_t>(const Plain&, WORD, void*);
template int writeInteger<std::int32_t>(const Plain&, WORD, void*);
template int writeInteger<std::int64_t>(const Plain&, WORD, void*);

template <class T>
int writeReal(const Plain& v, WORD, void* out) {
  long double r;
  if (v.kind == Plain::Real) {
    r = v.real;
  } else if (v.kind == Plain::Currency) {
    r = v.real / 1000000.0L;
  } else if (v.kind == Plain::Integer || v.kind == Plain::Duration) {
    r = static_cast<long double>(v.integer);
  } else if (v.kind == Plain::Unsigned) {
    r = static_cast<long double>(static_cast<std::uint64_t>(v.integer));
  } else if (v.kind == Plain::Text) {
    auto p = parseReal(v.text);
    if (!p) return kNoFit;
    r = *p;
  } else {
    return kNoConversion;
  }
  T t = static_cast<T>(r);
  std::memcpy(out, &t, sizeof t);
  return kExact;
}
template int writeReal<float>(const Plain&, WORD, void*);
template int writeReal<double>(const Plain&, WORD, void*);

int writeCurrencyValue(const Plain& v, WORD, void* out) {
  long double m;
  if (v.kind == Plain::Currency) {
    m = v.real;
  } else if (v.kind == Plain::Real) {
    m = v.real * 1000000.0L;
  } else if (v.kind == Plain::Integer || v.kind == Plain::Duration) {
    m = static_cast<long double>(v.integer) * 1000000.0L;
  } else if (v.kind == Plain::Text) {
    auto p = parseReal(v.text);
    if (!p) return kNoFit;
    m = *p * 1000000.0L;
  } else {
    return kNoConversion;
  }
  return writeCurrency(m, static_cast<unsigned char*>(out)) ? kExact : kNoFit;
}

int writeDuration(const Plain& v, WORD, void* out) {
  std::int64_t ms;
  if (v.kind == Plain::Duration || v.kind == Plain::Integer) {
    ms = v.integer;
  } else if (v.kind == Plain::Text) {
    auto p = parseDuration(v.text);
    if (!p) return kNoFit;
    ms = *p;
  } else {
    return kNoConversion;
  }
  std::memcpy(out, &ms, 8);
  return kExact;
}

int writeDate(const Plain& v, WORD, void* out) {
  std::string d = v.kind == Plain::DateTime ? v.text.substr(0, 8) : v.text;
  if ((v.kind != Plain::Text && v.kind != Plain::Date && v.kind != Plain::DateTime) || !(d.empty() || allDigits(d, 8)))
    return v.kind == Plain::Text ? kNoFit : kNoConversion;
  std::memset(out, 0, 10);
  std::memcpy(out, d.data(), d.size());
  return kExact;
}

int writeTime(const Plain& v, WORD, void* out) {
  std::string t = v.kind == Plain::DateTime ? v.text.substr(8, 8) : v.text;
  if (v.kind != Plain::Text && v.kind != Plain::Time && v.kind != Plain::DateTime) return kNoConversion;
  if (t.size() > 9 || !allDigits(t, t.size())) return kNoFit;
  std::memset(out, '0', 9);
  static_cast<char*>(out)[9] = '\0';
  std::memcpy(out, t.data(), t.size());
  return kExact;
}

int writeDateTime(const Plain& v, WORD, void* out) {
  std::string s = v.text;
  if (v.kind == Plain::Date || (v.kind == Plain::Text && s.size() == 8)) s += "000000000";
  if ((v.kind != Plain::Text && v.kind != Plain::Date && v.kind != Plain::DateTime) || !allDigits(s, 17)) return kNoFit;
  auto num = [&](std::size_t at, std::size_t n) { return static_cast<unsigned>(std::stoul(s.substr(at, n))); };
  unsigned char* o = static_cast<unsigned char*>(out);
  o[0] = static_cast<unsigned char>(num(6, 2));
  o[1] = static_cast<unsigned char>(num(4, 2));
  auto year = static_cast<std::uint16_t>(num(0, 4));
  std::memcpy(o + 2, &year, 2);
  std::uint32_t time = ((num(8, 2) * 60 + num(10, 2)) * 60 + num(12, 2)) * 1000 + num(14, 3);
  std::memcpy(o + 4, &time, 4);
  return kExact;
}

// A new block of the VM's allocator: a string, a wide string or a buffer.
int writeBlock(const Plain& v, WORD code, void* out) {
  std::string bytes = asText(v);
  if (code == VXT_CHAINEUNICODE) {
    int n = bytes.empty() ? 0 : MultiByteToWideChar(CP_nGetPageCourante(), 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_nGetPageCourante(), 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
    bytes.assign(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(wchar_t));
  }
  char* p = newBlock(bytes, code);
  if (p == nullptr && !bytes.empty()) return kNoFit;
  std::memcpy(out, &p, sizeof p);
  return kExact;
}

int writeText(const Plain& v, WORD, void* out) {
  char* p = strdup(asText(v).c_str());
  std::memcpy(out, &p, sizeof p);
  return p != nullptr ? kExact : kNoFit;
}

int writeWideText(const Plain& v, WORD, void* out) {
  std::string bytes = asText(v);
  int n = bytes.empty() ? 0 : MultiByteToWideChar(CP_nGetPageCourante(), 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  auto* w = static_cast<wchar_t*>(std::calloc(static_cast<std::size_t>(n) + 1, sizeof(wchar_t)));
  if (w == nullptr) return kNoFit;
  if (n > 0) MultiByteToWideChar(CP_nGetPageCourante(), 0, bytes.data(), static_cast<int>(bytes.size()), w, n);
  std::memcpy(out, &w, sizeof w);
  return kExact;
}

}  // namespace kvhost::conv

namespace {

// From one type's storage to another's, through the plain form.
int convert(const void* storage, WORD type, void* out, WORD target) {
  const kvhost::TypeRow* from = kvhost::typeRow(type);
  const kvhost::TypeRow* to = kvhost::typeRow(target);
  Plain v;
  if (from == nullptr || from->toPlain == nullptr || !from->toPlain(storage, type, &v)) return kNoConversion;
  if (to == nullptr || to->fromPlain == nullptr) return kNoConversion;
  return to->fromPlain(v, target, out);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int nConversionDepassement(void* pValeur, WORD wType, void* pTampon,
                                                                              WORD wCible) {
  if (pValeur == nullptr || pTampon == nullptr) return kNoConversion;
  return convert(pValeur, static_cast<WORD>(wType & 0xFF), pTampon, static_cast<WORD>(wCible & 0xFF));
}

extern "C" __attribute__((visibility("default"))) int nConversionDepassementEx(void* pValeur, WORD wType, void* pTampon,
                                                                                WORD wCible, int) {
  return nConversionDepassement(pValeur, wType, pTampon, wCible);
}

extern "C" __attribute__((visibility("default"))) void FinConversion(void* pTampon, WORD wCible) {
  if (pTampon == nullptr) return;
  void* p;
  std::memcpy(&p, pTampon, sizeof p);
  switch (wCible & 0xFF) {
    case VXT_CHAINE:
    case VXT_CHAINEUNICODE:
    case VXT_BINAIRE: CVXDSTRBase::s_ReleaseStrMem(p); break;
    case VXT_PSZ:
    case VXT_WSTR: std::free(p); break;
    default: break;
  }
  std::memset(pTampon, 0, sizeof p);
}
