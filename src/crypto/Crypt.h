// Ciphers of strings, buffers and files: CCrypt (abstract, 16-byte key),
// the fast byte cipher CCryptHomeMade and the RC5 variant CCryptRC5 (CBC
// over 8-byte blocks, a nibble cipher for the tail). Both keep the length
// and work in place.
#pragma once

#include "abi/TypesBase.h"
#include "core/KVUnknown.h"

class CCrypt : public CKVUnknown {
public:
  CCrypt() = default;
  ~CCrypt() override = default;

  // Copies up to 16 bytes of key and zero-fills the rest; true.
  virtual bool bSetCryptKey(const void* key, unsigned length);
  virtual bool bSetCryptKey(const BYTE key[16]) { return bSetCryptKey(key, 16); }
  // Key of a password (BuildCryptKeyAnsi).
  virtual void BuildCryptKey(BYTE key[16], const char* password) { BuildCryptKeyAnsi(key, password); }
  // Installs the key of password; false when the cipher cannot use it.
  virtual bool bSetPassword(const char* password);
  // Enciphers (deciphers) length bytes of data in place, with key, or with
  // the object's own key when key is null.
  virtual void Crypt(BYTE* data, unsigned length, const BYTE (*key)[16] = nullptr) = 0;
  virtual void Uncrypt(BYTE* data, unsigned length, const BYTE (*key)[16] = nullptr) = 0;
  virtual void BuildCryptKeyAnsi(BYTE key[16], const char* password) = 0;

  const BYTE* pGetCryptKey() const { return m_abyCle; }

protected:
  BYTE m_abyCle[16] = {};
};

// The fast cipher: each byte mixed with its neighbour and its mirror under
// the key bytes; one byte alone gets its own rule.
class CCryptHomeMade : public CCrypt {
public:
  // Builds straight into the object's key; always true.
  bool bSetPassword(const char* password) override;
  void Crypt(BYTE* data, unsigned length, const BYTE (*key)[16] = nullptr) override;
  void Uncrypt(BYTE* data, unsigned length, const BYTE (*key)[16] = nullptr) override;
  // From the fixed initial key and the password (the empty password leaves
  // the initial key).
  void BuildCryptKeyAnsi(BYTE key[16], const char* password) override;

  // The fixed initial key.
  static const BYTE s_abyCleInitiale[16];
};

// RC5-32/r/16 with r = 8 or 16; the key of a password is a hash of it.
class CCryptRC5 : public CCrypt {
public:
  explicit CCryptRC5(int nTours = 8) : m_nTours(nTours) {}
  ~CCryptRC5() override;
  CCryptRC5(const CCryptRC5&) = delete;
  CCryptRC5& operator=(const CCryptRC5&) = delete;

  // Copies the key and expands it; false when the table cannot be allocated.
  bool bSetCryptKey(const void* key, unsigned length) override;
  bool bSetCryptKey(const BYTE key[16]) override { return bSetCryptKey(key, 16); }
  bool bSetPassword(const char* password) override;
  void Crypt(BYTE* data, unsigned length, const BYTE (*key)[16] = nullptr) override;
  void Uncrypt(BYTE* data, unsigned length, const BYTE (*key)[16] = nullptr) override;
  void BuildCryptKeyAnsi(BYTE key[16], const char* password) override;

  int nGetTours() const { return m_nTours; }
  // The expanded table (2r + 2 words), null before a key.
  const DWORD* pdwGetTable() const { return m_pdwS; }

  void __CryptBlock(BYTE bloc[8]) const;
  void __UncryptBlock(BYTE bloc[8]) const;
  BYTE __CryptByte(BYTE by) const;
  BYTE __UncryptByte(BYTE by) const;

private:
  bool __bInitTableCle(const BYTE key[16]);
  // Runs Crypt or Uncrypt with another key, restoring the object's after.
  template <class F>
  void _AvecCle(const BYTE (*key)[16], F f);

  int m_nTours;
  DWORD* m_pdwS = nullptr;
};

// The cipher of an encryption method: 1 the fast cipher, 2 RC5 with 8
// rounds, 3 RC5 with 16 rounds; null for any other method or when memory is
// short. Its count starts at 0: one dwRelease frees it.
CCrypt* pclCreeCrypt(int nMethode);
