// fCrypte and fDécrypte: a file enciphered into another, optionally then
// encoded as text (and the reverse), through CCryptFile and the encoders'
// file variants. Every destination is written beside itself first and put
// in its place only when complete, so a failure leaves it as it was and a
// destination that is the source itself is read completely first.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <new>
#include <string>

#include "core/Allocation.h"
#include "core/XError.h"
#include "crypto/CryptFile.h"
#include "crypto/Encodeurs.h"
#include "files/DiskFile.h"
#include "files/Remplacement.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

constexpr unsigned GROUPES_LIGNE = 20;
constexpr const char* PREFIXE_TEMP = "_KV";

}  // namespace

bool CComposanteStandard::_bEcritVers(const char* /*pszSource*/, const char* pszDestination,
                                      const std::function<bool(const char*)>& fnEcrit) {
  CRemplacement remplacement;
  CXError clErreur;
  if (!remplacement.bPrepare(pszDestination, &clErreur)) {
    _ErreurSGF(&clErreur);
    return false;
  }
  if (!fnEcrit(remplacement.pszTemporaire())) return false;  // the writer raised its error
  if (remplacement.bValide(&clErreur)) return true;
  _ErreurSGF(&clErreur);
  return false;
}

// Both steps go beside the destination: the first into an intermediate
// file, the second into the destination's replacement, which is put in
// place only once the intermediate file is gone.
bool CComposanteStandard::_bEtapesTemp(const char* pszSource, const char* pszDestination,
                                       const std::function<bool(const char*, const char*)>& fnPremiere,
                                       const std::function<bool(const char*, const char*)>& fnSeconde) {
  CRemplacement remplacement;
  CXError clErreur;
  char szTemp[DISKFILE_MAX_PATH + 2];
  if (!remplacement.bPrepare(pszDestination, &clErreur)) {
    _ErreurSGF(&clErreur);
    return false;
  }
  std::string sRep = remplacement.pszCible();
  sRep.resize(sRep.rfind('/') == std::string::npos ? 0 : sRep.rfind('/') + 1);
  if (!CDiskFile::bGetTempName(szTemp, sRep.empty() ? "." : sRep.c_str(), PREFIXE_TEMP, &clErreur)) {
    _ErreurSGF(&clErreur);
    return false;
  }
  bool b = fnPremiere(pszSource, szTemp) && fnSeconde(szTemp, remplacement.pszTemporaire());
  if (b && !CDiskFile::bDelete(szTemp, &clErreur)) {
    _ErreurSGF(&clErreur);
    b = false;
  }
  if (!b) {
    CDiskFile::bDelete(szTemp);  // whatever is left of it
    return false;
  }
  if (remplacement.bValide(&clErreur)) return true;
  _ErreurSGF(&clErreur);
  return false;
}

bool CComposanteStandard::fCrypteEncode(const char* pszSource, const char* pszDestination,
                                        const char* pszMotDePasse, int nMethode, int nEncodage) {
  if (!_bVerifieMethodeCryptage(nMethode) || !_bVerifieSource(pszSource)) return false;
  if (nMethode == 0) {
    if (nEncodage != 0) return fEncode(pszSource, pszDestination, nEncodage);
    return REM_bMemeFichier(pszSource, pszDestination) || fCopieFichier(pszSource, pszDestination, 0);
  }
  if (nEncodage == 0) return fCrypte(pszSource, pszDestination, pszMotDePasse, nMethode);
  return _bEtapesTemp(
      pszSource, pszDestination,
      [&](const char* a, const char* b) { return fCrypte(a, b, pszMotDePasse, nMethode); },
      [&](const char* a, const char* b) { return fEncode(a, b, nEncodage); });
}

bool CComposanteStandard::fDecrypteDecode(const char* pszSource, const char* pszDestination,
                                          const char* pszMotDePasse, int nMethode, int nEncodage) {
  if (!_bVerifieMethodeCryptage(nMethode) || !_bVerifieSource(pszSource)) return false;
  if (nMethode == 0) {
    if (nEncodage != 0) return fDecode(pszSource, pszDestination, nEncodage);
    return REM_bMemeFichier(pszSource, pszDestination) || fCopieFichier(pszSource, pszDestination, 0);
  }
  if (nEncodage == 0) return fDecrypte(pszSource, pszDestination, pszMotDePasse, nMethode);
  return _bEtapesTemp(
      pszSource, pszDestination, [&](const char* a, const char* b) { return fDecode(a, b, nEncodage); },
      [&](const char* a, const char* b) { return fDecrypte(a, b, pszMotDePasse, nMethode); });
}

bool CComposanteStandard::fCrypte(const char* pszSource, const char* pszDestination, const char* pszMotDePasse,
                                  int nMethode) {
  return _bCrypteFichier(pszSource, pszDestination, pszMotDePasse, nMethode, true);
}

bool CComposanteStandard::fDecrypte(const char* pszSource, const char* pszDestination, const char* pszMotDePasse,
                                    int nMethode) {
  return _bCrypteFichier(pszSource, pszDestination, pszMotDePasse, nMethode, false);
}

bool CComposanteStandard::_bCrypteFichier(const char* pszSource, const char* pszDestination,
                                          const char* pszMotDePasse, int nMethode, bool bCrypte) {
  if (!_bVerifieMotDePasse(pszMotDePasse)) return false;
  return _bEcritVers(pszSource, pszDestination, [&](const char* pszCible) {
    auto* pcl = KV_pCree<CCryptFile>();
    if (pcl == nullptr) {
      RaiseError(ERR_MEMOIRE);
      return false;
    }
    // The encrypted side is the object: the destination when enciphering,
    // the source when deciphering.
    const bool b =
        bCrypte ? pcl->bOpen(pszCible, IXStream::ACCESS_ECRITURE, IXStream::SHARE_AUCUN, IXStream::CREATE_TRONQUE,
                             IXStream::FLAG_NORMAL, nullptr) &&
                      pcl->bCrypt(pszSource, pszMotDePasse, nMethode)
                : pcl->bOpen(pszSource, IXStream::ACCESS_LECTURE, IXStream::SHARE_AUCUN, IXStream::CREATE_EXISTANT,
                             IXStream::FLAG_NORMAL, nullptr) &&
                      pcl->bUncrypt(pszCible, pszMotDePasse, nMethode);
    if (!b) _ErreurFichier(pcl);
    pcl->dwRelease();
    return b;
  });
}

bool CComposanteStandard::fEncode(const char* pszSource, const char* pszDestination, int nEncodage) {
  return _bEncodeFichier(pszSource, pszDestination, nEncodage, true);
}

bool CComposanteStandard::fDecode(const char* pszSource, const char* pszDestination, int nEncodage) {
  return _bEncodeFichier(pszSource, pszDestination, nEncodage, false);
}

bool CComposanteStandard::_bEncodeFichier(const char* pszSource, const char* pszDestination, int nEncodage,
                                          bool bEncode) {
  std::unique_ptr<CEncodeBase> pcl(pclGetEncodeur(nEncodage));
  if (pcl == nullptr) {
    RaiseError(ERR_METHODE_CRYPTAGE);
    m_pclErreur->AddDebugMessage("Encodage inconnu : %d", nEncodage);
    return false;
  }
  return _bEcritVers(pszSource, pszDestination, [&](const char* pszCible) {
    CXError clErreur;
    if (bEncode ? pcl->bEncodeFichier(pszSource, pszCible, GROUPES_LIGNE, &clErreur)
                : pcl->bDecodeFichier(pszSource, pszCible, GROUPES_LIGNE, &clErreur))
      return true;
    _ErreurSGF(&clErreur);
    return false;
  });
}
