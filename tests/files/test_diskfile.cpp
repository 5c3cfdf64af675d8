// The disk-file layer on its own: paths and the backslash rule, rename,
// copy and move, directories, the name-pattern matcher and searches, trees,
// attributes and times, temporary names, disk space, and the stream's own
// line reader.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "TempDir.h"
#include "core/TString.h"
#include "core/XError.h"
#include "files/DiskFile.h"

namespace {

std::string full(const char* p) {
  char sz[512];
  DWORD n = CDiskFile::GetFullPathName(p, sizeof sz, sz);
  return n > 0 && n < sizeof sz ? std::string(sz) : std::string("<") + std::to_string(n) + ">";
}

// Runs the body with the current directory set to `dir`.
template <class F>
void dans(const std::string& dir, F f) {
  char avant[4096];
  ASSERT_NE(getcwd(avant, sizeof avant), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  f();
  ASSERT_EQ(chdir(avant), 0);
}

TEST(DiskFile, FullPathNames) {
  EXPECT_EQ(full("/a/b/../c/./d"), "/a/c/d");
  EXPECT_EQ(full("\\a\\b\\..\\c"), "/a/c");
  EXPECT_EQ(full("/x/./../y"), "/y");
  EXPECT_EQ(full("/../z"), "/z");
  EXPECT_EQ(full(""), "<0>");
  char petit[4];
  EXPECT_EQ(CDiskFile::GetFullPathName("/abcdef", sizeof petit, petit), 8u) << "the size needed";
  const char* home = getenv("HOME");
  struct stat st {};
  if (home != nullptr && stat(home, &st) == 0) {
    EXPECT_EQ(full("~/k"), std::string(home) + "/k");
  }
  TempDir dir;
  dans(dir.path(), [&] { EXPECT_EQ(full("rel/x"), dir / "rel/x"); });
}

TEST(DiskFile, WindowsPathsAreRelativeWithTheDriveAsAName) {
  TempDir dir;
  dans(dir.path(), [&] {
    ASSERT_TRUE(CDiskFile::bCreateDirectory("C:\\data"));
    CDiskFile f;
    ASSERT_TRUE(f.bOpen("C:\\data\\f.txt", IXStream::ACCESS_LECTUREECRITURE, IXStream::SHARE_AUCUN,
                        IXStream::CREATE_TRONQUE, IXStream::FLAG_NORMAL, nullptr));
    EXPECT_EQ(std::string(f.pszGetName()), dir / "C:/data/f.txt");
  });
  EXPECT_TRUE(TempDir::exists(dir / "C:/data/f.txt"));
}

TEST(DiskFile, RelativeNameTests) {
  struct Case {
    const char* nom;
    bool relatif;
  };
  for (auto c : std::vector<Case>{{"", true}, {"\\x", false}, {"c:\\x", false}, {"c:", false}, {"abc", true},
                                  {"dir\\x", true}, {"x:", false}, {"abc:", false}, {"/x", true}}) {
    EXPECT_EQ(CDiskFile::bIsRelativeFileName_WIN32(c.nom), c.relatif) << c.nom;
  }
  EXPECT_FALSE(CDiskFile::bIsRelativeFileName("/a"));
  EXPECT_TRUE(CDiskFile::bIsRelativeFileName("a/b"));
  EXPECT_STREQ(CDiskFile::pszGetPtrToFileName("c:\\dir/sub\\name.ext"), "name.ext");
  CTString rep, nom, ext;
  CDiskFile::SplitPath("/a/b.c/name.tar.gz", &rep, &nom, &ext);
  EXPECT_STREQ(rep.pszGet(), "/a/b.c/");
  EXPECT_STREQ(nom.pszGet(), "name.tar");
  EXPECT_STREQ(ext.pszGet(), ".gz");
  CTString p("dir\\x.txt");
  CDiskFile::ChangeExtension(&p, "md");
  EXPECT_STREQ(p.pszGet(), "dir\\x.md");
  EXPECT_TRUE(CDiskFile::bSameFileName("a\\b  ", "a/b"));
  EXPECT_FALSE(CDiskFile::bSameFileName("a/B", "a/b"));
}

TEST(DiskFile, RenameCopyMove) {
  TempDir dir;
  TempDir::write(dir / "a", "AAA");
  TempDir::write(dir / "b", "BBB");
  CXError e;
  EXPECT_FALSE(CDiskFile::bRename((dir / "b").c_str(), (dir / "a").c_str(), &e));
  EXPECT_EQ(e.dwGetSystemErrorCode(), static_cast<DWORD>(EEXIST));
  EXPECT_EQ(e.nGetErrorId(0), 28124u);
  EXPECT_STREQ(e.pszGetInfo(EIT_SRCFILE), (dir / "b").c_str());
  EXPECT_EQ(TempDir::read(dir / "a"), "AAA");
  EXPECT_EQ(TempDir::read(dir / "b"), "BBB");
  EXPECT_TRUE(CDiskFile::bRename((dir / "c").c_str(), (dir / "a").c_str(), &e));
  EXPECT_FALSE(TempDir::exists(dir / "a"));
  // Copies: an empty source makes an empty destination; a missing one fails.
  TempDir::write(dir / "vide", "");
  EXPECT_TRUE(CDiskFile::bCopy((dir / "copie").c_str(), (dir / "vide").c_str(), &e));
  EXPECT_TRUE(TempDir::exists(dir / "copie"));
  std::string gros(5000, 'g');
  TempDir::write(dir / "gros", gros);
  EXPECT_TRUE(CDiskFile::bCopy((dir / "copie").c_str(), (dir / "gros").c_str()));
  EXPECT_EQ(TempDir::read(dir / "copie"), gros);
  EXPECT_FALSE(CDiskFile::bCopy((dir / "x").c_str(), (dir / "absent").c_str(), &e));
  EXPECT_EQ(e.nGetErrorId(0), 28125u);
  EXPECT_FALSE(TempDir::exists(dir / "x"));
  // Move replaces the destination; onto itself it does nothing.
  EXPECT_TRUE(CDiskFile::bMove((dir / "b").c_str(), (dir / "c").c_str()));
  EXPECT_EQ(TempDir::read(dir / "b"), "AAA");
  EXPECT_TRUE(CDiskFile::bMove((dir / "b").c_str(), (dir / "b").c_str()));
  EXPECT_TRUE(TempDir::exists(dir / "b"));
}

TEST(DiskFile, DirectoriesAndTrees) {
  TempDir dir;
  std::string z = dir / "x/y/z/";
  EXPECT_TRUE(CDiskFile::bCreateDirectory(z.c_str()));
  EXPECT_TRUE(CDiskFile::bIsADirectory((dir / "x/y/z").c_str()));
  EXPECT_TRUE(CDiskFile::bCreateDirectory(z.c_str())) << "an existing directory is a success";
  TempDir::write(dir / "x/f1", "1");
  TempDir::write(dir / "x/y/f2", "2");
  TempDir::write(dir / "x/y/z/f3.txt", "3");
  CXError e;
  EXPECT_FALSE(CDiskFile::bCreateDirectory((dir / "x/f1/sub").c_str(), &e));
  EXPECT_EQ(e.nGetErrorId(0), 28126u);
  // The walk visits the files of a directory before its subdirectories.
  std::vector<std::string> vus;
  auto note = [](const char* p, void* v) {
    static_cast<std::vector<std::string>*>(v)->push_back(p);
    return 1;
  };
  std::string racine = dir / "x/";
  EXPECT_TRUE(CDiskFile::bDoOnFileTree(racine.c_str(), "*", note, &vus, 0, 1));
  EXPECT_EQ(vus, (std::vector<std::string>{dir / "x/f1", dir / "x/y/f2", dir / "x/y/z/f3.txt"}));
  vus.clear();
  EXPECT_FALSE(CDiskFile::bDoOnFileTree(racine.c_str(), "*", [](const char*, void*) { return 0; }, &vus, 0, 1));
  // Purge keeps the directory, delete removes it.
  EXPECT_TRUE(CDiskFile::bPurgeTree((dir / "x/y").c_str()));
  EXPECT_TRUE(CDiskFile::bIsADirectory((dir / "x/y").c_str()));
  EXPECT_FALSE(TempDir::exists(dir / "x/y/z"));
  EXPECT_TRUE(CDiskFile::bDeleteTree((dir / "x").c_str()));
  EXPECT_FALSE(TempDir::exists(dir / "x"));
  EXPECT_FALSE(CDiskFile::bDeleteTree(""));
  EXPECT_FALSE(CDiskFile::bDeleteDirectory((dir / "x").c_str(), &e));
  EXPECT_EQ(e.nGetErrorId(0), 28127u);
}

TEST(DiskFile, NamePatterns) {
  struct Case {
    const char* nom;
    const char* filtre;
    bool accepte;
  };
  for (auto c : std::vector<Case>{{"a.TXT", "*.txt", false},
                                  {"a.txt", "*.txt", true},
                                  {"aXbYb", "a*b", true},
                                  {"aXbYc", "a*b", false},
                                  {"abcabd", "*abd", true},
                                  {"mississippi", "m*iss*ppi", true},
                                  {"mississippi", "m*iss*ppx", false},
                                  {"ab", "a?", true},
                                  {"a", "a?", false},
                                  {"abc", "a**c", true},
                                  {"", "", true},
                                  {"", "**", true},
                                  {"", "?", false},
                                  {"x", "", false},
                                  {"anything", "*", true}}) {
    EXPECT_EQ(CDiskFile::_bFiltreFileName(c.nom, c.filtre), c.accepte) << c.nom << " " << c.filtre;
  }
}

TEST(DiskFile, SearchWithAttributeMasks) {
  TempDir dir;
  TempDir::write(dir / "a.txt", "12345");
  TempDir::write(dir / ".cache.txt", "");
  TempDir::write(dir / "b.doc", "");
  ASSERT_TRUE(CDiskFile::bCreateDirectory((dir / "sub.txt").c_str()));
  auto cherche = [&](const char* filtre, DWORD requis, DWORD exclus) {
    std::vector<std::string> noms;
    _stXFINDDATA st;
    std::string f = dir / filtre;
    if (CDiskFile::bFindFirst(f.c_str(), &st, requis, exclus)) {
      do noms.push_back(st.szNom);
      while (CDiskFile::bFindNext(&st));
      CDiskFile::bFindClose(&st);
    }
    std::sort(noms.begin(), noms.end());
    return noms;
  };
  EXPECT_EQ(cherche("*.txt", 0, 0), (std::vector<std::string>{".cache.txt", "a.txt", "sub.txt"}));
  EXPECT_EQ(cherche("*.txt", 0, FA_REPERTOIRE | FA_CACHE), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(cherche("*", FA_REPERTOIRE, 0), (std::vector<std::string>{"sub.txt"}));
  EXPECT_EQ(cherche("*.none", 0, 0), (std::vector<std::string>{}));
  // A missing directory reports nothing.
  _stXFINDDATA st;
  CXError e;
  EXPECT_FALSE(CDiskFile::bFindFirst((dir / "none/*").c_str(), &st, 0, 0, &e));
  EXPECT_FALSE(e.bIsError());
  DWORD attr = 0;
  long long taille = 0;
  EXPECT_TRUE(CDiskFile::__bGetFileAttributesAndSize(&attr, &taille, (dir / "a.txt").c_str()));
  EXPECT_EQ(taille, 5);
  EXPECT_EQ(attr & 0xF000, 0x8000u);
  EXPECT_TRUE(CDiskFile::bGetFileAttributes(&attr, (dir / ".cache.txt").c_str()));
  EXPECT_TRUE(attr & FA_CACHE);
  EXPECT_TRUE(CDiskFile::bSetFileAttributes((dir / "a.txt").c_str(), 0444));
  struct stat s {};
  stat((dir / "a.txt").c_str(), &s);
  EXPECT_EQ(s.st_mode & 0777, 0444u);
  EXPECT_TRUE(CDiskFile::bSetFileAttributes((dir / "a.txt").c_str(), 0644));
  stat((dir / "a.txt").c_str(), &s);
  EXPECT_EQ(s.st_mode & 0777, 0666u);
}

TEST(DiskFile, TimesAndDosDateTimes) {
  // DOS packing against the field formula.
  _stXFILETIME t{2023, 7, 14, 13, 45, 31, 0};
  DWORD dos = 0;
  ASSERT_TRUE(CDiskFile::bSystemTimeToDosFileTime(&t, &dos));
  EXPECT_EQ(dos, ((43u << 25) | (7u << 21) | (14u << 16) | (13u << 11) | (45u << 5) | 15u));
  _stXFILETIME r{};
  ASSERT_TRUE(CDiskFile::bDosFileTimeToSystemTime(dos, &r));
  EXPECT_EQ(r.wAnnee, 2023);
  EXPECT_EQ(r.wSeconde, 30) << "two-second resolution";
  t.wAnnee = 1979;
  EXPECT_FALSE(CDiskFile::bSystemTimeToDosFileTime(&t, &dos));
  // Write and access times set, then read back in local time.
  TempDir dir;
  TempDir::write(dir / "f", "");
  _stXFILETIME ecriture{2001, 2, 3, 4, 5, 6, 0};
  ASSERT_TRUE(CDiskFile::bSetTime((dir / "f").c_str(), nullptr, &ecriture, &ecriture));
  _stXFILETIME c{}, a{}, w{};
  ASSERT_TRUE(CDiskFile::bGetTime((dir / "f").c_str(), &c, &a, &w));
  EXPECT_EQ(w.wAnnee, 2001);
  EXPECT_EQ(w.wMois, 2);
  EXPECT_EQ(w.wJour, 3);
  EXPECT_EQ(w.wHeure, 4);
  EXPECT_EQ(w.wSeconde, 6);
  EXPECT_EQ(a.wMinute, 5);
  struct stat s {};
  stat((dir / "f").c_str(), &s);
  tm loc{};
  localtime_r(&s.st_mtime, &loc);
  EXPECT_EQ(loc.tm_year + 1900, 2001);
  CXError e;
  EXPECT_FALSE(CDiskFile::bGetTime((dir / "none").c_str(), &c, &a, &w, &e));
  EXPECT_EQ(e.nGetErrorId(0), 28129u);
}

TEST(DiskFile, TemporaryNamesAndDiskSpace) {
  char rep[DISKFILE_MAX_PATH + 1];
  ASSERT_TRUE(CDiskFile::bGetTempDirectory(rep));
  EXPECT_EQ(rep[std::strlen(rep) - 1], '/');
  char nom[DISKFILE_MAX_PATH + 1];
  ASSERT_TRUE(CDiskFile::bGetTempName(nom, "kvt"));
  EXPECT_EQ(std::string(nom).rfind(std::string(rep) + "kvt", 0), 0u);
  EXPECT_TRUE(TempDir::exists(nom)) << "the name is taken by a file";
  unlink(nom);
  CXError e;
  EXPECT_FALSE(CDiskFile::bGetTempName(nom, std::string(300, 'd').c_str(), "p", &e));
  EXPECT_EQ(e.nGetErrorId(0), 28134u);
  long long total = 0, libre = 0;
  ASSERT_TRUE(CDiskFile::bGetDiskSpace("/", &total, &libre));
  struct statvfs v {};
  statvfs("/", &v);
  EXPECT_EQ(total, static_cast<long long>(v.f_bsize / 1024) * static_cast<long long>(v.f_blocks));
  EXPECT_LE(libre, total);
  EXPECT_FALSE(CDiskFile::bGetDiskSpace("/no/such/dir", &total, &libre, &e));
  EXPECT_EQ(e.nGetErrorId(0), 28138u);
}

TEST(DiskFile, StreamErrorsCarryTheirDetails) {
  TempDir dir;
  CDiskFile f;
  EXPECT_FALSE(f.bOpen((dir / "none").c_str(), IXStream::ACCESS_LECTURE, IXStream::SHARE_AUCUN,
                       IXStream::CREATE_EXISTANT, IXStream::FLAG_NORMAL, nullptr));
  CXError* e = f.pclGetXError();
  EXPECT_EQ(e->eGetErrorLevel(), 3u);
  EXPECT_EQ(e->nGetErrorId(0), 28139u);
  EXPECT_EQ(e->dwGetSystemErrorCode(), static_cast<DWORD>(ENOENT));
  EXPECT_STREQ(e->pszGetInfo(EIT_SRCFILE), (dir / "none").c_str());
  EXPECT_NE(std::string(e->pszGetDebugMessage()).find("##(IXStream)-Handle=<"), std::string::npos);
  int cree = 0;
  ASSERT_TRUE(f.bOpen((dir / "n").c_str(), IXStream::ACCESS_LECTUREECRITURE, IXStream::SHARE_ECRITURE,
                      IXStream::CREATE_SIINEXISTANT, IXStream::FLAG_NORMAL, &cree));
  EXPECT_EQ(cree, 1);
  EXPECT_EQ(f.veGetAccess(), IXStream::ACCESS_LECTUREECRITURE);
  ASSERT_TRUE(f.bWrite("ab", 2));
  char buf[8];
  EXPECT_FALSE(f.bRead(0, buf, 4, nullptr)) << "an exact read past the end";
  EXPECT_NE(std::string(e->pszGetDebugMessage()).find("A lire=<4>, lu=<2>"), std::string::npos);
  f.vbSetNameForError("shown name");
  EXPECT_FALSE(f.bRead(buf, 4));
  EXPECT_NE(std::string(e->pszGetUserMessage()).find("shown name"), std::string::npos);
  EXPECT_TRUE(f.bExtendFile(10));
  EXPECT_EQ(f.oGetSize(), 10);
  EXPECT_TRUE(f.bIncreaseSize(5));
  EXPECT_EQ(f.oGetSize(), 15);
  EXPECT_TRUE(f.bLockFileEx(1, 1));
  EXPECT_TRUE(f.bLockFileEx(0, 1));
  f.Close();
  EXPECT_FALSE(f.bIsOpen());
  EXPECT_TRUE(f.bOpen((dir / "n").c_str(), IXStream::ACCESS_LECTURE, IXStream::SHARE_AUCUN,
                      IXStream::CREATE_TRONQUE, IXStream::FLAG_NORMAL, &cree));
  EXPECT_EQ(f.oGetSize(), 0);
  // A directory opens only with the directory flag.
  EXPECT_TRUE(f.bOpen(dir.path().c_str(), IXStream::ACCESS_LECTURE, IXStream::SHARE_ECRITURE,
                      IXStream::CREATE_EXISTANT, IXStream::FLAG_REPERTOIRE, nullptr));
}

TEST(DiskFile, StreamLineReaders) {
  TempDir dir;
  TempDir::write(dir / "f", "one\rtwo\r\nthree\nfour");
  CDiskFile f;
  ASSERT_TRUE(f.bOpen((dir / "f").c_str(), IXStream::ACCESS_LECTURE, IXStream::SHARE_AUCUN,
                      IXStream::CREATE_EXISTANT, IXStream::FLAG_NORMAL, nullptr));
  // pszReadLine ends lines at CR, CR LF or LF, and overflows into the CTString.
  char petit[4];
  CTString debord;
  std::vector<std::string> lignes;
  while (const char* p = f.pszReadLine(petit, sizeof petit, &debord, nullptr)) lignes.push_back(p);
  EXPECT_EQ(lignes, (std::vector<std::string>{"one", "two", "three", "four"}));
  // bReadLine: CR with the byte after it, or LF; option 1: only CR LF.
  char buf[64];
  BOOL suite = 0;
  ASSERT_TRUE(f.bSeek(0, IXStream::SEEK_DEBUT));
  lignes.clear();
  while (f.bReadLine(buf, sizeof buf, &suite, 0)) lignes.push_back(buf);
  EXPECT_EQ(lignes, (std::vector<std::string>{"one", "wo", "three", "four"}));
  ASSERT_TRUE(f.bSeek(0, IXStream::SEEK_DEBUT));
  lignes.clear();
  while (f.bReadLine(buf, sizeof buf, &suite, 1)) lignes.push_back(buf);
  EXPECT_EQ(lignes, (std::vector<std::string>{"one\rtwo", "three\nfour"}));
  ASSERT_TRUE(f.bSeek(0, IXStream::SEEK_DEBUT));
  ASSERT_TRUE(f.bReadLine(buf, 3, &suite, 0));
  EXPECT_STREQ(buf, "on");
  EXPECT_TRUE(suite);
  EXPECT_EQ(f.oGetOffset(), 2);
}

}  // namespace
