// Internal paths of the CRC-32, on the raw register (complemented start,
// no final complement).
#pragma once

#include <cstddef>

#include "abi/TypesBase.h"

namespace kvcrc {
DWORD dwRegistreOctets(DWORD r, const BYTE* p, std::size_t n);
DWORD dwRegistreTables(DWORD r, const BYTE* p, std::size_t n);
DWORD dwRegistrePclmul(DWORD r, const BYTE* p, std::size_t n);
DWORD dwRegistreVpclmul(DWORD r, const BYTE* p, std::size_t n);
bool bPclmulDisponible();
bool bVpclmulDisponible();
}  // namespace kvcrc
