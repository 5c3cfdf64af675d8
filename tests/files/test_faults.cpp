// Every writer under injected failures: each write-side system call of the
// library fails in turn (1st, 2nd, ... until the writer no longer reaches
// the failing call) with ENOSPC, EIO and EFBIG; then each allocation of the
// codecs and the coded buffer fails in turn. Then the real thing: a small
// file system filled up (as root), and an ordinary user facing read-only
// files or a read-only folder. A writer hit by a failure
// reports it and leaves the directory exactly as it was: the source
// unchanged, the destination with its old contents or still absent, no
// temporary file. It may report success only when it took the failure
// back (a retry it makes on purpose) and left exactly what an undisturbed run
// leaves. Leaks are the sanitizer build's to find.
#include <gtest/gtest.h>
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "LibShop.h"
#include "SmallDisk.h"
#include "TempDir.h"
#include "abi/TypesVX.h"
#include "compression/KVBuffer.h"
#include "core/Allocation.h"
#include "core/VXDSTR.h"
#include "files/AppelsSysteme.h"
#include "files/DiskFile.h"
#include "frame/Standard.h"
#include "memlists/MemStock.h"

namespace {

constexpr int foLectureEcriture = 3;

std::string Aleatoire(std::size_t n, unsigned graine) {
  std::mt19937 g(graine);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(g() % 7 == 0 ? g() : 'a' + g() % 4);
  return s;
}

// Every file under a directory with its mode and contents (directories as "/").
void Releve(const std::string& rep, const std::string& prefixe, std::map<std::string, std::string>* p) {
  DIR* d = opendir(rep.c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    const std::string chemin = rep + "/" + n;
    struct stat st {};
    lstat(chemin.c_str(), &st);
    // The permissions first: a writer changes none unless it succeeds.
    char szMode[8];
    std::snprintf(szMode, sizeof szMode, "%04o:", static_cast<unsigned>(st.st_mode & 07777));
    if (S_ISDIR(st.st_mode)) {
      (*p)[prefixe + n] = std::string(szMode) + "/";
      Releve(chemin, prefixe + n + "/", p);
    } else {
      (*p)[prefixe + n] = szMode + TempDir::read(chemin);
    }
  }
  closedir(d);
}

// The directory's files; its own path inside contents (a compacted file
// stores its source's name) is written "@", so two directories compare.
std::map<std::string, std::string> Etat(const TempDir& dir) {
  std::map<std::string, std::string> m;
  Releve(dir.path(), "", &m);
  for (auto& [nom, contenu] : m) {
    for (std::size_t i; (i = contenu.find(dir.path())) != std::string::npos;) contenu.replace(i, dir.path().size(), "@");
  }
  return m;
}

// What changed between two states: the names added, removed or rewritten.
std::string Difference(const std::map<std::string, std::string>& avant,
                       const std::map<std::string, std::string>& apres) {
  std::string s;
  for (const auto& [nom, contenu] : avant) {
    auto it = apres.find(nom);
    if (it == apres.end()) s += " removed " + nom;
    else if (it->second != contenu) s += " changed " + nom + " (" + std::to_string(contenu.size()) + " -> " +
                                         std::to_string(it->second.size()) + " bytes)";
  }
  for (const auto& [nom, contenu] : apres) {
    if (avant.count(nom) == 0) s += " added " + nom;
  }
  return s;
}

// One writer: what it needs in a fresh directory, and the call (true when
// it reported success).
struct Ecrivain {
  const char* nom;
  std::function<void(const TempDir&)> prepare;
  std::function<bool(const TempDir&)> ecrit;
  // When the writer may end a success in more than one right way: checks
  // the result (otherwise it must equal an undisturbed run's).
  std::function<bool(const TempDir&)> valide = nullptr;
};

class Faults : public ::testing::Test {
protected:
  kvhost::LibShop shop{KV_LIBRARY_PATH};
  CComposanteStandard* pcl = nullptr;
  stCTXMEM ctx;

  void SetUp() override {
    pcl = new CComposanteStandard;
    pcl->SetLibShop(&shop);
    ASSERT_TRUE(pcl->bFinInit());
    MEM_InitModule(&ctx);
  }
  void TearDown() override {
    SYS_Desarme();
    KV_DesarmeAllocation();
    MEM_FinModule(&ctx);
    pcl->TermCompo();
    pcl->Release();
  }

  std::vector<Ecrivain> Ecrivains();
  // The writer once per failing position; returns the positions tried.
  int Essaie(const Ecrivain& e, const std::function<void(int)>& arme, const std::function<int()>& echecs,
             const char* quoi);
};

std::vector<Ecrivain> Faults::Ecrivains() {
  const std::string gros = Aleatoire(150000, 3);
  auto source = [gros](const TempDir& d) { TempDir::write(d / "src", gros); };
  auto sourceEtAncien = [gros](const TempDir& d) {
    TempDir::write(d / "src", gros);
    TempDir::write(d / "dst", "OLD");
  };
  auto texte = [](const std::string& s) {
    auto p = std::make_shared<CVXDSTR>();
    p->nAssign(s.data(), static_cast<DWORD>(s.size()));
    return p;
  };
  CComposanteStandard* c = pcl;
  stCTXMEM* pctx = &ctx;
  return {
      {"fSauveTexte new", nullptr,
       [c, texte, gros](const TempDir& d) {
         auto v = texte(gros);
         STManipAUB st{v->pGetData(), static_cast<WORD>(VXT_CHAINE)};
         return c->fSauveTexte((d / "dst").c_str(), &st);
       }},
      {"fSauveTexte over", [](const TempDir& d) { TempDir::write(d / "dst", "OLD"); },
       [c, texte, gros](const TempDir& d) {
         auto v = texte(gros);
         STManipAUB st{v->pGetData(), static_cast<WORD>(VXT_CHAINE)};
         return c->fSauveTexte((d / "dst").c_str(), &st);
       }},
      {"fCopieFichier", sourceEtAncien,
       [c](const TempDir& d) { return c->fCopieFichier((d / "src").c_str(), (d / "dst").c_str(), 0); }},
      {"fCopieFichier into a new directory", source,
       [c](const TempDir& d) { return c->fCopieFichier((d / "src").c_str(), (d / "new/sub/").c_str(), 0); }},
      {"fCompacte", sourceEtAncien,
       [c](const TempDir& d) { return c->fCompacte((d / "src").c_str(), (d / "dst").c_str()) == 0; }},
      {"fCompacte in place", source,
       [c](const TempDir& d) { return c->fCompacte((d / "src").c_str(), (d / "./src").c_str()) == 0; }},
      {"fDecompacte",
       [c, sourceEtAncien](const TempDir& d) {
         sourceEtAncien(d);
         ASSERT_EQ(c->fCompacte((d / "src").c_str(), (d / "src.cmp").c_str()), 0);
       },
       [c](const TempDir& d) { return c->fDecompacte((d / "src.cmp").c_str(), (d / "dst").c_str(), 0) == 0; }},
      {"fCrypte", sourceEtAncien,
       [c](const TempDir& d) { return c->fCrypteEncode((d / "src").c_str(), (d / "dst").c_str(), "pw", 2, 0); }},
      {"fDecrypte",
       [c, sourceEtAncien](const TempDir& d) {
         sourceEtAncien(d);
         ASSERT_TRUE(c->fCrypteEncode((d / "src").c_str(), (d / "src.cry").c_str(), "pw", 1, 0));
       },
       [c](const TempDir& d) {
         return c->fDecrypteDecode((d / "src.cry").c_str(), (d / "dst").c_str(), "pw", 1, 0);
       }},
      {"fEncode", sourceEtAncien,
       [c](const TempDir& d) { return c->fCrypteEncode((d / "src").c_str(), (d / "dst").c_str(), "", 0, 3); }},
      {"fDecode",
       [c, sourceEtAncien](const TempDir& d) {
         sourceEtAncien(d);
         ASSERT_TRUE(c->fCrypteEncode((d / "src").c_str(), (d / "src.b64").c_str(), "", 0, 2));
       },
       [c](const TempDir& d) {
         return c->fDecrypteDecode((d / "src.b64").c_str(), (d / "dst").c_str(), "", 0, 2);
       }},
      {"fCrypte then fEncode", sourceEtAncien,
       [c](const TempDir& d) { return c->fCrypteEncode((d / "src").c_str(), (d / "dst").c_str(), "pw", 3, 1); }},
      {"fEcrit", [](const TempDir& d) { TempDir::write(d / "dst", "OLD"); },
       [c, texte](const TempDir& d) {
         const int h = c->fOuvre((d / "dst").c_str(), foLectureEcriture);
         if (h < 0) return false;
         c->fPositionne(h, 0, 2);
         auto v = texte("more");
         STManipAUB st{v->pGetData(), static_cast<WORD>(VXT_CHAINE)};
         const bool b = c->fEcrit(h, &st, -1) == 4;
         c->fFerme(h);
         return b;
       }},
      {"fEcritLigne", [](const TempDir& d) { TempDir::write(d / "dst", "OLD"); },
       [c, texte](const TempDir& d) {
         const int h = c->fOuvre((d / "dst").c_str(), foLectureEcriture);
         if (h < 0) return false;
         c->fPositionne(h, 0, 2);
         const bool b = c->fEcritLigne(h, texte("line").get());
         c->fFerme(h);
         return b;
       }},
      {"fRenomme", source, [c](const TempDir& d) { return c->fRenomme((d / "src").c_str(), (d / "dst").c_str()); }},
      {"fDeplaceFichier",
       [source](const TempDir& d) {
         source(d);
         mkdir((d / "sub").c_str(), 0755);
       },
       [c](const TempDir& d) { return c->fRenomme((d / "src").c_str(), (d / "sub/dst").c_str()); }},
      {"fRepCopie",
       [](const TempDir& d) {
         mkdir((d / "rep").c_str(), 0755);
         TempDir::write(d / "rep/a", "A");
       },
       [c](const TempDir& d) { return c->fRepCopie((d / "rep").c_str(), (d / "x/copy").c_str(), 1); }},
      {"fRepCopie over an older copy",
       [gros](const TempDir& d) {
         mkdir((d / "rep").c_str(), 0755);
         mkdir((d / "rep/sub").c_str(), 0755);
         TempDir::write(d / "rep/a", gros);
         TempDir::write(d / "rep/b", "B");
         TempDir::write(d / "rep/sub/c", "C");
         mkdir((d / "copy").c_str(), 0755);
         TempDir::write(d / "copy/a", "OLD A");
         TempDir::write(d / "copy/b", "OLD B");
       },
       [c](const TempDir& d) { return c->fRepCopie((d / "rep").c_str(), (d / "copy").c_str(), 1); }},
      {"fCopieFichier of a pattern over older files",
       [gros](const TempDir& d) {
         mkdir((d / "rep").c_str(), 0755);
         TempDir::write(d / "rep/a.bin", gros);
         TempDir::write(d / "rep/b.bin", "B");
         mkdir((d / "out").c_str(), 0755);
         TempDir::write(d / "out/a.bin", "OLD A");
       },
       [c](const TempDir& d) { return c->fCopieFichier((d / "rep/*.bin").c_str(), (d / "out").c_str(), 0); }},
      {"fRepDeplace",
       [](const TempDir& d) {
         mkdir((d / "rep").c_str(), 0755);
         TempDir::write(d / "rep/a", "A");
       },
       [c](const TempDir& d) { return c->fRepDeplace((d / "rep").c_str(), (d / "moved").c_str(), 1); }},
      {"INIEcrit new file", nullptr,
       [c](const TempDir& d) { return c->INIEcrit("S", "k", "v", (d / "f.ini").c_str()); }},
      {"INIEcrit", [](const TempDir& d) { TempDir::write(d / "f.ini", "[S]\nk = old\n[T]\nx = 1\n"); },
       [c](const TempDir& d) { return c->INIEcrit("S", "k", "new", (d / "f.ini").c_str()); }},
      {"memory list spill file", nullptr,
       [pctx](const TempDir& d) {
         // No extension of the first area: the second element spills. A
         // failure leaves the list as it was, every element readable.
         pctx->nMaxExtensionsListe = 0;
         pctx->sRepertoireTemp = d.path();
         stCTXMEMCOMPO vue;  // a component's view of the lists
         MEM_Attache(pctx, &vue);
         _stBUFFERMEM* pl = MEM_pstCree(&vue, "L");
         STValeurMem cle{'B', "k"}, grand{'B', std::string(40000, 'x')};
         bool b = true;
         int nAttendu = 0;
         for (int i = 0; i < 4 && b; ++i) {
           b = MEM_bAjoute(pctx, pl, cle, grand);
           nAttendu += b ? 1 : 0;
         }
         EXPECT_EQ(pl->nOccurrence(), nAttendu);
         for (int i = 1; i <= nAttendu; ++i) {
           STEnregMem e;
           EXPECT_TRUE(MEM_bLit(&vue, pl, i, &e) && e.valeur.octets == grand.octets) << i;
         }
         // Removing the list is not the writer under test.
         SYS_Desarme();
         MEM_Supprime(pctx, pl);
         MEM_Detache(pctx, &vue);
         return b;
       }},
      {"part of a file extracted to another", sourceEtAncien,
       [](const TempDir& d) {
         CDiskFile f;
         return f.bOpen((d / "src").c_str(), IXStream::ACCESS_LECTURE, IXStream::SHARE_AUCUN,
                        IXStream::CREATE_EXISTANT, IXStream::FLAG_NORMAL, nullptr) &&
                f.bExtract((d / "dst").c_str(), 10, 100000);
       }},
      {"coded buffer to file", [](const TempDir& d) { TempDir::write(d / "dst", "OLD"); },
       [](const TempDir& d) {
         CKVBuffer buffer(BUFFER_CRYPT_RAPIDE, BUFFER_PACK_LZW, 0, 100, "pw");
         const std::string s = Aleatoire(30000, 5);
         if (!buffer.Set(s.data(), static_cast<DWORD>(s.size()))) return false;
         CDiskFile f;
         if (!f.bOpen((d / "dst").c_str(), IXStream::ACCESS_LECTUREECRITURE, IXStream::SHARE_AUCUN,
                      IXStream::CREATE_EXISTANT, IXStream::FLAG_NORMAL, nullptr))
           return false;
         DWORD n = 0;
         return buffer.bToFile(&f, 3, &n);
       },
       // Packing short of memory stores the bytes as they are: still a
       // coded buffer that reads back.
       [](const TempDir& d) {
         const std::string octets = TempDir::read(d / "dst");
         CKVBuffer relu(BUFFER_CRYPT_RAPIDE, BUFFER_PACK_LZW, 0, 100, "pw");
         if (octets.compare(0, 3, "OLD") != 0 || !relu.SetCodedData(octets.data() + 3, octets.size() - 3)) return false;
         const std::string s = Aleatoire(30000, 5);
         return relu.dwGetUncodedSize() == s.size() && std::memcmp(relu.pbyGetUncodedBuffer(), s.data(), s.size()) == 0;
       }},
  };
}

int Faults::Essaie(const Ecrivain& e, const std::function<void(int)>& arme, const std::function<int()>& echecs,
                   const char* quoi) {
  // What the writer leaves when nothing fails.
  std::map<std::string, std::string> reussite;
  {
    TempDir dir;
    if (e.prepare) e.prepare(dir);
    EXPECT_TRUE(e.ecrit(dir)) << e.nom << " fails without an injected failure";
    reussite = Etat(dir);
  }
  for (int n = 1; n < 200; ++n) {
    SCOPED_TRACE(std::string(e.nom) + ", " + quoi + " " + std::to_string(n));
    TempDir dir;
    if (e.prepare) e.prepare(dir);
    const auto avant = Etat(dir);
    arme(n);
    const bool b = e.ecrit(dir);
    const int nEchecs = echecs();
    SYS_Desarme();
    KV_DesarmeAllocation();
    if (nEchecs == 0) {
      EXPECT_TRUE(b) << "fails without an injected failure";
      return n;
    }
    // Success only when the failed call was taken back (a retry, an
    // allocation made again later) and the work is whole; failure leaves
    // everything as it was.
    if (b && e.valide) {
      EXPECT_TRUE(e.valide(dir)) << "success reported";
    } else {
      EXPECT_EQ(Difference(b ? reussite : avant, Etat(dir)), "") << (b ? "success reported" : "failure reported");
    }
    if (::testing::Test::HasFailure()) return n;
  }
  ADD_FAILURE() << e.nom << ": still failing after 200 positions";
  return 0;
}

TEST_F(Faults, EveryWriterUnderFailingSystemCalls) {
  for (const auto& e : Ecrivains()) {
    for (int nErreur : {ENOSPC, EIO, EFBIG}) {
      const int n = Essaie(
          e, [nErreur](int i) { SYS_Arme(i, false, nErreur); }, [] { return SYS_nEchecs(); }, strerror(nErreur));
      if (HasFailure()) return;
      // Every writer changes the disk: at least one call was failed.
      if (std::string(e.nom) != "fRepDeplace") {
        EXPECT_GT(n, 1) << e.nom;
      }
    }
  }
}

TEST_F(Faults, EveryWriterUnderFailingAllocations) {
  for (const auto& e : Ecrivains()) {
    Essaie(e, [](int i) { KV_ArmeAllocation(i); }, [] { return KV_nEchecsAllocation(); }, "allocation");
    if (HasFailure()) return;
  }
}

// A really full disk: a small tmpfs filled up to no room, a little or some
// before the call. A writer that does not fit fails, leaves the files as
// they were and gives back every byte it took.
TEST_F(Faults, EveryWriterOnAFullDisk) {
  for (const auto& e : Ecrivains()) {
    // A coded buffer is written into an open stream in place: the part that
    // reached the disk before it filled stays there, as with write().
    const std::string nom = e.nom;
    if (nom == "coded buffer to file") continue;
    std::map<std::string, std::string> reussite;
    {
      TempDir dir;
      if (e.prepare) e.prepare(dir);
      ASSERT_TRUE(e.ecrit(dir)) << e.nom;
      reussite = Etat(dir);
    }
    for (long long nReste : {0LL, 8192LL, 65536LL}) {
      SCOPED_TRACE(std::string(e.nom) + ", " + std::to_string(nReste) + " bytes free");
      SmallDisk disque(1024);
      if (!disque.unavailable().empty()) GTEST_SKIP() << disque.unavailable();
      if (e.prepare) e.prepare(disque.dir());
      disque.fill(".plein", nReste);
      auto avant = Etat(disque.dir());
      const long long nLibre = disque.free();
      const bool b = e.ecrit(disque.dir());
      auto apres = Etat(disque.dir());
      avant.erase(".plein");
      apres.erase(".plein");
      if (b && e.valide) {
        EXPECT_TRUE(e.valide(disque.dir())) << "success reported";
      } else {
        EXPECT_EQ(Difference(b ? reussite : avant, apres), "") << (b ? "success reported" : "failure reported");
      }
      if (!b) {
        EXPECT_EQ(disque.free(), nLibre) << "space not given back";
      }
      if (HasFailure()) return;
    }
  }
}

// An ordinary user ("nobody") whose folder holds read-only files, or whose
// folder is read-only: each writer succeeds as it would for root, or fails
// leaving every file, and every mode, as it was.
TEST_F(Faults, EveryWriterWithoutPermission) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  // Everything to nobody; files (or the folder itself) lose their write bits.
  static bool s_bDossier;
  auto restreint = [](const TempDir& d, bool bDossier) {
    s_bDossier = bDossier;
    nftw(d.path().c_str(),
         [](const char* p, const struct stat* st, int, FTW* ftw) {
           if (chown(p, 65534, 65534) != 0) return 1;
           if (S_ISDIR(st->st_mode)) return chmod(p, ftw->level == 0 ? (s_bDossier ? 0555 : 0755) : 0755);
           return s_bDossier ? 0 : chmod(p, st->st_mode & 07555);
         },
         16, FTW_PHYS);
  };
  for (const auto& e : Ecrivains()) {
    for (bool bDossier : {false, true}) {
      SCOPED_TRACE(std::string(e.nom) + (bDossier ? ", read-only folder" : ", read-only files"));
      // Root is not held back: its run is the success to compare with.
      std::map<std::string, std::string> reussite;
      {
        TempDir dir;
        if (e.prepare) e.prepare(dir);
        restreint(dir, bDossier);
        ASSERT_TRUE(e.ecrit(dir));
        chmod(dir.path().c_str(), 0700);
        reussite = Etat(dir);
      }
      TempDir dir;
      if (e.prepare) e.prepare(dir);
      restreint(dir, bDossier);
      const auto avant = Etat(dir);
      const int nStatut = AsNobody([&] { return e.ecrit(dir) ? 1 : 0; });
      ASSERT_TRUE(nStatut == 0 || nStatut == 1) << nStatut;
      const bool b = nStatut == 1;
      chmod(dir.path().c_str(), 0700);
      auto apres = Etat(dir);
      if (b && e.valide) {
        EXPECT_TRUE(e.valide(dir)) << "success reported";
      } else {
        auto attendu = b ? reussite : avant;
        EXPECT_EQ(Difference(attendu, apres), "") << (b ? "success reported" : "failure reported");
      }
      if (HasFailure()) return;
    }
  }
}

// The codecs and the coded buffer in memory: a failed allocation is a
// reported failure, never a crash, and the data round-trips once the
// allocations succeed.
TEST_F(Faults, CodedBufferUnderFailingAllocations) {
  const std::string s = Aleatoire(20000, 9);
  for (auto pack : {BUFFER_PACK_LZW, BUFFER_PACK_CHAINECOURTE}) {
    for (int n = 1;; ++n) {
      ASSERT_LT(n, 200);
      KV_ArmeAllocation(n);
      bool b = false;
      {
        CKVBuffer buffer(BUFFER_CRYPT_RAPIDE, pack, 0, 100, "pw");
        if (buffer.Set(s.data(), static_cast<DWORD>(s.size())) && buffer.dwGetCodedSize() > 0) {
          CKVBuffer copie(buffer);
          b = copie.dwGetUncodedSize() == s.size() && copie.pbyGetUncodedBuffer() != nullptr &&
              std::memcmp(copie.pbyGetUncodedBuffer(), s.data(), s.size()) == 0;
        }
      }
      const int nEchecs = KV_nEchecsAllocation();
      KV_DesarmeAllocation();
      if (nEchecs == 0) {
        EXPECT_TRUE(b) << n;
        break;
      }
    }
  }
}

}  // namespace
