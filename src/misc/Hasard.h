// Draws of the C library's random generator (15-bit draws).
#pragma once

#include <cstdint>

// A whole number from 0 to n - 1 (n > 0).
std::int64_t DIVERS_nHasard(std::int64_t n);
// Seeds from the millisecond clock.
void DIVERS_InitHasardHorloge();
// srand(seed), then one draw discarded.
void DIVERS_InitHasard(unsigned nGraine);
