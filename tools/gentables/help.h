// Help data for the host tools: a one-line description of every function in
// French and English (descriptions.tsv, checked: every row has one), the
// subsystem that serves it, the constants and errors to mention, and the
// parameter names of each syntax, read from the method declarations.
#pragma once

#include <string>
#include <vector>

#include "rows.h"

namespace gentables {

// Aide.inc: one initialiser row per function row, in table order. Throws
// std::runtime_error for a row without description or a description of no row.
std::string emitHelp(const Tables& t, const std::string& rowDir, const std::vector<std::string>& entryFiles);

}  // namespace gentables
