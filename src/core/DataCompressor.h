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

  // Codes a text into out, terminating 0 included.
  //   out          receives the coded bytes (may be null when outCapacity is 0)
  //   outCapacity  size of out in bytes, terminator included
  //   in           the text (null: the empty text)
  //   inLength     number of bytes of in; negative (-1): in is NUL-terminated
  // Returns DC_OK; DC_SORTIE_PLEINE when out is too small; DC_OCTET_NUL when
  // inLength counts a 0 byte (nothing is coded). On failure out holds the
  // empty text (when outCapacity > 0).
  int nCompress(unsigned char* out, int outCapacity, const unsigned char* in, int inLength);
  // Size of the coding of in (as nCompress reads it), terminator included:
  // the capacity that nCompress needs; -1 when in holds a 0 byte.
  int nTailleCodage(const unsigned char* in, int inLength);

  // Decodes the NUL-terminated coded text in into out, NUL-terminated.
  //   inOutLength  on entry the size of out (terminator included), on return
  //                the number of decoded bytes before the terminator
  // Returns DC_OK, or DC_SORTIE_PLEINE when the text did not fit: out then
  // holds its first inOutLength bytes and a 0 in its last byte (with a size
  // of 0 nothing is written).
  int nDeCompress(unsigned char* out, int* inOutLength, const unsigned char* in);
  // The same over exactly inLength coded bytes (a 0 byte where a digit is
  // expected ends the text, so a length counting the terminator is fine).
  // Never reads in[inLength] nor writes past the size of out, whatever the
  // bytes: damaged pairs, digits above 39, escapes or counts running past
  // the end are dropped.
  int nDeCompress(unsigned char* out, int* inOutLength, const unsigned char* in, int inLength);

  // nDeCompress through a temporary coder.
  static int s_nDeCompress(char* out, int* inOutLength, const char* in);
  // Decodes in into a block from malloc of strlen(in) * 1.5 + 2 bytes (always
  // enough), which the caller frees; null when in is null, the allocation
  // fails or the decoder fails.
  static char* s_pszDeCompress(const char* in);

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
