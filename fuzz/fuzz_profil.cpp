// Fuzz target of the INI engine: any bytes as the file, read as section and
// key lists and values into buffers of every small size, then an entry
// written and read back. Writing finds sections and keys as reading does,
// so the entry comes back as written whatever the file holds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/Profil.h"

namespace {

void Verifie(bool b) {
  if (!b) std::abort();
}

const std::string& sFichier() {
  static const std::string s = "/tmp/kv_fuzz_profil_" + std::to_string(getpid()) + ".ini";
  return s;
}

// A name of letters and digits taken from the input (never empty).
std::string sNom(const uint8_t* p, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += "abcdefghijklmnopqrstuvwxyz0123456789"[p[i] % 36];
  return s.empty() ? "k" : s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const std::string& f = sFichier();
  if (FILE* fp = std::fopen(f.c_str(), "wb")) {
    std::fwrite(data + 4, 1, size - 4, fp);
    std::fclose(fp);
  }
  char buf[300];
  // Lists and values into buffers of every size from 0.
  for (DWORD n : {0u, 1u, 2u, 7u, static_cast<DWORD>(sizeof buf)}) {
    std::memset(buf, 'x', sizeof buf);
    const DWORD r = GetPrivateProfileString(nullptr, nullptr, "", buf, n, f.c_str());
    Verifie(n == 0 || (r < n && buf[r] == '\0'));
  }
  GetPrivateProfileString(nullptr, nullptr, "", buf, sizeof buf, f.c_str());
  const std::string premiere(buf, std::strcspn(buf, "\r\n"));
  GetPrivateProfileString(premiere.c_str(), nullptr, "", buf, sizeof buf, f.c_str());
  const std::string cle(buf, std::strcspn(buf, "\r\n"));
  GetPrivateProfileString(premiere.c_str(), cle.c_str(), "defaut", buf, 5, f.c_str());
  Verifie(std::strlen(buf) < 5);
  GetPrivateProfileInt(premiere.c_str(), cle.c_str(), 7, f.c_str());

  // An entry of letters and digits written, then read back.
  const std::string section = sNom(data, data[0] % 4), nom = sNom(data + 1, 1 + data[1] % 3),
                    valeur = sNom(data + 2, data[2] % 3);
  if (WritePrivateProfileString(section.c_str(), nom.c_str(), valeur.c_str(), f.c_str())) {
    GetPrivateProfileString(section.c_str(), nom.c_str(), "?", buf, sizeof buf, f.c_str());
    Verifie(valeur == buf);
    Verifie(WritePrivateProfileString(section.c_str(), nom.c_str(), nullptr, f.c_str()));
    GetPrivateProfileString(section.c_str(), nom.c_str(), "?", buf, sizeof buf, f.c_str());
  }
  WritePrivateProfileString(premiere.c_str(), nullptr, nullptr, f.c_str());
  unlink(f.c_str());
  return 0;
}
