// Reader of the old compacted files: a 13-byte signature, the output size
// and the size for the disk (u32 big-endian each), then LZW codes of 9 to
// 14 bits, most significant bit first; code 256 resets the dictionary and
// is followed by a literal. These files can only be expanded.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "compression/Compacte.h"
#include "core/Allocation.h"
#include "core/TString.h"
#include "core/XError.h"
#include "files/DiskFile.h"
#include "files/Remplacement.h"

namespace {

constexpr const char SIGNATURE[] = "MORVANEXLZCS\x40";
constexpr int TAILLE_SIGNATURE = 13;
constexpr int TAILLE_DEBUT = TAILLE_SIGNATURE + 8;
constexpr DWORD TAILLE_TAMPON = 32000;
constexpr int CODE_RAZ = 256;
constexpr int PREMIER_LIBRE = 257;
constexpr int BITS_MIN = 9;
constexpr int BITS_MAX = 14;
constexpr int NB_CODES = 1 << BITS_MAX;

DWORD dwBigEndian(const BYTE* p) {
  return (DWORD{p[0]} << 24) | (DWORD{p[1]} << 16) | (DWORD{p[2]} << 8) | p[3];
}

// Signature and both sizes; false when the file is not in the old format.
bool bLitDebut(const char* pszChemin, DWORD* pdwTaille, DWORD* pdwDisque, bool* pbOuvert) {
  CDiskFile cl;
  *pbOuvert = cl.bOpen(pszChemin, IXStream::ACCESS_LECTURE, IXStream::SHARE_LECTURE, IXStream::CREATE_EXISTANT,
                       IXStream::FLAG_NORMAL, nullptr) != 0;
  if (!*pbOuvert) return false;
  BYTE ab[TAILLE_DEBUT];
  DWORD n = 0, nTotal = 0;
  while (nTotal < sizeof ab && cl.bRead(ab + nTotal, sizeof ab - nTotal, &n) && n > 0) nTotal += n;
  if (nTotal < sizeof ab || std::memcmp(ab, SIGNATURE, TAILLE_SIGNATURE) != 0) return false;
  *pdwTaille = dwBigEndian(ab + TAILLE_SIGNATURE);
  *pdwDisque = dwBigEndian(ab + TAILLE_SIGNATURE + 4);
  return true;
}

// The LZW decoder between two open files.
class CLzwAncien {
public:
  CLzwAncien(CDiskFile& clSource, CDiskFile& clSortie) : m_clSource(clSource), m_clSortie(clSortie) {}

  // Result code (0, 2 or 7).
  short nDecode(DWORD dwTaille) {
    m_pEntree.reset(KV_pNouveau<BYTE>(TAILLE_TAMPON));
    m_pSortie.reset(KV_pNouveau<BYTE>(TAILLE_TAMPON));
    m_pPrefixe.reset(KV_pNouveau<WORD>(NB_CODES));
    m_pSuffixe.reset(KV_pNouveau<BYTE>(NB_CODES));
    m_pPile.reset(KV_pNouveau<BYTE>(NB_CODES));
    if (!m_pEntree || !m_pSortie || !m_pPrefixe || !m_pSuffixe || !m_pPile) return COMPACTE_DESTINATION;
    Raz();
    m_dwReste = dwTaille;
    while (m_dwReste > 0) {
      int nCode;
      if (!bLitCode(&nCode)) return COMPACTE_DESTINATION;  // ends too soon
      if (nCode == CODE_RAZ) {
        Raz();
        continue;
      }
      int nPile = 0;
      if (m_nPrecedent < 0) {
        if (nCode >= 256) return COMPACTE_DESTINATION;
        m_pPile[nPile++] = static_cast<BYTE>(nCode);
      } else {
        int c = nCode;
        if (nCode == m_nLibre && m_nLibre < NB_CODES) {
          m_pPile[nPile++] = m_byPremier;  // the string being defined: previous + its first byte
          c = m_nPrecedent;
        } else if (nCode > CODE_RAZ && nCode >= m_nLibre) {
          return COMPACTE_DESTINATION;
        }
        while (c > CODE_RAZ) {
          m_pPile[nPile++] = m_pSuffixe[c];
          c = m_pPrefixe[c];
        }
        m_pPile[nPile++] = static_cast<BYTE>(c);
        if (m_nLibre < NB_CODES) {
          m_pPrefixe[m_nLibre] = static_cast<WORD>(m_nPrecedent);
          m_pSuffixe[m_nLibre] = m_pPile[nPile - 1];
          m_nLibre++;
          if (m_nLibre == m_nLimite && m_nBits < BITS_MAX) {
            m_nBits++;
            m_nLimite <<= 1;
          }
        }
      }
      m_byPremier = m_pPile[nPile - 1];
      m_nPrecedent = nCode;
      while (nPile > 0 && m_dwReste > 0) {
        if (!bEcrit(m_pPile[--nPile])) return m_nErrno == ENOSPC ? COMPACTE_DISQUE_PLEIN : COMPACTE_DESTINATION;
        m_dwReste--;
      }
    }
    if (!bVide()) return m_nErrno == ENOSPC ? COMPACTE_DISQUE_PLEIN : COMPACTE_DESTINATION;
    return COMPACTE_OK;
  }

private:
  void Raz() {
    m_nBits = BITS_MIN;
    m_nLimite = 1 << BITS_MIN;
    m_nLibre = PREMIER_LIBRE;
    m_nPrecedent = -1;
  }
  bool bLitOctet(BYTE* pby) {
    if (m_nEntreePos == m_nEntreeFin) {
      DWORD n = 0;
      if (!m_clSource.bRead(m_pEntree.get(), TAILLE_TAMPON, &n) || n == 0) return false;
      m_nEntreePos = 0;
      m_nEntreeFin = n;
    }
    *pby = m_pEntree[m_nEntreePos++];
    return true;
  }
  bool bLitCode(int* pnCode) {
    while (m_nBitsTampon < m_nBits) {
      BYTE by;
      if (!bLitOctet(&by)) return false;
      m_dwBits = (m_dwBits << 8) | by;
      m_nBitsTampon += 8;
    }
    m_nBitsTampon -= m_nBits;
    *pnCode = static_cast<int>((m_dwBits >> m_nBitsTampon) & ((1u << m_nBits) - 1));
    return true;
  }
  bool bEcrit(BYTE by) {
    if (m_nSortie == TAILLE_TAMPON && !bVide()) return false;
    m_pSortie[m_nSortie++] = by;
    return true;
  }
  bool bVide() {
    if (m_nSortie > 0 && !m_clSortie.bWrite(m_pSortie.get(), m_nSortie)) {
      m_nErrno = m_clSortie.pclGetXError()->dwGetSystemErrorCode();
      return false;
    }
    m_nSortie = 0;
    return true;
  }

  CDiskFile& m_clSource;
  CDiskFile& m_clSortie;
  std::unique_ptr<BYTE[]> m_pEntree, m_pSortie, m_pSuffixe, m_pPile;
  std::unique_ptr<WORD[]> m_pPrefixe;
  DWORD m_nEntreePos = 0, m_nEntreeFin = 0, m_nSortie = 0;
  DWORD m_dwBits = 0;
  int m_nBitsTampon = 0;
  int m_nBits = BITS_MIN, m_nLimite = 1 << BITS_MIN, m_nLibre = PREMIER_LIBRE, m_nPrecedent = -1;
  BYTE m_byPremier = 0;
  DWORD m_dwReste = 0;
  DWORD m_nErrno = 0;
};

// The source's name with its extension replaced by ".$$$".
std::string sNomAncien(const char* pszSource) {
  std::string s = CDiskFile::sNormalise(pszSource);
  const std::size_t nBarre = s.rfind('/');
  const std::size_t nPoint = s.rfind('.');
  if (nPoint != std::string::npos && (nBarre == std::string::npos || nPoint > nBarre)) s.resize(nPoint);
  return s + ".$$$";
}

std::string sRepertoireDe(const char* psz) {
  CTString clRep, clNom, clExt;
  CDiskFile::SplitPath(CDiskFile::sNormalise(psz).c_str(), &clRep, &clNom, &clExt);
  return clRep.pszGet();
}

}  // namespace

long long lVerifieSiCompresseOld(const char* pszChemin) {
  DWORD dwTaille = 0, dwDisque = 0;
  bool bOuvert = false;
  if (pszChemin == nullptr || !bLitDebut(pszChemin, &dwTaille, &dwDisque, &bOuvert)) return 0;
  return dwDisque;
}

short nOldDecompacte(const char* pszSource, const char* pszDestination) {
  // The format is checked before anything is moved or created.
  DWORD dwTaille = 0, dwDisque = 0;
  bool bOuvert = false;
  if (pszSource == nullptr || !bLitDebut(pszSource, &dwTaille, &dwDisque, &bOuvert))
    return bOuvert ? COMPACTE_PAS_COMPACTE : COMPACTE_SOURCE;
  // A destination that is the source itself is expansion in place.
  const bool bSurPlace = pszDestination == nullptr || *pszDestination == '\0' ||
                         REM_bMemeFichier(pszSource, pszDestination);
  const std::string sSortie = bSurPlace ? CDiskFile::sNormalise(pszSource) : CDiskFile::sNormalise(pszDestination);
  const std::string sRep = sRepertoireDe(sSortie.c_str());
  long long oLibre = -1;
  if (CDiskFile::bGetDiskFreeSpace(sRep.empty() ? nullptr : sRep.c_str(), &oLibre) &&
      static_cast<long long>(dwDisque) > oLibre * 1024)
    return COMPACTE_DISQUE_PLEIN;

  // The output is written beside its name and replaces it once complete, so
  // the source (perhaps the same file) is read whole and a failure changes
  // nothing.
  const std::string sLecture = CDiskFile::sNormalise(pszSource);
  _stXFILETIME c, a, e;
  const bool bDates = CDiskFile::bGetTime(sLecture.c_str(), &c, &a, &e) != 0;
  CRemplacement remplacement;
  if (!remplacement.bPrepare(sSortie.c_str())) return COMPACTE_DESTINATION;
  // Expanded in place, the old file stays under ".$$$" (a second name
  // given to it, so that its own name never goes missing).
  std::string sAncien;
  if (bSurPlace) {
    sAncien = sNomAncien(pszSource);
    if (CDiskFile::bExist(sAncien.c_str())) return COMPACTE_DESTINATION;
    if (link(sLecture.c_str(), sAncien.c_str()) != 0 && !CDiskFile::bCopy(sAncien.c_str(), sLecture.c_str()))
      return COMPACTE_DESTINATION;
  }
  short r;
  {
    CDiskFile clSource, clSortie;
    if (!clSource.bOpen(sLecture.c_str(), IXStream::ACCESS_LECTURE, IXStream::SHARE_LECTURE,
                        IXStream::CREATE_EXISTANT, IXStream::FLAG_NORMAL, nullptr) ||
        !clSource.bSeek(TAILLE_DEBUT, IXStream::SEEK_DEBUT)) {
      r = COMPACTE_SOURCE;
    } else if (!clSortie.bOpen(remplacement.pszTemporaire(), IXStream::ACCESS_ECRITURE, IXStream::SHARE_ECRITURE,
                               IXStream::CREATE_TRONQUE, IXStream::FLAG_NORMAL, nullptr)) {
      r = COMPACTE_DESTINATION;
    } else {
      CLzwAncien clLzw(clSource, clSortie);
      r = clLzw.nDecode(dwTaille);
      clSortie.Close();
    }
  }
  if (r == COMPACTE_OK && !remplacement.bValide()) r = errno == ENOSPC ? COMPACTE_DISQUE_PLEIN : COMPACTE_DESTINATION;
  if (r != COMPACTE_OK) {
    remplacement.Abandonne();
    if (bSurPlace) CDiskFile::bDelete(sAncien.c_str());
    return r;
  }
  if (bDates) CDiskFile::bSetTime(sSortie.c_str(), nullptr, &a, &e);
  return r;
}
