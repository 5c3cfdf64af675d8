// Binary-to-text encodings: the maker-specific base 64 (no padding), the
// standard base 64 (with '=' padding) and a UU-style form (characters
// value + 32, between a fixed header and trailer). Three bytes become four
// characters; CR LF follows every groupsPerLine complete groups.
//
// Encoding and decoding can stream: an STEtatEncodage carries the bytes of an
// incomplete group and the position in the line from one piece to the next,
// an STEtatDecodage the characters of an incomplete group (and, UU-style, the
// last seven characters, which may be the trailer), so a text is coded piece
// by piece exactly as in one call. Decoding never writes more than the size
// it announces.
#pragma once

#include <cstddef>

#include "abi/TypesBase.h"

class CXError;

// State of an encoding in progress (zero-initialised to start).
struct STEtatEncodage {
  BYTE abyReste[3] = {};      // bytes of the group not yet complete
  unsigned nReste = 0;        // how many (0 to 2)
  unsigned nGroupesLigne = 0; // complete groups already in the current line
  bool bDebut = false;        // the header (UU-style) is written
};

// State of a decoding in progress (zero-initialised to start).
struct STEtatDecodage {
  char acReste[4] = {};      // characters of the group not yet complete
  unsigned nReste = 0;       // how many (0 to 3; the first is no CR or LF)
  char acFin[7] = {};        // UU-style: the last characters seen, held back
  unsigned nFin = 0;
  std::size_t nVus = 0;      // UU-style: characters seen (the header is skipped)
  bool bFini = false;        // padding, a NUL or nDecodeFin ended the text
};

class CEncodeBase {
public:
  virtual ~CEncodeBase() = default;

  // Encodes data in one go.
  //   data, length   the bytes (data may be null when length is 0)
  //   groupsPerLine  groups of four characters per line (0: one line)
  //   out            the text, or null to measure only; receives no NUL
  // Returns the number of characters (written or needed).
  virtual std::size_t nEncode(const BYTE* data, std::size_t length, unsigned groupsPerLine, char* out);
  // Decodes a NUL-terminated text (null: empty).
  //   out  the bytes, or null to measure only
  // Returns the number of bytes (written or needed).
  virtual std::size_t nDecode(const char* text, BYTE* out);
  // The same over length characters (stops at a NUL before them).
  std::size_t nDecode(const char* text, std::size_t length, BYTE* out);

  // Streaming: decodes the next length characters of a text (a NUL among
  // them ends the text), keeping an incomplete group for later. out (null:
  // measure) must hold nTailleDecodeMorceau(etat, length) bytes. Returns the
  // count. Pieces after the end of the text are ignored.
  std::size_t nDecodeMorceau(STEtatDecodage& etat, const char* text, std::size_t length, BYTE* out);
  // Ends the text: the last incomplete group. out (null: measure) must hold
  // 2 bytes. Returns the count.
  std::size_t nDecodeFin(STEtatDecodage& etat, BYTE* out);
  // Most bytes nDecodeMorceau writes for length more characters.
  static std::size_t nTailleDecodeMorceau(const STEtatDecodage& etat, std::size_t length) {
    return (etat.nReste + etat.nFin + length) / 4 * 3 + 3;
  }

  // Streaming: encodes the complete groups of data after those left in
  // etat, keeping an incomplete group for later. out (null: measure) must
  // hold nTailleMorceau(etat, length) characters. Returns the count.
  std::size_t nEncodeMorceau(STEtatEncodage& etat, const BYTE* data, std::size_t length, unsigned groupsPerLine,
                             char* out);
  // Ends the text: the last incomplete group, padding and trailer. out (null:
  // measure) must hold nTailleFin characters. Returns the count.
  std::size_t nEncodeFin(STEtatEncodage& etat, unsigned groupsPerLine, char* out);
  // Most characters nEncodeMorceau writes for length more bytes.
  std::size_t nTailleMorceau(const STEtatEncodage& etat, std::size_t length, unsigned groupsPerLine) const;
  static constexpr std::size_t nTailleFin = 32;  // UU-style header and trailer included

  // Allocate (malloc) and fill: the text NUL-terminated, the caller frees it.
  // Returns the encoded length; -1 (and out null) when memory is short.
  long nEncodeEtAlloue(const BYTE* data, std::size_t length, unsigned groupsPerLine, char*& out);
  // Returns the decoded length; -1 (and out null) when memory is short.
  long nDecodeEtAlloue(const char* text, BYTE*& out);

  // A whole file encoded (decoded) into another, created: pieces of 3000
  // groups per line bytes (1000 lines); false with the error filled (message
  // 28257 when memory is short, the file's own error otherwise).
  bool bEncodeFichier(const char* pszSource, const char* pszDestination, unsigned groupsPerLine, CXError* pclErreur);
  bool bDecodeFichier(const char* pszSource, const char* pszDestination, unsigned groupsPerLine, CXError* pclErreur);

  // The character of a 6-bit value and the value of a character.
  virtual char __cEncodeByte(BYTE bySixBits) const;
  virtual BYTE __byDecodeChar(char c) const;

protected:
  // Properties of the three forms.
  virtual bool _bPadding() const { return false; }       // '=' written and read
  virtual bool _bUU() const { return false; }            // UU-style alphabet, header and trailer
  // Table of the 64 characters.
  virtual const char* _pszAlphabet() const;

private:
  std::size_t _nDecodeGroupes(const BYTE* t, std::size_t pos, std::size_t fin, BYTE* out, std::size_t& n) const;
  std::size_t _nDecodeEtapes(const BYTE* t, std::size_t pos, std::size_t fin, bool bFinal, BYTE* out, std::size_t& n,
                             bool& bArret);
  std::size_t _nDecodeFlux(STEtatDecodage& etat, const BYTE* t, std::size_t length, BYTE* out);
};

// Maker-specific base 64: standard alphabet, no padding, '=' read as 63.
class CEncodeBase64ORX : public CEncodeBase {};

// Standard base 64 with padding.
class CEncodeBase64 : public CEncodeBase {
public:
  BYTE __byDecodeChar(char c) const override;

protected:
  bool _bPadding() const override { return true; }
};

// UU-style: "begin 0666 uu\r\n", characters value + 32, 45 groups per line,
// "\r\nend\r\n".
class CEncodeUUEncode : public CEncodeBase {
public:
  char __cEncodeByte(BYTE bySixBits) const override { return static_cast<char>(bySixBits + 32); }
  BYTE __byDecodeChar(char c) const override { return static_cast<BYTE>(static_cast<BYTE>(c) - 32); }

protected:
  bool _bUU() const override { return true; }
  const char* _pszAlphabet() const override;
};

// Encodings by number: 1 maker base 64, 2 standard base 64, 3 UU-style;
// null for any other. The caller deletes it.
CEncodeBase* pclGetEncodeur(int nEncodage);

// Groups per line of the UU-style form.
constexpr unsigned UU_GROUPES_LIGNE = 45;

// Computing paths of the base-64 forms; every path gives the same text and
// the same bytes, line breaks and damaged texts included.
enum eCHEMINBASE64 : int {
  BASE64_SCALAIRE = 0,  // tables, a group at a time
  BASE64_SSSE3 = 1,     // 128-bit vectors (needs SSSE3)
  BASE64_AVX2 = 2,      // 256-bit vectors (needs AVX2)
};
// True when the processor can run the path.
bool BASE64_bCheminDisponible(eCHEMINBASE64 eChemin);
// The path in use: the fastest available unless another was imposed.
eCHEMINBASE64 BASE64_eChemin();
// Imposes a path on the whole process (tests and benchmarks); false, and
// nothing changed, when the processor cannot run it.
bool BASE64_bImposeChemin(eCHEMINBASE64 eChemin);

// URL percent-encoding. Mode 0 keeps letters, digits and @!#$&'()*,-./:;=?_;
// mode 1 keeps letters and digits only.
std::size_t nCalculeLongueurEncodee(const char* text, int mode);
// Writes the encoded text (nCalculeLongueurEncodee characters, no NUL).
void EncodeURL(const char* text, char* out, int mode);
// Decoded length (bytes) of text.
std::size_t nCalculeLongueurDecodee(const char* text);
// Writes the decoded bytes (nCalculeLongueurDecodee of them); returns the count.
std::size_t DecodeURL(const char* text, char* out);
