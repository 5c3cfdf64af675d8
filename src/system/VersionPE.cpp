// The version resource of a PE file, after the published PE/COFF layout:
// DOS header -> "PE\0\0" and COFF header -> optional header (PE32 or PE32+)
// and its resource directory -> section table (to turn addresses into file
// offsets) -> resource tree (type 16, then the first name, then the first
// language) -> VS_VERSIONINFO, a tree of blocks {length, value length,
// type, UTF-16 key, value, children} aligned on 4 bytes.
#include "system/VersionPE.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "core/CodePage.h"

namespace {

constexpr std::uint32_t TYPE_VERSION = 16;        // RT_VERSION
constexpr std::uint32_t MAX_ENTREES = 4096;       // entries read in one resource directory
constexpr std::uint32_t MAX_SECTIONS = 96;        // the loader's own limit
constexpr std::uint32_t BIT_HAUT = 0x80000000u;   // name string, or subdirectory

std::uint16_t wLE(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t dwLE(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct STSection {
  std::uint32_t dwAdresse, dwTailleBrute, dwOffsetBrut;
};

class CImagePE {
public:
  explicit CImagePE(const LecteurPE& lire) : m_lire(lire) {}

  // Headers, sections and the resource directory's address.
  bool bOuvre() {
    unsigned char dos[64];
    if (!m_lire(0, sizeof dos, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const std::uint64_t qPE = dwLE(dos + 60);
    unsigned char coff[24];
    if (!m_lire(qPE, sizeof coff, coff) || dwLE(coff) != 0x00004550u) return false;  // "PE\0\0"
    const std::uint32_t nSections = wLE(coff + 6), nOptionnel = wLE(coff + 20);
    if (nSections == 0 || nSections > MAX_SECTIONS) return false;
    // Optional header: the resource directory is data directory 2.
    unsigned char magic[2];
    if (nOptionnel < 2 || !m_lire(qPE + 24, 2, magic)) return false;
    const std::uint32_t dwDebutRep = wLE(magic) == 0x20B ? 112 : wLE(magic) == 0x10B ? 96 : 0;
    if (dwDebutRep == 0) return false;
    const std::uint32_t dwRessource = dwDebutRep + 2 * 8;  // directory 2, 8 bytes each
    unsigned char nombre[4], rep[8];
    if (nOptionnel < dwRessource + 8 || !m_lire(qPE + 24 + dwDebutRep - 4, 4, nombre) || dwLE(nombre) < 3 ||
        !m_lire(qPE + 24 + dwRessource, 8, rep))
      return false;
    m_dwRessources = dwLE(rep);
    if (m_dwRessources == 0 || dwLE(rep + 4) == 0) return false;
    const std::uint64_t qTable = qPE + 24 + nOptionnel;
    for (std::uint32_t i = 0; i < nSections; ++i) {
      unsigned char s[40];
      if (!m_lire(qTable + 40ull * i, sizeof s, s)) return false;
      m_vSections.push_back({dwLE(s + 12), dwLE(s + 16), dwLE(s + 20)});
    }
    return true;
  }

  // Reads n bytes at the address rva (all in one section's file bytes).
  bool bLitAdresse(std::uint64_t qAdresse, std::uint32_t n, unsigned char* p) const {
    for (const auto& s : m_vSections) {
      if (qAdresse >= s.dwAdresse && qAdresse + n <= std::uint64_t{s.dwAdresse} + s.dwTailleBrute)
        return m_lire(std::uint64_t{s.dwOffsetBrut} + (qAdresse - s.dwAdresse), n, p);
    }
    return false;
  }

  // Offset (within the resources) of the first entry of the directory at
  // dwRep whose id is dwId (any entry when dwId is ~0), with the
  // subdirectory bit as asked.
  bool bEntree(std::uint32_t dwRep, std::uint32_t dwId, bool bSousRep, std::uint32_t* pdwCible) const {
    unsigned char r[16];
    if (!bLitAdresse(std::uint64_t{m_dwRessources} + dwRep, sizeof r, r)) return false;
    const std::uint32_t nNoms = wLE(r + 12), nEntrees = nNoms + wLE(r + 14);
    for (std::uint32_t i = 0; i < nEntrees && i < MAX_ENTREES; ++i) {
      unsigned char e[8];
      if (!bLitAdresse(std::uint64_t{m_dwRessources} + dwRep + 16 + 8ull * i, sizeof e, e)) return false;
      const std::uint32_t dwNom = dwLE(e), dwCible = dwLE(e + 4);
      if (dwId != ~0u && ((dwNom & BIT_HAUT) != 0 || dwNom != dwId)) continue;
      if (((dwCible & BIT_HAUT) != 0) != bSousRep) continue;
      *pdwCible = dwCible & ~BIT_HAUT;
      return true;
    }
    return false;
  }

  // The bytes of the first version resource.
  bool bVersion(std::vector<unsigned char>* pv) const {
    std::uint32_t dwNoms, dwLangues, dwDonnee;
    if (!bEntree(0, TYPE_VERSION, true, &dwNoms) || !bEntree(dwNoms, ~0u, true, &dwLangues) ||
        !bEntree(dwLangues, ~0u, false, &dwDonnee))
      return false;
    unsigned char d[8];
    if (!bLitAdresse(std::uint64_t{m_dwRessources} + dwDonnee, sizeof d, d)) return false;
    // A version block's length is 16 bits: more bytes are never needed.
    const std::uint32_t n = dwLE(d + 4) < 0x10000 ? dwLE(d + 4) : 0x10000;
    pv->resize(n);
    return n > 0 && bLitAdresse(dwLE(d), n, pv->data());
  }

private:
  const LecteurPE& m_lire;
  std::uint32_t m_dwRessources = 0;
  std::vector<STSection> m_vSections;
};

// One block of VS_VERSIONINFO: [debut, fin), its key, its value and the
// offset of its children.
struct STBloc {
  std::size_t fin = 0, valeur = 0, finValeur = 0, enfants = 0;
  std::u16string cle;
};

std::size_t Aligne4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

bool bLitBloc(const std::vector<unsigned char>& v, std::size_t debut, std::size_t finParent, STBloc* b) {
  if (debut + 6 > finParent) return false;
  const std::size_t n = wLE(&v[debut]);
  if (n < 6 || debut + n > finParent) return false;
  b->fin = debut + n;
  const std::size_t nValeur = wLE(&v[debut + 2]), nType = wLE(&v[debut + 4]);
  b->cle.clear();
  std::size_t p = debut + 6;
  for (;; p += 2) {
    if (p + 2 > b->fin) return false;
    const char16_t c = wLE(&v[p]);
    if (c == 0) break;
    b->cle += c;
  }
  b->valeur = Aligne4(p + 2) < b->fin ? Aligne4(p + 2) : b->fin;
  // A text value counts 16-bit units, a binary one bytes.
  const std::size_t nOctets = nType == 1 ? 2 * nValeur : nValeur;
  b->finValeur = b->valeur + nOctets < b->fin ? b->valeur + nOctets : b->fin;
  b->enfants = Aligne4(b->finValeur) < b->fin ? Aligne4(b->finValeur) : b->fin;
  return true;
}

bool bCleEgale(const std::u16string& cle, const char* psz) {
  std::size_t i = 0;
  for (; psz[i] != '\0'; ++i) {
    if (i >= cle.size()) return false;
    char16_t a = cle[i], b = static_cast<unsigned char>(psz[i]);
    if (a >= 'a' && a <= 'z') a = static_cast<char16_t>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char16_t>(b - 32);
    if (a != b) return false;
  }
  return i == cle.size();
}

// The first child of the block b whose key is psz.
bool bEnfant(const std::vector<unsigned char>& v, const STBloc& b, const char* psz, STBloc* pEnfant) {
  for (std::size_t p = b.enfants; p < b.fin;) {
    if (!bLitBloc(v, p, b.fin, pEnfant)) return false;
    if (bCleEgale(pEnfant->cle, psz)) return true;
    p = Aligne4(pEnfant->fin);
  }
  return false;
}

}  // namespace

bool PE_bChaineVersion(const LecteurPE& lire, const char* pszTable, const char* pszCle, std::u16string* pTexte) {
  pTexte->clear();
  CImagePE image(lire);
  std::vector<unsigned char> v;
  if (!image.bOuvre() || !image.bVersion(&v)) return false;
  STBloc racine, infos, table, chaine;
  if (!bLitBloc(v, 0, v.size(), &racine) || !bCleEgale(racine.cle, "VS_VERSION_INFO") ||
      !bEnfant(v, racine, "StringFileInfo", &infos) || !bEnfant(v, infos, pszTable, &table) ||
      !bEnfant(v, table, pszCle, &chaine))
    return false;
  for (std::size_t p = chaine.valeur; p + 2 <= chaine.finValeur; p += 2) {
    const char16_t c = wLE(&v[p]);
    if (c == 0) break;
    *pTexte += c;
  }
  return true;
}

bool PE_bChaineVersionFichier(const char* pszFichier, const char* pszTable, const char* pszCle, std::size_t nMax,
                              std::string* pTexte) {
  pTexte->clear();
  const int fd = open(pszFichier, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const std::uint64_t qTaille = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  const LecteurPE lire = [&](std::uint64_t q, std::uint32_t n, unsigned char* p) {
    if (q > qTaille || n > qTaille - q) return false;
    for (std::uint32_t fait = 0; fait < n;) {
      const ssize_t r = pread(fd, p + fait, n - fait, static_cast<off_t>(q + fait));
      if (r <= 0) return false;
      fait += static_cast<std::uint32_t>(r);
    }
    return true;
  };
  std::u16string texte;
  const bool b = qTaille > 0 && PE_bChaineVersion(lire, pszTable, pszCle, &texte);
  close(fd);
  if (!b) return false;
  // Into the current code page, a character at a time (one it lacks becomes
  // "?"), never cut inside a character.
  const unsigned nPage = CP_nGetPageCourante();
  for (std::size_t i = 0; i < texte.size(); ++i) {
    char tampon[8];
    int n = 0;
    const WORD w = texte[i];
    if (w < 0x80) {
      tampon[0] = static_cast<char>(w);
      n = 1;
    } else if (w < 0xD800 || w > 0xDFFF) {
      n = UTF16ToMultiByte(nPage, &w, 1, tampon, sizeof tampon);
    }
    if (n <= 0) {
      tampon[0] = '?';
      n = 1;
      if (w >= 0xD800 && w <= 0xDBFF && i + 1 < texte.size() && texte[i + 1] >= 0xDC00 && texte[i + 1] <= 0xDFFF) ++i;
    }
    if (pTexte->size() + static_cast<std::size_t>(n) > nMax) break;
    pTexte->append(tampon, static_cast<std::size_t>(n));
  }
  return true;
}
