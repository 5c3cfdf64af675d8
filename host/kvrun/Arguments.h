// Arguments typed by a user (shell words or Lua values) turned into the
// stand-in VM's values for a declared parameter type.
#pragma once

#include <optional>
#include <string>

#include "Catalog.h"
#include "Chooser.h"
#include "Value.h"

namespace kvrun {

// An integer expression in Windows-1252: terms joined by + or |, each a
// decimal number (first term may be negative), 0x hexadecimal, or the name
// of an integer constant of the tables (French or English, accents optional).
std::optional<std::int64_t> parseInteger(const std::string& text, const kvhost::Catalog& catalog, std::string* why);

// A shell word for a parameter declared with `code`. Text is UTF-8 and goes
// to the library in its character set (toLibrary); "hex:", "file:" and "str:" give bytes,
// a file's bytes, or literal text. nullopt with the reason in `why`.
std::optional<kvhost::Value> shellArgument(DWORD code, const std::string& word, const kvhost::Catalog& catalog,
                                           std::string* why);

// What a shell word looks like, for the syntax chooser: bytes for hex: and
// file:, a string for str:, a number or a truth value when it reads as one,
// a string otherwise.
kvhost::ArgKind wordKind(const std::string& word);

}  // namespace kvrun
