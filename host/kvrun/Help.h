// kvrun's help on the library: one function in full (--help NAME), the
// functions grouped by subsystem (--list), and a shell completion script
// (--completion bash). The texts come from the help rows generated with
// the descriptor tables.
#pragma once

#include <string>
#include <vector>

#include "Host.h"

namespace kvrun {

// A function by French name (accents optional, UTF-8 or Windows-1252) or
// English name; null when there is none.
const kvhost::FunctionInfo* findFunction(const kvhost::Catalog& catalog, const std::string& name);
// The help of one function in the host's language: names, description,
// syntaxes with their parameter names, constants, and every error it can
// raise with its message.
std::string functionHelp(kvhost::Host& host, const kvhost::FunctionInfo& f);
// The user error codes that function's help lists.
std::vector<DWORD> documentedErrors(const kvhost::FunctionInfo& f);
// The constants that function's help lists, in the order it lists them.
std::vector<const kvhost::ConstantInfo*> documentedConstants(const kvhost::Catalog& catalog, const kvhost::FunctionInfo& f);
// Prints functionHelp; status 0, or 2 for an unknown name.
int showFunctionHelp(kvhost::Host& host, const std::string& name);
int listFunctions(const kvhost::Catalog& catalog, const std::string& pattern);
// Status 0, or 2 for a shell it does not know.
int printCompletion(const kvhost::Catalog& catalog, const std::string& shell);

}  // namespace kvrun
