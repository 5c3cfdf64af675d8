// Values the stand-in VM passes to the library and receives from it,
// tagged with their language type code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "abi/TypesVX.h"

class CAny;

namespace kvhost {

class PageObject;

struct Value {
  DWORD type = VXT_AUCUN;    // base type code (1, 8, 9, 0x0c, 0x13, 0x1c, ...)
  std::int64_t integer = 0;  // booleans, integers, durations
  double real = 0;           // reals
  std::string bytes;         // strings (8-bit, as the library sees them), buffers, raw values
  // Set for an argument passed by reference: the caller's variable, which
  // the library reads and assigns through the VM.
  std::shared_ptr<Value> variable;
  // Set for a control of the page library (type 0x39).
  std::shared_ptr<PageObject> object;

  static Value none() { return {}; }
  static Value boolean(bool b) { return {VXT_BOOLEEN, b ? 1 : 0, 0, {}, {}, {}}; }
  static Value integer32(std::int32_t n) { return {VXT_ENTIER, n, 0, {}, {}, {}}; }
  static Value integer64(std::int64_t n) { return {VXT_ENTIER8, n, 0, {}, {}, {}}; }
  static Value realValue(double d) { return {VXT_REEL, 0, d, {}, {}, {}}; }
  static Value text(std::string s) { return {VXT_CHAINE, 0, 0, std::move(s), {}, {}}; }
  static Value buffer(std::string s) { return {VXT_BINAIRE, 0, 0, std::move(s), {}, {}}; }
  static Value duration(std::int64_t ms) { return {VXT_DUREE, ms, 0, {}, {}, {}}; }
  // A variable holding `initial`; read it back through `variable` after the call.
  static Value byReference(Value initial) {
    Value v;
    v.variable = std::make_shared<Value>(std::move(initial));
    v.type = v.variable->type;
    return v;
  }

  static Value pageObject(std::shared_ptr<PageObject> o) {
    Value v;
    v.type = VXT_OBJETAPCODE;
    v.object = std::move(o);
    return v;
  }

  bool isNone() const { return type == VXT_AUCUN; }
  bool isInteger() const { return type == VXT_BOOLEEN || type == VXT_ENTIER || type == VXT_ENTIER8; }
  bool isText() const { return type == VXT_CHAINE; }
  // Readable form for messages and tests.
  std::string describe() const;
};

// The value of a dynamic value, and a dynamic value of a value.
Value valueFromAny(const CAny& any);
void anyFromValue(const Value& value, CAny* any);

// Name of a type code in words ("integer", "string", ...), flags included.
std::string typeName(DWORD code);

}  // namespace kvhost
