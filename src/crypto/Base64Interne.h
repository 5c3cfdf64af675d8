// Vector kernels of the base-64 forms (Base64Simd.cpp), called by
// Encodeurs.cpp on the path chosen at run time. They handle only the plain
// middle of a text; the ends, line breaks met inside a group, padding and
// the UU-style form stay with the byte-at-a-time code.
#pragma once

#include <cstddef>

#include "abi/TypesBase.h"

namespace kvb64 {

bool bSsse3Disponible();
bool bAvx2Disponible();

// Encodes nGroupes whole groups of three bytes of data into four
// characters each (standard alphabet), with CR LF after every nLigne groups
// (nGroupesLigne already in the current line, updated); reads no byte at or
// beyond data + 3 * nGroupes. Returns the end of the text written.
char* pEncodeSsse3(const BYTE* data, std::size_t nGroupes, unsigned nLigne, unsigned& nGroupesLigne, char* out);
char* pEncodeAvx2(const BYTE* data, std::size_t nGroupes, unsigned nLigne, unsigned& nGroupesLigne, char* out);

// Decodes the text t from pos while whole blocks of characters hold no CR,
// LF nor (bPadding) '=', skipping a CR or LF found where a group starts, as
// the byte-at-a-time decoder does; never reads at or beyond fin. Writes
// three bytes per group at out + n (exactly, nothing beyond) and advances n.
// Returns the position where it stopped.
std::size_t nDecodeSsse3(const BYTE* t, std::size_t pos, std::size_t fin, bool bPadding, BYTE* out, std::size_t& n);
std::size_t nDecodeAvx2(const BYTE* t, std::size_t pos, std::size_t fin, bool bPadding, BYTE* out, std::size_t& n);

}  // namespace kvb64
