// The LZ-Huffman "-lh5-" stream coder as a resumable streaming core: an
// encoder and a decoder that are fed and drained in pieces of any size, in
// the manner of zlib's deflate and inflate. 8 KB sliding window, matches of
// 3 to 256 bytes, literals and lengths, and distances coded with static
// Huffman codes sent block by block. The bit stream is the LHA "-lh5-"
// method: any "-lh5-" decoder reads what CLh5Encodeur writes, and
// CLh5Decodeur reads what any "-lh5-" encoder writes. Also the CRC-16 (ARC)
// that LHA archives carry over the uncompressed bytes.
#pragma once

#include <cstddef>
#include <memory>

#include "abi/TypesBase.h"

// Fixed parameters of the method.
constexpr int LH5_DICBIT = 13;
constexpr int LH5_DICSIZ = 1 << LH5_DICBIT;  // 8192-byte window
constexpr int LH5_MAXMATCH = 256;            // longest match
constexpr int LH5_THRESHOLD = 3;             // shortest match coded as a match
constexpr int LH5_NC = 256 + LH5_MAXMATCH - LH5_THRESHOLD + 1;  // 510 literal/length codes
constexpr int LH5_CBIT = 9;
constexpr int LH5_NP = LH5_DICBIT + 1;  // 14 distance codes
constexpr int LH5_PBIT = 4;
constexpr int LH5_NT = 16 + 3;  // 19 code-length codes
constexpr int LH5_TBIT = 5;

// The pieces of one call: like zlib's z_stream, the caller points at its
// input and output, the coder advances the pointers and lowers the counts.
struct STLh5Flux {
  const BYTE* pEntree = nullptr;  // next input byte
  DWORD nEntree = 0;              // input bytes available at pEntree
  BYTE* pSortie = nullptr;        // next output byte
  DWORD nSortie = 0;              // room at pSortie
  QWORD qTotalEntree = 0;         // input bytes consumed so far
  QWORD qTotalSortie = 0;         // output bytes produced so far
};

// Result of a step.
enum eLH5 : int {
  LH5_OK = 0,                // progress made or more input/room needed; call again
  LH5_FIN = 1,               // the whole stream is done (and drained)
  LH5_ERREUR_DONNEES = -3,   // damaged or truncated compressed data
  LH5_ERREUR_MEMOIRE = -4,   // the coder's memory could not be allocated
  LH5_ERREUR_ETAT = -2,      // the coder was not started, or used after an error
};

// CRC-16/ARC (reflected polynomial 0xA001, register from 0, no final XOR),
// the check LHA headers carry.
class CCrc16Arc {
public:
  // The register after every byte of p[0..n) from the current value.
  void Ajoute(const BYTE* p, std::size_t n);
  WORD wValeur() const { return m_wCrc; }
  void Raz() { m_wCrc = 0; }

private:
  WORD m_wCrc = 0;
};

// Encoder. bDemarre once, then nCode until it returns LH5_FIN:
//   nCode(flux, false)  consumes input while it can and writes out coded
//                       bytes while there is room; LH5_OK when it needs
//                       more input or more room;
//   nCode(flux, true)   the input given is the last: codes it, sends the
//                       last block; LH5_FIN once every coded byte has been
//                       written out (call again with more room until then).
// The output depends only on the bytes, never on how they were cut into
// pieces. An empty input codes to an empty stream.
class CLh5Encodeur {
public:
  CLh5Encodeur();
  ~CLh5Encodeur();
  CLh5Encodeur(const CLh5Encodeur&) = delete;
  CLh5Encodeur& operator=(const CLh5Encodeur&) = delete;

  // Allocates the dictionary and the staging buffer; false when memory is
  // lacking (the encoder is then unusable).
  bool bDemarre();
  int nCode(STLh5Flux& flux, bool bFin);

  struct Etat;

private:
  std::unique_ptr<Etat> m_p;
};

// Decoder of a stream whose uncompressed size is known (LHA streams carry
// no end marker):
//   bDemarre(qTaille)   qTaille bytes will be produced;
//   nDecode(flux, bFin) consumes input and produces output while it can;
//                       bFin says the input given holds the rest of the
//                       stream. LH5_FIN once qTaille bytes are out;
//                       LH5_ERREUR_DONNEES for a damaged stream or one that
//                       ends before qTaille bytes could be produced.
// Damaged data never makes it read or write outside its own tables and
// window; the window starts filled with spaces, as in other "-lh5-"
// decoders, so a distance reaching before the first byte reads spaces.
class CLh5Decodeur {
public:
  CLh5Decodeur();
  ~CLh5Decodeur();
  CLh5Decodeur(const CLh5Decodeur&) = delete;
  CLh5Decodeur& operator=(const CLh5Decodeur&) = delete;

  bool bDemarre(QWORD qTaille);
  int nDecode(STLh5Flux& flux, bool bFin);

  struct Etat;

private:
  std::unique_ptr<Etat> m_p;
};

// Canonical Huffman code of at most 16 bits per symbol, as "-lh5-" builds it.
//   pwFreq    frequency of each of the n symbols (n <= LH5_NC)
//   pbyLong   receives each symbol's code length (0 for an unused symbol)
//   pwCode    receives each symbol's code (its low pbyLong[i] bits)
// Returns the number of used symbols; with fewer than 2 the lengths are 0
// and *pnSeul (when given) receives the only used symbol (0 when none).
int LH5_nConstruitCode(int n, const WORD* pwFreq, BYTE* pbyLong, WORD* pwCode, int* pnSeul);
