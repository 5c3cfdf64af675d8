// Arguments typed by a user (shell words or Lua values) turned into the
// stand-in VM's values for a declared parameter type.
#pragma once

#include <optional>
#include <string>

#include "Catalog.h"
#include "Value.h"

namespace kvrun {

// An integer expression in Windows-1252: terms joined by + or |, each a
// decimal number (first term may be negative), 0x hexadecimal, or the name
// of an integer constant of the tables (French or English, accents optional).
std::optional<std::int64_t> parseInteger(const std::string& text, const kvhost::Catalog& catalog, std::string* why);

// A shell word for a parameter declared with `code`. Text is UTF-8 and goes
// to the library in Windows-1252; "hex:", "file:" and "str:" give bytes,
// a file's bytes, or literal text. nullopt with the reason in `why`.
std::optional<kvhost::Value> shellArgument(DWORD code, const std::string& word, const kvhost::Catalog& catalog,
                                           std::string* why);

// How well a word's form suits a parameter declared `code`: 2 when it looks
// like the parameter's kind (a number for a numeric parameter, hex: or file:
// for a buffer, other text for a string), 1 for an any-value parameter, 0
// otherwise.
int formScore(DWORD code, const std::string& word, const kvhost::Catalog& catalog);

}  // namespace kvrun
