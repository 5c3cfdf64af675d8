// Which syntax of a function serves a call: one rule for every front end
// (shell words, Lua values, the host's own values).
//
// Each argument is reduced to its kind; each syntax is scored by how well
// the kinds meet its declared parameters: a parameter of exactly that kind
// scores 3, an any-value parameter 2, one that needs a conversion 1, one
// that cannot take it rules the syntax out. Syntaxes with an entry point
// come before those without; then the higher total first; table order
// among equals. A front end converts the arguments for the first ranked
// syntax that takes them.
#pragma once

#include <cstddef>

#include "Catalog.h"
#include "Value.h"

namespace kvhost {

enum class ArgKind : unsigned char {
  None,       // nil, no value
  Boolean,
  Integer,
  WholeReal,  // a real with an integer value (2.0)
  Real,       // any other real, NaN and infinities included
  Text,       // a string (a plain Lua string, a shell word)
  Buffer,     // bytes given as a buffer (kv.buffer, hex:, file:)
  Procedure,  // a function to call back
  Object,     // a control of the page library
  Other,      // anything else: takes no parameter
};

// 3 exact, 2 any value, 1 after a conversion, 0 cannot.
int fitOf(DWORD code, ArgKind kind);

// The kind of a value of the stand-in VM.
ArgKind kindOf(const Value& v);

// Writes into `out` (room for `max`) the syntaxes of `f` that take `count`
// arguments of these kinds, best first; returns how many.
std::size_t rankSyntaxes(const FunctionInfo& f, const ArgKind* kinds, std::size_t count, const SyntaxInfo** out,
                         std::size_t max);

// Enough room for the syntaxes of any row of the tables.
constexpr std::size_t kMaxSyntaxes = 32;

}  // namespace kvhost
