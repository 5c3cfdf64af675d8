// CDiskFile, the open-file face: open with access, lock and creation modes,
// reads, writes, seeks, sizes, locks, and the line readers with their
// read-ahead buffer.
#include "files/DiskFile.h"

#include <emmintrin.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/TString.h"
#include "core/XError.h"
#include "files/AppelsSysteme.h"
#include "files/Remplacement.h"

namespace {

// Size of one fill of the read-ahead buffer.
constexpr DWORD TAILLE_AVANCE = 65536;

// The first LF of p[0, n), or null. Lines are short: sixteen bytes a step
// with SSE2, inline, costs less than the call into the C library. The last
// step re-reads some bytes already seen rather than read past p + n.
inline const char* pChercheLF(const char* p, DWORD n) {
  const __m128i lf = _mm_set1_epi8('\n');
  DWORD i = 0;
  for (; i + 16 <= n; i += 16) {
    const int m = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), lf));
    if (m != 0) return p + i + __builtin_ctz(static_cast<unsigned>(m));
  }
  if (i == n) return nullptr;
  if (n >= 16) {
    // Bytes before i hold no LF, so the first one found is at i or after.
    const int m = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 16)), lf));
    return m != 0 ? p + n - 16 + __builtin_ctz(static_cast<unsigned>(m)) : nullptr;
  }
  for (; i < n; ++i)
    if (p[i] == '\n') return p + i;
  return nullptr;
}

}  // namespace

IXStream::IXStream() : m_pclErreur(new CXError) { m_pclErreur->dwAddRef(); }

IXStream::~IXStream() { m_pclErreur->dwRelease(); }

std::atomic<unsigned> CDiskFile::ms_nGeneration{0};

CDiskFile::CDiskFile() = default;

CDiskFile::~CDiskFile() {
  Close();
  std::free(m_pAvance);
  if (m_pszNomErreur != m_szNomComplet) std::free(m_pszNomErreur);
}

// The stream's error: level 3, the system error, the descriptor, the user
// message with the name, and the name as information item.
void CDiskFile::_Erreur(DWORD nMessage, int nErrno) {
  m_pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
  m_pclErreur->SetSystemError(static_cast<DWORD>(nErrno));
  if (static_cast<DWORD>(nErrno) == DISKFILE_ERREUR_BLOQUE)
    m_pclErreur->SetSystemErrorMessage("Locked by another process");
  m_pclErreur->AddDebugMessage("##(IXStream)-Handle=<%1$d>##", m_nDescripteur);
  m_pclErreur->AddUserMessage(nMessage, m_pszNomErreur);
  m_pclErreur->AddInfo(EIT_SRCFILE, m_pszNomErreur);
}

bool CDiskFile::_bSynchronise() {
  m_nAvanceTaille = 0;
  if (!m_bDecale) return true;
  if (lseek64(m_nDescripteur, m_oPosition, SEEK_SET) < 0) return false;
  m_bDecale = false;
  return true;
}

BOOL CDiskFile::_bOuvreFlags(int nFlags, int* pnFd) {
  *pnFd = SYS_nOpen(m_szNomComplet, nFlags, 0666);
  return *pnFd >= 0;
}

BOOL CDiskFile::bOpen(const char* pszNom, eACCESS eAcces, eSHARE ePartage, eCREATE eCreation, eFLAG eFlag,
                      int* pnCree) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (pnCree != nullptr) *pnCree = 0;
  Close();
  std::string nom = sNormalise(pszNom);
  DWORD n = GetFullPathName(nom.c_str(), sizeof m_szNomComplet, m_szNomComplet);
  DWORD nMessage = eCreation == CREATE_TRONQUE ? MSG_FIC_CREE
                   : eCreation == CREATE_SIINEXISTANT ? MSG_FIC_CREE_SI_INEXISTANT
                                                      : MSG_FIC_OUVRE;
  if (n == 0 || n >= sizeof m_szNomComplet) {
    // Empty, too long, or no current directory: the name as given is reported.
    std::snprintf(m_szNomComplet, sizeof m_szNomComplet, "%s", nom.c_str());
    _Erreur(nMessage, n == 0 && !nom.empty() ? errno : (nom.empty() ? ENOENT : ENAMETOOLONG));
    m_szNomComplet[0] = '\0';
    return 0;
  }
  if (eAcces == ACCESS_AUCUN) eAcces = ACCESS_LECTURE;

  int fd = -1;
  bool bRepertoire = false;
  if (eFlag == FLAG_REPERTOIRE && bIsADirectory(m_szNomComplet)) {
    bRepertoire = true;
    _bOuvreFlags(O_DIRECTORY, &fd);
  } else {
    int nBase = static_cast<int>(eAcces) | O_LARGEFILE | O_NONBLOCK;
    if (eCreation == CREATE_SIINEXISTANT) {
      if (!_bOuvreFlags(nBase, &fd) && errno == ENOENT && _bOuvreFlags(nBase | O_CREAT, &fd) && pnCree != nullptr)
        *pnCree = 1;
      nBase |= O_CREAT;
    } else {
      nBase |= static_cast<int>(eCreation);
      if (_bOuvreFlags(nBase, &fd) && eCreation == CREATE_TRONQUE && pnCree != nullptr) *pnCree = 1;
    }
    m_nFlags = nBase;
  }
  if (fd < 0) {
    int e = errno;
    m_nFlags = -1;
    _Erreur(nMessage, e);
    return 0;
  }
  if (!bRepertoire && ePartage != SHARE_AUCUN) {
    struct flock64 verrou {};
    verrou.l_type = static_cast<short>(ePartage == SHARE_ECRITURE ? F_WRLCK : F_RDLCK);
    verrou.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK64, &verrou) != 0) {
      ::close(fd);
      m_nFlags = -1;
      _Erreur(nMessage, static_cast<int>(DISKFILE_ERREUR_BLOQUE));
      return 0;
    }
  }
  if (bRepertoire) m_nFlags = O_DIRECTORY;
  m_nDescripteur = fd;
  m_oPosition = 0;
  m_bDecale = false;
  m_nAvanceTaille = 0;
  return 1;
}

void CDiskFile::Close() {
  if (m_nDescripteur < 0) return;
  ::close(m_nDescripteur);
  m_nDescripteur = -1;
  m_oPosition = 0;
  m_nFlags = -1;
  m_nAvanceTaille = 0;
  m_bDecale = false;
}

BOOL CDiskFile::bReopen(eACCESS eAcces, eSHARE ePartage, eCREATE eCreation, eFLAG eFlag) {
  std::string nom = m_szNomComplet;
  Close();
  return bOpen(nom.c_str(), eAcces, ePartage, eCreation, eFlag, nullptr);
}

BOOL CDiskFile::bWrite(long long oPosition, const void* p, DWORD n, DWORD* pnEcrit) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (oPosition != m_oPosition && !bSeek(oPosition, SEEK_DEBUT)) return 0;
  return bWrite(p, n, pnEcrit);
}

BOOL CDiskFile::bRead(long long oPosition, void* p, DWORD n, DWORD* pnLu) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (oPosition != m_oPosition && !bSeek(oPosition, SEEK_DEBUT)) return 0;
  return bRead(p, n, pnLu);
}

BOOL CDiskFile::bWrite(const void* p, DWORD n, DWORD* pnEcrit) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (pnEcrit != nullptr) *pnEcrit = 0;
  if (!_bSynchronise()) {
    _Erreur(MSG_FIC_POSITION, m_nDescripteur < 0 ? EBADF : errno);
    return 0;
  }
  ssize_t r = n == 0 ? 0 : SYS_nWrite(m_nDescripteur, p, n);
  ms_nGeneration.fetch_add(1);
  if (r > 0) m_oPosition += r;
  if (pnEcrit != nullptr && r > 0) *pnEcrit = static_cast<DWORD>(r);
  if (r != static_cast<ssize_t>(n)) {
    _Erreur(MSG_FIC_ECRITURE, r < 0 ? errno : ENOSPC);
    return 0;
  }
  return 1;
}

BOOL CDiskFile::bRead(void* p, DWORD n, DWORD* pnLu) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (pnLu != nullptr) *pnLu = 0;
  if (!_bSynchronise()) {
    _Erreur(MSG_FIC_POSITION, m_nDescripteur < 0 ? EBADF : errno);
    return 0;
  }
  ssize_t r = n == 0 ? 0 : ::read(m_nDescripteur, p, n);
  if (r > 0) m_oPosition += r;
  if (r < 0 || (pnLu == nullptr && r != static_cast<ssize_t>(n))) {
    _Erreur(MSG_FIC_LECTURE, r < 0 ? errno : 0);
    m_pclErreur->AddDebugMessage("##(IXStream)-bExact=<%1$d>##", pnLu == nullptr ? 1 : 0);
    m_pclErreur->AddDebugMessage("##(IXStream)-A lire=<%1$u>, lu=<%2$u>##", n,
                                 static_cast<unsigned>(r < 0 ? 0 : r));
    return 0;
  }
  if (pnLu != nullptr) *pnLu = static_cast<DWORD>(r);
  return 1;
}

BOOL CDiskFile::bSeek(long long oPosition, eSEEK eOrigine) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  m_nAvanceTaille = 0;
  // A move from the current position counts from the stored offset, which
  // the descriptor may lag behind after line reading.
  if (eOrigine == SEEK_COURANT) {
    oPosition += m_oPosition;
    eOrigine = SEEK_DEBUT;
  }
  off64_t r = lseek64(m_nDescripteur, oPosition, static_cast<int>(eOrigine));
  if (r < 0) {
    _Erreur(MSG_FIC_POSITION, errno);
    return 0;
  }
  m_oPosition = r;
  m_bDecale = false;
  return 1;
}

long long CDiskFile::oGetSize() {
  // fstat leaves the offset alone: the same answer as seeking to the end and back.
  struct stat64 st {};
  if (fstat64(m_nDescripteur, &st) != 0) {
    _Erreur(MSG_FIC_POSITION, errno);
    return -1;
  }
  return st.st_size;
}

long long CDiskFile::oGetSizeFast() {
  m_nAvanceTaille = 0;
  off64_t r = lseek64(m_nDescripteur, 0, SEEK_END);
  if (r < 0) {
    _Erreur(MSG_FIC_POSITION, errno);
    return -1;
  }
  m_oPosition = r;
  m_bDecale = false;
  return r;
}

BOOL CDiskFile::bFlush() {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (SYS_nFsync(m_nDescripteur) != 0) {
    _Erreur(MSG_FIC_FLUSH, errno);
    return 0;
  }
  return 1;
}

BOOL CDiskFile::bSetSize(long long oTaille, eGROW eMode) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (!bSeek(oTaille, eMode == GROW_RELATIF ? SEEK_FIN : SEEK_DEBUT)) return 0;
  int nResultat = SYS_nFtruncate(m_nDescripteur, m_oPosition);
  ms_nGeneration.fetch_add(1);
  if (nResultat != 0) {
    _Erreur(MSG_FIC_TAILLE, errno);
    return 0;
  }
  return 1;
}

BOOL CDiskFile::bIncreaseSize(long long oAjout) { return bSetSize(oAjout, GROW_RELATIF); }

BOOL CDiskFile::bExtendFile(long long oTaille) {
  if (oTaille <= 0) {
    m_pclErreur->SetErrorLevel(EL_AUCUNE);
    _Erreur(MSG_FIC_TAILLE, EINVAL);
    return 0;
  }
  if (!bSetSize(oTaille)) return 0;
  char c = 0;
  return bWrite(oTaille - 1, &c, 1, nullptr);
}

BOOL CDiskFile::bWriteString(const char* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  BOOL b = bWriteStringList(pszFormat, args);
  va_end(args);
  return b;
}

BOOL CDiskFile::bWriteStringList(const char* pszFormat, va_list args) {
  char sz[1025];
  int n = std::vsnprintf(sz, sizeof sz, pszFormat != nullptr ? pszFormat : "", args);
  if (n < 0) n = 0;
  if (n > 1024) n = 1024;
  return bWrite(sz, static_cast<DWORD>(n), nullptr);
}

// Pieces of up to 80 bytes; the position ends just after what was taken.
BOOL CDiskFile::bReadLine(char* pszTampon, DWORD nTaille, BOOL* pbSuite, DWORD dwOptions) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (pbSuite != nullptr) *pbSuite = 0;
  if (pszTampon == nullptr || nTaille == 0) return 0;
  pszTampon[0] = '\0';
  DWORD nPris = 0;
  bool bQuelqueChose = false;
  for (;;) {
    long long oDebut = m_oPosition;
    char piece[81];
    DWORD nLu = 0;
    if (!bRead(piece, 80, &nLu)) return 0;
    if (nLu == 0) return bQuelqueChose ? 1 : 0;
    bQuelqueChose = true;
    // End of line and terminator length inside the piece.
    DWORD nFin = nLu, nTerm = 0;
    for (DWORD i = 0; i < nLu; ++i) {
      if ((dwOptions & 1) == 0) {
        if (piece[i] == '\r') {
          nFin = i;
          nTerm = 2;
          break;
        }
      } else if (piece[i] == '\r') {
        if (i + 1 == nLu && nLu == 80) {  // one more byte decides
          char c = 0;
          DWORD n1 = 0;
          if (!bRead(&c, 1, &n1)) return 0;
          if (n1 == 1) piece[nLu++] = c;
        }
        if (i + 1 < nLu && piece[i + 1] == '\n') {
          nFin = i;
          nTerm = 2;
          break;
        }
      }
    }
    if ((dwOptions & 1) == 0 && nTerm == 0) {
      const void* pLF = std::memchr(piece, '\n', nLu);
      if (pLF != nullptr) {
        nFin = static_cast<DWORD>(static_cast<const char*>(pLF) - piece);
        nTerm = 1;
      }
    }
    if (nTerm == 2 && nFin + 1 >= nLu) nTerm = 1;  // a CR that is the last byte read
    DWORD nPlace = nTaille - 1 - nPris;
    if (nFin > nPlace) {
      std::memcpy(pszTampon + nPris, piece, nPlace);
      nPris += nPlace;
      pszTampon[nPris] = '\0';
      if (pbSuite != nullptr) *pbSuite = 1;
      return bSeek(oDebut + nPlace, SEEK_DEBUT);
    }
    std::memcpy(pszTampon + nPris, piece, nFin);
    nPris += nFin;
    pszTampon[nPris] = '\0';
    if (nTerm > 0) return bSeek(oDebut + nFin + nTerm, SEEK_DEBUT);
    if (nLu < 80) return 1;  // end of file
  }
}

BOOL CDiskFile::bReadLineUNICODE(WORD* pwTampon, DWORD nUnites, BOOL* pbSuite, DWORD) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (pbSuite != nullptr) *pbSuite = 0;
  if (pwTampon == nullptr || nUnites == 0) return 0;
  const char* p = nullptr;
  DWORD n = 0;
  long long oDebut = m_oPosition;
  int r = nLitLigne(&p, &n, LIGNE_LF, 2);
  if (r <= 0) return 0;
  DWORD nu = n / 2;
  if (nu > nUnites - 1) {
    nu = nUnites - 1;
    if (pbSuite != nullptr) *pbSuite = 1;
    if (!bSeek(oDebut + 2LL * nu, SEEK_DEBUT)) return 0;
  }
  std::memcpy(pwTampon, p, nu * 2);
  pwTampon[nu] = 0;
  return 1;
}

BOOL CDiskFile::bExtract(IXStream* piDestination, long long oDebut, long long oLongueur) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  if (piDestination == nullptr || oLongueur < 0 || !bSeek(oDebut, SEEK_DEBUT)) return 0;
  char tampon[8192];
  while (oLongueur > 0) {
    DWORD n = oLongueur > static_cast<long long>(sizeof tampon) ? sizeof tampon : static_cast<DWORD>(oLongueur);
    DWORD nLu = 0;
    if (!bRead(tampon, n, &nLu)) return 0;
    if (nLu == 0) break;
    if (!piDestination->bWrite(tampon, nLu, nullptr)) {
      m_pclErreur->Copy(piDestination->pclGetXError());
      return 0;
    }
    oLongueur -= nLu;
  }
  return 1;
}

// The destination file is replaced whole, once the part is written.
BOOL CDiskFile::bExtract(const char* pszDestination, long long oDebut, long long oLongueur) {
  CRemplacement remplacement;
  if (!remplacement.bPrepare(pszDestination, m_pclErreur)) return 0;
  CDiskFile destination;
  if (!destination.bOpen(remplacement.pszTemporaire(), ACCESS_ECRITURE, SHARE_AUCUN, CREATE_TRONQUE, FLAG_NORMAL,
                         nullptr)) {
    m_pclErreur->Copy(destination.pclGetXError());
    return 0;
  }
  destination.vbSetNameForError(pszDestination);
  if (!bExtract(&destination, oDebut, oLongueur)) return 0;
  destination.Close();
  return remplacement.bValide(m_pclErreur) ? 1 : 0;
}

BOOL CDiskFile::bExtractFromFile(const char* pszSource, long long oDebut, long long oLongueur) {
  CDiskFile source;
  if (!source.bOpen(pszSource, ACCESS_LECTURE, SHARE_AUCUN, CREATE_EXISTANT, FLAG_NORMAL, nullptr) ||
      !source.bExtract(this, oDebut, oLongueur)) {
    m_pclErreur->Copy(source.pclGetXError());
    return 0;
  }
  return 1;
}

BOOL CDiskFile::bLock(long long oDebut, long long oLongueur) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  struct flock64 verrou {};
  verrou.l_type = static_cast<short>((m_nFlags & O_ACCMODE) != O_RDONLY ? F_WRLCK : F_RDLCK);
  verrou.l_whence = SEEK_SET;
  verrou.l_start = oDebut;
  verrou.l_len = oLongueur;
  if (fcntl(m_nDescripteur, F_SETLK64, &verrou) != 0) {
    int e = errno;
    if (e == EACCES || e == EAGAIN || e == EDEADLK) e = static_cast<int>(DISKFILE_ERREUR_BLOQUE);
    m_pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
    m_pclErreur->SetSystemError(static_cast<DWORD>(e));
    return 0;
  }
  return 1;
}

BOOL CDiskFile::bUnlock(long long oDebut, long long oLongueur) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  struct flock64 verrou {};
  verrou.l_type = F_UNLCK;
  verrou.l_whence = SEEK_SET;
  verrou.l_start = oDebut;
  verrou.l_len = oLongueur;
  if (fcntl(m_nDescripteur, F_SETLK64, &verrou) != 0) {
    m_pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
    m_pclErreur->SetSystemError(DISKFILE_ERREUR_BLOQUE);
    return 0;
  }
  return 1;
}

BOOL CDiskFile::bLockFile(long long oDebut, long long oLongueur) {
  if (bLock(oDebut, oLongueur)) return 1;
  DWORD e = m_pclErreur->dwGetSystemErrorCode();
  _Erreur(MSG_FIC_BLOQUE, static_cast<int>(e));
  return 0;
}

BOOL CDiskFile::bUnlockFile(long long oDebut, long long oLongueur) {
  if (bUnlock(oDebut, oLongueur)) return 1;
  _Erreur(MSG_FIC_DEBLOQUE, static_cast<int>(DISKFILE_ERREUR_BLOQUE));
  return 0;
}

BOOL CDiskFile::bLockFileEx(BOOL bBloque, BOOL bExclusif) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  struct flock64 verrou {};
  verrou.l_whence = SEEK_SET;
  verrou.l_len = 2;
  if (!bBloque) {
    verrou.l_type = F_UNLCK;
    fcntl(m_nDescripteur, F_SETLK64, &verrou);
    return 1;
  }
  verrou.l_type = static_cast<short>(bExclusif ? F_WRLCK : F_RDLCK);
  int r;
  do {
    r = fcntl(m_nDescripteur, F_SETLKW64, &verrou);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    _Erreur(MSG_FIC_BLOQUE, errno);
    return 0;
  }
  return 1;
}

BOOL CDiskFile::vbSetNameForError(const char* pszNom) {
  char* psz = strdup(pszNom != nullptr ? pszNom : "");
  if (psz == nullptr) return 0;
  if (m_pszNomErreur != m_szNomComplet) std::free(m_pszNomErreur);
  m_pszNomErreur = psz;
  return 1;
}

IXStream::eACCESS CDiskFile::veGetAccess() {
  if (m_nFlags == -1) return ACCESS_AUCUN;
  return static_cast<eACCESS>(m_nFlags & O_ACCMODE);
}

// Line reading over the read-ahead buffer. The buffer holds the file's
// bytes from m_oAvanceDebut (read with pread, so the descriptor's offset
// stays put and is only brought back by _bSynchronise); each line moves the
// stored offset past its terminator, exactly as reading piece by piece and
// seeking back would.
int CDiskFile::nLitLigne(const char** ppLigne, DWORD* pnLigne, eLIGNE eTerminateur, int nUnite) {
  m_pclErreur->SetErrorLevel(EL_AUCUNE);
  *ppLigne = "";
  *pnLigne = 0;
  if (m_nDescripteur < 0) {
    _Erreur(MSG_FIC_LECTURE, EBADF);
    return -1;
  }
  if (m_pAvance == nullptr) {
    m_pAvance = static_cast<char*>(std::malloc(TAILLE_AVANCE + 1));
    if (m_pAvance == nullptr) {
      _Erreur(MSG_FIC_LECTURE, ENOMEM);
      return -1;
    }
  }
  if (unsigned nGeneration = ms_nGeneration.load(); m_nAvanceGeneration != nGeneration) {
    m_nAvanceTaille = 0;
    m_nAvanceGeneration = nGeneration;
  }
  m_sLigneLongue.clear();
  bool bLongue = false;     // the line continues from an earlier fill
  bool bCRPendant = false;  // CR_LF mode: a CR ended the last fill
  bool bSurLF = false;      // LF mode: the line ended on its LF
  for (;;) {
    // Bytes available from the stored offset.
    long long oDecalage = m_oPosition - m_oAvanceDebut;
    if (m_nAvanceTaille == 0 || oDecalage < 0 || oDecalage >= m_nAvanceTaille ||
        (nUnite == 2 && m_nAvanceTaille - oDecalage < 2)) {
      ssize_t r;
      do {
        r = pread64(m_nDescripteur, m_pAvance, TAILLE_AVANCE, m_oPosition);
      } while (r < 0 && errno == EINTR);
      if (r < 0) {
        _Erreur(MSG_FIC_LECTURE, errno);
        m_nAvanceTaille = 0;
        return -1;
      }
      m_bDecale = true;
      m_oAvanceDebut = m_oPosition;
      m_nAvanceTaille = static_cast<DWORD>(r);
      oDecalage = 0;
      if (r == 0) {
        if (bCRPendant) break;
        if (!bLongue) return 0;
        break;  // last line without terminator
      }
    }
    const char* p = m_pAvance + oDecalage;
    DWORD nDispo = m_nAvanceTaille - static_cast<DWORD>(oDecalage);
    if (bCRPendant) {
      bCRPendant = false;
      if (p[0] == '\n') m_oPosition += 1;
      break;
    }
    DWORD nFin = nDispo, nTerm = 0;
    if (nUnite == 1) {
      if (eTerminateur == LIGNE_LF) {
        const char* pLF = pChercheLF(p, nDispo);
        if (pLF != nullptr) {
          nFin = static_cast<DWORD>(pLF - p);
          nTerm = 1;
        }
      } else {
        for (DWORD i = 0; i < nDispo; ++i) {
          if (p[i] == '\n' || p[i] == '\r') {
            nFin = i;
            nTerm = 1;
            break;
          }
        }
      }
    } else {
      nFin = nDispo & ~1u;
      for (DWORD i = 0; i + 1 < nDispo; i += 2) {
        if (p[i + 1] == 0 && (p[i] == '\n' || (eTerminateur == LIGNE_CR_LF && p[i] == '\r'))) {
          nFin = i;
          nTerm = 2;
          break;
        }
      }
      // A lone byte at the very end of the file is kept as a unit.
      if (nTerm == 0 && nDispo == 1) nFin = 1;
    }
    if (nTerm == 0) {
      // No terminator in what is buffered: keep it and fill again.
      m_sLigneLongue.append(p, nFin);
      bLongue = true;
      m_oPosition += nFin;
      continue;
    }
    bool bCR = p[nFin] == '\r';
    if (!bLongue && !(bCR && eTerminateur == LIGNE_CR_LF)) {
      // The whole line is in the buffer: handed out in place.
      *ppLigne = p;
      *pnLigne = nFin;
      m_oPosition += nFin + nTerm;
      if (eTerminateur == LIGNE_LF && *pnLigne >= static_cast<DWORD>(nUnite) &&
          p[nFin - nUnite] == '\r' && (nUnite == 1 || p[nFin - 1] == 0))
        *pnLigne -= nUnite;
      return 1;
    }
    m_sLigneLongue.append(p, nFin);
    bLongue = true;
    m_oPosition += nFin + nTerm;
    if (bCR && eTerminateur == LIGNE_CR_LF) {
      // CR LF counts as one terminator.
      DWORD nApres = nFin + nTerm;
      if (nApres + nUnite <= nDispo) {
        if (p[nApres] == '\n' && (nUnite == 1 || p[nApres + 1] == 0)) m_oPosition += nUnite;
        break;
      }
      if (nUnite == 1) {
        bCRPendant = true;
        continue;
      }
      break;
    }
    bSurLF = eTerminateur == LIGNE_LF;
    break;
  }
  // A CR directly before the LF belongs to the terminator.
  if (bSurLF) {
    std::size_t n = m_sLigneLongue.size();
    if (n >= static_cast<std::size_t>(nUnite) && m_sLigneLongue[n - nUnite] == '\r' &&
        (nUnite == 1 || m_sLigneLongue[n - 1] == 0))
      m_sLigneLongue.resize(n - nUnite);
  }
  *ppLigne = m_sLigneLongue.data();
  *pnLigne = static_cast<DWORD>(m_sLigneLongue.size());
  return 1;
}

const char* CDiskFile::pszReadLine(char* pszTampon, DWORD nTaille, CTString* pclDebordement,
                                   const char* pszSeparateur) {
  const char* p = nullptr;
  DWORD n = 0;
  if (pszSeparateur != nullptr && *pszSeparateur != '\0') {
    // A line ends at the separator: read to it through the buffer, byte by byte.
    std::string ligne;
    std::size_t nSep = std::strlen(pszSeparateur);
    bool bFin = false;
    char c;
    for (;;) {
      DWORD nLu = 0;
      if (!bRead(&c, 1, &nLu)) return nullptr;
      if (nLu == 0) {
        bFin = true;
        break;
      }
      ligne += c;
      if (ligne.size() >= nSep && ligne.compare(ligne.size() - nSep, nSep, pszSeparateur) == 0) {
        ligne.resize(ligne.size() - nSep);
        break;
      }
    }
    if (bFin && ligne.empty()) return nullptr;
    m_sLigneLongue = ligne;
    p = m_sLigneLongue.data();
    n = static_cast<DWORD>(m_sLigneLongue.size());
  } else {
    if (nLitLigne(&p, &n, LIGNE_CR_LF, 1) <= 0) return nullptr;
  }
  if (pszTampon != nullptr && n < nTaille) {
    std::memcpy(pszTampon, p, n);
    pszTampon[n] = '\0';
    return pszTampon;
  }
  if (pclDebordement == nullptr) return nullptr;
  pclDebordement->Vide();
  pclDebordement->Add(p, n);
  return pclDebordement->pszGet();
}
