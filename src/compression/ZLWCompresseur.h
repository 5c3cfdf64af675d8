// LZW block compressors. CZLWCompresseur writes type 4 (9- to 16-bit codes
// packed least-significant bit first; 0 resets, 1-256 are the bytes, 257
// ends, 258 up are strings) or type 0 when coding does not pay, and reads
// types 0 and 4. CVieuxBlocCompresseur reads and writes the older type 2
// (codes most-significant bit first, a dictionary of 4096 strings, an escape
// code 256 for control codes).
//
// CCodeurZLW is the resumable core of the type-4 coder: input comes in
// pieces of any size, the block takes shape in one output buffer.
#pragma once

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

  // Full-dictionary rule: the dictionary is reset when the ratio since the
  // last reset falls this many percentage points below the best one reached.
  static constexpr double MARGE_DICO_PLEIN = 0.2;

private:
  void _RAZDico();
  void _Emet(DWORD dwCode) {
    m_dwAccu |= dwCode << m_nBits;
    m_nBits += m_nLargeur;
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

  WORD* m_pwHash = nullptr;    // 131072 slots: a code, 0 when free
  DWORD* m_pdwEntree = nullptr;// entry of each code: prefix << 8 | byte
  BYTE* m_pbySortie = nullptr;
  DWORD m_dwPos = 0, m_dwLimite = 0;
  DWORD m_dwAccu = 0;
  unsigned m_nBits = 0, m_nLargeur = 9;
  DWORD m_dwLimiteCode = 512, m_dwSuivant = 258;
  int m_nCourant = -1;         // code of the match in progress (-1 before the first byte)
  DWORD m_dwLus = 0;           // bytes read in all
  bool m_bAbandon = false;
  // Since the last reset: bytes read and output position, best ratio, last check.
  DWORD m_dwLusReset = 0, m_dwPosReset = 0, m_dwProchainControle = 0;
  double m_dBest = -1e9;
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
