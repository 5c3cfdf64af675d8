// C++ source text of the descriptor tables and of the entry points.
#pragma once

#include <cstdint>
#include <string>

#include "rows.h"

namespace gentables {

// TablesDescripteurs.cpp: gstTabFonction, gstTabConstante, gstTabVariable.
// `addressCode` is the code that parameters carrying an address take in
// this edition: 0x08 on i386, 0x0e on x86-64.
std::string emitTables(const Tables& t, std::uint32_t addressCode);
// Entrees.cpp: one exported VXL_<name>_<n> per syntax that has an entry.
std::string emitEntries(const Tables& t, std::uint32_t addressCode);

}  // namespace gentables
