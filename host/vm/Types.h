// The stand-in VM's table of base type codes: one row per code, saying how
// the code is named, what a parameter of it accepts, how a caller's value
// goes into its argument slot, how a value the library hands back is read,
// and how the conversion routines read and write its storage. Adding a type
// is adding a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Value.h"
#include "core/Any.h"
#include "core/VXDSTR.h"
#include "abi/TypesVX.h"

namespace kvhost {

// What a parameter of a type takes (the syntax chooser ranks arguments by it).
enum class TypeClass { Boolean, Integer, Duration, Real, Money, Text, Bytes, TextOrBytes, Any, Procedure, Object, None };

// Storage of one converted argument; the argument block points into it.
struct ArgSlot {
  alignas(8) unsigned char raw[16] = {};
  std::string text;          // keeps the bytes a const char* slot points to
  const char* pointer = nullptr;
  CVXDSTR string;            // language string slots (VM-made blocks)
  CVXBIN buffer;
  STManipAUB manip{};
  CAny any;                  // any-value slots
  bool used = false;         // string, buffer or any-value given: emptied after the call
};

// A value of the conversion routines, read from its storage.
struct Plain {
  enum Kind { Integer, Unsigned, Real, Currency, Text, Date, Time, DateTime, Duration, Bytes } kind = Integer;
  std::int64_t integer = 0;
  long double real = 0;  // reals; currency as a count of millionths
  std::string text;
};

// Why a value could not go into its slot (the host's message says which argument).
extern const char* const kSlotNoMemory;

struct TypeRow {
  DWORD code;        // base type code
  const char* name;  // in words, for messages ("integer", "string", ...)
  TypeClass takes;
  // Puts `v` (already accepted) into `slot`; returns what the argument block
  // points to, or null with the reason in *why. Null: not passed by the VM.
  void* (*toSlot)(const Value& v, DWORD code, ArgSlot& slot, const char** why);
  // Reads a value the library hands back (RenvoieValeur) into *out, whose
  // fields are already emptied. Null: not read (the code alone is kept).
  void (*fromResult)(const void* p, Value* out);
  // The conversion routines: storage to plain form (false: no conversion),
  // and plain form to storage with a conversion status. Null: not converted.
  bool (*toPlain)(const void* storage, WORD code, Plain* out);
  int (*fromPlain)(const Plain& v, WORD code, void* out);
};

// The row of a code's base type, or null when the VM does not know it.
const TypeRow* typeRow(DWORD code);
// Every row, for the tests that walk them.
const TypeRow* typeRows(std::size_t* count);

// Whether `value` can be passed for a parameter declared with `code`.
bool accepts(DWORD code, const Value& value);
// The class of a parameter declared with `code` (None when unknown).
TypeClass classOf(DWORD code);

}  // namespace kvhost
