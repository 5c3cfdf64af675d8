// Help data for the host tools: a one-line description of every function in
// French and English (descriptions.tsv, checked: every row has one), the
// subsystem that serves it, the constants to mention, the errors its
// methods can raise (from the raise-site graph), and the parameter names of
// each syntax, read from the method declarations and named in both
// languages by parametres.tsv (checked: none missing, none unused).
#pragma once

#include <string>
#include <vector>

#include "raises.h"
#include "rows.h"

namespace gentables {

// Aide.inc: one initialiser row per function row, in table order. Throws
// std::runtime_error for a row without description or a description of no
// row, and for a parameter without names or names of no parameter. Without
// `raises` the error lists are empty.
std::string emitHelp(const Tables& t, const std::string& rowDir, const std::vector<std::string>& entryFiles,
                     const RaiseGraph* raises);

}  // namespace gentables
