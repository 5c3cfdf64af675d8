// CCryptFile: a disk file that is the encrypted side of a file encryption.
// The encrypted form is a 4-byte little-endian sum of the plaintext bytes
// (modulo 2^32), then the plaintext in pieces of 64000 bytes, each
// enciphered by itself.
#pragma once

#include "files/DiskFile.h"

class CCrypt;

constexpr DWORD CRYPTFILE_MORCEAU = 64000;

class CCryptFile : public CDiskFile {
public:
  // This object is the open destination: the source file enciphered into it
  // with the method (1 fast cipher, 2 RC5 8 rounds, 3 RC5 16 rounds). False
  // with this object's error filled on failure.
  bool bCrypt(const char* pszSource, const char* pszMotDePasse, int nMethode);
  // This object is the open source: deciphered into the destination file,
  // created. False on failure, also when the sum does not match (wrong
  // password or damaged file); the destination is then left as written.
  bool bUncrypt(const char* pszDestination, const char* pszMotDePasse, int nMethode);
  // The cipher of the method with the password's key; false with this
  // object's error filled (no cipher, password refused).
  bool __bInitAlgorithme(CCrypt** ppclCrypt, const char* pszMotDePasse, int nMethode);

private:
  // Levels 1 then 3, system error 0, the user message first.
  void _Erreur(DWORD nMessage);
};
