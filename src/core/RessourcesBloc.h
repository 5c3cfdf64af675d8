// The embedded message block and its length table (generated from the
// message sources at build time).
#pragma once

#include "abi/TypesBase.h"
#include "core/accesdllres.h"

// Entries in increasing identifier order: 2 identifier bytes (first * 255 +
// second - 256), the text in the short-string coding, a 0 byte. The first
// entry (identifier 0) opens the block, the last one closes it.
extern const BYTE gabBlocRessources[];
// length[0] = 0; length[i + 1]: coded length of entry i's text.
extern const WORD _tabTailleChaineRes[NB_RESSOURCES];
// Coded length of the last entry's text (no slot of the table holds it).
extern const WORD gnTailleDerniereRessource;
