// The library's side of the whole-process comparison with compress -b16 and
// uncompress (bench/zlw_peers.sh): a file coded through the ZLW block
// compressor, a block decoded back, and the sample text itself.
//
//   zlw_fichier texte FILE MIB      writes MIB MiB of English-like text (always the same)
//   zlw_fichier compresse IN OUT    IN as one ZLW block (type 4, or 0 when it does not pay)
//   zlw_fichier decompresse IN OUT  the block IN decoded
// Both read their input a piece at a time into the resumable cores.
//   zlw_fichier memoire MIB         peak heap of Compresse of a MIB MiB text buffer
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "compression/Compresseur.h"
#include "compression/ZLWCompresseur.h"
#include "frame/Standard.h"

// Heap accounting for "memoire": every allocation of the process, the
// library's included, goes through these.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
}

namespace {

std::atomic<long long> gnEnCours{0}, gnPic{0};

void Compte(long long n) {
  const long long v = gnEnCours += n;
  long long p = gnPic.load();
  while (v > p && !gnPic.compare_exchange_weak(p, v)) {
  }
}

}  // namespace

extern "C" {
void* malloc(size_t n) {
  void* p = __libc_malloc(n);
  if (p != nullptr) Compte(static_cast<long long>(malloc_usable_size(p)));
  return p;
}
void* calloc(size_t a, size_t b) {
  void* p = __libc_calloc(a, b);
  if (p != nullptr) Compte(static_cast<long long>(malloc_usable_size(p)));
  return p;
}
void* realloc(void* q, size_t n) {
  const long long avant = q != nullptr ? static_cast<long long>(malloc_usable_size(q)) : 0;
  void* p = __libc_realloc(q, n);
  if (p != nullptr) Compte(static_cast<long long>(malloc_usable_size(p)) - avant);
  else if (n == 0) Compte(-avant);
  return p;
}
void free(void* p) {
  if (p != nullptr) Compte(-static_cast<long long>(malloc_usable_size(p)));
  __libc_free(p);
}
}

namespace {

constexpr std::size_t TAILLE_MORCEAU = 1u << 20;

// A buffer left uninitialised (the file or the coder fills it).
struct STTampon {
  BYTE* p = nullptr;
  std::size_t n = 0;
  ~STTampon() { std::free(p); }
  bool bAlloue(std::size_t taille) {
    p = static_cast<BYTE*>(std::malloc(taille > 0 ? taille : 1));
    n = taille;
    return p != nullptr;
  }
};

bool Lit(const char* nom, STTampon& t) {
  const int fd = open(nom, O_RDONLY);
  if (fd < 0) return false;
  struct stat st {};
  bool b = fstat(fd, &st) == 0 && t.bAlloue(static_cast<std::size_t>(st.st_size));
  for (std::size_t o = 0; b && o < t.n;) {
    const ssize_t k = read(fd, t.p + o, t.n - o);
    b = k > 0;
    o += b ? static_cast<std::size_t>(k) : 0;
  }
  close(fd);
  return b;
}

bool Ecrit(const char* nom, const BYTE* p, std::size_t n) {
  FILE* f = std::fopen(nom, "wb");
  if (f == nullptr) return false;
  const bool b = std::fwrite(p, 1, n, f) == n;
  return std::fclose(f) == 0 && b;
}

// Words made of syllables, drawn with a Zipf-like law, in sentences and
// lines of at most 72 characters.
std::string Texte(std::size_t n) {
  static const char* syllabes[] = {"a",  "an", "be", "ca", "de",  "di", "en", "er", "es", "fo", "ga", "ho",
                                   "in", "is", "la", "le", "ma",  "me", "ne", "no", "on", "or", "pa", "pe",
                                   "ra", "re", "se", "so", "ta",  "te", "th", "ti", "to", "un", "ur", "ve",
                                   "wa", "we", "st", "ch", "ing", "ed", "al", "ly", "qu", "ou", "ai", "ea"};
  std::mt19937 g(2024);
  std::vector<std::string> mots(6000);
  for (auto& m : mots) {
    const int k = 1 + static_cast<int>(g() % 4);
    for (int i = 0; i < k; ++i) m += syllabes[g() % (sizeof syllabes / sizeof *syllabes)];
  }
  std::vector<double> cumul(mots.size());
  double s = 0;
  for (std::size_t i = 0; i < mots.size(); ++i) cumul[i] = s += 1.0 / static_cast<double>(i + 1);
  std::uniform_real_distribution<double> u(0, s);
  std::string t, ligne;
  t.reserve(n + 100);
  bool debut = true;
  while (t.size() < n) {
    std::string m = mots[static_cast<std::size_t>(std::lower_bound(cumul.begin(), cumul.end(), u(g)) - cumul.begin())];
    if (debut) m[0] = static_cast<char>(m[0] - 32);
    debut = false;
    const unsigned r = g() % 100;
    if (r < 7) {
      m += '.';
      debut = true;
    } else if (r < 12) {
      m += ',';
    }
    if (ligne.size() + 1 + m.size() > 72) {
      t += ligne + '\n';
      ligne.clear();
      if (g() % 10 == 0) t += '\n';
    }
    ligne += ligne.empty() ? m : ' ' + m;
  }
  t.resize(n);
  return t;
}

int Usage() {
  std::fprintf(stderr, "usage: zlw_fichier texte FILE MIB | compresse IN OUT | decompresse IN OUT | memoire MIB\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  if (mode == "texte" && argc == 4) {
    const std::string t = Texte(static_cast<std::size_t>(std::atol(argv[3])) << 20);
    return Ecrit(argv[2], reinterpret_cast<const BYTE*>(t.data()), t.size()) ? 0 : 1;
  }
  if (mode == "compresse" && argc == 4) {
    // The file goes through the coder's resumable core a piece at a time,
    // as it is read; the stored form (short or incompressible files) takes
    // the whole file through the compressor object.
    const int fd = open(argv[2], O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) return 1;
    const DWORD n = static_cast<DWORD>(st.st_size);
    STTampon out, morceau;
    if (!out.bAlloue(std::size_t{n} + 7) || !morceau.bAlloue(TAILLE_MORCEAU)) return 1;
    DWORD dw = 0;
    CCodeurZLW codeur;
    if (n > 19 && codeur.bDebut(out.p, n + 3)) {
      bool ok = true;
      for (ssize_t k; ok && (k = read(fd, morceau.p, morceau.n)) > 0;) ok = codeur.bCode(morceau.p, static_cast<DWORD>(k));
      dw = ok ? codeur.dwTermine() : 0;
    }
    close(fd);
    if (dw == 0) {
      STTampon in;
      CZLWCompresseur z;
      if (!Lit(argv[2], in)) return 1;
      dw = z.dwCompression(in.p, n, out.p, static_cast<DWORD>(out.n));
    }
    return dw != 0 && Ecrit(argv[3], out.p, dw) ? 0 : 1;
  }
  if (mode == "decompresse" && argc == 4) {
    // The payload is read a piece at a time into the decoder's resumable
    // core; the stored form is copied.
    const int fd = open(argv[2], O_RDONLY);
    BYTE entete[TAILLE_ENTETE_BLOC];
    if (fd < 0 || read(fd, entete, 5) != 5) return 1;
    STTampon out, morceau;
    DWORD dw = 0;
    if (entete[0] == COMPRESSEUR_COPIE) {
      if (!out.bAlloue(dwLitLE32(entete + 1))) return 1;
      while (dw < out.n) {
        const ssize_t k = read(fd, out.p + dw, out.n - dw);
        if (k <= 0) break;
        dw += static_cast<DWORD>(k);
      }
    } else {
      if (entete[0] != COMPRESSEUR_ZLW || read(fd, entete + 5, 6) != 6) return 1;
      DWORD dwReste = dwLitLE32(entete + 1);
      CDecodeurZLW decodeur;
      if (!out.bAlloue(dwLitLE32(entete + 5)) || !morceau.bAlloue(TAILLE_MORCEAU) ||
          !decodeur.bDebut(out.p, static_cast<DWORD>(out.n)))
        return 1;
      bool encore = true;
      while (encore && dwReste > 0) {
        const ssize_t k = read(fd, morceau.p, dwReste < morceau.n ? dwReste : morceau.n);
        if (k <= 0) break;
        dwReste -= static_cast<DWORD>(k);
        encore = decodeur.bDecode(morceau.p, static_cast<DWORD>(k), dwReste == 0);
      }
      dw = decodeur.dwProduits();
    }
    close(fd);
    return dw == out.n && Ecrit(argv[3], out.p, dw) ? 0 : 1;
  }
  if (mode == "memoire" && argc == 3) {
    // The component's method itself, on a buffer the caller holds already:
    // what the call adds to the heap at its peak, result included.
    const std::size_t n = static_cast<std::size_t>(std::atol(argv[2])) << 20;
    CComposanteStandard composante;
    CVXBIN entree;
    {
      const std::string t = Texte(n);
      entree.nAssign(t.data(), static_cast<DWORD>(t.size()));
    }
    const long long avant = gnEnCours.load();
    gnPic = avant;
    const CVXBIN resultat = composante.Compresse(entree, 0x10000);
    const long long pic = gnPic.load() - avant;
    std::printf("Compresse of %zu bytes: peak heap %.2f MiB above the caller's (bound 3n + 1 MiB = %.2f MiB), "
                "result %u bytes\n",
                n, static_cast<double>(pic) / 1048576.0, (3.0 * static_cast<double>(n) + 1048576.0) / 1048576.0,
                resultat.nGetSize());
    return resultat.nGetSize() > 0 && pic < static_cast<long long>(3 * n + 1048576) ? 0 : 1;
  }
  return Usage();
}
