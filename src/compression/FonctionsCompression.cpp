// The component's buffer compression: Compresse, Décompresse and the
// framing they share with encryption.
#include <cstring>

#include "compression/Compresseur.h"
#include "compression/ZLWCompresseur.h"
#include "core/DataCompressor.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

constexpr DWORD TAILLE_CADRE = 5;  // [source kind][u32 pack method]

// Most bytes a type-2 or type-4 block of nCharge payload bytes can decode
// to: one string of at most 65535 bytes per 9 bits.
DWORD dwMaxDecode(DWORD nCharge) {
  const QWORD q = (QWORD{nCharge} * 8 / 9 + 1) * 65535;
  return q > 0xFFFFFFF0u ? 0xFFFFFFF0u : static_cast<DWORD>(q);
}

}  // namespace

bool CComposanteStandard::__bCompresseOctets(CVXBIN& clSortie, const BYTE* pbyDonnees, DWORD dwTaille, bool bTexte,
                                            int nMethode) {
  clSortie.Vide();
  if (nMethode == 2) {
    // The short-string coding of the bytes (it cannot carry a 0 byte: a
    // buffer holding one is framed with LZW instead). The coding is measured
    // first: short texts with raw bytes take more than twice their length.
    CDataCompressor cl;
    const int nCode = dwTaille > 0x7FFFFFF0u ? -1 : cl.nTailleCodage(pbyDonnees, static_cast<int>(dwTaille));
    if (nCode > 0) {
      const DWORD dwCadre = bTexte ? 0 : TAILLE_CADRE;
      const QWORD qCapacite = QWORD{static_cast<DWORD>(nCode)} + dwCadre;
      if (qCapacite > 0x7FFFFFF0u || clSortie.nSetMemorySize(static_cast<DWORD>(qCapacite)) != 0) {
        RaiseError(ERR_MEMOIRE_COMPRESSION);
        return false;
      }
      BYTE* p = reinterpret_cast<BYTE*>(clSortie.pGetData());
      if (cl.nCompress(p + dwCadre, static_cast<int>(qCapacite - dwCadre), pbyDonnees, static_cast<int>(dwTaille)) ==
          CDataCompressor::DC_OK) {
        if (!bTexte) {
          p[0] = 0;
          EcritLE32(p + 1, 2);
        }
        clSortie.SetUtilSize(dwCadre + static_cast<DWORD>(std::strlen(reinterpret_cast<char*>(p + dwCadre))));
        return true;
      }
    }
    if (bTexte) {
      // A text has no frame to say that another method was used.
      clSortie.Vide();
      RaiseError(ERR_MEMOIRE_COMPRESSION);
      return false;
    }
    nMethode = 1;
  }
  // Frame, then [u32 length][bytes] stored or as one LZW block.
  const QWORD qCapacite = QWORD{dwTaille} + TAILLE_CADRE + 4 + 7;
  if (qCapacite > 0x7FFFFFF0u || clSortie.nSetMemorySize(static_cast<DWORD>(qCapacite)) != 0) {
    RaiseError(ERR_MEMOIRE_COMPRESSION);
    return false;
  }
  BYTE* p = reinterpret_cast<BYTE*>(clSortie.pGetData());
  p[0] = bTexte ? 1 : 0;
  EcritLE32(p + 1, static_cast<DWORD>(nMethode));
  BYTE abyLongueur[4];
  EcritLE32(abyLongueur, dwTaille);
  DWORD dwUtile;
  if (nMethode == 0) {
    std::memcpy(p + TAILLE_CADRE, abyLongueur, 4);
    if (dwTaille > 0) std::memcpy(p + TAILLE_CADRE + 4, pbyDonnees, dwTaille);
    dwUtile = TAILLE_CADRE + 4 + dwTaille;
  } else {
    const CZLWCompresseur::STMorceau morceaux[2] = {{abyLongueur, 4}, {pbyDonnees, dwTaille}};
    CZLWCompresseur cl;
    const DWORD dwBloc =
        cl.dwCompressionMorceaux(morceaux, 2, p + TAILLE_CADRE, static_cast<DWORD>(qCapacite) - TAILLE_CADRE);
    if (dwBloc == 0) {
      clSortie.Vide();
      RaiseError(ERR_MEMOIRE_COMPRESSION);
      return false;
    }
    dwUtile = TAILLE_CADRE + dwBloc;
  }
  clSortie.SetUtilSize(dwUtile);
  return true;
}

bool CComposanteStandard::_ChaineCompresse(CVXBIN& clSortie, const char* pszTexte, int nMode) {
  const int nMethode = GetCompressMethod(nMode);
  if (nMethode > 2) {
    clSortie.Vide();
    RaiseError(ERR_METHODE_COMPRESSION);
    return false;
  }
  const char* psz = pszTexte != nullptr ? pszTexte : "";
  return __bCompresseOctets(clSortie, reinterpret_cast<const BYTE*>(psz), static_cast<DWORD>(std::strlen(psz)), true,
                            nMethode);
}

bool CComposanteStandard::_ChaineCompresse(CVXDSTR& clSortie, const char* pszTexte, int nMode) {
  CVXBIN cl;
  const bool b = _ChaineCompresse(cl, pszTexte, nMode);
  clSortie.nAssign(cl.pbGet(), cl.nGetSize());
  return b;
}

bool CComposanteStandard::_ChaineCompresse(CVXBIN& clSortie, const CVXBIN& clEntree, int nMode) {
  const int nMethode = GetCompressMethod(nMode);
  if (nMethode > 2) {
    clSortie.Vide();
    RaiseError(ERR_METHODE_COMPRESSION);
    return false;
  }
  return __bCompresseOctets(clSortie, clEntree.pbGet(), clEntree.nGetSize(), false, nMethode);
}

bool CComposanteStandard::_ChaineDecompresse(CVXBIN& clSortie, const CVXBIN& clEntree, int nMethode) {
  return _ChaineDecompresse(clSortie, clEntree.pbGet(), clEntree.nGetSize(), nMethode);
}

bool CComposanteStandard::_ChaineDecompresse(CVXDSTR& clSortie, const CVXBIN& clEntree, int nMethode) {
  CVXBIN cl;
  const bool b = _ChaineDecompresse(cl, clEntree, nMethode);
  clSortie.nAssign(cl.pbGet(), cl.nGetSize());
  return b;
}

bool CComposanteStandard::_ChaineDecompresse(CVXBIN& clSortie, const BYTE* p, DWORD n, int nMethode) {
  clSortie.Vide();
  if (p == nullptr || n == 0) return true;
  auto endommage = [&] {
    clSortie.Vide();
    RaiseError(ERR_DONNEES_ENDOMMAGEES);
    return false;
  };
  auto prepare = [&](DWORD dwTaille) {
    if (clSortie.nSetMemorySize(dwTaille > 0 ? dwTaille : 1) != 0) {
      RaiseError(ERR_MEMOIRE_COMPRESSION);
      return false;
    }
    return true;
  };
  // A short-string coding: the coded bytes up to a 0 or the end.
  auto decodeCourte = [&](const BYTE* pCode, DWORD nCode) {
    const DWORD dwMax = CCompresseurKVC40::g_dwTailleBufferDecompression(nCode);
    if (!prepare(dwMax)) return false;
    CDataCompressor cl;
    int nSortie = static_cast<int>(dwMax);
    if (cl.nDeCompress(reinterpret_cast<BYTE*>(clSortie.pGetData()), &nSortie, pCode, static_cast<int>(nCode)) !=
        CDataCompressor::DC_OK)
      return endommage();
    clSortie.SetUtilSize(static_cast<DWORD>(nSortie));
    return true;
  };
  if (nMethode == 2) return decodeCourte(p, n);

  if (n < TAILLE_CADRE) return endommage();
  const DWORD dwPack = dwLitLE32(p + 1);
  if (dwPack > 2) {
    RaiseError(ERR_METHODE_COMPRESSION);
    return false;
  }
  p += TAILLE_CADRE;
  n -= TAILLE_CADRE;
  if (dwPack == 2) return decodeCourte(p, n);
  if (dwPack == 0) {
    if (n < 4) return endommage();
    const DWORD dwLongueur = dwLitLE32(p);
    if (dwLongueur > n - 4) return endommage();
    if (!prepare(dwLongueur)) return false;
    if (dwLongueur > 0) std::memcpy(clSortie.pGetData(), p + 4, dwLongueur);
    clSortie.SetUtilSize(dwLongueur);
    return true;
  }
  // One block, decoded in place in the result, then its length taken off.
  CCompresseur clCompresseur(COMPRESSEUR_ZLW);
  clCompresseur.ChangeSource(p, n);
  const DWORD dwBloc = clCompresseur.dwTailleEntree();
  const DWORD dwDecode = clCompresseur.dwTailleDecompression();
  if (dwBloc == TAILLE_INCONNUE || dwDecode == TAILLE_INCONNUE || dwDecode < 4 || dwBloc > n) return endommage();
  if (p[0] != COMPRESSEUR_COPIE && dwDecode > dwMaxDecode(dwBloc - TAILLE_ENTETE_BLOC)) return endommage();
  if (!prepare(dwDecode)) return false;
  BYTE* pSortie = reinterpret_cast<BYTE*>(clSortie.pGetData());
  clCompresseur.ChangeSource(p, dwBloc);
  clCompresseur.ChangeDestination(pSortie, dwDecode);
  if (clCompresseur.dwDecompression(COMPRESSEUR_ZLW) != dwDecode) return endommage();
  const DWORD dwLongueur = dwLitLE32(pSortie);
  if (dwLongueur > dwDecode - 4) return endommage();
  std::memmove(pSortie, pSortie + 4, dwLongueur);
  clSortie.SetUtilSize(dwLongueur);
  return true;
}

CVXBIN CComposanteStandard::Compresse(const CVXBIN& clBuffer, int nMode) {
  CVXBIN cl;
  _ChaineCompresse(cl, clBuffer, nMode);
  return cl;
}

CVXBIN CComposanteStandard::Compresse(const char* pszTexte, int nMode) {
  CVXBIN cl;
  _ChaineCompresse(cl, pszTexte, nMode);
  return cl;
}

CVXBIN CComposanteStandard::Decompresse(const CVXBIN& clDonnees) {
  CVXBIN cl;
  _ChaineDecompresse(cl, clDonnees, -1);
  return cl;
}
