// LZW block compressors. CZLWCompresseur writes type 4 (9- to 16-bit codes
// packed least-significant bit first; 0 resets, 1-256 are the bytes, 257
// ends, 258 up are strings) or type 0 when coding does not pay, and reads
// types 0 and 4. CVieuxBlocCompresseur reads and writes the older type 2
// (codes most-significant bit first, a dictionary of 4096 strings, an escape
// code 256 for control codes).
//
// CCodeurZLW and CDecodeurZLW are the resumable cores of the type-4 coder
// and decoder: input comes in pieces of any size, the block (or the decoded
// bytes) take shape in one output buffer.
#pragma once

#include <cstring>

#include "compression/Compresseur.h"

class CCodeurZLW {
public:
  CCodeurZLW() = default;
  ~CCodeurZLW();
  CCodeurZLW(const CCodeurZLW&) = delete;
  CCodeurZLW& operator=(const CCodeurZLW&) = delete;

  // Starts a block.
  //   out     the block buffer; codes are written from offset 11
  //   limite  coding is abandoned when the output position (header
  //           included) reaches it; at most the capacity of out minus 4
  // False when memory is short.
  bool bDebut(BYTE* out, DWORD limite);
  // Codes n more bytes. False once coding is abandoned.
  bool bCode(const BYTE* p, DWORD n);
  // Writes the last code, the end code and the last bits, then the header
  // (type 4, sizes). Returns the block size; 0 when coding was abandoned.
  DWORD dwTermine();

  // Full-dictionary rule: the dictionary is reset when the compression ratio
  // (percent) of the last 16 KiB read falls this many points below the best
  // such ratio since it filled.
  static constexpr double MARGE_DICO_PLEIN = 0.2;

  // What happened to the dictionary since bDebut (tests, measurements).
  struct STStatistiques {
    DWORD dwPlein = 0;        // times it became full
    DWORD dwResetPlein = 0;   // resets of a full dictionary (the ratio fell)
    DWORD dwResetHash = 0;    // resets for want of a free hash slot
  };
  const STStatistiques& stStatistiques() const { return m_stStat; }

private:
  void _RAZDico();
  void _Emet(DWORD dwCode) {
    m_dwAccu |= dwCode << m_nBits;  // at most 7 + 16 bits
    m_nBits += m_nLargeur;
    if (m_dwPos < m_dwLimite) {
      // Room for four bytes (the limit is 4 below the capacity): the whole
      // accumulator goes out, the position moves by the complete bytes.
      std::memcpy(m_pbySortie + m_dwPos, &m_dwAccu, 4);
      m_dwPos += m_nBits >> 3;
      m_dwAccu >>= m_nBits & ~7u;
      m_nBits &= 7;
      return;
    }
    while (m_nBits >= 8) {
      m_pbySortie[m_dwPos++] = static_cast<BYTE>(m_dwAccu);
      m_dwAccu >>= 8;
      m_nBits -= 8;
    }
  }
  // Adds (code, byte) in the hash slot found free, or applies the reset
  // rules; false when the output limit is reached.
  bool _bAjoute(DWORD dwCle, DWORD dwSlot, bool bSlotLibre);
  void _EmetReset();

  // The hash table, 131072 slots side by side in two arrays: the key of the
  // string (prefix code << 8 | byte) tagged with the generation in its top
  // byte, and its code. A slot whose tag is not the current generation is
  // free, so a reset only moves to the next generation.
  DWORD* m_pdwCle = nullptr;
  WORD* m_pwCode = nullptr;
  DWORD m_dwGeneration = 0;    // 1 to 255, in the top byte
  BYTE* m_pbySortie = nullptr;
  DWORD m_dwPos = 0, m_dwLimite = 0;
  DWORD m_dwAccu = 0;
  unsigned m_nBits = 0, m_nLargeur = 9;
  DWORD m_dwLimiteCode = 512, m_dwSuivant = 258;
  int m_nCourant = -1;         // code of the match in progress (-1 before the first byte)
  DWORD m_dwLus = 0;           // bytes read in all
  bool m_bAbandon = false;
  // Full dictionary: the window being measured (bytes read and output
  // position at its start, where it ends) and the best window ratio.
  bool m_bFenetre = false;
  DWORD m_dwLusFenetre = 0, m_dwPosFenetre = 0, m_dwFinFenetre = 0;
  double m_dBest = -1e9;
  STStatistiques m_stStat;
};

class CDecodeurZLW {
public:
  CDecodeurZLW() = default;
  ~CDecodeurZLW();
  CDecodeurZLW(const CDecodeurZLW&) = delete;
  CDecodeurZLW& operator=(const CDecodeurZLW&) = delete;

  // Starts decoding a payload (the block after its 11-byte header).
  //   out     where the bytes go
  //   total   how many to produce at most (the size the header gives,
  //           within the room of out)
  // False when memory is short.
  bool bDebut(BYTE* out, DWORD total);
  // Decodes n more payload bytes. bDernier: no more will come, so bits
  // left over that do not make a whole code end the payload. Returns false
  // once decoding has ended (end code, total reached, damaged or cut data,
  // memory short), true while more input is welcome.
  bool bDecode(const BYTE* p, DWORD n, bool bDernier);
  // Bytes produced so far.
  DWORD dwProduits() const { return m_n; }
  // Decoding stopped for lack of memory (what was produced is not usable).
  bool bMemoireManque() const { return m_bMemoire; }

private:
  // A code's string lies in the output already: where, and its length.
  struct STChaine {
    DWORD dwDebut, dwLongueur;
  };
  bool _bTraite(DWORD c);  // one code; false when decoding ends
  bool _bAjoute(DWORD dwDebut, DWORD dwLongueur);
  void _Ecrit(DWORD dwDebut, DWORD dwLongueur);

  STChaine* m_pDico = nullptr; // codes 258 and up; grows by doubling
  DWORD m_dwCapacite = 0;      // codes the array can hold (from 0)
  BYTE* m_pbySortie = nullptr;
  DWORD m_dwTotal = 0, m_n = 0;
  DWORD m_dwAccu = 0;
  unsigned m_nBits = 0, m_nLargeur = 9;
  DWORD m_dwLimite = 512, m_dwSuivant = 258;
  bool m_bPrec = false;        // a previous string exists (since the start or the last reset)
  DWORD m_dwDebutPrec = 0, m_dwLongueurPrec = 0;  // its string in the output
  bool m_bFini = false, m_bMemoire = false;
};

class CZLWCompresseur : public CCompresseurBase {
public:
  // Compresses the pieces one after the other as one source of srcSize
  // bytes (the sum of the sizes) into dst (capacity srcSize + 7 at least).
  // Returns the block size, 0 on failure.
  struct STMorceau {
    const BYTE* p;
    DWORD n;
  };
  DWORD dwCompressionMorceaux(const STMorceau* pMorceaux, int nMorceaux, BYTE* dst, DWORD dstCapacity);

protected:
  DWORD _dwCompression() override;
  DWORD _dwDecompression() override;

private:
  DWORD _dwDecompressionZLW();
};

class CVieuxBlocCompresseur : public CCompresseurBase {
protected:
  DWORD _dwCompression() override;
  DWORD _dwDecompression() override;
};

// Decoders over plain memory, for the block compressors and for tests:
// never read past src + srcSize nor write past dst + dstCapacity. Return
// the number of bytes written.
DWORD ZLW_dwDecode(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity);
DWORD VIEUXBLOC_dwDecode(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity);
// Old-format coder: whole block (header included) into dst of capacity
// srcSize + 7 at least; 0 when it does not fit (the caller stores instead).
DWORD VIEUXBLOC_dwCode(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity);
