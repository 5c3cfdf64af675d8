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
//
// Also the frame of a compressed buffer (CADRE_*), what Compresse writes
// and Décompresse reads: [0 buffer / 1 text][u32 pack method] then, for
// method 0, [u32 length][bytes]; for method 1, one type-4 block decoding to
// [u32 length][bytes]; for method 2, the short-string coding of the bytes.
// A text packed with method 2 is the short-string coding alone, unframed.
#pragma once

#include <pthread.h>

#include "abi/TypesBase.h"

class CVXBIN;

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

  // Total size of the block at pbyBloc (nDisponible bytes readable there);
  // TAILLE_INCONNUE for an unknown type or a header cut short.
  virtual DWORD dwTailleEntree(const BYTE* pbyBloc, DWORD nDisponible);
  // Size the block decodes to; TAILLE_INCONNUE as above.
  virtual DWORD dwTailleDecompression(const BYTE* pbyBloc, DWORD dwTailleBloc);
  // Destination capacity needed to compress n bytes.
  virtual DWORD dwTailleBufferCompression(DWORD n) { return n + 7; }

  // Compresses the source into pbyDestination (capacity dwCapacite, at least
  // dwTailleBufferCompression(dwTailleSource)); returns the block size, 0 on
  // failure.
  DWORD dwCompression(const BYTE* pbySource, DWORD dwTailleSource, BYTE* pbyDestination, DWORD dwCapacite);
  // Decodes the block pbySource (dwTailleSource bytes) into pbyDestination,
  // writing at most dwCapacite bytes; returns the decoded size, 0 on failure.
  DWORD dwDecompression(const BYTE* pbySource, DWORD dwTailleSource, BYTE* pbyDestination, DWORD dwCapacite);

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
  DWORD dwTailleEntree(const BYTE* pbyBloc, DWORD nDisponible) override;
  DWORD dwTailleDecompression(const BYTE*, DWORD dwTailleBloc) override {
    return g_dwTailleBufferDecompression(dwTailleBloc);
  }
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

// ---- The compressed-buffer frame ----

constexpr DWORD TAILLE_CADRE = 5;  // [source kind][u32 pack method]

enum eCADRE : int {
  CADRE_OK = 0,
  CADRE_MEMOIRE = 1,    // the result cannot be allocated
  CADRE_METHODE = 2,    // a pack method other than 0, 1 and 2
  CADRE_ENDOMMAGE = 3,  // damaged data (the result is left empty)
};

// Packs dwTaille bytes with method nMethode (0 stored, 1 LZW, 2 short-string
// coding, LZW when the coding cannot carry the bytes) into *pclSortie,
// framed unless bTexte and method 2. CADRE_OK or the failure.
int CADRE_nCompresse(CVXBIN* pclSortie, const BYTE* pbyDonnees, DWORD dwTaille, bool bTexte, int nMethode);
// Unpacks framed data (nMethode -1; the method is read from the frame) or an
// unframed short-string coding (nMethode 2) into *pclSortie.
int CADRE_nDecompresse(CVXBIN* pclSortie, const BYTE* pbyDonnees, DWORD dwTaille, int nMethode);
