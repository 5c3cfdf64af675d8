// INI files: reading and writing profile strings on the text file itself.
#include "files/Profil.h"

#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "files/AppelsSysteme.h"
#include "files/DiskFile.h"
#include "files/Remplacement.h"

namespace {

bool bBlanc(char c) { return c == ' ' || c == '\t'; }

std::string sMaison() { return CDiskFile::sRepertoireMaison(); }

// The lines of a text: each view holds the line without its LF.
struct Ligne {
  std::size_t debut, fin;  // fin: after the LF, or the end of the text
  std::string_view texte;
};

std::vector<Ligne> vLignes(const std::string& s) {
  std::vector<Ligne> v;
  std::size_t p = 0;
  while (p < s.size()) {
    const std::size_t lf = s.find('\n', p);
    const std::size_t f = lf == std::string::npos ? s.size() : lf;
    v.push_back({p, lf == std::string::npos ? f : f + 1, std::string_view(s).substr(p, f - p)});
    p = v.back().fin;
  }
  return v;
}

std::string_view svSansBlancs(std::string_view sv) {
  while (!sv.empty() && bBlanc(sv.front())) sv.remove_prefix(1);
  return sv;
}

// A header line (leading blanks ignored): starts with "[" and holds a "]".
bool bEntete(std::string_view sv) {
  sv = svSansBlancs(sv);
  return !sv.empty() && sv.front() == '[' && sv.find(']') != std::string_view::npos;
}

bool bDebutSansCasse(std::string_view sv, std::string_view debut) {
  return sv.size() >= debut.size() && strncasecmp(sv.data(), debut.data(), debut.size()) == 0;
}

// The header line of the section: "[" + section + "]" at its start, leading
// blanks skipped, case ignored. Reader and writer find the same one.
bool bEnteteDe(std::string_view ligne, std::string_view entete) {
  return bDebutSansCasse(svSansBlancs(ligne), entete);
}

// The entry line of a key (leading blanks skipped, case ignored, followed
// by "=" or a blank, and holding an "="; comments are not entries): the
// length of its prefix up to the end of the key, or 0.
std::size_t nEntreeDe(std::string_view ligne, std::string_view cle) {
  const std::string_view sv = svSansBlancs(ligne);
  if (sv.empty() || sv.front() == ':' || sv.find('=') == std::string_view::npos) return 0;
  if (sv.size() <= cle.size() || !bDebutSansCasse(sv, cle)) return 0;
  const char suivant = sv[cle.size()];
  if (suivant != '=' && !bBlanc(suivant)) return 0;
  return ligne.size() - sv.size() + cle.size();
}

// The file a name gives, for reading and writing alike: backslashes become
// slashes; a name starting with "/" or "./" is used as it is, any other is
// taken from the home directory.
std::string sCheminProfil(const char* pszFichier) {
  std::string nom = pszFichier;
  for (char& c : nom) {
    if (c == '\\') c = '/';
  }
  if (nom[0] == '/' || nom.compare(0, 2, "./") == 0) return nom;
  return sMaison() + "/" + nom;
}

// Whole-file read from the start of fd.
bool bLitTout(int fd, std::string& s) {
  s.clear();
  char buf[65536];
  off_t pos = 0;
  for (;;) {
    const ssize_t n = pread(fd, buf, sizeof buf, pos);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    s.append(buf, static_cast<std::size_t>(n));
    pos += n;
  }
}

// Profile files are regular files: a pipe or a device would be read without
// end, or waited on. False with errno set otherwise.
bool bFichierOrdinaire(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  if (S_ISREG(st.st_mode)) return true;
  errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  return false;
}

bool bVerrou(int fd, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  while (fcntl(fd, F_SETLKW, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Copies up to dwTaille - 1 characters and the 0; the count copied.
DWORD dwCopie(char* pszBuffer, DWORD dwTaille, std::string_view sv) {
  if (dwTaille == 0) return 0;
  const std::size_t n = sv.size() < dwTaille - 1 ? sv.size() : dwTaille - 1;
  std::memcpy(pszBuffer, sv.data(), n);
  pszBuffer[n] = '\0';
  return static_cast<DWORD>(n);
}

// The search of a read: the value, the key list or the section list.
bool bCherche(const std::string& contenu, const char* pszSection, const char* pszCle, DWORD dwTaille,
              std::string& resultat) {
  const auto lignes = vLignes(contenu);
  const std::size_t place = dwTaille > 0 ? dwTaille - 1 : 0;
  if (pszSection == nullptr) {
    for (const auto& l : lignes) {
      if (!bEntete(l.texte)) continue;
      const std::string_view sv = svSansBlancs(l.texte);
      resultat.append(sv.substr(1, sv.find(']') - 1));
      resultat += "\r\n";
    }
    return !resultat.empty();
  }
  const std::string entete = std::string("[") + pszSection + "]";
  std::size_t i = 0;
  while (i < lignes.size() && !bEnteteDe(lignes[i].texte, entete)) ++i;
  if (i == lignes.size()) return false;
  const std::string_view cle = pszCle != nullptr ? pszCle : "";
  for (++i; i < lignes.size() && !bEntete(lignes[i].texte); ++i) {
    const std::string_view sv = svSansBlancs(lignes[i].texte);
    const std::size_t egal = sv.find('=');
    if (sv.empty() || sv.front() == ':' || egal == std::string_view::npos) continue;
    if (pszCle != nullptr) {
      if (nEntreeDe(lignes[i].texte, cle) == 0) continue;
      std::string_view valeur = svSansBlancs(sv.substr(egal + 1));
      valeur = valeur.substr(0, valeur.find('\r'));
      resultat.assign(valeur);
      return true;
    }
    std::string_view nom = sv.substr(0, egal);
    while (!nom.empty() && bBlanc(nom.back())) nom.remove_suffix(1);
    if (resultat.size() + nom.size() + 2 > place) break;
    resultat.append(nom);
    resultat += "\r\n";
  }
  return !resultat.empty();
}

// The new text of a write, or false when nothing changes. Sections and keys
// are found as a read finds them, so the entry changed is the one a read
// returns.
bool bModifie(std::string& s, const char* pszSection, const char* pszCle, const char* pszValeur) {
  const auto lignes = vLignes(s);
  const std::string entete = std::string("[") + pszSection + "]";
  std::string entree;
  if (pszCle != nullptr && pszValeur != nullptr) entree = std::string(pszCle) + " = " + pszValeur + "\n";
  // Appending after a last line without its LF would join the two lines.
  auto ajouteEnFin = [&](const std::string& texte) {
    if (!s.empty() && s.back() != '\n') s += '\n';
    s += texte;
  };
  std::size_t i = 0;
  while (i < lignes.size() && !bEnteteDe(lignes[i].texte, entete)) ++i;
  if (i == lignes.size()) {
    if (pszCle == nullptr) return false;
    ajouteEnFin("[" + std::string(pszSection) + "]\n" + entree);
    return true;
  }
  auto debutSection = [&](std::size_t j) { return bEntete(lignes[j].texte); };
  if (pszCle == nullptr) {
    std::size_t j = i + 1;
    while (j < lignes.size() && !debutSection(j)) ++j;
    s.erase(lignes[i].debut, (j < lignes.size() ? lignes[j].debut : s.size()) - lignes[i].debut);
    return true;
  }
  const std::string_view cle = pszCle;
  std::size_t insertion = std::string::npos;
  for (std::size_t j = i + 1; j < lignes.size(); ++j) {
    const std::string_view t = lignes[j].texte;
    const bool bFin = debutSection(j);
    if (insertion == std::string::npos && (bFin || t.empty() || t == "\r")) insertion = lignes[j].debut;
    if (bFin) break;
    if (const std::size_t nCle = nEntreeDe(t, cle)) {
      // The line keeps its indent, the key as it is stored and its CR.
      if (pszValeur != nullptr) {
        entree = std::string(t.substr(0, nCle)) + " = " + pszValeur + (t.back() == '\r' ? "\r\n" : "\n");
      }
      s.replace(lignes[j].debut, lignes[j].fin - lignes[j].debut, entree);
      return true;
    }
  }
  if (pszValeur == nullptr) return false;
  if (insertion == std::string::npos) ajouteEnFin(entree);
  else s.insert(insertion, entree);
  return true;
}

}  // namespace

bool bGetORXCONFPath(char* pszChemin) {
  const std::string s = sMaison();
  if (s.empty() || s.size() + 10 > PROFIL_MAX_CHEMIN) return false;
  std::snprintf(pszChemin, PROFIL_MAX_CHEMIN + 1, "%s/.ORX.conf", s.c_str());
  return true;
}

DWORD GetPrivateProfileString(const char* pszSection, const char* pszCle, const char* pszDefaut, char* pszBuffer,
                              DWORD dwTaille, const char* pszFichier) {
  const std::string_view defaut = pszDefaut != nullptr ? pszDefaut : "";
  std::string nom;
  if (pszFichier == nullptr || *pszFichier == '\0') {
    char sz[PROFIL_MAX_CHEMIN + 1];
    if (!bGetORXCONFPath(sz)) return dwCopie(pszBuffer, dwTaille, defaut);
    nom = sz;
  } else {
    nom = sCheminProfil(pszFichier);
  }
  const int fd = open(nom.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return dwCopie(pszBuffer, dwTaille, defaut);
  std::string contenu, resultat;
  const bool bLu = bFichierOrdinaire(fd) && bVerrou(fd, F_RDLCK) && bLitTout(fd, contenu);
  close(fd);
  if (!bLu || !bCherche(contenu, pszSection, pszCle, dwTaille, resultat)) return dwCopie(pszBuffer, dwTaille, defaut);
  return dwCopie(pszBuffer, dwTaille, resultat);
}

DWORD GetProfileString(const char* pszSection, const char* pszCle, const char* pszDefaut, char* pszBuffer,
                       DWORD dwTaille) {
  return GetPrivateProfileString(pszSection, pszCle, pszDefaut, pszBuffer, dwTaille, nullptr);
}

int GetPrivateProfileInt(const char* pszSection, const char* pszCle, int nDefaut, const char* pszFichier) {
  char szDefaut[20], szValeur[20];
  std::snprintf(szDefaut, sizeof szDefaut, "%d", nDefaut);
  GetPrivateProfileString(pszSection, pszCle, szDefaut, szValeur, sizeof szValeur, pszFichier);
  return static_cast<int>(std::strtol(szValeur, nullptr, 10));
}

int GetProfileInt(const char* pszSection, const char* pszCle, int nDefaut) {
  return GetPrivateProfileInt(pszSection, pszCle, nDefaut, nullptr);
}

BOOL WritePrivateProfileString(const char* pszSection, const char* pszCle, const char* pszValeur,
                               const char* pszFichier) {
  if (pszFichier == nullptr || *pszFichier == '\0') {
    errno = ENOENT;
    return false;
  }
  if (std::strlen(pszFichier) > PROFIL_MAX_CHEMIN) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::string nom = sCheminProfil(pszFichier);
  // Through a link, the file it names is the one replaced.
  if (char* pszReel = realpath(nom.c_str(), nullptr)) {
    nom = pszReel;
    std::free(pszReel);
  }
  // Locked, and still the file the name gives (a writer before us may have
  // renamed a new file over the one we opened).
  int fd;
  struct stat st {};
  bool bCree = false;  // the file did not exist: a failure removes it again
  for (;;) {
    fd = SYS_nOpen(nom.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    bCree = false;
    if (fd < 0 && errno == ENOENT) {
      fd = SYS_nOpen(nom.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      bCree = fd >= 0;
      if (fd < 0 && errno == EEXIST) continue;
    }
    if (fd < 0) return false;
    struct stat stNom {};
    if (!bFichierOrdinaire(fd) || !bVerrou(fd, F_WRLCK) || fstat(fd, &st) != 0) {
      const int e = errno;
      if (bCree) SYS_nUnlink(nom.c_str());
      close(fd);
      errno = e;
      return false;
    }
    if (stat(nom.c_str(), &stNom) == 0 && stNom.st_ino == st.st_ino && stNom.st_dev == st.st_dev) break;
    close(fd);
  }
  bool b = true;
  if (pszSection != nullptr) {
    std::string s;
    b = bLitTout(fd, s);
    if (b && bModifie(s, pszSection, pszCle, pszValeur)) b = REM_bEcritFichier(nom.c_str(), s.data(), s.size());
  }
  const int e = errno;
  if (!b && bCree) SYS_nUnlink(nom.c_str());
  close(fd);
  errno = e;
  return b;
}

BOOL WriteProfileString(const char* pszSection, const char* pszCle, const char* pszValeur) {
  char sz[PROFIL_MAX_CHEMIN + 1];
  if (!bGetORXCONFPath(sz)) {
    errno = ENOENT;
    return false;
  }
  return WritePrivateProfileString(pszSection, pszCle, pszValeur, sz);
}
