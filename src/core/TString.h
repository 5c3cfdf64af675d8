// CTString: a growable 8-bit string used inside the library (messages,
// formatted texts, line reading). Allocation failures throw the heap
// layer's integer (see Tas.h).
#pragma once

#include <cstdarg>

#include "abi/TypesBase.h"

class CTString {
public:
  CTString() = default;
  explicit CTString(const char* psz) { Add(psz); }
  CTString(const CTString& autre) { Add(autre.m_psz, autre.m_nTaille); }
  CTString& operator=(const CTString& autre);
  CTString(CTString&& autre) noexcept;
  CTString& operator=(CTString&& autre) noexcept;
  ~CTString();

  void Add(const char* psz);
  void Add(const char* p, DWORD n);
  void Add(char c) { Add(&c, 1); }
  // Appends a printf format expanded with its arguments.
  void AddFormat(const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
  void AddFormatList(const char* pszFormat, va_list args);
  void Set(const char* psz) {
    Vide();
    Add(psz);
  }
  void Vide();
  // Replaces every occurrence of `pszAncien` by `pszNouveau`; returns the count.
  int Remplace(const char* pszAncien, const char* pszNouveau);
  // Keeps the first n bytes.
  void Tronque(DWORD n);

  const char* pszGet() const { return m_psz != nullptr ? m_psz : ""; }
  DWORD nTaille() const { return m_nTaille; }
  bool bVide() const { return m_nTaille == 0; }
  // Room for n more bytes; returns where they go (then SetTaille).
  char* pszReserve(DWORD n);
  void SetTaille(DWORD n);
  // Hands over the heap text (malloc) and empties the string.
  char* pszDetache();

private:
  char* m_psz = nullptr;
  DWORD m_nTaille = 0;
  DWORD m_nCapacite = 0;
};
