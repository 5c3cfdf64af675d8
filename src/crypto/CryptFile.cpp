// File encryption piece by piece with the running sum of the plaintext.
#include "crypto/CryptFile.h"

#include <cstring>
#include <memory>
#include <new>

#include "core/Allocation.h"
#include "core/XError.h"
#include "crypto/Crypt.h"

namespace {

enum : DWORD {
  MSG_PAS_DE_CHIFFRE = 28253,      // no cipher for the method
  MSG_FICHIER_TROP_COURT = 28254,  // the encrypted file lacks its sum
  MSG_MEMOIRE_FICHIER = 28255,     // the second file object cannot be made
  MSG_MOT_DE_PASSE_REFUSE = 28256,
  MSG_SOMME_FAUSSE = 28279,        // wrong password or damaged file
};

DWORD dwSomme(const BYTE* p, DWORD n, DWORD dwSomme) {
  for (DWORD i = 0; i < n; ++i) dwSomme += p[i];
  return dwSomme;
}

}  // namespace

void CCryptFile::_Erreur(DWORD nMessage) {
  CXError* pcl = pclGetXError();
  pcl->RAZ();
  pcl->SetErrorLevel(EL_ERREUR_GRAVE);
  pcl->SetSystemError(0);
  pcl->AddUserMessageFirst(nMessage);
}

bool CCryptFile::__bInitAlgorithme(CCrypt** ppclCrypt, const char* pszMotDePasse, int nMethode) {
  CCrypt* pcl = pclCreeCrypt(nMethode);
  if (pcl == nullptr) {
    _Erreur(MSG_PAS_DE_CHIFFRE);
    return false;
  }
  if (!pcl->bSetPassword(pszMotDePasse)) {
    pcl->dwRelease();
    _Erreur(MSG_MOT_DE_PASSE_REFUSE);
    return false;
  }
  *ppclCrypt = pcl;
  return true;
}

bool CCryptFile::bCrypt(const char* pszSource, const char* pszMotDePasse, int nMethode) {
  std::unique_ptr<CDiskFile, LibereKV> pclSource(KV_pCree<CDiskFile>());
  if (pclSource == nullptr) {
    _Erreur(MSG_MEMOIRE_FICHIER);
    return false;
  }
  if (!pclSource->bOpen(pszSource, ACCESS_LECTURE, SHARE_AUCUN, CREATE_EXISTANT, FLAG_NORMAL, nullptr)) {
    pclGetXError()->Copy(pclSource->pclGetXError());
    return false;
  }
  CCrypt* p = nullptr;
  if (!__bInitAlgorithme(&p, pszMotDePasse, nMethode)) return false;
  std::unique_ptr<CCrypt, LibereKV> pclCrypt(p);
  std::unique_ptr<BYTE[]> pMorceau(KV_pNouveau<BYTE>(CRYPTFILE_MORCEAU));
  if (pMorceau == nullptr) {
    _Erreur(MSG_MEMOIRE_FICHIER);
    return false;
  }
  if (!bSeek(4, SEEK_DEBUT)) return false;
  DWORD dwTotal = 0;
  for (;;) {
    DWORD nLu = 0;
    if (!pclSource->bRead(pMorceau.get(), CRYPTFILE_MORCEAU, &nLu)) {
      pclGetXError()->Copy(pclSource->pclGetXError());
      return false;
    }
    if (nLu == 0) break;
    dwTotal = dwSomme(pMorceau.get(), nLu, dwTotal);
    pclCrypt->Crypt(pMorceau.get(), nLu);
    if (!bWrite(pMorceau.get(), nLu)) return false;
  }
  const BYTE abSomme[4] = {static_cast<BYTE>(dwTotal), static_cast<BYTE>(dwTotal >> 8),
                           static_cast<BYTE>(dwTotal >> 16), static_cast<BYTE>(dwTotal >> 24)};
  return bSeek(0, SEEK_DEBUT) && bWrite(abSomme, 4);
}

bool CCryptFile::bUncrypt(const char* pszDestination, const char* pszMotDePasse, int nMethode) {
  std::unique_ptr<CDiskFile, LibereKV> pclDestination(KV_pCree<CDiskFile>());
  if (pclDestination == nullptr) {
    _Erreur(MSG_MEMOIRE_FICHIER);
    return false;
  }
  BYTE abSomme[4];
  DWORD nLu = 0;
  if (!bSeek(0, SEEK_DEBUT) || !bRead(abSomme, 4, &nLu)) return false;
  if (nLu < 4) {
    _Erreur(MSG_FICHIER_TROP_COURT);
    return false;
  }
  CCrypt* p = nullptr;
  if (!__bInitAlgorithme(&p, pszMotDePasse, nMethode)) return false;
  std::unique_ptr<CCrypt, LibereKV> pclCrypt(p);
  std::unique_ptr<BYTE[]> pMorceau(KV_pNouveau<BYTE>(CRYPTFILE_MORCEAU));
  if (pMorceau == nullptr) {
    _Erreur(MSG_MEMOIRE_FICHIER);
    return false;
  }
  if (!pclDestination->bOpen(pszDestination, ACCESS_ECRITURE, SHARE_AUCUN, CREATE_TRONQUE, FLAG_NORMAL, nullptr)) {
    pclGetXError()->Copy(pclDestination->pclGetXError());
    return false;
  }
  DWORD dwTotal = 0;
  for (;;) {
    if (!bRead(pMorceau.get(), CRYPTFILE_MORCEAU, &nLu)) return false;
    if (nLu == 0) break;
    pclCrypt->Uncrypt(pMorceau.get(), nLu);
    dwTotal = dwSomme(pMorceau.get(), nLu, dwTotal);
    if (!pclDestination->bWrite(pMorceau.get(), nLu)) {
      pclGetXError()->Copy(pclDestination->pclGetXError());
      return false;
    }
  }
  const DWORD dwAttendu = abSomme[0] | abSomme[1] << 8 | abSomme[2] << 16 | static_cast<DWORD>(abSomme[3]) << 24;
  if (dwTotal != dwAttendu) {
    _Erreur(MSG_SOMME_FAUSSE);
    return false;
  }
  return true;
}
