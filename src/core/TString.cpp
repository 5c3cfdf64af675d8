// CTString.
#include "core/TString.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Tas.h"

CTString& CTString::operator=(const CTString& autre) {
  if (this != &autre) {
    CTString copie(autre);
    *this = static_cast<CTString&&>(copie);
  }
  return *this;
}

CTString::CTString(CTString&& autre) noexcept
    : m_psz(autre.m_psz), m_nTaille(autre.m_nTaille), m_nCapacite(autre.m_nCapacite) {
  autre.m_psz = nullptr;
  autre.m_nTaille = autre.m_nCapacite = 0;
}

CTString& CTString::operator=(CTString&& autre) noexcept {
  if (this != &autre) {
    std::free(m_psz);
    m_psz = autre.m_psz;
    m_nTaille = autre.m_nTaille;
    m_nCapacite = autre.m_nCapacite;
    autre.m_psz = nullptr;
    autre.m_nTaille = autre.m_nCapacite = 0;
  }
  return *this;
}

CTString::~CTString() { std::free(m_psz); }

char* CTString::pszReserve(DWORD n) {
  DWORD besoin = m_nTaille + n + 1;
  if (besoin > m_nCapacite) {
    DWORD cap = m_nCapacite < 64 ? 64 : m_nCapacite;
    while (cap < besoin) cap = cap * 2;
    m_psz = static_cast<char*>(KV_pRealloc(m_psz, cap));
    m_nCapacite = cap;
  }
  return m_psz + m_nTaille;
}

void CTString::SetTaille(DWORD n) {
  if (m_psz == nullptr) pszReserve(0);
  if (n >= m_nCapacite) n = m_nCapacite - 1;
  m_nTaille = n;
  m_psz[n] = '\0';
}

void CTString::Add(const char* psz) {
  if (psz != nullptr) Add(psz, static_cast<DWORD>(std::strlen(psz)));
}

void CTString::Add(const char* p, DWORD n) {
  if (p == nullptr) return;
  // The source may lie in this string's own buffer.
  std::size_t decalage = (m_psz != nullptr && p >= m_psz && p < m_psz + m_nCapacite) ? static_cast<std::size_t>(p - m_psz) : SIZE_MAX;
  char* dest = pszReserve(n);
  if (decalage != SIZE_MAX) p = m_psz + decalage;
  std::memmove(dest, p, n);
  SetTaille(m_nTaille + n);
}

void CTString::AddFormat(const char* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  AddFormatList(pszFormat, args);
  va_end(args);
}

void CTString::AddFormatList(const char* pszFormat, va_list args) {
  va_list copie;
  va_copy(copie, args);
  int n = std::vsnprintf(nullptr, 0, pszFormat, copie);
  va_end(copie);
  if (n <= 0) return;
  char* dest = pszReserve(static_cast<DWORD>(n));
  std::vsnprintf(dest, static_cast<std::size_t>(n) + 1, pszFormat, args);
  SetTaille(m_nTaille + static_cast<DWORD>(n));
}

void CTString::Vide() {
  m_nTaille = 0;
  if (m_psz != nullptr) m_psz[0] = '\0';
}

void CTString::Tronque(DWORD n) {
  if (n < m_nTaille) SetTaille(n);
}

int CTString::Remplace(const char* pszAncien, const char* pszNouveau) {
  if (pszAncien == nullptr || *pszAncien == '\0' || m_nTaille == 0) return 0;
  if (pszNouveau == nullptr) pszNouveau = "";
  std::size_t na = std::strlen(pszAncien);
  CTString resultat;
  int nb = 0;
  const char* p = m_psz;
  const char* fin = m_psz + m_nTaille;
  while (p < fin) {
    const char* q = static_cast<const char*>(memmem(p, static_cast<std::size_t>(fin - p), pszAncien, na));
    if (q == nullptr) break;
    resultat.Add(p, static_cast<DWORD>(q - p));
    resultat.Add(pszNouveau);
    p = q + na;
    ++nb;
  }
  if (nb == 0) return 0;
  resultat.Add(p, static_cast<DWORD>(fin - p));
  *this = static_cast<CTString&&>(resultat);
  return nb;
}

char* CTString::pszDetache() {
  char* p = m_psz;
  if (p == nullptr) p = static_cast<char*>(KV_pMalloc(1)), p[0] = '\0';
  m_psz = nullptr;
  m_nTaille = m_nCapacite = 0;
  return p;
}
