// kvrun's help on the library: one function in full (--help NAME), the
// functions grouped by subsystem (--list), and a shell completion script
// (--completion bash). The texts come from the help rows generated with
// the descriptor tables.
#pragma once

#include <string>

#include "Host.h"

namespace kvrun {

// Status 0, or 2 for an unknown name.
int showFunctionHelp(kvhost::Host& host, const std::string& name);
int listFunctions(const kvhost::Catalog& catalog, const std::string& pattern);
// Status 0, or 2 for a shell it does not know.
int printCompletion(const kvhost::Catalog& catalog, const std::string& shell);

}  // namespace kvrun
