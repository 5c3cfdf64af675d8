// The encodings of whole files: the source read piece by piece through the
// disk-file layer and encoded (decoded) into the destination. Both stream,
// so the result is the one a single call would give, the UU-style header
// and trailer included once.
#include <memory>
#include <new>

#include "core/Allocation.h"
#include "core/XError.h"
#include "crypto/Encodeurs.h"
#include "files/DiskFile.h"

namespace {

enum : DWORD { MSG_MEMOIRE_ENCODAGE = 28257 };

using Fichier = std::unique_ptr<CDiskFile, LibereKV>;

bool bMemoire(CXError* pclErreur) {
  if (pclErreur != nullptr) {
    pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
    pclErreur->AddUserMessage(static_cast<DWORD>(MSG_MEMOIRE_ENCODAGE));
  }
  return false;
}

bool bErreurFichier(CDiskFile* pcl, CXError* pclErreur) {
  if (pclErreur != nullptr) pclErreur->Copy(pcl->pclGetXError());
  return false;
}

// The source opened for reading and the destination created, or false with
// the error filled.
bool bOuvre(const char* pszSource, const char* pszDestination, Fichier* pSource, Fichier* pDestination,
            CXError* pclErreur) {
  pSource->reset(KV_pCree<CDiskFile>());
  pDestination->reset(KV_pCree<CDiskFile>());
  if (*pSource == nullptr || *pDestination == nullptr) return bMemoire(pclErreur);
  if (!(*pSource)->bOpen(pszSource, IXStream::ACCESS_LECTURE, IXStream::SHARE_AUCUN, IXStream::CREATE_EXISTANT,
                         IXStream::FLAG_NORMAL, nullptr))
    return bErreurFichier(pSource->get(), pclErreur);
  if (!(*pDestination)->bOpen(pszDestination, IXStream::ACCESS_ECRITURE, IXStream::SHARE_AUCUN,
                              IXStream::CREATE_TRONQUE, IXStream::FLAG_NORMAL, nullptr))
    return bErreurFichier(pDestination->get(), pclErreur);
  return true;
}

}  // namespace

bool CEncodeBase::bEncodeFichier(const char* pszSource, const char* pszDestination, unsigned groupsPerLine,
                                 CXError* pclErreur) {
  Fichier pclSource, pclDestination;
  if (!bOuvre(pszSource, pszDestination, &pclSource, &pclDestination, pclErreur)) return false;
  const DWORD nMorceau = 3000 * (groupsPerLine > 0 ? groupsPerLine : 20);
  STEtatEncodage etat;
  const std::size_t nSortie = nTailleMorceau(etat, nMorceau, groupsPerLine) + nTailleFin;
  std::unique_ptr<BYTE[]> pEntree(KV_pNouveau<BYTE>(nMorceau));
  std::unique_ptr<char[]> pSortie(KV_pNouveau<char>(nSortie));
  if (pEntree == nullptr || pSortie == nullptr) return bMemoire(pclErreur);
  for (;;) {
    DWORD nLu = 0;
    if (!pclSource->bRead(pEntree.get(), nMorceau, &nLu)) return bErreurFichier(pclSource.get(), pclErreur);
    if (nLu == 0) break;
    const std::size_t n = nEncodeMorceau(etat, pEntree.get(), nLu, groupsPerLine, pSortie.get());
    if (!pclDestination->bWrite(pSortie.get(), static_cast<DWORD>(n)))
      return bErreurFichier(pclDestination.get(), pclErreur);
  }
  const std::size_t n = nEncodeFin(etat, groupsPerLine, pSortie.get());
  if (!pclDestination->bWrite(pSortie.get(), static_cast<DWORD>(n)))
    return bErreurFichier(pclDestination.get(), pclErreur);
  return true;
}

bool CEncodeBase::bDecodeFichier(const char* pszSource, const char* pszDestination, unsigned groupsPerLine,
                                 CXError* pclErreur) {
  Fichier pclSource, pclDestination;
  if (!bOuvre(pszSource, pszDestination, &pclSource, &pclDestination, pclErreur)) return false;
  // Pieces of 1000 encoded lines with their CR LF; the decoder carries what
  // a piece leaves incomplete, so any cut gives the text of one call.
  const DWORD nMorceau = 4000 * (groupsPerLine > 0 ? groupsPerLine : 20) + 2000;
  STEtatDecodage etat;
  const std::size_t nSortie = nTailleDecodeMorceau(etat, nMorceau) + 8;
  std::unique_ptr<char[]> pTexte(KV_pNouveau<char>(nMorceau + 1));
  std::unique_ptr<BYTE[]> pOctets(KV_pNouveau<BYTE>(nSortie));
  if (pTexte == nullptr || pOctets == nullptr) return bMemoire(pclErreur);
  for (;;) {
    DWORD nLu = 0;
    if (!pclSource->bRead(pTexte.get(), nMorceau, &nLu)) return bErreurFichier(pclSource.get(), pclErreur);
    if (nLu == 0) break;
    const std::size_t n = nDecodeMorceau(etat, pTexte.get(), nLu, pOctets.get());
    if (!pclDestination->bWrite(pOctets.get(), static_cast<DWORD>(n)))
      return bErreurFichier(pclDestination.get(), pclErreur);
  }
  const std::size_t n = nDecodeFin(etat, pOctets.get());
  if (!pclDestination->bWrite(pOctets.get(), static_cast<DWORD>(n)))
    return bErreurFichier(pclDestination.get(), pclErreur);
  return true;
}
