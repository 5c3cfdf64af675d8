// CKVBuffer: transfer of the used size (in its coded form) to and from a
// file stream.
#include "compression/KVBuffer.h"
#include "compression/KVBufferInterne.h"
#include "files/DiskFile.h"

using kvbuffer::TAILLE_MAX;

bool CKVBuffer::bToFile(IXStream* piFichier, DWORD* pdwEcrit) { return __bToFile(piFichier, nullptr, pdwEcrit); }

bool CKVBuffer::bToFile(IXStream* piFichier, long long oOffset, DWORD* pdwEcrit) {
  return __bToFile(piFichier, &oOffset, pdwEcrit);
}

bool CKVBuffer::__bToFile(IXStream* piFichier, const long long* poOffset, DWORD* pdwEcrit) {
  if (pdwEcrit != nullptr) *pdwEcrit = 0;
  if (piFichier == nullptr) return false;
  if (!__CodeBuffer()) {
    m_bEchec = true;
    return false;
  }
  static const BYTE s_byVide = 0;
  const void* p = m_pbyDonnees != nullptr ? m_pbyDonnees : &s_byVide;
  DWORD dw = 0;
  const BOOL b = poOffset != nullptr ? piFichier->bWrite(*poOffset, p, m_dwTailleUtile, &dw)
                                     : piFichier->bWrite(p, m_dwTailleUtile, &dw);
  if (pdwEcrit != nullptr) *pdwEcrit = dw;
  return b && dw == m_dwTailleUtile;
}

bool CKVBuffer::bSetFromFile(IXStream* piFichier, DWORD n, DWORD* pdwLu) {
  return __bSetFromFile(piFichier, n, nullptr, pdwLu);
}

bool CKVBuffer::bSetFromFile(IXStream* piFichier, DWORD n, long long oOffset, DWORD* pdwLu) {
  return __bSetFromFile(piFichier, n, &oOffset, pdwLu);
}

bool CKVBuffer::__bSetFromFile(IXStream* piFichier, DWORD n, const long long* poOffset, DWORD* pdwLu) {
  if (pdwLu != nullptr) *pdwLu = 0;
  if (piFichier == nullptr) return false;
  if (n > TAILLE_MAX || m_dwPos > TAILLE_MAX - n) {
    m_bEchec = true;
    return false;
  }
  if (poOffset != nullptr && !piFichier->bSeek(*poOffset, IXStream::SEEK_DEBUT)) return false;
  if (n == 0) return true;
  if (!__bPretCode(m_dwPos, m_dwPos + n)) return false;
  const DWORD dwAvant = m_dwTailleUtile;
  const DWORD dwFin = m_dwPos + n;
  if (dwFin > m_dwTailleUtile && !__ResizeBuffer(dwFin)) return false;
  // A read may come in several pieces; 0 bytes is the end of the file.
  DWORD dwLu = 0;
  while (dwLu < n) {
    DWORD dw = 0;
    if (!piFichier->bRead(m_pbyDonnees + m_dwPos + dwLu, n - dwLu, &dw)) {
      if (dwFin > dwAvant) __ResizeBuffer(dwAvant > m_dwPos + dwLu ? dwAvant : m_dwPos + dwLu);
      m_dwPos += dwLu;
      if (pdwLu != nullptr) *pdwLu = dwLu;
      return false;
    }
    if (dw == 0) break;
    dwLu += dw;
  }
  if (dwLu < n && dwFin > dwAvant) __ResizeBuffer(dwAvant > m_dwPos + dwLu ? dwAvant : m_dwPos + dwLu);
  m_dwPos += dwLu;
  if (pdwLu != nullptr) *pdwLu = dwLu;
  return true;
}

bool CKVBuffer::bSetAllFromFile(IXStream* piFichier, DWORD n, DWORD* pdwLu) {
  return __bSetAllFromFile(piFichier, n, nullptr, pdwLu);
}

bool CKVBuffer::bSetAllFromFile(IXStream* piFichier, DWORD n, long long oOffset, DWORD* pdwLu) {
  return __bSetAllFromFile(piFichier, n, &oOffset, pdwLu);
}

bool CKVBuffer::__bSetAllFromFile(IXStream* piFichier, DWORD n, const long long* poOffset, DWORD* pdwLu) {
  // The old contents are kept aside until the read has succeeded.
  kvbuffer::STEtat ancien = __Detache();
  bool b = false;
  try {
    b = __bSetFromFile(piFichier, n, poOffset, pdwLu);
  } catch (...) {
    __Libere();
    __Rattache(ancien);
    throw;
  }
  if (!b) {
    __Libere();
    __Rattache(ancien);
    m_bEchec = true;
    return false;
  }
  if (ancien.pbyDonnees != nullptr) __vFreeBuffer(ancien.pbyDonnees);
  return true;
}
