// IXStream, the abstract stream over one file, and CDiskFile, the one class
// through which the library touches the disk: an open-file stream over a
// Linux descriptor, plus static path and file-system operations. Paths may
// be written the Windows way: every backslash becomes a slash, nothing else
// is translated.
#pragma once

#include <atomic>
#include <cstdarg>
#include <string>

#include "abi/TypesBase.h"
#include "core/KVUnknown.h"

class CXError;
class CTString;

// Marker stored as the system error when a lock is held elsewhere.
constexpr DWORD DISKFILE_ERREUR_BLOQUE = 0x80000000u;
constexpr int DISKFILE_MAX_PATH = 260;

// User messages of the file layer.
enum : DWORD {
  MSG_FIC_FLUSH = 28001,
  MSG_FIC_CREE_SI_INEXISTANT = 28002,
  MSG_FIC_LECTURE = 28003,
  MSG_FIC_TAILLE = 28004,
  MSG_FIC_POSITION = 28005,
  MSG_FIC_ECRITURE = 28008,
  MSG_FIC_LIGNE = 28011,
  MSG_FIC_SUPPRIME = 28120,
  MSG_FIC_DEPLACE = 28122,
  MSG_FIC_RENOMME = 28124,
  MSG_FIC_COPIE = 28125,
  MSG_FIC_CREE_REP = 28126,
  MSG_FIC_SUPPRIME_REP = 28127,
  MSG_FIC_DATES = 28129,
  MSG_FIC_ATTRIBUTS = 28130,
  MSG_FIC_CHEMIN_COMPLET = 28131,
  MSG_FIC_CHANGE_DATES = 28132,
  MSG_FIC_REP_TEMP = 28133,
  MSG_FIC_NOM_TEMP = 28134,
  MSG_FIC_RECHERCHE = 28135,
  MSG_FIC_RECHERCHE_SUIVANT = 28136,
  MSG_FIC_ESPACE = 28138,
  MSG_FIC_OUVRE = 28139,
  MSG_FIC_CREE = 28140,
  MSG_FIC_EXISTE = 28141,
  MSG_FIC_PAS_REPERTOIRE = 28142,
  MSG_FIC_SUPPRIME_ARBO = 28143,
  MSG_FIC_VIDE_REP = 28144,
  MSG_FIC_BLOQUE = 28145,
  MSG_FIC_DEBLOQUE = 28146,
  MSG_FIC_COPIE_SUR_SOI = 28149,
  MSG_FIC_REP_COURANT = 28307,
};

// Fills pclErreur (when given) for a failed file operation: message nMessage
// naming a (and b), system error nErrno, level grave, a as the source file
// and b as the destination. Sets errno to nErrno and returns 0.
BOOL DISKFILE_bEchec(CXError* pclErreur, DWORD nMessage, int nErrno, const std::string& a,
                     const std::string* b = nullptr);

class IXStream : public CKVUnknown {
public:
  enum eACCESS : int { ACCESS_AUCUN = -1, ACCESS_LECTURE = 0, ACCESS_ECRITURE = 1, ACCESS_LECTUREECRITURE = 2 };
  enum eSHARE : int { SHARE_LECTURE = 0, SHARE_ECRITURE = 1, SHARE_AUCUN = 2 };
  enum eCREATE : int { CREATE_EXISTANT = 0, CREATE_SIINEXISTANT = 64, CREATE_TRONQUE = 576 };
  enum eFLAG : int { FLAG_NORMAL = 0, FLAG_REPERTOIRE = 65536 };
  enum eSEEK : int { SEEK_DEBUT = 0, SEEK_COURANT = 1, SEEK_FIN = 2 };
  enum eGROW : int { GROW_ABSOLU = 0, GROW_RELATIF = 1 };

  // Operations in slot order (after the destructor and dwRelease).
  virtual BOOL bOpen(const char* pszNom, eACCESS eAcces, eSHARE ePartage, eCREATE eCreation, eFLAG eFlag,
                     int* pnCree) = 0;
  virtual void Close() = 0;
  virtual BOOL bReopen(eACCESS eAcces, eSHARE ePartage, eCREATE eCreation, eFLAG eFlag) = 0;
  virtual BOOL bWrite(long long oPosition, const void* p, DWORD n, DWORD* pnEcrit) = 0;
  virtual BOOL bRead(long long oPosition, void* p, DWORD n, DWORD* pnLu) = 0;
  virtual BOOL bWrite(const void* p, DWORD n, DWORD* pnEcrit = nullptr) = 0;
  virtual BOOL bRead(void* p, DWORD n, DWORD* pnLu = nullptr) = 0;
  virtual BOOL bSeek(long long oPosition, eSEEK eOrigine) = 0;
  virtual long long oGetSize() = 0;
  virtual long long oGetSizeFast() = 0;
  virtual BOOL bFlush() = 0;
  virtual BOOL bSetSize(long long oTaille, eGROW eMode = GROW_ABSOLU) = 0;
  virtual BOOL bIncreaseSize(long long oAjout) = 0;
  virtual BOOL bWriteString(const char* pszFormat, ...) = 0;
  virtual BOOL bWriteStringList(const char* pszFormat, va_list args) = 0;
  virtual BOOL bReadLine(char* pszTampon, DWORD nTaille, BOOL* pbSuite, DWORD dwOptions) = 0;
  virtual BOOL bExtract(IXStream* piDestination, long long oDebut, long long oLongueur) = 0;
  virtual BOOL bLockFile(long long oDebut, long long oLongueur) = 0;
  virtual BOOL bUnlockFile(long long oDebut, long long oLongueur) = 0;
  virtual BOOL bLock(long long oDebut, long long oLongueur) = 0;
  virtual BOOL bUnlock(long long oDebut, long long oLongueur) = 0;
  virtual const char* pszGetName() = 0;
  virtual long long oGetOffset() = 0;
  virtual BOOL bIsOpen() = 0;
  virtual CXError* pclGetXError() = 0;
  virtual CXError* _pclGetXError() = 0;
  virtual BOOL vbSetNameForError(const char* pszNom) = 0;
  virtual BOOL bReadLineUNICODE(WORD* pwTampon, DWORD nUnites, BOOL* pbSuite, DWORD dwOptions) = 0;
  virtual eACCESS veGetAccess() = 0;
  virtual BOOL bGetVFSFileName(char* pszTampon, DWORD nTaille) = 0;
  virtual BOOL bLockFileEx(BOOL bBloque, BOOL bExclusif) = 0;
  virtual void XStream_Reserve1() {}
  virtual void XStream_Reserve2() {}
  virtual void XStream_Reserve3() {}
  virtual void XStream_Reserve4() {}

protected:
  IXStream();
  ~IXStream() override;
  CXError* m_pclErreur;  // the stream's own error, reference count 1
};

// Directory search in progress (bFindFirst / bFindNext / bFindClose).
struct _stXFINDDATA {
  void* pDir = nullptr;                      // DIR*
  char szFiltre[DISKFILE_MAX_PATH + 1]{};    // name pattern
  char szRepertoire[DISKFILE_MAX_PATH + 2]{};// directory with its trailing slash
  DWORD dwRequis = 0;                        // attribute bits that must be set
  DWORD dwExclus = 0;                        // attribute bits that must be clear
  char szNom[DISKFILE_MAX_PATH + 1]{};       // entry found
  DWORD dwAttributs = 0;
  long long oTaille = 0;
};

// File attribute word: st_mode & 0xE1FF, plus the hidden bit.
enum eFILEATTRIBUTES : DWORD {
  FA_REGULIER = 0x8000,
  FA_REPERTOIRE = 0x4000,
  FA_CARACTERE = 0x2000,
  FA_LIEN = 0xA000,
  FA_CACHE = 0x80000000u,
};

// A time in local time, field by field.
struct _stXFILETIME {
  WORD wAnnee, wMois, wJour, wHeure, wMinute, wSeconde, wMilliseconde;
};
// 100-nanosecond units since 1601-01-01 UTC.
typedef unsigned long long _FILETIME;

class CDiskFile : public IXStream {
public:
  CDiskFile();
  ~CDiskFile() override;

  // IXStream
  BOOL bOpen(const char* pszNom, eACCESS eAcces, eSHARE ePartage, eCREATE eCreation, eFLAG eFlag,
             int* pnCree) override;
  void Close() override;
  BOOL bReopen(eACCESS eAcces, eSHARE ePartage, eCREATE eCreation, eFLAG eFlag) override;
  BOOL bWrite(long long oPosition, const void* p, DWORD n, DWORD* pnEcrit) override;
  BOOL bRead(long long oPosition, void* p, DWORD n, DWORD* pnLu) override;
  BOOL bWrite(const void* p, DWORD n, DWORD* pnEcrit = nullptr) override;
  BOOL bRead(void* p, DWORD n, DWORD* pnLu = nullptr) override;
  BOOL bSeek(long long oPosition, eSEEK eOrigine) override;
  long long oGetSize() override;
  long long oGetSizeFast() override;
  BOOL bFlush() override;
  BOOL bSetSize(long long oTaille, eGROW eMode = GROW_ABSOLU) override;
  BOOL bIncreaseSize(long long oAjout) override;
  BOOL bWriteString(const char* pszFormat, ...) override;
  BOOL bWriteStringList(const char* pszFormat, va_list args) override;
  BOOL bReadLine(char* pszTampon, DWORD nTaille, BOOL* pbSuite, DWORD dwOptions) override;
  BOOL bExtract(IXStream* piDestination, long long oDebut, long long oLongueur) override;
  BOOL bLockFile(long long oDebut, long long oLongueur) override;
  BOOL bUnlockFile(long long oDebut, long long oLongueur) override;
  BOOL bLock(long long oDebut, long long oLongueur) override;
  BOOL bUnlock(long long oDebut, long long oLongueur) override;
  const char* pszGetName() override { return m_szNomComplet; }
  long long oGetOffset() override { return m_oPosition; }
  BOOL bIsOpen() override { return m_nDescripteur >= 0; }
  CXError* pclGetXError() override { return m_pclErreur; }
  CXError* _pclGetXError() override { return m_pclErreur; }
  BOOL vbSetNameForError(const char* pszNom) override;
  BOOL bReadLineUNICODE(WORD* pwTampon, DWORD nUnites, BOOL* pbSuite, DWORD dwOptions) override;
  eACCESS veGetAccess() override;
  BOOL bGetVFSFileName(char*, DWORD) override { return 0; }
  BOOL bLockFileEx(BOOL bBloque, BOOL bExclusif) override;

  // Own operations.
  virtual BOOL bExtendFile(long long oTaille);
  virtual BOOL bExtract(const char* pszDestination, long long oDebut, long long oLongueur);
  virtual BOOL bExtractFromFile(const char* pszSource, long long oDebut, long long oLongueur);
  virtual void DiskFile_Reserve1() {}
  virtual void DiskFile_Reserve2() {}

  const char* pszGetNameForError() const { return m_pszNomErreur; }
  int nGetDescripteur() const { return m_nDescripteur; }

  // Line reading through the read-ahead buffer. One line from the current
  // offset: its bytes in *ppLigne / *pnLigne (valid until the next operation
  // on the stream), the offset moved past its terminator. nUnite is 1 for
  // 8-bit text, 2 for 16-bit little-endian units. Terminators:
  //   LIGNE_LF: LF, a CR directly before it belongs to the terminator;
  //   LIGNE_CR_LF: CR, CR LF or LF.
  // Returns 1 for a line, 0 at end of file, -1 on a read error.
  enum eLIGNE { LIGNE_LF = 0, LIGNE_CR_LF = 1 };
  int nLitLigne(const char** ppLigne, DWORD* pnLigne, eLIGNE eTerminateur, int nUnite = 1);
  // Buffered line reader with caller's buffer and overflow (CR, CR LF or
  // LF, or the separator when given); null at end of file or on error.
  const char* pszReadLine(char* pszTampon, DWORD nTaille, CTString* pclDebordement, const char* pszSeparateur);

  // Static operations: true on success; the optional error is reset first
  // and filled on failure.
  static BOOL bExist(const char* pszChemin, CXError* pclErreur = nullptr);
  static BOOL bIsAFile(const char* pszChemin);
  // The user's home directory (from the password base, else $HOME).
  static std::string sRepertoireMaison();
  static BOOL bIsADirectory(const char* pszChemin);
  static BOOL bDelete(const char* pszChemin, CXError* pclErreur = nullptr);
  static BOOL bForceDelete(const char* pszChemin, CXError* pclErreur = nullptr);
  static BOOL bRename(const char* pszNouveau, const char* pszAncien, CXError* pclErreur = nullptr);
  // dwOptions: those of CRemplacement::bPrepare (REM_FORCE overwrites a
  // read-only destination, keeping its mode).
  static BOOL bCopy(const char* pszDestination, const char* pszSource, CXError* pclErreur = nullptr,
                    DWORD dwOptions = 0);
  static BOOL bMove(const char* pszDestination, const char* pszSource, CXError* pclErreur = nullptr);
  static BOOL bCreateDirectory(const char* pszChemin, CXError* pclErreur = nullptr);
  static BOOL bDeleteDirectory(const char* pszChemin, CXError* pclErreur = nullptr);
  static BOOL bGetFileAttributes(DWORD* pdwAttributs, const char* pszChemin, CXError* pclErreur = nullptr);
  static BOOL __bGetFileAttributesAndSize(DWORD* pdwAttributs, long long* poTaille, const char* pszChemin,
                                          CXError* pclErreur = nullptr);
  static BOOL bSetFileAttributes(const char* pszChemin, DWORD dwAttributs, CXError* pclErreur = nullptr);
  static BOOL bFindFirst(const char* pszFiltre, _stXFINDDATA* pst, DWORD dwRequis, DWORD dwExclus,
                         CXError* pclErreur = nullptr);
  static BOOL bFindNext(_stXFINDDATA* pst, CXError* pclErreur = nullptr);
  static BOOL bFindClose(_stXFINDDATA* pst);
  static bool _bFiltreFileName(const char* pszNom, const char* pszFiltre);
  static BOOL bGetTime(const char* pszChemin, _stXFILETIME* pstCreation, _stXFILETIME* pstAcces,
                       _stXFILETIME* pstEcriture, CXError* pclErreur = nullptr);
  static BOOL bSetTime(const char* pszChemin, const _FILETIME* pCreation, const _FILETIME* pAcces,
                       const _FILETIME* pEcriture, CXError* pclErreur = nullptr);
  static BOOL bSetTime(const char* pszChemin, const _stXFILETIME* pstCreation, const _stXFILETIME* pstAcces,
                       const _stXFILETIME* pstEcriture, CXError* pclErreur = nullptr);
  static BOOL bFileTimeToSystemTime(_FILETIME ft, _stXFILETIME* pst);
  static BOOL bSystemTimeToFileTime(const _stXFILETIME* pst, _FILETIME* pft);
  static BOOL bSystemTimeToDosFileTime(const _stXFILETIME* pst, DWORD* pdwDos);
  static BOOL bDosFileTimeToSystemTime(DWORD dwDos, _stXFILETIME* pst);
  static BOOL bGetTempDirectory(char* pszTampon, CXError* pclErreur = nullptr);
  static BOOL bGetTempName(char* pszTampon, const char* pszPrefixe, CXError* pclErreur = nullptr);
  static BOOL bGetTempName(char* pszTampon, const char* pszRepertoire, const char* pszPrefixe,
                           CXError* pclErreur = nullptr);
  static BOOL bGetCurrentDirectory(char* pszTampon, CXError* pclErreur = nullptr);
  static BOOL bGetDiskSpace(const char* pszChemin, long long* poTotal, long long* poLibre,
                            CXError* pclErreur = nullptr);
  static BOOL bGetDiskFreeSpace(const char* pszChemin, long long* poLibre, CXError* pclErreur = nullptr);

  // Paths.
  static char* pszBackSlash2Slash(char* psz);
  static char* pszSlash2BackSlash(char* psz);
  static void pszBackSlash2Slash(CTString* pcl);
  static void pszSlash2BackSlash(CTString* pcl);
  static std::string sNormalise(const char* pszChemin);  // the backslash rule
  static void DirectoryWithEndSlash(CTString* pcl);
  static void DirectoryWithoutEndSlash(CTString* pcl);
  static void StandardizeFileName(CTString* pclSortie, const char* pszNom);
  static bool bSameFileName(const char* a, const char* b);
  static void MakePath(CTString* pclSortie, const char* pszRepertoire, const char* pszNom, const char* pszExtension);
  static void SplitPath(const char* pszChemin, CTString* pclRepertoire, CTString* pclNom, CTString* pclExtension);
  static const char* pszGetPtrToFileName(const char* pszChemin);
  static void ChangeExtension(CTString* pcl, const char* pszExtension);
  static void DelExtension(CTString* pcl);
  static bool bIsRelativeFileName(const char* pszNom);
  static bool bIsRelativeFileName_WIN32(const char* pszNom);
  static bool bIsRelativePath(const char* pszNom);
  static bool bIsAVirtualDirectory(const char* pszNom);
  // Length written, the size needed when nTaille is too small (nothing
  // written), 0 for an empty path or a failing getcwd.
  static DWORD GetFullPathName(const char* pszChemin, DWORD nTaille, char* pszSortie);
  static BOOL bGetFullPath(const char* pszChemin, CTString* pclSortie, CXError* pclErreur = nullptr);

  // Trees.
  typedef int (*PFNFICHIER)(const char* pszChemin, void* pParam);
  static BOOL bDoOnFileTree(const char* pszRepertoire, const char* pszFiltre, PFNFICHIER pfn, void* pParam,
                            BOOL bAvecRepertoires, BOOL bRecursif, CXError* pclErreur = nullptr);
  static BOOL bDoOnDirectoryTree(const char* pszRepertoire, const char* pszFiltre, PFNFICHIER pfn, void* pParam,
                                 BOOL bRecursif, CXError* pclErreur = nullptr);
  static BOOL bPurgeTree(const char* pszRepertoire, CXError* pclErreur = nullptr);
  static BOOL bDeleteTree(const char* pszRepertoire, CXError* pclErreur = nullptr);
  static BOOL bForceDeleteTree(const char* pszRepertoire, CXError* pclErreur = nullptr);
  static BOOL bDeleteTreeEvenReadOnly(const char* pszRepertoire, CXError* pclErreur = nullptr);

private:
  void _Erreur(DWORD nMessage, int nErrno);
  // Before any operation other than line reading: the descriptor's offset
  // is put back at the stored offset and the read-ahead dropped.
  bool _bSynchronise();
  void _InvalideAvance() { m_nAvanceTaille = 0; }
  BOOL _bOuvreFlags(int nFlags, int* pnFd);

  char m_szNomComplet[DISKFILE_MAX_PATH + 1]{};
  int m_nDescripteur = -1;
  long long m_oPosition = 0;
  int m_nFlags = -1;
  char* m_pszNomErreur = m_szNomComplet;

  // Read-ahead of the line readers: bytes of the file from m_oAvanceDebut.
  // The descriptor's own offset lags behind while m_bDecale is set.
  char* m_pAvance = nullptr;
  DWORD m_nAvanceTaille = 0;
  long long m_oAvanceDebut = 0;
  bool m_bDecale = false;
  unsigned m_nAvanceGeneration = 0;
  std::string m_sLigneLongue;  // a line spanning several fills
  // Bumped after every write or resize through any stream of the process,
  // so that no read-ahead outlives a change made through another handle
  // (atomic: streams of several threads write at once; a read-ahead filled
  // after the generation was read and before the bump is dropped at the
  // next line).
  static std::atomic<unsigned> ms_nGeneration;
};
