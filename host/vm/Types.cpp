// The type table: its rows, and the slot writers and result readers they
// name (the conversion routines' readers and writers are in Conversions.cpp).
#include "Types.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "Conversions.h"
#include "PageLibrary.h"

namespace kvhost {

const char* const kSlotNoMemory = "no memory";

namespace {

// A value as the 10 bytes of a currency amount (none gives zero); false
// when it is not a number.
bool currencyBytes(const Value& v, unsigned char* out) {
  if (v.type == VXT_MONETAIRE && v.bytes.size() == 10) {
    std::memcpy(out, v.bytes.data(), 10);
    return true;
  }
  if (v.type == VXT_AUCUN) {
    std::memset(out, 0, 10);
    return true;
  }
  if (v.isText()) {
    const char* text = v.bytes.c_str();
    return nConversionDepassement(&text, VXT_PSZ, out, VXT_MONETAIRE) <= 1;
  }
  if (v.type == VXT_REEL) {
    double d = v.real;
    return nConversionDepassement(&d, VXT_REEL, out, VXT_MONETAIRE) <= 1;
  }
  std::int64_t n = v.integer;
  return v.isInteger() && nConversionDepassement(&n, VXT_ENTIER8, out, VXT_MONETAIRE) <= 1;
}

// ---- Caller's value to argument slot ----

void* slotRaw(ArgSlot& slot, const void* p, std::size_t n) {
  std::memcpy(slot.raw, p, n);
  return slot.raw;
}

void* slotBoolean(const Value& v, DWORD, ArgSlot& slot, const char**) {
  std::int32_t n = v.integer != 0;
  return slotRaw(slot, &n, 4);
}

void* slotInteger32(const Value& v, DWORD, ArgSlot& slot, const char** why) {
  if (v.integer < INT32_MIN || v.integer > UINT32_MAX) {
    *why = "is out of the 32-bit range";
    return nullptr;
  }
  auto n = static_cast<std::int32_t>(static_cast<std::uint32_t>(v.integer));
  return slotRaw(slot, &n, 4);
}

// 64-bit integers and durations (milliseconds).
void* slotInteger64(const Value& v, DWORD, ArgSlot& slot, const char**) { return slotRaw(slot, &v.integer, 8); }

// System integers and window handles: a word of the edition's pointer size
// (32 bits on i386, 64 on x86-64), so an address is never cut.
void* slotSystemWord(const Value& v, DWORD code, ArgSlot& slot, const char** why) {
  if constexpr (sizeof(std::uintptr_t) == 4) {
    return slotInteger32(v, code, slot, why);
  } else {
    auto n = static_cast<std::uintptr_t>(v.integer);
    return slotRaw(slot, &n, sizeof n);
  }
}

void* slotReal(const Value& v, DWORD, ArgSlot& slot, const char**) {
  double d = v.type == VXT_REEL ? v.real : static_cast<double>(v.integer);
  return slotRaw(slot, &d, 8);
}

void* slotCurrency(const Value& v, DWORD code, ArgSlot& slot, const char** why) {
  // By reference, the slot holds the variable's value and the library
  // writes its result there.
  const Value& m = VXT_bParReference(code) && v.variable ? *v.variable : v;
  if (!currencyBytes(m, slot.raw)) {
    *why = "is not a currency amount";
    return nullptr;
  }
  return slot.raw;
}

void* slotDateTime(const Value& v, DWORD, ArgSlot& slot, const char** why) {
  // The 17-digit text becomes the 8-byte value, as the VM converts it.
  const char* text = v.bytes.c_str();
  unsigned char scratch[32] = {};
  if (nConversionDepassement(&text, VXT_PSZ, scratch, VXT_DATEHEURE) > 99) {
    *why = "is not a date-time (AAAAMMJJHHMMSSLLL)";
    return nullptr;
  }
  return slotRaw(slot, scratch, 8);
}

// Zero-terminated text (strings read once, procedure names).
void* slotText(const Value& v, DWORD, ArgSlot& slot, const char**) {
  slot.text = v.bytes;
  slot.pointer = slot.text.c_str();
  return slotRaw(slot, &slot.pointer, sizeof slot.pointer);
}

void* slotString(const Value& v, DWORD, ArgSlot& slot, const char** why) {
  slot.used = true;
  if (slot.string.nAssign(v.bytes.data(), static_cast<DWORD>(v.bytes.size())) != STR_OK) {
    *why = kSlotNoMemory;
    return nullptr;
  }
  return &slot.string;
}

void* slotBuffer(const Value& v, DWORD, ArgSlot& slot, const char** why) {
  slot.used = true;
  if (slot.buffer.nAssign(v.bytes.data(), static_cast<DWORD>(v.bytes.size())) != STR_OK) {
    *why = kSlotNoMemory;
    return nullptr;
  }
  return &slot.buffer;
}

// A string or a buffer, as the value came.
void* slotStringOrBuffer(const Value& v, DWORD code, ArgSlot& slot, const char** why) {
  bool buffer = v.type == VXT_BINAIRE;
  if ((buffer ? slotBuffer : slotString)(v, code, slot, why) == nullptr) return nullptr;
  slot.manip = buffer ? STManipAUB{slot.buffer.pGetData(), static_cast<WORD>(VXT_BINAIRE)}
                      : STManipAUB{slot.string.pGetData(), static_cast<WORD>(VXT_CHAINE)};
  return &slot.manip;
}

void* slotObject(const Value& v, DWORD, ArgSlot& slot, const char**) {
  IObjetAPCode* pi = v.object.get();
  return slotRaw(slot, &pi, sizeof pi);
}

void* slotAny(const Value& v, DWORD, ArgSlot& slot, const char**) {
  slot.used = true;
  anyFromValue(v, &slot.any);
  return &slot.any;
}

// ---- Value handed back by the library ----

template <class T, DWORD kAs>
void resultInteger(const void* p, Value* out) {
  T n;
  std::memcpy(&n, p, sizeof n);
  out->integer = static_cast<std::int64_t>(n);
  out->type = kAs;
}

void resultBoolean(const void* p, Value* out) { out->integer = *static_cast<const std::int32_t*>(p) != 0; }
// 64-bit integers and durations keep their code.
void resultInteger64(const void* p, Value* out) { std::memcpy(&out->integer, p, 8); }

void resultReal4(const void* p, Value* out) {
  out->real = *static_cast<const float*>(p);
  out->type = VXT_REEL;
}
void resultReal(const void* p, Value* out) { std::memcpy(&out->real, p, 8); }

template <std::size_t kBytes>
void resultRaw(const void* p, Value* out) {
  out->bytes.assign(static_cast<const char*>(p), kBytes);
}

void resultText(const void* p, Value* out) {
  out->bytes = static_cast<const char*>(p);
  out->type = VXT_CHAINE;
}

// A block the library made, handed over by its data pointer: the length is
// the last header word before the data.
void resultBlock(const void* p, Value* out) {
  const char* data = *static_cast<const char* const*>(p);
  out->bytes.clear();
  if (data == nullptr) return;
  DWORD length;
  std::memcpy(&length, data - sizeof(DWORD), sizeof length);
  out->bytes.append(data, length);  // simpler than assign, which allows for overlap
}

void resultAny(const void* p, Value* out) { *out = valueFromAny(*static_cast<const CAny*>(p)); }

using C = TypeClass;
namespace cv = conv;

// Pointer-sized words: a system integer is unsigned, a window handle signed
// (a 32-bit integer on i386, as the language has it).
using SystemWord = std::uintptr_t;
using WindowWord = std::intptr_t;
constexpr DWORD WindowCode = sizeof(WindowWord) == 4 ? VXT_ENTIER : VXT_ENTIER8;

// One row per base type code, in code order.
constexpr TypeRow kRows[] = {
    // code, name, takes, to slot, from result, to plain, from plain
    {VXT_AUCUN, "nothing", C::None, nullptr, nullptr, nullptr, nullptr},
    {VXT_BOOLEEN, "boolean", C::Boolean, slotBoolean, resultBoolean, cv::readBoolean, cv::writeBoolean},
    {VXT_UI1, "unsigned integer", C::Integer, nullptr, resultInteger<std::uint8_t, VXT_ENTIER8>,
     cv::readInteger<std::uint8_t>, cv::writeInteger<std::uint8_t>},
    {VXT_UI2, "unsigned integer", C::Integer, nullptr, resultInteger<std::uint16_t, VXT_ENTIER8>,
     cv::readInteger<std::uint16_t>, cv::writeInteger<std::uint16_t>},
    {VXT_UI4, "unsigned integer", C::Integer, nullptr, resultInteger<std::uint32_t, VXT_ENTIER8>,
     cv::readInteger<std::uint32_t>, cv::writeInteger<std::uint32_t>},
    {VXT_UI8, "unsigned integer", C::Integer, nullptr, resultInteger<std::uint64_t, VXT_ENTIER8>,
     cv::readInteger<std::uint64_t>, cv::writeInteger<std::uint64_t>},
    {VXT_I1, "integer", C::Integer, nullptr, resultInteger<std::int8_t, VXT_ENTIER>, cv::readInteger<std::int8_t>,
     cv::writeInteger<std::int8_t>},
    {VXT_I2, "integer", C::Integer, nullptr, resultInteger<std::int16_t, VXT_ENTIER>, cv::readInteger<std::int16_t>,
     cv::writeInteger<std::int16_t>},
    {VXT_ENTIER, "integer", C::Integer, slotInteger32, resultInteger<std::int32_t, VXT_ENTIER>,
     cv::readInteger<std::int32_t>, cv::writeInteger<std::int32_t>},
    {VXT_ENTIER8, "8-byte integer", C::Integer, slotInteger64, resultInteger64, cv::readInteger<std::int64_t>,
     cv::writeInteger<std::int64_t>},
    {VXT_MONETAIRE, "currency", C::Money, slotCurrency, resultRaw<10>, cv::readCurrencyValue, cv::writeCurrencyValue},
    {VXT_REEL4, "real", C::Real, nullptr, resultReal4, cv::readReal<float>, cv::writeReal<float>},
    {VXT_REEL, "real", C::Real, slotReal, resultReal, cv::readReal<double>, cv::writeReal<double>},
    {VXT_DECIMAL, "numeric", C::Money, nullptr, nullptr, nullptr, nullptr},
    {VXT_ENTIERSYS, "system integer", C::Integer, slotSystemWord, resultInteger<SystemWord, VXT_ENTIER8>,
     cv::readInteger<SystemWord>, cv::writeInteger<SystemWord>},
    {VXT_HWND, "window handle", C::Integer, slotSystemWord, resultInteger<WindowWord, WindowCode>,
     cv::readInteger<WindowWord>, cv::writeInteger<WindowWord>},
    {VXT_CHAINEUNICODE, "Unicode string", C::Text, nullptr, resultBlock, cv::readWideBlock, cv::writeBlock},
    {VXT_CARACTERE, "character", C::Integer, nullptr, nullptr, cv::readInteger<std::uint16_t>,
     cv::writeInteger<std::uint16_t>},
    {VXT_PSZ, "string", C::Text, slotText, resultText, cv::readText, cv::writeText},
    {VXT_CHAINE, "string", C::Text, slotString, resultBlock, cv::readBlock, cv::writeBlock},
    {VXT_PSZCONSTANTE, "string", C::None, nullptr, resultText, nullptr, nullptr},
    {VXT_DATE, "date", C::Text, nullptr, nullptr, cv::readDate, cv::writeDate},
    {VXT_HEURE, "time", C::Text, nullptr, nullptr, cv::readTime, cv::writeTime},
    {VXT_DATEHEURE, "date-time", C::Text, slotDateTime, resultRaw<8>, cv::readDateTime, cv::writeDateTime},
    {VXT_DUREE, "duration", C::Duration, slotInteger64, resultInteger64, cv::readDuration, cv::writeDuration},
    {VXT_BINAIRE, "buffer", C::Bytes, slotBuffer, resultBlock, cv::readBlock, cv::writeBlock},
    {VXT_BUFFER, "buffer", C::TextOrBytes, nullptr, nullptr, nullptr, nullptr},
    {VXT_ANY, "any value", C::Any, slotAny, resultAny, nullptr, nullptr},
    {VXT_OBJETAPCODE, "program object", C::Object, slotObject, nullptr, nullptr, nullptr},
    {VXT_PROCEDURE, "procedure", C::Procedure, slotText, nullptr, nullptr, nullptr},
    {VXT_OBJETCHAINE, "string", C::Text, slotString, nullptr, nullptr, nullptr},
    {VXT_CHAINEOUBUFFER, "string or buffer", C::TextOrBytes, slotStringOrBuffer, nullptr, nullptr, nullptr},
    {VXT_WSTR, nullptr, C::None, nullptr, nullptr, nullptr, cv::writeWideText},
};

// Rows by base code, made by the compiler: nothing to build at run time,
// so threads need no guard around it.
constexpr std::array<const TypeRow*, 256> makeIndex() {
  std::array<const TypeRow*, 256> byCode{};
  for (const TypeRow& r : kRows) byCode[r.code] = &r;
  return byCode;
}
constexpr std::array<const TypeRow*, 256> kIndex = makeIndex();

}  // namespace

const TypeRow* typeRow(DWORD code) { return kIndex[VXT_dwBase(code)]; }

const TypeRow* typeRows(std::size_t* count) {
  *count = sizeof kRows / sizeof kRows[0];
  return kRows;
}

TypeClass classOf(DWORD code) {
  const TypeRow* r = typeRow(code);
  return r != nullptr ? r->takes : TypeClass::None;
}

bool accepts(DWORD code, const Value& v) {
  if (VXT_bParReference(code) && VXT_dwBase(code) == VXT_MONETAIRE) return v.variable != nullptr;
  switch (classOf(code)) {
    case C::Boolean:
    case C::Integer: return v.isInteger();
    case C::Duration: return v.isInteger() || v.type == VXT_DUREE;
    case C::Real: return v.isInteger() || v.type == VXT_REEL;
    case C::Money: return v.isInteger() || v.type == VXT_REEL || v.isText() || v.type == VXT_MONETAIRE;
    case C::Text:
    case C::Procedure: return v.isText();
    case C::Bytes:
    case C::TextOrBytes: return v.isText() || v.type == VXT_BINAIRE;
    case C::Any: return true;
    case C::Object: return v.object != nullptr;
    case C::None: return false;  // kinds a caller cannot give here
  }
  return false;
}

std::string typeName(DWORD code) {
  const TypeRow* r = typeRow(code);
  std::string name;
  if (r != nullptr && r->name != nullptr) {
    name = r->name;
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "type 0x%x", static_cast<unsigned>(VXT_dwBase(code)));
    name = buf;
  }
  if (VXT_bParReference(code)) name += " variable";
  return name;
}

}  // namespace kvhost
