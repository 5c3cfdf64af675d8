// The block-compression framework: CCompresseurBase (a compressor object
// with its block header and a recursive mutex held for one whole
// compression or decompression), CCompresseur (chooses and owns the object
// for a compressor type) and CCompresseurKVC40 (blocks in the short-string
// coding).
//
// Block header, little-endian: byte 0 the type; type 0 (stored): u32 size,
// then the bytes (5 + n); types 2 and 4: u32 payload size, u32 decoded size,
// u16 0, then the payload (11 + payload). Type 5 has no header: the block is
// a NUL-terminated short-string coding.
#pragma once

#include <pthread.h>

#include "abi/TypesBase.h"

enum eCOMPRESSEURTYPE : BYTE {
  COMPRESSEUR_COPIE = 0,      // stored
  COMPRESSEUR_VIEUXBLOC = 2,  // old block LZW (read)
  COMPRESSEUR_ZLW = 4,        // current block LZW
  COMPRESSEUR_KVC40 = 5,      // short-string coding
};

constexpr DWORD TAILLE_INCONNUE = 0xFFFFFFFFu;
constexpr DWORD TAILLE_ENTETE_COPIE = 5;
constexpr DWORD TAILLE_ENTETE_BLOC = 11;

inline DWORD dwLitLE32(const BYTE* p) {
  return DWORD{p[0]} | (DWORD{p[1]} << 8) | (DWORD{p[2]} << 16) | (DWORD{p[3]} << 24);
}
inline void EcritLE32(BYTE* p, DWORD d) {
  p[0] = static_cast<BYTE>(d);
  p[1] = static_cast<BYTE>(d >> 8);
  p[2] = static_cast<BYTE>(d >> 16);
  p[3] = static_cast<BYTE>(d >> 24);
}

class CCompresseurBase {
public:
  CCompresseurBase();
  virtual ~CCompresseurBase();
  CCompresseurBase(const CCompresseurBase&) = delete;
  CCompresseurBase& operator=(const CCompresseurBase&) = delete;

  // Total size of the block at block (nDisponible bytes readable there);
  // TAILLE_INCONNUE for an unknown type or a header cut short.
  virtual DWORD dwTailleEntree(const BYTE* block, DWORD nDisponible);
  // Size the block decodes to; TAILLE_INCONNUE as above.
  virtual DWORD dwTailleDecompression(const BYTE* block, DWORD blockSize);
  // Destination capacity needed to compress n bytes.
  virtual DWORD dwTailleBufferCompression(DWORD n) { return n + 7; }

  // Compresses src into dst (capacity dstCapacity, at least
  // dwTailleBufferCompression(srcSize)); returns the block size, 0 on failure.
  DWORD dwCompression(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity);
  // Decodes the block src (srcSize bytes) into dst, writing at most
  // dstCapacity bytes; returns the decoded size, 0 on failure.
  DWORD dwDecompression(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity);

protected:
  virtual DWORD _dwCompression() = 0;
  virtual DWORD _dwDecompression() = 0;
  // Writes the header of a block of the given type at the destination.
  virtual void _EcritEntete(BYTE byType, DWORD dwTailleCompressee);
  // Stored form of the source; returns source size + 5.
  DWORD _dwCompresseCopie();
  // Copies a stored block; 0 when it does not fit or is cut short.
  DWORD _dwDecompresseCopie();

  const BYTE* m_pbySource = nullptr;
  DWORD m_dwTailleSource = 0;
  BYTE* m_pbyDestination = nullptr;
  DWORD m_dwTailleDestination = 0;
  pthread_mutex_t m_Mutex;
};

// Blocks in the short-string coding: the source is [u32 length][bytes].
class CCompresseurKVC40 : public CCompresseurBase {
public:
  DWORD dwTailleEntree(const BYTE* block, DWORD nDisponible) override;
  DWORD dwTailleDecompression(const BYTE* block, DWORD blockSize) override { return g_dwTailleBufferDecompression(blockSize); }
  DWORD dwTailleBufferCompression(DWORD n) override { return 2 * n + 1; }
  static DWORD g_dwTailleBufferDecompression(DWORD n) { return static_cast<DWORD>(n * 1.5) + 2; }

protected:
  DWORD _dwCompression() override;
  DWORD _dwDecompression() override;
  void _EcritEntete(BYTE, DWORD) override {}
};

// The dispatcher: owns the compressor object of its current type.
class CCompresseur {
public:
  explicit CCompresseur(BYTE byType);
  ~CCompresseur();
  CCompresseur(const CCompresseur&) = delete;
  CCompresseur& operator=(const CCompresseur&) = delete;

  // Switches to the object of a type (unknown types act as 4; type 0 keeps
  // an existing object). False when memory is short.
  bool ChangeMethodeCompression(BYTE byType);
  BYTE byGetType() const { return m_byType; }

  void ChangeSource(const BYTE* p, DWORD n) { m_pbySource = p; m_dwTailleSource = n; }
  void ChangeDestination(BYTE* p, DWORD n) { m_pbyDestination = p; m_dwTailleDestination = n; }
  const BYTE* pbyLitSource() const { return m_pbySource; }
  DWORD dwLitTailleSource() const { return m_dwTailleSource; }
  BYTE* pbyLitDestination() const { return m_pbyDestination; }
  DWORD dwLitTailleDestination() const { return m_dwTailleDestination; }

  DWORD dwTailleEntree() { return m_pclObjet ? m_pclObjet->dwTailleEntree(m_pbySource, m_dwTailleSource) : TAILLE_INCONNUE; }
  DWORD dwTailleDecompression() {
    return m_pclObjet ? m_pclObjet->dwTailleDecompression(m_pbySource, m_dwTailleSource) : TAILLE_INCONNUE;
  }
  DWORD dwTailleBufferCompression(DWORD n) { return m_pclObjet ? m_pclObjet->dwTailleBufferCompression(n) : n + 7; }

  // Source into destination; the block size, 0 on failure.
  DWORD dwCompression();
  // Decodes the source; unless bAttendu is 5 the type is read from the
  // block's first byte (and the previous type restored after). Returns the
  // decoded size, 0 on failure.
  DWORD dwDecompression(BYTE byAttendu);

private:
  static CCompresseurBase* s_pclCree(BYTE byType);

  BYTE m_byType = 255;
  const BYTE* m_pbySource = nullptr;
  DWORD m_dwTailleSource = 0;
  BYTE* m_pbyDestination = nullptr;
  DWORD m_dwTailleDestination = 0;
  CCompresseurBase* m_pclObjet = nullptr;
};
