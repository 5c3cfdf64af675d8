// The library-name table.
#include "frame/NomsLibrairies.h"

#include <cstring>

namespace {

_stTABLENOMLIB* gpstTable = nullptr;

// File names of the runtime's libraries in the release before the table existed.
const char* const gtabNomsAnciens[18] = {
    "kv130vm.so",  "kv130std.so", "kv130obj.so",  "kv130page.so", "kv130hf.so",  "kv130xls.so",
    "kv130zip.so", "kv130net.so", "kv130mail.so", "kv130xml.so",  "kv130dde.so", "kv130ftp.so",
    "kv130sock.so", "kv130odbc.so", "kv130gph.so", "kv130rpt.so", "kv130java.so", "kv130res.so"};

}  // namespace

BOOL DLN_bInitTableNom(_stTABLENOMLIB* pstTable) {
  gpstTable = pstTable;
  return pstTable != nullptr;
}

_stTABLENOMLIB* DLN_pstGetPtr() { return gpstTable; }

const char* DLN_pszGetName(int i) {
  if (gpstTable == nullptr) return i >= 0 && i < 18 ? gtabNomsAnciens[i] : "";
  if (i < 0 || i >= gpstTable->nNombre || gpstTable->pstEntrees == nullptr) return "";
  return gpstTable->pstEntrees[i].szNom;
}

const char* DLN_pszGetVersion(int i) {
  if (gpstTable == nullptr || i < 0 || i >= gpstTable->nNombre || gpstTable->pstEntrees == nullptr) return "";
  return gpstTable->pstEntrees[i].szVersion;
}

BOOL DLN_pszSetVersion(int i, const char* pszVersion) {
  if (gpstTable == nullptr || i < 0 || i >= gpstTable->nNombre || gpstTable->pstEntrees == nullptr) return 0;
  char* psz = gpstTable->pstEntrees[i].szVersion;
  std::memset(psz, 0, sizeof gpstTable->pstEntrees[i].szVersion);
  if (pszVersion != nullptr) std::strncpy(psz, pszVersion, 8);
  return 1;
}

BOOL DLN_bGetErreur(DWORD* pdwA, DWORD* pdwB) {
  if (gpstTable == nullptr) return 0;
  if (pdwA != nullptr) *pdwA = gpstTable->adwErreur[0];
  if (pdwB != nullptr) *pdwB = gpstTable->adwErreur[1];
  return 1;
}

BOOL DLN_bSetErreur(DWORD dwA, DWORD dwB) {
  if (gpstTable == nullptr) return 0;
  gpstTable->adwErreur[0] = dwA;
  gpstTable->adwErreur[1] = dwB;
  return 1;
}
