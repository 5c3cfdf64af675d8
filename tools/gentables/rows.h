// Row model of the descriptor tables as read from the tab-separated row
// files (functions, constants, variables, entry points).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gentables {

struct Syntax {
  std::uint32_t result = 0;
  std::vector<std::uint32_t> params;
  bool repeatable = false;  // last parameter may repeat
  // Parameters that carry an address (bit p for parameter p + 1): declared
  // as integers (8) on i386, as system integers (0x0e, pointer-sized) on
  // x86-64, so that an address is never cut to 32 bits.
  std::uint32_t addresses = 0;
};

// How one syntax's entry point works: a method call, or a redirect.
struct Entry {
  std::string call;          // e.g. "HeureVersChaine($1, \"HH:MM\")"; empty for a redirect
  int redirectLibrary = 0;   // with redirectFunction: hand the call to that library's function
  int redirectFunction = -1;
  int line = 0;              // in the entry-point file, for messages
};

struct Function {
  int position = 0;
  int number = 0;            // differs from position only in synonym rows
  std::uint32_t flags = 0;
  bool linux = false;        // the row's syntaxes may have entry points here
  std::string french;        // Latin-1
  std::string english;       // Latin-1
  std::vector<Syntax> syntaxes;
  std::vector<std::optional<Entry>> entries;  // one per syntax
};

enum class ConstantType { Integer, String, None };

struct Constant {
  std::uint32_t flags = 0;
  ConstantType type = ConstantType::None;
  std::string french, english;  // Latin-1
  std::uint32_t value = 0;      // integers
  std::string text;             // strings, Latin-1
};

struct Variable {
  int number = 0;
  std::uint32_t flags = 0;
  std::uint32_t type = 0;
  std::string french, english;
};

struct Tables {
  std::vector<Function> functions;
  std::vector<Constant> constants;
  std::vector<Variable> variables;
};

// Reads the row files of `dir` (fonctions.tsv, constantes.tsv,
// variables.tsv, entrees.tsv, adresses.tsv) and the further entry files; throws
// std::runtime_error naming the file and line of the first fault.
Tables readTables(const std::string& dir, const std::vector<std::string>& entryFiles = {});

// Latin-1 name without accents, as used in entry-point names.
std::string withoutAccents(const std::string& latin1);

// Exported name of one syntax's entry point.
std::string entryPointName(const Function& f, int syntax);

}  // namespace gentables
