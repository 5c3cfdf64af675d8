// CDataCompressor: the short-string text coder. A text becomes base-40 digits
// over four 32-character tables, three digits to a pair of bytes, with
// escapes for raw bytes; the coded text never holds a 0 byte before its
// terminating 0.
#pragma once

class CDataCompressor {
public:
  // Results of the coder and the decoder.
  enum : int {
    DC_OK = 0,            // done
    DC_OCTET_NUL = 1,     // coder: the input holds a 0 byte, which the coding cannot carry
    DC_SORTIE_PLEINE = 2, // coder: output too small; decoder: output truncated
  };

  CDataCompressor() = default;

  // Codes a text into pbySortie, terminating 0 included.
  //   pbySortie        receives the coded bytes (may be null when nCapacite is 0)
  //   nCapacite        size of pbySortie in bytes, terminator included
  //   pbyEntree        the text (null: the empty text)
  //   nLongueurEntree  number of bytes of pbyEntree; negative (-1): the text
  //                    is NUL-terminated
  // Returns DC_OK; DC_SORTIE_PLEINE when pbySortie is too small; DC_OCTET_NUL
  // when nLongueurEntree counts a 0 byte (nothing is coded). On failure
  // pbySortie holds the empty text (when nCapacite > 0).
  int nCompress(unsigned char* pbySortie, int nCapacite, const unsigned char* pbyEntree, int nLongueurEntree);
  // Size of the coding of the text (as nCompress reads it), terminator
  // included: the capacity that nCompress needs; -1 when it holds a 0 byte.
  int nTailleCodage(const unsigned char* pbyEntree, int nLongueurEntree);

  // Decodes the NUL-terminated coded text pbyEntree into pbySortie,
  // NUL-terminated.
  //   pnLongueurSortie  on entry the size of pbySortie (terminator included),
  //                     on return the number of decoded bytes before the
  //                     terminator
  // Returns DC_OK, or DC_SORTIE_PLEINE when the text did not fit: pbySortie
  // then holds its first *pnLongueurSortie bytes and a 0 in its last byte
  // (with a size of 0 nothing is written).
  int nDeCompress(unsigned char* pbySortie, int* pnLongueurSortie, const unsigned char* pbyEntree);
  // The same over exactly nLongueurEntree coded bytes (a 0 byte where a digit
  // is expected ends the text, so a length counting the terminator is fine).
  // Never reads pbyEntree[nLongueurEntree] nor writes past the size of
  // pbySortie, whatever the bytes: damaged pairs, digits above 39, escapes or
  // counts running past the end are dropped.
  int nDeCompress(unsigned char* pbySortie, int* pnLongueurSortie, const unsigned char* pbyEntree,
                  int nLongueurEntree);

  // nDeCompress through a temporary coder.
  static int s_nDeCompress(char* pszSortie, int* pnLongueurSortie, const char* pszEntree);
  // Decodes pszEntree into a block from malloc of strlen(pszEntree) * 1.5 + 2
  // bytes (always enough), which the caller frees; null when pszEntree is
  // null, the allocation fails or the decoder fails.
  static char* s_pszDeCompress(const char* pszEntree);

private:
  // Coding of the whole input into the output; DC_OK or DC_SORTIE_PLEINE.
  int _nGenerateBitStream();
  // Way to code the byte at nPos, absent from the current charset:
  // 0-3 shift, 4-7 latch, 8 raw bytes.
  int _nMeilleurDecalage(int nPos);
  // Number of bytes from nPos (a byte needing raw coding) to send raw, 1 to 255.
  int _nLongueurBinaire(int nPos);
  // Charset with the lowest cost over the input from nPos, from the costs anCout.
  int _nMeilleurJeu(int nPos, int anCout[4]);
  // Appends one byte to the output; false when it is full.
  bool _bEmet(unsigned char by);
  // Appends the pair of bytes of three digits.
  bool _bEmetTriplet(int d1, int d2, int d3);

  const unsigned char* m_pbyEntree = nullptr;
  int m_nLongueurEntree = 0;
  int m_nPosSortie = 0;
  int m_nCapaciteSortie = 0;
  unsigned char* m_pbySortie = nullptr;
  int m_nJeuCourant = 0; // charset in force, 0 to 3
  bool m_bMesure = false; // counts the output bytes without writing them
};
