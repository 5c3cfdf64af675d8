// Message resources: the embedded block, the external loader, message
// formatting and message files.
#include "core/accesdllres.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "core/CodePage.h"
#include "core/DataCompressor.h"
#include "core/RessourcesBloc.h"
#include "core/TString.h"

namespace {

bool gbInit = false;
bool gbLangue2 = false;
PFLOADSTRINGKVM gpfnLoadStringKVM = nullptr;
HINSTANCE ghRessource = nullptr;

// Offsets of the entries of the block, built from the length table.
class CResAnsi {
public:
  static const BYTE* pbGetEntree(int i) {
    // Built once, by the first caller of any thread.
    std::call_once(m_unique, _Construit);
    return gabBlocRessources + m_tabOffset[i];
  }
  // Identifier coded in the two bytes of an entry.
  static unsigned nIdentifiant(const BYTE* pb) { return pb[0] * 255u + pb[1] - 256u; }
  // Index of the entry of `nId` (bisection), or -1.
  static int nCherche(unsigned nId) {
    int bas = 0, haut = NB_RESSOURCES - 1;
    while (bas <= haut) {
      int milieu = (bas + haut) / 2;
      unsigned n = nIdentifiant(pbGetEntree(milieu));
      if (n == nId) return milieu;
      if (n < nId) {
        bas = milieu + 1;
      } else {
        haut = milieu - 1;
      }
    }
    return -1;
  }
  // Coded length of entry i's text.
  static int nLongueurCodee(int i) { return _tabTailleChaineRes[i + 1 < NB_RESSOURCES ? i + 1 : i] ; }

private:
  // Entry i starts after every earlier entry: identifier (2 bytes), coded
  // text and its terminator; the length table holds length[i + 1] for entry i.
  static void _Construit() {
    unsigned nOffset = 0;
    for (int i = 0; i < NB_RESSOURCES; ++i) {
      m_tabOffset[i] = static_cast<WORD>(nOffset);
      unsigned nTexte = i + 1 < NB_RESSOURCES ? _tabTailleChaineRes[i + 1] : gnTailleDerniereRessource;
      nOffset += nTexte + 3;
    }
  }

  static WORD m_tabOffset[NB_RESSOURCES];
  static std::once_flag m_unique;
};

WORD CResAnsi::m_tabOffset[NB_RESSOURCES];
std::once_flag CResAnsi::m_unique;

// Decodes entry `i` into `pszBuffer`; the decoder's result.
int nDecodeEntree(int i, char* pszBuffer, int* pnTaille) {
  const BYTE* pb = CResAnsi::pbGetEntree(i) + 2;
  unsigned nCode = i + 1 < NB_RESSOURCES ? _tabTailleChaineRes[i + 1] : gnTailleDerniereRessource;
  CDataCompressor coder;
  return coder.nDeCompress(reinterpret_cast<unsigned char*>(pszBuffer), pnTaille, pb, static_cast<int>(nCode));
}

// Loads through the external loader, with a larger buffer for long texts.
bool KVM_bLoadString(unsigned nId, CTString* pclTexte) {
  if (gpfnLoadStringKVM == nullptr) return false;
  for (int nTaille = 256; nTaille <= 65536; nTaille *= 4) {
    std::string buf(static_cast<std::size_t>(nTaille), '\0');
    int n = gpfnLoadStringKVM(nId, buf.data(), nTaille);
    if (n <= 0) return false;
    if (n < nTaille - 1) {
      pclTexte->Add(buf.data(), static_cast<DWORD>(n));
      return true;
    }
  }
  return false;
}

// "%1!u!" (Windows inserts) to "%1$u".
std::string sFormatPosix(const char* pszFormat) {
  std::string out;
  for (const char* p = pszFormat; *p;) {
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
      const char* q = p + 1;
      while (*q >= '0' && *q <= '9') ++q;
      if (*q == '!') {
        const char* fin = std::strchr(q + 1, '!');
        if (fin != nullptr) {
          out.append(p, static_cast<std::size_t>(q - p));
          out += '$';
          out.append(q + 1, static_cast<std::size_t>(fin - q - 1));
          p = fin + 1;
          continue;
        }
      }
    }
    out += *p++;
  }
  return out;
}

}  // namespace

BOOL DLLRES_bInit(HINSTANCE hInstance, int) {
  gbInit = true;
  ghRessource = hInstance;
  return 1;
}

void DLLRES_Term() { gbInit = false; }

BOOL DLLRES_bUtiliseDLLRes() { return gbInit; }

void DLLRES_SetLangue(int bLangue2) { gbLangue2 = bLangue2 != 0; }

BOOL DLLRES_bLangue2() { return gbLangue2; }

void DLLRES_SetFichierKVM(const char*) {}

HINSTANCE ghGetRessourceHandle() { return ghRessource; }

void DLLRES_SetLoader(PFLOADSTRINGKVM pfn) { gpfnLoadStringKVM = pfn; }

int DLLRES_nLoadString(unsigned nId, char* pszBuffer, int nTaille) {
  if (pszBuffer == nullptr || nTaille <= 0) return 0;
  if (gpfnLoadStringKVM != nullptr) {
    int n = gpfnLoadStringKVM(nId, pszBuffer, nTaille);
    if (n > 0) return n;
  }
  int i = CResAnsi::nCherche(nId);
  if (i < 0) {
    pszBuffer[0] = '\0';
    return 0;
  }
  if (CP_bUTF8()) {
    // The block's Windows-1252 text, in UTF-8 and cut on a character.
    CTString texte;
    if (!DLLRES_bLoadString(nId, &texte)) {
      pszBuffer[0] = '\0';
      return 0;
    }
    int n = static_cast<int>(texte.nTaille());
    bool bCoupe = n > nTaille - 1;
    if (bCoupe) {
      n = nTaille - 1;
      while (n > 0 && (static_cast<unsigned char>(texte.pszGet()[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(pszBuffer, texte.pszGet(), static_cast<std::size_t>(n));
    pszBuffer[n] = '\0';
    return bCoupe ? nTaille - 1 : n;
  }
  int n = nTaille;
  int r = nDecodeEntree(i, pszBuffer, &n);
  if (r == CDataCompressor::DC_SORTIE_PLEINE) return nTaille - 1;
  if (r != CDataCompressor::DC_OK) {
    pszBuffer[0] = '\0';
    return 0;
  }
  return n;
}

BOOL DLLRES_bLoadString(unsigned nId, CTString* pclTexte) {
  if (pclTexte == nullptr) return 0;
  if (KVM_bLoadString(nId, pclTexte)) return 1;
  int i = CResAnsi::nCherche(nId);
  if (i < 0) return 0;
  unsigned nCode = i + 1 < NB_RESSOURCES ? _tabTailleChaineRes[i + 1] : gnTailleDerniereRessource;
  int nTaille = static_cast<int>(nCode * 3 / 2 + 2);  // always enough: two bytes give at most three characters
  char* psz = pclTexte->pszReserve(static_cast<DWORD>(nTaille));
  int n = nTaille;
  if (nDecodeEntree(i, psz, &n) != CDataCompressor::DC_OK) {
    pclTexte->SetTaille(pclTexte->nTaille());
    return 0;
  }
  pclTexte->SetTaille(pclTexte->nTaille() + static_cast<DWORD>(n));
  if (CP_bUTF8()) {
    // The block holds Windows-1252 text; a UTF-8 VM reads UTF-8.
    DWORD nDebut = pclTexte->nTaille() - static_cast<DWORD>(n);
    std::string utf8 = CP_sDepuis1252(pclTexte->pszGet() + nDebut, static_cast<std::size_t>(n));
    pclTexte->SetTaille(nDebut);
    pclTexte->Add(utf8.data(), static_cast<DWORD>(utf8.size()));
  }
  return 1;
}

DWORD FormatMessageA(DWORD dwFlags, const void* pSource, DWORD, DWORD, char* pBuffer, DWORD nTaille, va_list* pArgs) {
  std::string format;
  if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
    format = std::strerror(errno);
  } else if (pSource != nullptr) {
    format = sFormatPosix(static_cast<const char*>(pSource));
  }
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    auto** ppsz = reinterpret_cast<char**>(pBuffer);
    if (ppsz == nullptr) return 0;
    *ppsz = nullptr;
    char* psz = nullptr;
    int n;
    if (pArgs != nullptr) {
      va_list copie;
      va_copy(copie, *pArgs);
      n = vasprintf(&psz, format.c_str(), copie);
      va_end(copie);
    } else {
      n = asprintf(&psz, "%s", format.c_str());
    }
    if (n < 0) return 0;
    if (nTaille > static_cast<DWORD>(n)) {
      char* plus = static_cast<char*>(std::realloc(psz, nTaille));
      if (plus == nullptr) {
        std::free(psz);
        return 0;
      }
      psz = plus;
    }
    *ppsz = psz;
    return static_cast<DWORD>(n);
  }
  if (pBuffer == nullptr || nTaille == 0) return 0;
  int n;
  if (pArgs != nullptr) {
    va_list copie;
    va_copy(copie, *pArgs);
    n = std::vsnprintf(pBuffer, nTaille, format.c_str(), copie);
    va_end(copie);
  } else {
    n = std::snprintf(pBuffer, nTaille, "%s", format.c_str());
  }
  if (n < 0) return 0;
  return static_cast<DWORD>(n) < nTaille ? static_cast<DWORD>(n) : nTaille - 1;
}

DWORD DLLRES_dwFormatMessage(const char* pszFormat, char** ppszSortie, va_list args) {
  va_list copie;
  va_copy(copie, args);
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, pszFormat, 0, 0,
                           reinterpret_cast<char*>(ppszSortie), 0, &copie);
  va_end(copie);
  return n;
}

DWORD DLLRES_dwFormatMessage(const char* pszFormat, CTString* pclSortie, va_list args) {
  char* psz = nullptr;
  DWORD n = DLLRES_dwFormatMessage(pszFormat, &psz, args);
  if (psz == nullptr) return 0;
  pclSortie->Add(psz, n);
  std::free(psz);
  return n;
}

int DLLRES_nFormatMessageList(unsigned nId, char** ppszSortie, va_list args) {
  if (ppszSortie == nullptr) return 0;
  *ppszSortie = nullptr;
  CTString format;
  if (!DLLRES_bLoadString(nId, &format)) return 0;
  return static_cast<int>(DLLRES_dwFormatMessage(format.pszGet(), ppszSortie, args));
}

int DLLRES_nFormatMessage(unsigned nId, char** ppszSortie, ...) {
  va_list args;
  va_start(args, ppszSortie);
  int n = DLLRES_nFormatMessageList(nId, ppszSortie, args);
  va_end(args);
  return n;
}

BOOL DLLRES_bFormatMessageList(unsigned nId, CTString* pclSortie, va_list args) {
  if (pclSortie == nullptr) return 0;
  char* psz = nullptr;
  int n = DLLRES_nFormatMessageList(nId, &psz, args);
  if (psz == nullptr) return 0;
  pclSortie->Add(psz, static_cast<DWORD>(n));
  std::free(psz);
  return 1;
}

BOOL DLLRES_bFormatMessage(unsigned nId, CTString* pclSortie, ...) {
  va_list args;
  va_start(args, pclSortie);
  BOOL b = DLLRES_bFormatMessageList(nId, pclSortie, args);
  va_end(args);
  return b;
}

BOOL bRM_LoadMess(unsigned nComposante, const char* pszFichier, unsigned nMessage, char* pszBuffer, unsigned nTaille) {
  if (pszFichier == nullptr || pszBuffer == nullptr || nTaille == 0) return 0;
  int fd = open(pszFichier, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  auto lit = [fd](off_t pos, DWORD* pdw) {
    return pread(fd, pdw, sizeof *pdw, pos) == static_cast<ssize_t>(sizeof *pdw);
  };
  // Finds `nCle` in an index of pairs {key, offset} at `pos`, ended by key 0.
  auto cherche = [&](off_t pos, DWORD nCle, DWORD* pnOffset) {
    for (;; pos += 8) {
      DWORD cle, offset;
      if (!lit(pos, &cle) || !lit(pos + 4, &offset)) return false;
      if (cle == 0) return false;
      if (cle == nCle) {
        *pnOffset = offset;
        return true;
      }
    }
  };
  bool bOk = false;
  DWORD entete, nOffsetComposante, nOffsetMessage, nLongueur;
  if (lit(0, &entete) && (entete >> 16) == 1 && cherche(4, nComposante, &nOffsetComposante) &&
      cherche(nOffsetComposante, nMessage, &nOffsetMessage) && lit(nOffsetMessage, &nLongueur)) {
    DWORD n = nLongueur < nTaille ? nLongueur : nTaille;
    ssize_t r = pread(fd, pszBuffer, n, nOffsetMessage + 4);
    if (r == static_cast<ssize_t>(n)) {
      if (n < nTaille) pszBuffer[n] = '\0';
      bOk = true;
    }
  }
  pszBuffer[nTaille - 1] = '\0';
  close(fd);
  return bOk;
}
