// Executable path and kind, memory status and the system's name.
#include "system/Processus.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

std::string GetModuleFileName() {
  char chemin[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", chemin, sizeof chemin - 1);
  if (n > 0) return std::string(chemin, static_cast<std::size_t>(n));
  std::ifstream maps("/proc/self/maps");
  std::string ligne;
  if (std::getline(maps, ligne)) {
    std::size_t slash = ligne.find('/');
    if (slash != std::string::npos) return ligne.substr(slash);
  }
  return {};
}

int EXE_nGetTypeEXE(const char* pszFichier) {
  // Without waiting for a pipe's writer; only a regular file is read.
  int fd = open(pszFichier, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  unsigned char entete[64] = {};
  int type;
  if (read(fd, entete, sizeof entete) != static_cast<ssize_t>(sizeof entete) || entete[0] != 'M' || entete[1] != 'Z') {
    type = -2;
  } else if ((entete[24] | entete[25] << 8) != 64) {
    type = 0;
  } else {
    DWORD offset;
    std::memcpy(&offset, entete + 60, 4);
    unsigned char nt[248] = {};
    if (pread(fd, nt, sizeof nt, offset) != static_cast<ssize_t>(sizeof nt)) {
      type = 3;
    } else if ((nt[0] == 'N' && nt[1] == 'E') || (nt[0] == 'L' && nt[1] == 'E') || (nt[0] == 'W' && nt[1] == '3') ||
               (nt[0] == 'L' && nt[1] == 'X')) {
      type = 1;
    } else if (nt[0] == 'P' && nt[1] == 'E') {
      type = (nt[24] | nt[25] << 8) == 0x20B ? 4 : 2;
    } else if (nt[0] == 'M' && nt[1] == 'Z') {
      type = 0;
    } else {
      type = 3;
    }
  }
  close(fd);
  return type;
}

namespace {

struct STMemoire {
  unsigned long long total = 0x1000000, disponible = 0x1000000, swap = 0x1000000, swapLibre = 0x1000000;
};

// The status is kept for a second; one lock guards the record and its time
// (several threads may ask at once).
STMemoire stLitMemoire() {
  static std::mutex verrouCache;
  static STMemoire cache;
  static time_t quand = 0;
  std::lock_guard<std::mutex> verrou(verrouCache);
  time_t maintenant = time(nullptr);
  if (quand != 0 && maintenant == quand) return cache;
  STMemoire m;
  std::ifstream in("/proc/meminfo");
  if (in) {
    unsigned long long libre = 0, tampons = 0, cache_ = 0;
    bool bLu = false;
    std::string ligne;
    while (std::getline(in, ligne)) {
      unsigned long long v = 0, a, b, c, d, e, f;
      if (std::sscanf(ligne.c_str(), "MemTotal: %llu", &v) == 1) m.total = v * 1024, bLu = true;
      else if (std::sscanf(ligne.c_str(), "MemFree: %llu", &v) == 1) libre = v * 1024;
      else if (std::sscanf(ligne.c_str(), "Buffers: %llu", &v) == 1) tampons = v * 1024;
      else if (std::sscanf(ligne.c_str(), "Cached: %llu", &v) == 1) cache_ = v * 1024;
      else if (std::sscanf(ligne.c_str(), "SwapTotal: %llu", &v) == 1) m.swap = v * 1024;
      else if (std::sscanf(ligne.c_str(), "SwapFree: %llu", &v) == 1) m.swapLibre = v * 1024;
      else if (std::sscanf(ligne.c_str(), "Mem: %llu %llu %llu %llu %llu %llu", &a, &b, &c, &d, &e, &f) == 6) {
        m.total = a, libre = c, tampons = e, cache_ = f, bLu = true;
      } else if (std::sscanf(ligne.c_str(), "Swap: %llu %llu %llu", &a, &b, &c) == 3) {
        m.swap = a, m.swapLibre = c;
      }
    }
    if (bLu) m.disponible = libre + tampons + cache_;
  }
  cache = m;
  quand = maintenant;
  return m;
}

DWORD dwSature(unsigned long long v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(v); }

}  // namespace

void GlobalMemoryStatus(MEMORYSTATUS* pst) {
  STMemoire m = stLitMemoire();
  pst->dwLength = sizeof(MEMORYSTATUS);
  unsigned long long tout = m.total + m.swap;
  pst->dwMemoryLoad = tout >= 100 ? static_cast<DWORD>((tout - m.disponible - m.swapLibre) / (tout / 100)) : 0;
  pst->dwTotalPhys = dwSature(m.total);
  pst->dwAvailPhys = dwSature(m.disponible);
  pst->dwTotalPageFile = dwSature(m.swap);
  pst->dwAvailPageFile = dwSature(m.swapLibre);
}

void GlobalMemoryStatus64(unsigned long long* pllTotal, unsigned long long* pllDisponible) {
  STMemoire m = stLitMemoire();
  *pllTotal = m.total;
  *pllDisponible = m.disponible;
}

std::string sNomSysteme() {
  utsname u{};
  if (uname(&u) != 0) return {};
  std::string s = u.sysname;
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
