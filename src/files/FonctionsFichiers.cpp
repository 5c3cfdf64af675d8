// The component's file-handle functions: open, create, close, read, write,
// lines, position, locks, size, name, whole-file text and temporary files.
#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "abi/TypesVX.h"
#include "core/Any.h"
#include "core/CodePage.h"
#include "core/XError.h"
#include "files/DiskFile.h"
#include "files/Remplacement.h"
#include "files/TableFichiers.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"
#include "misc/RegExp.h"

namespace {

// Open-mode bits of the language.
enum : int {
  FO_LECTURE = 1,
  FO_ECRITURE = 2,
  FO_BLOQUE_LECTURE = 4,
  FO_BLOQUE_ECRITURE = 8,
  FO_CREATION_SI_INEXISTANT = 0x100,
  FO_CREATION = 0x200,
  FO_AJOUT = 0x800,
  FO_UNICODE = 0x1000,
  FO_SUPPRESSION_AUTOMATIQUE = 0x4000000,
};

const char ACHAINE_FIN_FICHIER[] = "\x04";

// Bytes and length of a string or buffer slot (a null value is empty).
DWORD nLongueurAUB(const STManipAUB* pst) {
  if (pst == nullptr || pst->pData == nullptr) return 0;
  return pstGetBloc(pst->pData)->dwLongueur;
}

// A language string as 16-bit little-endian units: a wide string as it
// is, an 8-bit one from the current code page.
bool bVersUTF16(const CVXDSTR& cl, DWORD nOctets, std::vector<WORD>* pv) {
  pv->clear();
  if (nOctets == 0) return true;
  if (CVXDSTRBase::s_nGetTypeAUB(cl.pGetData()) == VXT_CHAINEUNICODE) {
    const auto* pw = reinterpret_cast<const wchar_t*>(cl.pGetData());
    int nw = static_cast<int>(nOctets / sizeof(wchar_t));
    int n = WideCharToUTF16(pw, nw, nullptr, 0);
    if (n <= 0) return false;
    pv->resize(static_cast<std::size_t>(n));
    return WideCharToUTF16(pw, nw, pv->data(), n) > 0;
  }
  int n = MultiByteToUTF16(CP_nGetPageCourante(), cl.pszGet(), static_cast<int>(nOctets), nullptr, 0);
  if (n <= 0) return false;
  pv->resize(static_cast<std::size_t>(n));
  return MultiByteToUTF16(CP_nGetPageCourante(), cl.pszGet(), static_cast<int>(nOctets), pv->data(), n) > 0;
}

}  // namespace

CFichierPris CComposanteStandard::_pstFichier(int nFichier) {
  CFichierPris pst = FIC_Table().clPrend(nFichier);
  if (pst == nullptr) {
    RaiseError(ERR_FICHIER_INVALIDE, nFichier);
    m_pclErreur->SetErrorLevel(EL_ERREUR);
  }
  return pst;
}

void CComposanteStandard::_ErreurFichier(CDiskFile* pclFichier) {
  RaiseErrorCopy(pclFichier->pclGetXError());
  m_pclErreur->SetErrorLevel(EL_ERREUR);
}

int CComposanteStandard::fOuvre(const char* pszNom, int nMode) {
  auto* pclFichier = new (std::nothrow) CDiskFile;
  if (pclFichier == nullptr) {
    RaiseError(ERR_MEMOIRE);
    return -1;
  }
  IXStream::eACCESS eAcces = (nMode & FO_ECRITURE) != 0 || nMode == 0 ? IXStream::ACCESS_LECTUREECRITURE
                             : (nMode & FO_LECTURE) != 0             ? IXStream::ACCESS_LECTURE
                                                                     : IXStream::ACCESS_ECRITURE;
  IXStream::eCREATE eCreation = (nMode & FO_CREATION_SI_INEXISTANT) != 0 ? IXStream::CREATE_SIINEXISTANT
                                : (nMode & FO_CREATION) != 0             ? IXStream::CREATE_TRONQUE
                                                                         : IXStream::CREATE_EXISTANT;
  IXStream::eSHARE ePartage = (nMode & (FO_BLOQUE_LECTURE | FO_BLOQUE_ECRITURE)) ==
                                      (FO_BLOQUE_LECTURE | FO_BLOQUE_ECRITURE)
                                  ? IXStream::SHARE_ECRITURE
                                  : IXStream::SHARE_AUCUN;
  int nCree = 0;
  bool bOk = pclFichier->bOpen(pszNom, eAcces, ePartage, eCreation, IXStream::FLAG_NORMAL, &nCree);
  if (!bOk && (nMode & FO_ECRITURE) != 0) {
    // A file that may be written but not read.
    bOk = pclFichier->bOpen(pszNom, IXStream::ACCESS_ECRITURE, ePartage, eCreation, IXStream::FLAG_NORMAL, &nCree);
  }
  if (!bOk) {
    _ErreurFichier(pclFichier);
    pclFichier->dwRelease();
    return -1;
  }
  if ((nMode & FO_AJOUT) != 0 && !pclFichier->bSeek(0, IXStream::SEEK_FIN)) {
    _ErreurFichier(pclFichier);
    pclFichier->dwRelease();
    return -1;
  }
  bool bUnicode = (nMode & FO_UNICODE) != 0;
  // The byte-order mark is settled before the handle is published: once in
  // the table, another thread may use or close it.
  if (bUnicode) {
    if (nCree) {
      static const unsigned char BOM[2] = {0xFF, 0xFE};
      if (!pclFichier->bWrite(BOM, 2)) {
        _ErreurFichier(pclFichier);
        pclFichier->dwRelease();
        return -1;
      }
    } else if ((nMode & FO_AJOUT) == 0) {
      unsigned char bom[2] = {0, 0};
      DWORD nLu = 0;
      if (!pclFichier->bRead(bom, 2, &nLu) || nLu != 2 || bom[0] != 0xFF || bom[1] != 0xFE)
        pclFichier->bSeek(0, IXStream::SEEK_DEBUT);
      pclFichier->pclGetXError()->RAZ();
    }
  }
  auto* pst = new (std::nothrow) _stINFOFIC;
  if (pst != nullptr) {
    pst->pclFichier = pclFichier;
    pst->bUnicode = bUnicode ? 1 : 0;
    pst->bSuppression = (nMode & FO_SUPPRESSION_AUTOMATIQUE) != 0 ? 1 : 0;
  }
  int nFichier = pst != nullptr ? FIC_Table().nAjoute(pst) : -1;
  if (nFichier < 0) {
    delete pst;
    pclFichier->dwRelease();
    RaiseError(ERR_TABLE_PLEINE);
    return -1;
  }
  return nFichier;
}

int CComposanteStandard::fCree(const char* pszNom, int nMode) { return fOuvre(pszNom, nMode | 0x203); }

int CComposanteStandard::fFerme(int nFichier) {
  // Out of the table at once; a call still using the file on another thread
  // keeps it open until it returns.
  _stINFOFIC* pst = FIC_Table().pstRetire(nFichier);
  if (pst == nullptr) {
    RaiseError(ERR_FICHIER_INVALIDE, nFichier);
    m_pclErreur->SetErrorLevel(EL_ERREUR);
    return -1;
  }
  if (pst->bSuppression) CDiskFile::bDelete(pst->pclFichier->pszGetName());
  FIC_Relache(pst);
  return 0;
}

CAny CComposanteStandard::fLit(int nFichier, int nNombre) {
  CAny resultat;
  resultat.bSetChaine("", 0);
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr || nNombre < 0) return resultat;
  char pile[4097];
  char* p = pile;
  // A count beyond the end of a regular file needs no more room than the
  // rest of the file (a pipe has no size: its count is kept).
  if (nNombre > 4096) {
    const long long oTaille = pst->pclFichier->oGetSize();
    const long long oReste = oTaille - pst->pclFichier->oGetOffset();
    if (oTaille > 0 && oReste >= 0 && oReste < nNombre) nNombre = static_cast<int>(oReste);
  }
  if (nNombre > 4096) {
    p = static_cast<char*>(std::calloc(static_cast<std::size_t>(nNombre) + 1, 1));
    if (p == nullptr) {
      RaiseError(ERR_MEMOIRE);
      return resultat;
    }
  }
  DWORD nLu = 0;
  if (!pst->pclFichier->bRead(p, static_cast<DWORD>(nNombre), &nLu)) {
    _ErreurFichier(pst->pclFichier);
  } else if (!resultat.bSetChaine(p, nLu)) {
    RaiseError(ERR_MEMOIRE);
  }
  if (p != pile) std::free(p);
  return resultat;
}

// The address form reads into the caller's memory; the system checks it.
int CComposanteStandard::fLit(int nFichier, std::intptr_t nAdresse, int nNombre) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return 0;
  if (nNombre < 0) {
    RaiseError(ERR_NOMBRE_LECTURE);
    return 0;
  }
  DWORD nLu = 0;
  if (!pst->pclFichier->bRead(reinterpret_cast<void*>(nAdresse),
                              static_cast<DWORD>(nNombre), &nLu)) {
    _ErreurFichier(pst->pclFichier);
    return 0;
  }
  return static_cast<int>(nLu);
}

int CComposanteStandard::fEcrit(int nFichier, const STManipAUB* pstValeur, int nNombre) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return -1;
  DWORD nLongueur = nLongueurAUB(pstValeur);
  if (nNombre < -1) {
    RaiseError(ERR_NOMBRE_ECRITURE);
    return -1;
  }
  // -1: the whole value; a count beyond the value is capped at its length.
  DWORD n = nNombre == -1 || static_cast<DWORD>(nNombre) > nLongueur ? nLongueur : static_cast<DWORD>(nNombre);
  if (!pst->pclFichier->bWrite(n > 0 ? pstValeur->pData : "", n)) {
    _ErreurFichier(pst->pclFichier);
    return -1;
  }
  return static_cast<int>(n);
}

int CComposanteStandard::fEcrit(int nFichier, std::intptr_t nAdresse, int nNombre) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return -1;
  if (nNombre < 0) {
    RaiseError(ERR_NOMBRE_ECRITURE);
    return -1;
  }
  if (!pst->pclFichier->bWrite(reinterpret_cast<const void*>(nAdresse),
                               static_cast<DWORD>(nNombre))) {
    _ErreurFichier(pst->pclFichier);
    return -1;
  }
  return nNombre;
}

// The line goes back to the VM from here: an 8-bit string, or a wide
// string for a Unicode handle; the end of file is the single character 4.
void CComposanteStandard::fLitLigne(int nFichier) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) {
    const char* pVide = nullptr;
    RenvoieValeur(&pVide, VXT_CHAINE);
    return;
  }
  // The handle's own line block, reused from line to line (the handle is
  // ours for the length of the call).
  CVXDSTR& ligne = pst->clLigne;
  const char* p = nullptr;
  DWORD n = 0;
  int r = pst->pclFichier->nLitLigne(&p, &n, CDiskFile::LIGNE_LF, pst->bUnicode ? 2 : 1);
  bool bLigne = true;
  if (r < 0) {
    _ErreurFichier(pst->pclFichier);
    bLigne = false;
  } else if (pst->bUnicode) {
    static const WORD FIN[1] = {4};
    if (r == 0) {
      bLigne = ligne.nAssignUNICODE_UTF16(FIN, 1) == STR_OK;
    } else if (n == 0) {
      ligne.Vide();
    } else {
      // Units copied out: the line may start at an odd offset of the buffer.
      std::vector<WORD> unites(n / 2 + (n & 1), 0);
      std::memcpy(unites.data(), p, n);
      bLigne = ligne.nAssignUNICODE_UTF16(unites.data(), static_cast<int>(unites.size())) == STR_OK;
    }
    if (!bLigne) RaiseError(ERR_MEMOIRE);
  } else {
    if (r == 0) {
      p = ACHAINE_FIN_FICHIER;
      n = 1;
    }
    if (n == 0) {
      ligne.Vide();
    } else if (ligne.nAssign(p, n) != STR_OK) {
      RaiseError(ERR_MEMOIRE);
      bLigne = false;
    }
  }
  const char* pData = bLigne ? ligne.pGetData() : nullptr;
  RenvoieValeur(&pData, pst->bUnicode ? VXT_CHAINEUNICODE : VXT_CHAINE);
}

bool CComposanteStandard::fLitLigne(int nFichier, const char* pszFormat, ...) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return false;
  const char* p = nullptr;
  DWORD n = 0;
  int r = pst->pclFichier->nLitLigne(&p, &n, CDiskFile::LIGNE_CR_LF, 1);
  if (r < 0) {
    _ErreurFichier(pst->pclFichier);
    return false;
  }
  // End of file: false with no error, so that a reading loop stops.
  if (r == 0) return false;
  // The line is copied: assigning variables may call back into the VM.
  std::string ligne(p, n);
  CRegExp re;
  if (re.nCompile(pszFormat != nullptr && *pszFormat != '\0' ? pszFormat : ".*") != 0) return false;
  int nVariables = nGetNbParametre() - 2;
  if (!re.bMatch(ligne.data(), static_cast<int>(ligne.size()))) {
    return nVariables < 1 || _bAffecteVariable(3, "", 0);
  }
  for (int i = 0; i < nVariables; ++i) {
    int nDebut = re.nDebutGroupe(i + 1);
    if (nDebut < 0) break;
    if (!_bAffecteVariable(i + 3, ligne.data() + nDebut, static_cast<DWORD>(re.nFinGroupe(i + 1) - nDebut)))
      return false;
  }
  return true;
}

bool CComposanteStandard::fEcritLigne(int nFichier, const CVXDSTR* pclLigne) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return false;
  DWORD n = pclLigne != nullptr ? pclLigne->nGetLength() : 0;
  std::string octets;
  if (pst->bUnicode) {
    // A Unicode file holds 16-bit units: the text is written in them.
    std::vector<WORD> unites;
    if (n > 0 && !bVersUTF16(*pclLigne, n, &unites)) {
      RaiseError(ERR_MEMOIRE);
      return false;
    }
    octets.assign(reinterpret_cast<const char*>(unites.data()), unites.size() * 2);
    octets.append("\r\0\n\0", 4);
  } else {
    if (n > 0) octets.assign(pclLigne->pszGet(), n);
    octets.append("\r\n", 2);
  }
  if (!pst->pclFichier->bWrite(octets.data(), static_cast<DWORD>(octets.size()))) {
    _ErreurFichier(pst->pclFichier);
    return false;
  }
  return true;
}

bool CComposanteStandard::fEcritLigne(int nFichier, std::intptr_t nAdresse, int nNombre) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return false;
  if (nNombre < 0) {
    RaiseError(ERR_NOMBRE_ECRITURE);
    return false;
  }
  if (!pst->pclFichier->bWrite(reinterpret_cast<const void*>(nAdresse),
                               static_cast<DWORD>(nNombre)) ||
      !pst->pclFichier->bWrite("\r\n", 2)) {
    _ErreurFichier(pst->pclFichier);
    return false;
  }
  return true;
}

bool CComposanteStandard::fEcritLigne(int nFichier, const CVXDSTR* pclLigne, int nNombre) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return false;
  if (nNombre < -1) {
    RaiseError(ERR_NOMBRE_ECRITURE);
    return false;
  }
  DWORD nLongueur = pclLigne != nullptr ? pclLigne->nGetLength() : 0;
  DWORD n = nNombre == -1 || static_cast<DWORD>(nNombre) > nLongueur ? nLongueur : static_cast<DWORD>(nNombre);
  std::string octets(n > 0 ? pclLigne->pszGet() : "", n);
  octets.append("\r\n", 2);
  if (!pst->pclFichier->bWrite(octets.data(), static_cast<DWORD>(octets.size()))) {
    _ErreurFichier(pst->pclFichier);
    return false;
  }
  return true;
}

long long CComposanteStandard::fPositionne(int nFichier, long long oPosition, int nOrigine) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return -1;
  if (nOrigine < 0 || nOrigine > 2) {
    RaiseError(ERR_ORIGINE);
    return -1;
  }
  if (!pst->pclFichier->bSeek(oPosition, static_cast<IXStream::eSEEK>(nOrigine))) {
    _ErreurFichier(pst->pclFichier);
    return -1;
  }
  return pst->pclFichier->oGetOffset();
}

namespace {

// A length of -1: 0xFFFFFFFF bytes, or the whole file and beyond when it is empty.
long long oLongueurVerrou(CDiskFile* pcl, int nLongueur) {
  if (nLongueur != -1) return nLongueur;
  return pcl->oGetSize() > 0 ? 0xFFFFFFFFLL : 0;
}

}  // namespace

bool CComposanteStandard::fBloque(int nFichier, long long oDebut, int nLongueur) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return false;
  if (!pst->pclFichier->bLockFile(oDebut, oLongueurVerrou(pst->pclFichier, nLongueur))) {
    _ErreurFichier(pst->pclFichier);
    return false;
  }
  return true;
}

bool CComposanteStandard::fDebloque(int nFichier, long long oDebut, int nLongueur) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return false;
  if (!pst->pclFichier->bUnlockFile(oDebut, oLongueurVerrou(pst->pclFichier, nLongueur))) {
    _ErreurFichier(pst->pclFichier);
    return false;
  }
  return true;
}

bool CComposanteStandard::fChangeTaille(int nFichier, long long oTaille) {
  CFichierPris pst = _pstFichier(nFichier);
  if (pst == nullptr) return false;
  if (oTaille < 0) {
    RaiseError(ERR_TAILLE);
    return false;
  }
  CDiskFile* pcl = pst->pclFichier;
  long long oAncienne = pcl->oGetOffset();
  bool bOk = pcl->bSetSize(oTaille) != 0;
  if (!bOk) _ErreurFichier(pcl);
  // The position comes back: to 0, to where it was, or to the new end.
  long long oRetour = oAncienne <= 0 ? 0 : oAncienne < oTaille ? oAncienne : oTaille;
  if (!pcl->bSeek(oRetour, IXStream::SEEK_DEBUT) && bOk) {
    _ErreurFichier(pcl);
    bOk = false;
  }
  return bOk;
}

CVXDSTR CComposanteStandard::fNomFichier(int nFichier) {
  CVXDSTR nom;
  CFichierPris pst = _pstFichier(nFichier);
  if (pst != nullptr && nom.nAssign(pst->pclFichier->pszGetName()) != STR_OK) RaiseError(ERR_MEMOIRE);
  return nom;
}

long long CComposanteStandard::fTaille(const char* pszNom) {
  if (pszNom == nullptr || *pszNom == '\0') return -1;
  std::string nom = CDiskFile::sNormalise(pszNom);
  struct stat64 st {};
  if (stat64(nom.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    RaiseError(ERR_PAS_UN_FICHIER, pszNom);
    m_pclErreur->SetErrorLevel(EL_ERREUR);
    return -1;
  }
  return st.st_size;
}

CVXDSTR CComposanteStandard::fChargeTexte(const char* pszNom) {
  CVXDSTR texte;
  if (pszNom != nullptr && std::strncmp(pszNom, "KVL:", 4) == 0) {
    // An element of the application's own library, served by the VM.
    CVXBIN octets;
    STDemandeElement st{};
    st.dwTaille = sizeof st;
    st.pszNom = pszNom + 4;
    st.pclBuffer = &octets;
    IVM* piVM = piGetVM();
    st.hFenetre = piVM != nullptr ? piVM->hGetFenetreDialogue() : 0;
    CXError* pclErreur = piVM != nullptr ? piVM->pclChargeElement(&st) : nullptr;
    if (piVM == nullptr) {
      RaiseError(ERR_PAS_UN_FICHIER, pszNom);
      return texte;
    }
    if (pclErreur != nullptr) {
      RaiseErrorCopy(pclErreur);
      if (!m_pclErreur->bIsError()) m_pclErreur->SetErrorLevel(EL_ERREUR);
      pclErreur->dwRelease();
      return texte;
    }
    if (texte.nAssign(octets.pGetData(), octets.nGetSize()) != STR_OK) RaiseError(ERR_MEMOIRE);
    return texte;
  }
  if (!_bVerifieSource(pszNom)) return texte;
  CDiskFile fichier;
  if (!fichier.bOpen(pszNom, IXStream::ACCESS_LECTURE, IXStream::SHARE_AUCUN, IXStream::CREATE_EXISTANT,
                     IXStream::FLAG_NORMAL, nullptr)) {
    _ErreurFichier(&fichier);
    return texte;
  }
  long long oTaille = fichier.oGetSize();
  if (oTaille < 0) {
    _ErreurFichier(&fichier);
    return texte;
  }
  if (oTaille == 0) return texte;
  if (oTaille >= 0x7FFFFEFFLL || texte.nSetLength(static_cast<DWORD>(oTaille)) != STR_OK) {
    texte.Vide();
    RaiseError(ERR_MEMOIRE);
    return texte;
  }
  DWORD nLu = 0;
  if (!fichier.bRead(texte.pGetData(), static_cast<DWORD>(oTaille), &nLu)) _ErreurFichier(&fichier);
  // What was read is kept, even after an error.
  texte.Tronque(nLu);
  return texte;
}

// The file is replaced as a whole: a failed write leaves the old contents.
bool CComposanteStandard::fSauveTexte(const char* pszNom, const STManipAUB* pstValeur) {
  CXError clErreur;
  const DWORD n = nLongueurAUB(pstValeur);
  if (REM_bEcritFichier(pszNom != nullptr ? pszNom : "", n > 0 ? pstValeur->pData : nullptr, n, &clErreur))
    return true;
  _ErreurSGF(&clErreur);
  return false;
}

int CComposanteStandard::fOuvreFichierTemp(int nMode, const char* pszPrefixe, const char* pszRepertoire) {
  char szNom[DISKFILE_MAX_PATH + 1];
  CXError erreur;
  BOOL bOk = pszRepertoire != nullptr && *pszRepertoire != '\0'
                 ? CDiskFile::bGetTempName(szNom, pszRepertoire, pszPrefixe, &erreur)
                 : CDiskFile::bGetTempName(szNom, pszPrefixe, &erreur);
  if (!bOk) {
    RaiseErrorCopy(&erreur);
    m_pclErreur->SetErrorLevel(EL_ERREUR);
    return -1;
  }
  int nFichier = fOuvre(szNom, nMode);
  // Nothing is left behind when the open fails.
  if (nFichier < 0) CDiskFile::bDelete(szNom);
  return nFichier;
}
