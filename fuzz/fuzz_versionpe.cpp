// Fuzz target of the version-resource reader of Windows executables: any
// bytes as a file, read only inside them; the text found ends at its first
// 0 and is never longer than the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "system/VersionPE.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<unsigned char> fichier(data, data + size);  // exact size, on the heap
  const LecteurPE lire = [&](std::uint64_t q, std::uint32_t n, unsigned char* p) {
    if (q > fichier.size() || n > fichier.size() - q) return false;
    if (n > 0) std::memcpy(p, fichier.data() + q, n);
    return true;
  };
  for (const char* cle : {"FileVersion", "CompanyName", ""}) {
    std::u16string texte;
    if (PE_bChaineVersion(lire, "000004E4", cle, &texte)) {
      if (texte.size() * 2 > size || texte.find(u'\0') != std::u16string::npos) std::abort();
    }
  }
  return 0;
}
