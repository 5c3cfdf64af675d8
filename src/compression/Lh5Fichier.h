// "-lh5-" coding between two open files of the disk-file layer: the
// streaming coder fed from the source in 64 KiB reads, its output
// gathered in a 64 KiB cache before each write, a progress point after
// each piece (where the stop flag is looked at), and the CRC-16 of the
// uncompressed bytes.
#pragma once

#include "abi/TypesBase.h"

class CDiskFile;

enum eLH5FICHIER : int {
  LH5F_OK = 0,
  LH5F_INCOMPRESSIBLE = 1,  // the stream would not be 288 bytes shorter than the data
  LH5F_LECTURE = 2,         // the source could not be read (system error in dwErrno)
  LH5F_ECRITURE = 3,        // the destination could not be written (system error in dwErrno)
  LH5F_ARRET = 4,           // stop requested
  LH5F_MEMOIRE = 5,         // the coder's memory could not be allocated
  LH5F_DONNEES = 6,         // damaged or truncated compressed data
};

struct STLh5Fichier {
  QWORD qLu = 0;     // source bytes read (compaction) or produced (expansion)
  QWORD qEcrit = 0;  // bytes written to the destination
  WORD wCrc = 0;     // CRC-16 (ARC) of the uncompressed bytes
  DWORD dwErrno = 0;
};

// Codes up to qTaille bytes of the source (from its current offset, fewer
// if it ends sooner) into the destination at its current offset. With
// bLimite the coding gives up (LH5F_INCOMPRESSIBLE) as soon as the stream
// reaches qTaille - 288 bytes.
int LH5_nCompacteFichier(CDiskFile& clSource, CDiskFile& clDestination, QWORD qTaille, bool bLimite,
                         STLh5Fichier* pst);

// Reads qCompresse bytes of the source from its current offset and writes
// the qTaille bytes they decode to into the destination; bStocke: the bytes
// are stored as they are ("-lh0-").
int LH5_nDecompacteFichier(CDiskFile& clSource, QWORD qCompresse, CDiskFile& clDestination, QWORD qTaille,
                           bool bStocke, STLh5Fichier* pst);
