// The component's checksums, URL encoding, text encodings and encryption
// of strings and buffers (compress, encipher, encode, and back).
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/StrMem.h"
#include "crypto/Crc.h"
#include "crypto/Crypt.h"
#include "crypto/Encodeurs.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

constexpr int FLAG_ANSI = 0x4000000;
constexpr int METHODE_CRYPTAGE_MAX = 3;     // 0 none, 1 fast, 2 and 3 RC5
constexpr int METHODE_COMPRESSION_MAX = 2;  // 0 none, 1 and 2 the two compressors
constexpr unsigned GROUPES_LIGNE = 20;

}  // namespace

// ---- checksums ----

int CComposanteStandard::sCalculeCrc16(const CVXDSTR& clTexte) {
  CCrc16 cl;
  // The text and its terminating 0.
  const WORD w = cl.CalcCrc16(clTexte.pszGet(), static_cast<int>(clTexte.nGetLength()) + 1);
  return static_cast<std::int16_t>(w);
}

int CComposanteStandard::sCalculeCrc32(const CVXBIN& clBuffer) { return sCalculeCrc32(clBuffer, 0); }

int CComposanteStandard::sCalculeCrc32(const CVXBIN& clBuffer, int nDepart) {
  return static_cast<int>(CCrc2::nCalculeCRC32(clBuffer.pbGet(), clBuffer.nGetSize(), static_cast<DWORD>(nDepart)));
}

// ---- URL ----

CVXDSTR CComposanteStandard::URLEncode(const char* pszTexte, int nMode) {
  CVXDSTR cl;
  const std::size_t n = nCalculeLongueurEncodee(pszTexte, nMode);
  if (n == 0) return cl;
  if (cl.nSetLength(static_cast<DWORD>(n)) != STR_OK) return CVXDSTR();
  EncodeURL(pszTexte, cl.pGetData(), nMode);
  return cl;
}

CVXDSTR CComposanteStandard::URLDecode(const char* pszTexte) {
  CVXDSTR cl;
  const std::size_t n = nCalculeLongueurDecodee(pszTexte);
  if (n == 0) return cl;
  if (cl.nSetLength(static_cast<DWORD>(n)) != STR_OK) return CVXDSTR();
  DecodeURL(pszTexte, cl.pGetData());
  return cl;
}

// ---- encodings ----

CVXDSTR CComposanteStandard::ChaineEncode(const CVXBIN& clDonnees, int nEncodage) {
  CVXDSTR cl;
  std::unique_ptr<CEncodeBase> pcl(pclGetEncodeur(nEncodage));
  if (!pcl) return cl;
  const std::size_t n = pcl->nEncode(clDonnees.pbGet(), clDonnees.nGetSize(), GROUPES_LIGNE, nullptr);
  if (n == 0 || n > 0x7FFFFFF0u || cl.__nPrepareModification(static_cast<DWORD>(n)) != STR_OK) return CVXDSTR();
  const std::size_t nEcrit = pcl->nEncode(clDonnees.pbGet(), clDonnees.nGetSize(), GROUPES_LIGNE, cl.pGetData());
  cl.SetUtilLength(static_cast<DWORD>(nEcrit));
  return cl;
}

CVXBIN CComposanteStandard::ChaineDecode(const char* pszTexte, int nEncodage) {
  return ChaineDecode(pszTexte, pszTexte != nullptr ? static_cast<DWORD>(std::strlen(pszTexte)) : 0, nEncodage);
}

CVXBIN CComposanteStandard::ChaineDecode(const char* pszTexte, DWORD dwLongueur, int nEncodage) {
  CVXBIN cl;
  std::unique_ptr<CEncodeBase> pcl(pclGetEncodeur(nEncodage));
  if (!pcl || pszTexte == nullptr || dwLongueur == 0) return cl;
  // At most three bytes for four characters; the count is exact after.
  const DWORD dwMax = dwLongueur / 4 * 3 + 3;
  if (cl.nSetMemorySize(dwMax) != STR_OK) return CVXBIN();
  const std::size_t n = pcl->nDecode(pszTexte, dwLongueur, reinterpret_cast<BYTE*>(cl.pGetData()));
  cl.SetUtilSize(static_cast<DWORD>(n));
  return cl;
}

// ---- encryption ----

bool CComposanteStandard::_bVerifieMethodeCryptage(int nMethode) {
  if (nMethode >= 0 && nMethode <= METHODE_CRYPTAGE_MAX) return true;
  RaiseError(ERR_METHODE_CRYPTAGE);
  return false;
}

bool CComposanteStandard::_bVerifieModeCryptage(int* pnMode, int* pnCrypt, int* pnPack) {
  *pnMode &= ~FLAG_ANSI;
  *pnCrypt = GetCryptMethod(*pnMode);
  *pnPack = GetCompressMethod(*pnMode);
  if (!_bVerifieMethodeCryptage(*pnCrypt)) return false;
  if (*pnPack <= METHODE_COMPRESSION_MAX) return true;
  RaiseError(ERR_METHODE_COMPRESSION);
  return false;
}

bool CComposanteStandard::_bVerifieMotDePasse(const char* pszMotDePasse) {
  if (pszMotDePasse != nullptr && *pszMotDePasse != '\0') return true;
  RaiseError(ERR_MOT_DE_PASSE_VIDE);
  return false;
}

CVXDSTR CComposanteStandard::__ChaineCrypteOuDecrypte(const CVXDSTR& clDonnees, const char* pszMotDePasse,
                                                      int nMethode, bool bCrypte, bool* pbOk) {
  *pbOk = false;
  if (!_bVerifieMotDePasse(pszMotDePasse)) return CVXDSTR();
  CCrypt* pcl = pclCreeCrypt(nMethode);
  if (pcl == nullptr) {
    RaiseError(ERR_MEMOIRE);
    return CVXDSTR();
  }
  pcl->dwAddRef();
  CVXDSTR cl;
  if (!pcl->bSetPassword(pszMotDePasse)) {
    RaiseError(ERR_MOT_DE_PASSE_REFUSE);
  } else if (clDonnees.nGetLength() == 0) {
    *pbOk = true;
  } else if (cl.nAssign(clDonnees.pGetData(), clDonnees.nGetLength()) != STR_OK) {
    RaiseError(ERR_MEMOIRE);
  } else {
    auto* p = reinterpret_cast<BYTE*>(cl.pGetData());
    if (bCrypte) pcl->Crypt(p, cl.nGetLength());
    else pcl->Uncrypt(p, cl.nGetLength());
    *pbOk = true;
  }
  pcl->dwRelease();
  return cl;
}

CVXDSTR CComposanteStandard::ChaineCrypte(const CVXDSTR& clDonnees, const char* pszMotDePasse, int nMethode) {
  bool bOk;
  return __ChaineCrypteOuDecrypte(clDonnees, pszMotDePasse, nMethode, true, &bOk);
}

CVXDSTR CComposanteStandard::ChaineDecrypte(const CVXDSTR& clDonnees, const char* pszMotDePasse, int nMethode) {
  bool bOk;
  return __ChaineCrypteOuDecrypte(clDonnees, pszMotDePasse, nMethode, false, &bOk);
}

CVXDSTR CComposanteStandard::_ChaineCrypteEncode(const BYTE* pbySource, DWORD dwTaille, const char* pszMotDePasse,
                                                 int nMode, int nEncodage) {
  int nCrypt, nPack;
  if (!_bVerifieModeCryptage(&nMode, &nCrypt, &nPack)) return CVXDSTR();
  CVXDSTR clTravail(pbySource, dwTaille);
  if (nPack != 0) {
    // The source as a text: up to its first 0 byte.
    const DWORD dwTexte = pbySource != nullptr ? static_cast<DWORD>(strnlen(reinterpret_cast<const char*>(pbySource), dwTaille)) : 0;
    CVXDSTR clTexte(pbySource, dwTexte);
    if (!_ChaineCompresse(clTravail, clTexte.pszGet(), nMode)) return CVXDSTR();
  }
  if (nCrypt != 0) {
    bool bOk;
    clTravail = __ChaineCrypteOuDecrypte(clTravail, pszMotDePasse, nCrypt, true, &bOk);
    if (!bOk) return CVXDSTR();
  }
  if (nEncodage == 0) return clTravail;
  CVXBIN clOctets;
  clOctets.nAssign(clTravail.pGetData(), clTravail.nGetLength());
  return ChaineEncode(clOctets, nEncodage);
}

CVXDSTR CComposanteStandard::_ChaineDecrypteDecode(const CVXDSTR& clTexte, const char* pszMotDePasse, int nMode,
                                                   int nEncodage) {
  int nCrypt, nPack;
  if (!_bVerifieModeCryptage(&nMode, &nCrypt, &nPack)) return CVXDSTR();
  CVXDSTR clTravail;
  if (nEncodage == 0) {
    clTravail = clTexte;
  } else {
    CVXBIN cl = ChaineDecode(clTexte.pszGet(), clTexte.nGetLength(), nEncodage);
    clTravail.nAssign(cl.pbGet(), cl.nGetSize());
  }
  if (nCrypt == 0 && nPack == 0) return clTravail;
  if (nCrypt != 0) {
    bool bOk;
    clTravail = __ChaineCrypteOuDecrypte(clTravail, pszMotDePasse, nCrypt, false, &bOk);
    if (!bOk) return CVXDSTR();
  }
  if (nPack == 0) return clTravail;
  CVXBIN clSortie;
  // The bytes and their terminating 0.
  _ChaineDecompresse(clSortie, reinterpret_cast<const BYTE*>(clTravail.pszGet()), clTravail.nGetLength() + 1,
                     nPack == 2 ? 2 : -1);
  return CVXDSTR(clSortie.pbGet(), clSortie.nGetSize());
}

void CComposanteStandard::ChaineCrypteEncode(const STManipAUB* pstSource, const char* pszMotDePasse, int nMode,
                                             int nEncodage) {
  const BYTE* p = nullptr;
  DWORD n = 0;
  if (pstSource != nullptr && pstSource->pData != nullptr) {
    p = reinterpret_cast<const BYTE*>(pstSource->pData);
    n = pstGetBloc(pstSource->pData)->dwLongueur;
  }
  CVXDSTR cl = _ChaineCrypteEncode(p, n, pszMotDePasse, nMode, nEncodage);
  const char* psz = cl.pGetData();
  RenvoieValeur(&psz, 0x13);
}

void CComposanteStandard::ChaineDecrypteDecode(const CVXDSTR& clTexte, const char* pszMotDePasse, int nMode,
                                               int nEncodage) {
  CVXDSTR cl = _ChaineDecrypteDecode(clTexte, pszMotDePasse, nMode, nEncodage);
  const char* psz = cl.pGetData();
  RenvoieValeur(&psz, 0x13);
}
