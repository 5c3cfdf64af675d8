// File compaction: one file coded with the "-lh5-" method into a
// single-entry container, and back; the reader of the older LZW compacted
// files; the process-wide stop flag. All file access goes through
// CDiskFile.
//
// Container (integers little-endian):
//   0    u8        0x20
//   1    6 bytes   method, NUL-terminated: "-lh5-" coded, "-lh0-" stored
//   7    2 bytes   0
//   9    u32       compressed size (stream bytes after the header)
//   13   u32       uncompressed size
//   17   260 bytes source path at compaction, NUL-terminated, zero-filled
//   277  12 bytes  0
//   289  ...       stream, then two zero bytes
// A file that does not shrink by more than 288 bytes is stored as a "-lh0-"
// entry (header, then its bytes). Older writers stored such files as their
// own bytes without any header; those still expand to a given destination.
#pragma once

#include <cstddef>

#include "abi/TypesBase.h"

// Result codes of nfCompacte, sDecompacteEx and nOldDecompacte.
enum eCOMPACTE : short {
  COMPACTE_OK = 0,
  COMPACTE_SOURCE = 1,        // the source cannot be opened or read
  COMPACTE_DESTINATION = 2,   // the destination cannot be created or written, or damaged data
  COMPACTE_PAS_COMPACTE = 3,  // not a compacted file (nor an old one), and no destination to copy it to
  COMPACTE_ECRITURE = 4,      // write failure while compacting; no readable header while expanding
  COMPACTE_MEMOIRE = 5,       // the dictionary cannot be allocated
  COMPACTE_ARRET = 6,         // interrupted by the stop flag
  COMPACTE_DISQUE_PLEIN = 7,  // no space left on the destination's disk
};

constexpr int COMPACTE_TAILLE_ENTETE = 289;  // the byte 0x20 and the 288-byte header
constexpr int COMPACTE_TAILLE_NOM = 260;

// Compacts source into destination (created or truncated). The source's
// path (at most 259 bytes) is stored in the header; the destination gets
// the source's date and time. On any failure the destination is deleted.
// Source and destination must be different files (2 otherwise).
short nfCompacte(const char* pszSource, const char* pszDestination);

// Expands the compacted data found at byte lOffset of source.
//   pszDestination  output file, or a directory when it ends with '/' or
//                   ':' (the stored name's last component is added); null:
//                   the path stored at compaction
//   nLangue         not used
// A source that is not compacted (a file stored without header) is copied
// unchanged to the destination and counts as success; without destination
// it gives 3 and nothing is written. An old-format file is expanded by
// nOldDecompacte. The output gets the source's date and time;
// a failed or interrupted expansion deletes its partial output. When the
// output is the source itself, it is written to a temporary file first.
short sDecompacteEx(long lOffset, short nLangue, const char* pszSource, const char* pszDestination);
short nfDecompacte(short nLangue, const char* pszSource, const char* pszDestination);

// Sizes stored in a compacted file: -1 when it cannot be opened, -2 when it
// is not a compacted file. The compressed size of an old-format file is the
// size it declares for the disk.
long long lfTailleCompacte(const char* pszChemin);
long long lfTailleDecompacte(const char* pszChemin);

// Output path of an entry: the destination without trailing spaces, plus
// the last component of the stored name when the destination ends with '/'
// or ':'. pszSortie holds nTaille bytes; false when the path does not fit.
bool GereNomDest(const char* pszDestination, const char* pszNomStocke, char* pszSortie, std::size_t nTaille);

// Old compacted files: "MORVANEXLZCS" 0x40, u32 big-endian output size,
// u32 big-endian size for the disk, then LZW codes (9 to 14 bits, most
// significant bit first, 256 resets). Without destination the output takes
// the source's name and the source is kept under its name with the
// extension ".$$$"; it is moved back if the expansion fails.
// Result: 0, 1 (source), 2 (destination, write or damaged data), 3 (not in
// the old format, nothing touched), 7 (not enough free space).
short nOldDecompacte(const char* pszSource, const char* pszDestination);
// The size for the disk stored in an old compacted file, 0 when the file is
// not one.
long long lVerifieSiCompresseOld(const char* pszChemin);

// Stop flag, process-wide: a request made while a compaction or expansion
// runs (from any thread, or from the progress routine) ends it at its next
// progress point with result 6. Each compaction and expansion clears it
// when it starts.
void COMPACTE_DemandeArret();
bool COMPACTE_bArretDemande();
void COMPACTE_RazArret();
// Progress routine called with the percentage done (0 to 100) at each
// progress point; null (the default) for none.
typedef void (*PFNCOMPACTEPROGRESSION)(int nPourcent);
void COMPACTE_DefinitProgression(PFNCOMPACTEPROGRESSION pfn);
void COMPACTE_Progression(int nPourcent);
