// C++ source text of the descriptor tables and of the entry points.
#pragma once

#include <string>

#include "rows.h"

namespace gentables {

// TablesDescripteurs.cpp: gstTabFonction, gstTabConstante, gstTabVariable.
std::string emitTables(const Tables& t);
// Entrees.cpp: one exported VXL_<name>_<n> per syntax that has an entry.
std::string emitEntries(const Tables& t);

}  // namespace gentables
