// File compaction: the "-lh5-" streaming coder (round trips in pieces,
// damaged input, and Debian's lhasa extracting our streams wrapped in an
// LHA header), the container and the old LZW format through the library's
// internals, and the language functions through the stand-in VM.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "compression/Compacte.h"
#include "compression/Lh5.h"
#include "files/TempDir.h"
#include "support/HostTest.h"

namespace {

using Octets = std::string;

// ---------------------------------------------------------------- inputs

Octets Aleatoire(std::size_t n, unsigned graine) {
  std::mt19937 g(graine);
  Octets s(n, '\0');
  for (auto& c : s) c = static_cast<char>(g());
  return s;
}

Octets Texte(std::size_t n) {
  static const char* mots[] = {"compactage ", "fichier ", "de ", "la ", "dictionnaire ", "Huffman ",
                               "bloc\n", "fenêtre ", "glissante ", "8192 ", "octets, "};
  std::mt19937 g(7);
  Octets s;
  while (s.size() < n) s += mots[g() % 11];
  s.resize(n);
  return s;
}

// Text with long exact repeats (matches of 256 bytes and overlapping ones).
Octets Repetitif(std::size_t n) {
  Octets motif = Aleatoire(300, 3);
  Octets s;
  while (s.size() < n) s += (s.size() / 300) % 3 == 0 ? motif : motif.substr(0, 200) + Octets(77, 'z');
  s.resize(n);
  return s;
}

struct Cas {
  const char* nom;
  Octets donnees;
};

std::vector<Cas> Cas() {
  return {
      {"vide", ""},
      {"un octet", "x"},
      {"deux octets", "xy"},
      {"un octet répété", Octets(100000, 'a')},
      {"texte", Texte(50000)},
      {"aléatoire", Aleatoire(70000, 1)},
      {"plusieurs blocs", Texte(300000) + Aleatoire(5000, 9) + Texte(100000)},
      {"répétitif", Repetitif(200000)},
      {"bord de fenêtre", Texte(8192 * 2 + 256 - 1)},
      {"bord de fenêtre + 1", Texte(8192 * 2 + 257)},
      // The coder's text moves down by 64 KiB once 8 KiB + 64 KiB are
      // behind it, with 2 x 256 + 1 bytes of look-ahead.
      {"texte qui glisse", Texte(8192 + 65536 + 513)},
      {"répétitif qui glisse", Repetitif(8192 + 65536 + 514)},
  };
}

// ---------------------------------------------------------------- coder

// Codes in pieces of the given sizes (input and output), cycling.
Octets Code(const Octets& in, std::size_t nMorceauEntree, std::size_t nMorceauSortie) {
  CLh5Encodeur e;
  EXPECT_TRUE(e.bDemarre());
  Octets out;
  STLh5Flux f;
  std::size_t nDonne = 0;
  std::vector<BYTE> tampon(nMorceauSortie);
  for (int tours = 0; tours < 10000000; tours++) {
    if (f.nEntree == 0 && nDonne < in.size()) {
      const std::size_t n = std::min(nMorceauEntree, in.size() - nDonne);
      f.pEntree = reinterpret_cast<const BYTE*>(in.data()) + nDonne;
      f.nEntree = static_cast<DWORD>(n);
      nDonne += n;
    }
    f.pSortie = tampon.data();
    f.nSortie = static_cast<DWORD>(tampon.size());
    const int r = e.nCode(f, nDonne == in.size());
    out.append(reinterpret_cast<char*>(tampon.data()), tampon.size() - f.nSortie);
    if (r == LH5_FIN) break;
    EXPECT_EQ(r, LH5_OK);
    if (r != LH5_OK) break;
  }
  EXPECT_EQ(f.qTotalEntree, in.size());
  EXPECT_EQ(f.qTotalSortie, out.size());
  return out;
}

// Decodes qTaille bytes in pieces; the status of the last step.
int Decode(const Octets& in, QWORD qTaille, std::size_t nMorceauEntree, std::size_t nMorceauSortie, Octets* pOut) {
  CLh5Decodeur d;
  EXPECT_TRUE(d.bDemarre(qTaille));
  STLh5Flux f;
  std::size_t nDonne = 0;
  std::vector<BYTE> tampon(nMorceauSortie);
  pOut->clear();
  for (;;) {
    if (f.nEntree == 0 && nDonne < in.size()) {
      const std::size_t n = std::min(nMorceauEntree, in.size() - nDonne);
      f.pEntree = reinterpret_cast<const BYTE*>(in.data()) + nDonne;
      f.nEntree = static_cast<DWORD>(n);
      nDonne += n;
    }
    f.pSortie = tampon.data();
    f.nSortie = static_cast<DWORD>(tampon.size());
    const int r = d.nDecode(f, nDonne == in.size());
    pOut->append(reinterpret_cast<char*>(tampon.data()), tampon.size() - f.nSortie);
    if (pOut->size() > qTaille) ADD_FAILURE() << "more output than asked for";
    if (r != LH5_OK) return r;
  }
}

TEST(Lh5, RoundTripsInAnyPieces) {
  for (const auto& c : Cas()) {
    const Octets code = Code(c.donnees, 1 << 20, 1 << 20);
    // The stream depends on the bytes only, not on how they arrive.
    EXPECT_EQ(Code(c.donnees, 1, 7), code) << c.nom;
    EXPECT_EQ(Code(c.donnees, 4999, 1), code) << c.nom;
    Octets retour;
    EXPECT_EQ(Decode(code, c.donnees.size(), 1 << 20, 1 << 20, &retour), LH5_FIN) << c.nom;
    EXPECT_TRUE(retour == c.donnees) << c.nom;
    EXPECT_EQ(Decode(code, c.donnees.size(), 1, 3, &retour), LH5_FIN) << c.nom;
    EXPECT_TRUE(retour == c.donnees) << c.nom;
    if (c.donnees.size() > 1000) {
      EXPECT_LT(code.size(), c.donnees.size() + c.donnees.size() / 50 + 64) << c.nom;
    }
  }
  // Compression that matters where there is something to find.
  EXPECT_LT(Code(Octets(100000, 'a'), 1 << 20, 1 << 20).size(), 200u);
  EXPECT_LT(Code(Texte(50000), 1 << 20, 1 << 20).size(), 50000u / 3);
}

TEST(Lh5, ManySizes) {
  const Octets base = Texte(3000) + Aleatoire(3000, 5) + Repetitif(30000);
  for (std::size_t n = 0; n < base.size(); n = n * 3 / 2 + 1) {
    const Octets in = base.substr(0, n);
    Octets retour;
    ASSERT_EQ(Decode(Code(in, 1000, 1000), n, 333, 4096, &retour), LH5_FIN) << n;
    ASSERT_TRUE(retour == in) << n;
  }
}

TEST(Lh5, DecodingStopsAtTheCountAskedFor) {
  const Octets in = Octets(5000, 'q');
  const Octets code = Code(in, 1 << 20, 1 << 20);
  Octets retour;
  // A final piece shorter than the data: the pending match is left unused.
  EXPECT_EQ(Decode(code, 1234, 1 << 20, 1 << 20, &retour), LH5_FIN);
  EXPECT_EQ(retour, in.substr(0, 1234));
}

TEST(Lh5, DamagedOrTruncatedInputIsAnError) {
  const Octets in = Texte(20000) + Aleatoire(2000, 4);
  const Octets code = Code(in, 1 << 20, 1 << 20);
  Octets retour;
  // Every cut, however small, ends in an error rather than in made-up bytes.
  for (std::size_t nCoupe : {std::size_t{1}, std::size_t{2}, std::size_t{100}, code.size() / 2, code.size() - 1}) {
    EXPECT_EQ(Decode(code.substr(0, code.size() - nCoupe), in.size(), 1 << 20, 1 << 20, &retour),
              LH5_ERREUR_DONNEES)
        << nCoupe;
  }
  EXPECT_EQ(Decode("", 10, 1, 1, &retour), LH5_ERREUR_DONNEES);
  // Garbage and flipped bits: an error or some bytes, never more than asked.
  std::mt19937 g(11);
  for (int i = 0; i < 300; i++) {
    Octets abime = i < 150 ? code : Aleatoire(200 + g() % 3000, g());
    if (i < 150) abime[g() % abime.size()] ^= static_cast<char>(1 << (g() % 8));
    const int r = Decode(abime, in.size(), 1 << 20, 1 << 20, &retour);
    EXPECT_TRUE(r == LH5_FIN || r == LH5_ERREUR_DONNEES);
    if (r == LH5_FIN) {
      EXPECT_EQ(retour.size(), in.size());
    }
  }
}

// Bytes from a string of '0' and '1', the last byte padded with zeros.
Octets Bits(std::string bits) {
  bits.resize((bits.size() + 7) / 8 * 8, '0');
  Octets s;
  for (std::size_t i = 0; i < bits.size(); i += 8) s += static_cast<char>(std::stoi(bits.substr(i, 8), nullptr, 2));
  return s;
}

TEST(Lh5, HandBuiltStreams) {
  // Fields: block size (16 bits) | T count (5), then the single T symbol
  // (5) | C count (9), then the single C symbol (9) | P count (4), then the
  // single P symbol (4). Single-symbol codes take no bits per code.
  Octets retour;
  EXPECT_EQ(Decode(Bits("0000000000000011" "00000" "00000" "000000000" "001011010" "0000" "0000"), 3, 64, 64,
                   &retour),
            LH5_FIN);
  EXPECT_EQ(retour, "ZZZ");
  // Length code 256 (3 bytes) at distance 0 before anything was written:
  // the window starts filled with spaces.
  EXPECT_EQ(Decode(Bits("0000000000000001" "00000" "00000" "000000000" "100000000" "0000" "0000"), 3, 64, 64,
                   &retour),
            LH5_FIN);
  EXPECT_EQ(retour, "   ");
  // T given as the single symbol 3 makes every C length 1: 67 codes of one
  // bit are not a code, and the block is refused.
  EXPECT_EQ(Decode(Bits("0000000000000010" "00000" "00011" "001000011" "0000" "0000"), 2, 64, 64, &retour),
            LH5_ERREUR_DONNEES);
  // Single symbols out of their alphabets: C 510, P 14, T 19.
  for (const char* b : {"0000000000000001" "00000" "00000" "000000000" "111111110" "0000" "0000",
                        "0000000000000001" "00000" "00000" "000000000" "001011010" "0000" "1110",
                        "0000000000000001" "00000" "10011"}) {
    EXPECT_EQ(Decode(Bits(b), 1, 64, 64, &retour), LH5_ERREUR_DONNEES) << b;
  }
}

TEST(Lh5, Crc16Arc) {
  // Known check value of CRC-16/ARC.
  CCrc16Arc c;
  c.Ajoute(reinterpret_cast<const BYTE*>("123456789"), 9);
  EXPECT_EQ(c.wValeur(), 0xBB3D);
  // Against the bit-at-a-time division, over lengths around the 16-byte
  // steps, the data given in one piece or cut in two anywhere.
  std::mt19937 g(16);
  std::vector<BYTE> d(100);
  for (auto& b : d) b = static_cast<BYTE>(g());
  for (std::size_t n = 0; n <= d.size(); n++) {
    unsigned bits = 0;
    for (std::size_t i = 0; i < n; i++) {
      bits ^= d[i];
      for (int k = 0; k < 8; k++) bits = (bits & 1) ? (bits >> 1) ^ 0xA001u : bits >> 1;
    }
    for (std::size_t coupe = 0; coupe <= n; coupe += n < 40 ? 1 : 13) {
      CCrc16Arc crc;
      crc.Ajoute(d.data(), coupe);
      crc.Ajoute(d.data() + coupe, n - coupe);
      ASSERT_EQ(crc.wValeur(), bits) << "length " << n << " cut " << coupe;
    }
  }
}

// ------------------------------------------------- oracle: Debian's lhasa

bool bLhaPresent() { return std::system("command -v lha >/dev/null 2>&1") == 0; }

void Le32(Octets& s, DWORD v) {
  for (int i = 0; i < 4; i++) s += static_cast<char>(v >> (8 * i));
}

// A level-0 LHA entry holding our coded (or, with "-lh0-", stored) data,
// followed by the archive's end byte.
Octets ArchiveLha(const Octets& donnees, const Octets& code, const char* nom, const Octets& methode = "-lh5-") {
  CCrc16Arc crc;
  crc.Ajoute(reinterpret_cast<const BYTE*>(donnees.data()), donnees.size());
  Octets h = methode;
  Le32(h, static_cast<DWORD>(code.size()));
  Le32(h, static_cast<DWORD>(donnees.size()));
  Le32(h, 0x5A210000);  // DOS time: 2025-01-01 00:00
  h += '\x20';          // attribute
  h += '\0';            // level 0
  h += static_cast<char>(std::strlen(nom));
  h += nom;
  h += static_cast<char>(crc.wValeur() & 0xFF);
  h += static_cast<char>(crc.wValeur() >> 8);
  unsigned somme = 0;
  for (unsigned char c : h) somme += c;
  Octets a;
  a += static_cast<char>(h.size());
  a += static_cast<char>(somme & 0xFF);
  return a + h + code + Octets(1, '\0');
}

// The entry of a file compacted by nfCompacte, rewrapped as an LHA entry:
// the method and the data are taken from our header as they are, so that
// the peer reads what fCompacte wrote ("-lh5-" or "-lh0-").
Octets ArchiveDuConteneur(const TempDir& dir, const Octets& donnees, const char* nom, Octets* pMethode) {
  TempDir::write(dir / "conteneur.in", donnees);
  EXPECT_EQ(nfCompacte((dir / "conteneur.in").c_str(), (dir / "conteneur.kvc").c_str()), 0);
  const Octets c = TempDir::read(dir / "conteneur.kvc");
  if (c.size() < 291) {
    ADD_FAILURE() << "no header in " << c.size() << " bytes";
    return "";
  }
  auto le32 = [&](std::size_t i) {
    DWORD v = 0;
    for (int k = 3; k >= 0; k--) v = v << 8 | static_cast<unsigned char>(c[i + k]);
    return v;
  };
  *pMethode = c.substr(1, 5);
  EXPECT_EQ(le32(13), donnees.size());
  EXPECT_EQ(c.size(), 289 + le32(9) + 2);
  return ArchiveLha(donnees, c.substr(289, le32(9)), nom, *pMethode);
}

// Each case twice: the coder's stream, and the file fCompacte wrote (where
// data that does not shrink is a "-lh0-" entry).
TEST(Lh5, LhasaExtractsOurStreams) {
  if (!bLhaPresent()) GTEST_SKIP() << "lha (Debian package lhasa) is not installed";
  TempDir dir;
  int nStockes = 0;
  for (const auto& c : Cas()) {
    const Octets code = Code(c.donnees, 1 << 20, 1 << 20);
    Octets methode;
    Octets a = ArchiveLha(c.donnees, code, "sortie.bin");
    a.pop_back();  // the end-of-archive byte comes once, after the last entry
    a += ArchiveDuConteneur(dir, c.donnees, "conteneur.bin", &methode);
    nStockes += methode == "-lh0-";
    TempDir::write(dir / "a.lzh", a);
    std::remove((dir / "sortie.bin").c_str());
    std::remove((dir / "conteneur.bin").c_str());
    const std::string cmd = "cd '" + dir.path() + "' && lha xfq a.lzh >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << c.nom;
    EXPECT_TRUE(TempDir::read(dir / "sortie.bin") == c.donnees) << c.nom;
    EXPECT_TRUE(TempDir::read(dir / "conteneur.bin") == c.donnees) << c.nom << " " << methode;
    // lhasa checks the CRC in the header against what it decoded.
    const std::string test = "cd '" + dir.path() + "' && lha tq a.lzh >/dev/null 2>&1";
    EXPECT_EQ(std::system(test.c_str()), 0) << c.nom;
  }
  // Empty, tiny and random data.
  EXPECT_EQ(nStockes, 4);
}

// jlha (Debian's jlha-utils, an LHA written apart from lhasa) extracts our
// streams too: every case as one entry of a single archive, so that its
// Java machine starts only once, each case again as fCompacte wrote it.
// jlha exits with 0 even on a bad CRC, so the bytes it writes are what is
// checked.
TEST(Lh5, JlhaExtractsOurStreams) {
  if (std::system("command -v jlha >/dev/null 2>&1") != 0) GTEST_SKIP() << "jlha (Debian package jlha-utils) is not installed";
  TempDir dir;
  const auto cas = Cas();
  Octets a;
  int nStockes = 0;
  for (std::size_t i = 0; i < cas.size(); i++) {
    Octets methode;
    for (Octets entree : {ArchiveLha(cas[i].donnees, Code(cas[i].donnees, 1 << 20, 1 << 20), ("f" + std::to_string(i)).c_str()),
                          ArchiveDuConteneur(dir, cas[i].donnees, ("c" + std::to_string(i)).c_str(), &methode)}) {
      entree.pop_back();  // the end-of-archive byte comes once, after the last entry
      a += entree;
    }
    nStockes += methode == "-lh0-";
  }
  EXPECT_EQ(nStockes, 4);
  TempDir::write(dir / "a.lzh", a + Octets(1, '\0'));
  const std::string cmd = "cd '" + dir.path() + "' && jlha xq a.lzh >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  for (std::size_t i = 0; i < cas.size(); i++) {
    EXPECT_TRUE(TempDir::read(dir / ("f" + std::to_string(i))) == cas[i].donnees) << cas[i].nom;
    EXPECT_TRUE(TempDir::read(dir / ("c" + std::to_string(i))) == cas[i].donnees) << cas[i].nom << ", as compacted";
  }
}

// Archives made by another "-lh5-" encoder (jlha, Debian's jlha-utils:
// "jlha c0o5" and "jlha c2o5", header levels 0 and 2) of three files:
// the numbers 1 to 5000 one a line, 70000 times 'a', and (i * i) % 251 for
// i below 100000. Each entry is decoded and checked against the CRC-16 the
// archive carries.
TEST(Lh5, DecodesAnotherEncodersArchives) {
  Octets nombres, carres;
  for (int i = 1; i <= 5000; i++) nombres += std::to_string(i) + "\n";
  for (long long i = 0; i < 100000; i++) carres += static_cast<char>(i * i % 251);
  const Octets attendus[] = {nombres, Octets(70000, 'a'), carres};
  for (const char* nom : {"jlha_niveau0.lzh", "jlha_niveau2.lzh"}) {
    const Octets a = TempDir::read(std::string(KV_SOURCE_DIR) + "/tests/compression/fixtures/" + nom);
    ASSERT_GT(a.size(), 100u) << nom;
    auto u8 = [&](std::size_t i) { return static_cast<unsigned char>(a[i]); };
    auto le16 = [&](std::size_t i) { return static_cast<DWORD>(u8(i) | u8(i + 1) << 8); };
    auto le32 = [&](std::size_t i) { return le16(i) | le16(i + 2) << 16; };
    std::size_t pos = 0;
    for (const Octets& attendu : attendus) {
      ASSERT_LT(pos + 24, a.size()) << nom;
      ASSERT_EQ(a.substr(pos + 2, 5), "-lh5-") << nom;
      const int niveau = u8(pos + 20);
      const std::size_t debut = niveau == 0 ? pos + 2 + u8(pos) : pos + le16(pos);
      const WORD crc = static_cast<WORD>(niveau == 0 ? le16(pos + 22 + u8(pos + 21)) : le16(pos + 21));
      const DWORD compresse = le32(pos + 7);
      ASSERT_EQ(le32(pos + 11), attendu.size()) << nom;
      Octets retour;
      EXPECT_EQ(Decode(a.substr(debut, compresse), attendu.size(), 1000, 777, &retour), LH5_FIN) << nom;
      EXPECT_TRUE(retour == attendu) << nom;
      CCrc16Arc c;
      c.Ajoute(reinterpret_cast<const BYTE*>(retour.data()), retour.size());
      EXPECT_EQ(c.wValeur(), crc) << nom;
      pos = debut + compresse;
    }
  }
}

// ------------------------------------------------------ old LZW format

// The old format's LZW coder, written here from its description: codes of
// 9 to 14 bits most significant bit first; an entry is added for every code
// after the first; the width grows when the next free code reaches 2^width.
Octets LzwAncien(const Octets& in, DWORD dwDisque, bool bRazAuDebut) {
  std::map<std::pair<int, unsigned char>, int> dico;
  std::string bits;
  int largeur = 9, libre = 257, libreDecodeur = 257, codes = 0;
  auto emet = [&](int code) {
    for (int i = largeur - 1; i >= 0; i--) bits += (code >> i) & 1 ? '1' : '0';
    if (codes++ > 0 && libreDecodeur < 16384) {
      libreDecodeur++;
      if (libreDecodeur == (1 << largeur) && largeur < 14) largeur++;
    }
  };
  if (bRazAuDebut) {
    emet(256);
    codes = 0;
  }
  int w = -1;
  for (unsigned char c : in) {
    if (w < 0) {
      w = c;
      continue;
    }
    auto it = dico.find({w, c});
    if (it != dico.end()) {
      w = it->second;
      continue;
    }
    emet(w);
    if (libre < 16384) dico[{w, c}] = libre++;
    w = c;
  }
  if (w >= 0) emet(w);
  while (bits.size() % 8) bits += '0';
  Octets s = "MORVANEXLZCS\x40";
  for (DWORD v : {static_cast<DWORD>(in.size()), dwDisque})
    for (int i = 3; i >= 0; i--) s += static_cast<char>(v >> (8 * i));
  for (std::size_t i = 0; i < bits.size(); i += 8) s += static_cast<char>(std::stoi(bits.substr(i, 8), nullptr, 2));
  return s;
}

TEST(OldFormat, HandBuiltFixtureAndCoder) {
  TempDir dir;
  // "ABABABA": codes 65 66 257 259 (the last one defined by its own use).
  const Octets fixe = Octets("MORVANEXLZCS\x40\0\0\0\x07\0\0\0\x07", 21) + "\x20\x90\xA0\x30\x30";
  EXPECT_EQ(LzwAncien("ABABABA", 7, false), fixe);
  TempDir::write(dir / "fixe.old", fixe);
  EXPECT_EQ(lVerifieSiCompresseOld((dir / "fixe.old").c_str()), 7);
  EXPECT_EQ(nOldDecompacte((dir / "fixe.old").c_str(), (dir / "fixe.txt").c_str()), 0);
  EXPECT_EQ(TempDir::read(dir / "fixe.txt"), "ABABABA");

  // Long enough to grow to 14 bits and fill the dictionary.
  const Octets grand = Texte(150000) + Aleatoire(60000, 2) + Octets(5000, 'k');
  for (bool raz : {false, true}) {
    TempDir::write(dir / "g.old", LzwAncien(grand, 1000, raz));
    ASSERT_EQ(nOldDecompacte((dir / "g.old").c_str(), (dir / "g.out").c_str()), 0);
    EXPECT_TRUE(TempDir::read(dir / "g.out") == grand);
  }
  // Truncated: an error, and no partial output left.
  Octets coupe = LzwAncien(grand, 1000, false);
  coupe.resize(coupe.size() / 2);
  TempDir::write(dir / "c.old", coupe);
  EXPECT_EQ(nOldDecompacte((dir / "c.old").c_str(), (dir / "c.out").c_str()), 2);
  EXPECT_FALSE(TempDir::exists(dir / "c.out"));
}

TEST(OldFormat, WithoutDestinationAndRefusals) {
  TempDir dir;
  TempDir::write(dir / "doc.cmp", LzwAncien("bonjour bonjour bonjour", 23, false));
  EXPECT_EQ(nOldDecompacte((dir / "doc.cmp").c_str(), nullptr), 0);
  EXPECT_EQ(TempDir::read(dir / "doc.cmp"), "bonjour bonjour bonjour");
  EXPECT_TRUE(TempDir::exists(dir / "doc.$$$")) << "the old file is kept under .$$$";
  // Named as its own destination: the same, never read while truncated.
  TempDir::write(dir / "moi", LzwAncien("encore encore encore", 20, false));
  EXPECT_EQ(nOldDecompacte((dir / "moi").c_str(), (dir / "moi").c_str()), 0);
  EXPECT_EQ(TempDir::read(dir / "moi"), "encore encore encore");

  // Not in the old format: the user's file stays where it is.
  TempDir::write(dir / "plain.txt", "just text, nothing compacted");
  EXPECT_EQ(nOldDecompacte((dir / "plain.txt").c_str(), nullptr), 3);
  EXPECT_EQ(TempDir::read(dir / "plain.txt"), "just text, nothing compacted");
  EXPECT_FALSE(TempDir::exists(dir / "plain.$$$"));
  EXPECT_EQ(lVerifieSiCompresseOld((dir / "plain.txt").c_str()), 0);

  // Declared size beyond the free space (when the disk has less than
  // 4 GiB free): refused, nothing moved.
  struct statvfs sv;
  if (statvfs(dir.path().c_str(), &sv) == 0 && static_cast<double>(sv.f_bavail) * sv.f_frsize < 4294967295.0) {
    TempDir::write(dir / "big.cmp", LzwAncien("abc", 0xFFFFFFFFu, false));
    EXPECT_EQ(nOldDecompacte((dir / "big.cmp").c_str(), nullptr), 7);
    EXPECT_TRUE(TempDir::exists(dir / "big.cmp"));
    EXPECT_FALSE(TempDir::exists(dir / "big.$$$"));
  }

  // Damaged, without destination: the file goes back under its name.
  Octets abime = LzwAncien(Texte(5000), 5000, false);
  abime.resize(100);
  TempDir::write(dir / "bad.cmp", abime);
  EXPECT_EQ(nOldDecompacte((dir / "bad.cmp").c_str(), nullptr), 2);
  EXPECT_EQ(TempDir::read(dir / "bad.cmp"), abime);
  EXPECT_FALSE(TempDir::exists(dir / "bad.$$$"));
}

// ------------------------------------------ container, stop and disk full

std::vector<int> gProgression;
void NoteProgression(int n) { gProgression.push_back(n); }
void ArreteA30(int n) {
  if (n >= 30) COMPACTE_DemandeArret();
}

TEST(Container, StopFlagEndsBothWaysAndLeavesNothing) {
  TempDir dir;
  const Octets in = Texte(400000);
  TempDir::write(dir / "src", in);
  gProgression.clear();
  COMPACTE_DefinitProgression(NoteProgression);
  ASSERT_EQ(nfCompacte((dir / "src").c_str(), (dir / "c").c_str()), 0);
  ASSERT_FALSE(gProgression.empty());
  EXPECT_EQ(gProgression.front(), 0);
  EXPECT_EQ(gProgression.back(), 100);

  COMPACTE_DefinitProgression(ArreteA30);
  EXPECT_EQ(nfCompacte((dir / "src").c_str(), (dir / "c2").c_str()), 6);
  EXPECT_FALSE(TempDir::exists(dir / "c2"));
  EXPECT_EQ(sDecompacteEx(0, 0, (dir / "c").c_str(), (dir / "out").c_str()), 6);
  EXPECT_FALSE(TempDir::exists(dir / "out"));
  COMPACTE_DefinitProgression(nullptr);

  // A request left over from before does not stop the next run.
  COMPACTE_DemandeArret();
  EXPECT_EQ(sDecompacteEx(0, 0, (dir / "c").c_str(), (dir / "out").c_str()), 0);
  EXPECT_TRUE(TempDir::read(dir / "out") == in);
}

// Runs f in a child whose files may not grow past nLimite bytes; its result.
template <class F>
int DansEnfantLimite(rlim_t nLimite, F f) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit r{nLimite, nLimite};
    setrlimit(RLIMIT_FSIZE, &r);
    _exit(f());
  }
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST(Container, DiskFullLeavesNoPartialFile) {
  TempDir dir;
  const Octets in = Aleatoire(20000, 8) + Texte(300000);
  TempDir::write(dir / "src", in);
  const std::string src = dir / "src", dst = dir / "dst", out = dir / "out";
  EXPECT_EQ(DansEnfantLimite(20000, [&] { return nfCompacte(src.c_str(), dst.c_str()); }), 7);
  EXPECT_FALSE(TempDir::exists(dst));
  EXPECT_TRUE(TempDir::read(src) == in);
  ASSERT_EQ(nfCompacte(src.c_str(), dst.c_str()), 0);
  EXPECT_EQ(DansEnfantLimite(50000, [&] { return sDecompacteEx(0, 0, dst.c_str(), out.c_str()); }), 7);
  EXPECT_FALSE(TempDir::exists(out));
}

TEST(Container, DamagedCompactedFiles) {
  TempDir dir;
  const Octets in = Texte(100000);
  TempDir::write(dir / "src", in);
  ASSERT_EQ(nfCompacte((dir / "src").c_str(), (dir / "c").c_str()), 0);
  const Octets c = TempDir::read(dir / "c");
  TempDir::write(dir / "src0", Aleatoire(20000, 13));
  ASSERT_EQ(nfCompacte((dir / "src0").c_str(), (dir / "c0").c_str()), 0);
  const Octets c0 = TempDir::read(dir / "c0");
  ASSERT_EQ(c0.substr(1, 5), "-lh0-");
  // Truncated stream, truncated header, stream bytes flipped.
  struct {
    const char* nom;
    Octets octets;
    short attendu;
  } cas[] = {
      {"stream cut", c.substr(0, c.size() / 2), 2},
      {"header cut", c.substr(0, 100), 4},
      {"stored data cut", c0.substr(0, c0.size() - 3), 2},
      {"stored header cut", c0.substr(0, 200), 4},
      {"flipped", c.substr(0, 400) + Octets(1, static_cast<char>(c[400] ^ 0x55)) + c.substr(401), 2},
  };
  for (const auto& k : cas) {
    TempDir::write(dir / "abime", k.octets);
    const short r = sDecompacteEx(0, 0, (dir / "abime").c_str(), (dir / "out").c_str());
    if (std::string(k.nom) == "flipped" && r == 0) {
      // A flip may still decode to the right length; never beyond it.
      EXPECT_EQ(TempDir::read(dir / "out").size(), in.size());
      continue;
    }
    EXPECT_EQ(r, k.attendu) << k.nom;
    EXPECT_FALSE(TempDir::exists(dir / "out")) << k.nom;
  }
}

// ------------------------------------------- language functions (VM)

class Compaction : public HostTest {
protected:
  TempDir dir;
  int n(const char* f, std::vector<kvhost::Value> args) { return static_cast<int>(call(f, std::move(args)).integer); }
  static DWORD Le(const Octets& s, std::size_t i) {
    return static_cast<unsigned char>(s[i]) | static_cast<unsigned char>(s[i + 1]) << 8 |
           static_cast<unsigned char>(s[i + 2]) << 16 | static_cast<DWORD>(static_cast<unsigned char>(s[i + 3])) << 24;
  }
};

TEST_F(Compaction, RoundTripHeaderSizesAndDates) {
  const Octets in = Texte(200000);
  const std::string src = dir / "livre.txt", c = dir / "livre.kvc";
  TempDir::write(src, in);
  struct timeval t[2] = {{1500000000, 0}, {1500000000, 0}};
  ASSERT_EQ(utimes(src.c_str(), t), 0);
  ASSERT_EQ(n("fCompacte", {T(src), T(c)}), 0);
  EXPECT_FALSE(last.isError());
  const Octets s = TempDir::read(c);
  ASSERT_GT(s.size(), 291u);
  EXPECT_EQ(s[0], 0x20);
  EXPECT_EQ(s.substr(1, 8), Octets("-lh5-\0\0\0", 8));
  EXPECT_EQ(Le(s, 9), s.size() - 291);
  EXPECT_EQ(Le(s, 13), in.size());
  EXPECT_EQ(std::string(s.c_str() + 17), src);
  EXPECT_EQ(s.substr(277, 12), Octets(12, '\0'));
  EXPECT_EQ(s.substr(s.size() - 2), Octets(2, '\0'));
  EXPECT_EQ(n("fTailleCompacte", {T(c)}), static_cast<int>(s.size() - 291));
  EXPECT_EQ(n("fTailleDecompacte", {T(c)}), static_cast<int>(in.size()));

  ASSERT_EQ(n("fDecompacte", {T(c), T(dir / "copie.txt")}), 0);
  EXPECT_TRUE(TempDir::read(dir / "copie.txt") == in);
  struct stat st;
  ASSERT_EQ(stat((dir / "copie.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1500000000);

  // Without destination: back under the path stored at compaction.
  std::remove(src.c_str());
  ASSERT_EQ(n("fDecompacte", {T(c)}), 0);
  EXPECT_TRUE(TempDir::read(src) == in);

  // A directory destination receives the stored base name.
  ASSERT_EQ(mkdir((dir / "rep").c_str(), 0755), 0);
  ASSERT_EQ(n("fDecompacte", {T(c), T(dir / "rep/")}), 0);
  EXPECT_TRUE(TempDir::read(dir / "rep/livre.txt") == in);
}

// Data that does not shrink is stored as a "-lh0-" entry with the header
// and the name, so that compacting, deleting and expanding without
// destination gives the file back.
TEST_F(Compaction, UnpackableFilesAreStoredWithTheirName) {
  TempDir::write(dir / "t", Texte(30000));
  ASSERT_EQ(n("fCompacte", {T(dir / "t"), T(dir / "t.kvc")}), 0);
  struct {
    const char* nom;
    Octets octets;
  } cas[] = {
      {"aléatoire", Aleatoire(50000, 6)},
      {"vide", ""},
      {"petit", "abc"},
      {"presque incompressible", Aleatoire(3000, 6) + Octets(200, 'r')},
      {"déjà compacté", TempDir::read(dir / "t.kvc")},
  };
  const std::string src = dir / "b.log", c = dir / "b.kvc";
  for (const auto& k : cas) {
    TempDir::write(src, k.octets);
    ASSERT_EQ(n("fCompacte", {T(src), T(c)}), 0) << k.nom;
    const Octets s = TempDir::read(c);
    ASSERT_EQ(s.size(), 289 + k.octets.size() + 2) << k.nom;
    EXPECT_EQ(s[0], 0x20) << k.nom;
    EXPECT_EQ(s.substr(1, 8), Octets("-lh0-\0\0\0", 8)) << k.nom;
    EXPECT_EQ(Le(s, 9), k.octets.size()) << k.nom;
    EXPECT_EQ(Le(s, 13), k.octets.size()) << k.nom;
    EXPECT_EQ(std::string(s.c_str() + 17), src) << k.nom;
    EXPECT_TRUE(s.substr(289, k.octets.size()) == k.octets) << k.nom;
    EXPECT_EQ(s.substr(s.size() - 2), Octets(2, '\0')) << k.nom;
    EXPECT_EQ(n("fTailleCompacte", {T(c)}), static_cast<int>(k.octets.size())) << k.nom;
    EXPECT_EQ(n("fTailleDecompacte", {T(c)}), static_cast<int>(k.octets.size())) << k.nom;
    EXPECT_FALSE(last.isError()) << k.nom;

    ASSERT_EQ(n("fDecompacte", {T(c), T(dir / "out")}), 0) << k.nom;
    EXPECT_TRUE(TempDir::read(dir / "out") == k.octets) << k.nom;
    // Compact, delete, restore: back under its own name.
    ASSERT_EQ(std::remove(src.c_str()), 0);
    ASSERT_EQ(n("fDecompacte", {T(c)}), 0) << k.nom;
    EXPECT_FALSE(last.isError()) << k.nom;
    ASSERT_TRUE(TempDir::exists(src)) << k.nom;
    EXPECT_TRUE(TempDir::read(src) == k.octets) << k.nom;
  }
}

// Files that older writers stored as their bare bytes, without header: the
// fixture (a short text) and an empty file. They still expand to a named
// destination unchanged; without one there is nothing to restore them
// under, so the expansion is refused (80302) and creates nothing.
TEST_F(Compaction, FilesStoredWithoutHeaderByOlderWriters) {
  const Octets texte = TempDir::read(std::string(KV_SOURCE_DIR) + "/tests/compression/fixtures/stocke_sans_entete.kvc");
  ASSERT_EQ(texte.substr(0, 8), "Journal ");
  for (const Octets& octets : {texte, Octets()}) {
    const std::string c = dir / "ancien.kvc";
    TempDir::write(c, octets);
    EXPECT_EQ(n("fTailleDecompacte", {T(c)}), -2);
    ASSERT_EQ(n("fDecompacte", {T(c), T(dir / "out.txt")}), 0);
    EXPECT_FALSE(last.isError());
    EXPECT_TRUE(TempDir::read(dir / "out.txt") == octets);
    ASSERT_EQ(std::remove((dir / "out.txt").c_str()), 0);

    EXPECT_EQ(n("fDecompacte", {T(c)}), 3);
    EXPECT_EQ(last.code, 80302u);
    EXPECT_TRUE(TempDir::read(c) == octets);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"ancien.kvc"})) << octets.size();
  }
}

TEST_F(Compaction, EmbeddedAtAnOffset) {
  const Octets prefixe = Aleatoire(1234, 12);
  // Coded and stored.
  for (const Octets& in : {Texte(60000), Aleatoire(6000, 14)}) {
    TempDir::write(dir / "in", in);
    ASSERT_EQ(n("fCompacte", {T(dir / "in"), T(dir / "c")}), 0);
    TempDir::write(dir / "lot", prefixe + TempDir::read(dir / "c") + "queue");
    ASSERT_EQ(n("fDecompacte", {T(dir / "lot"), T(dir / "out"), I(1234)}), 0);
    EXPECT_TRUE(TempDir::read(dir / "out") == in) << in.size();
  }
  // Past the end: no header.
  EXPECT_EQ(n("fDecompacte", {T(dir / "lot"), T(dir / "out"), I(1 << 30)}), 4);
  EXPECT_EQ(last.code, 80303u);
}

TEST_F(Compaction, SameSourceAndDestination) {
  const Octets in = Texte(80000);
  const std::string a = dir / "a";
  TempDir::write(a, in);
  ASSERT_EQ(n("fCompacte", {T(a), T(a)}), 0);
  const Octets c = TempDir::read(a);
  EXPECT_EQ(c.substr(1, 5), "-lh5-");
  ASSERT_EQ(n("fDecompacte", {T(a), T(a)}), 0);
  EXPECT_TRUE(TempDir::read(a) == in);
  // Compacted in place, then expanded without destination: the stored path
  // is the source itself, which is replaced only once the output is whole.
  ASSERT_EQ(n("fCompacte", {T(a), T(a)}), 0);
  ASSERT_EQ(n("fDecompacte", {T(a)}), 0);
  EXPECT_TRUE(TempDir::read(a) == in);
  // No temporary file is left behind.
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"a"}));
}

TEST_F(Compaction, ErrorsAndSizes) {
  TempDir::write(dir / "plain", "not compacted at all");
  struct {
    const char* f;
    std::string path;
    int valeur;
    unsigned erreur;
  } cas[] = {
      {"fTailleDecompacte", dir / "plain", -2, 80301}, {"fTailleCompacte", dir / "plain", -2, 80301},
      {"fTailleDecompacte", dir / "none", -1, 80300},  {"fTailleCompacte", dir / "none", -1, 80300},
  };
  for (const auto& k : cas) {
    EXPECT_EQ(n(k.f, {T(k.path)}), k.valeur) << k.f;
    EXPECT_EQ(last.code, k.erreur) << k.f;
  }
  EXPECT_EQ(n("fCompacte", {T(dir / "none"), T(dir / "c")}), 1);
  EXPECT_EQ(last.code, 80300u);
  EXPECT_EQ(n("fCompacte", {T(dir / "plain"), T(dir / "no/such/dir/c")}), 2);
  EXPECT_EQ(last.code, 80301u);
  EXPECT_EQ(n("fDecompacte", {T(dir / "none"), T(dir / "c")}), 1);
  EXPECT_EQ(last.code, 80300u);
  // An old-format file: its declared size as compressed size.
  TempDir::write(dir / "vieux", LzwAncien("ABABABA", 7, false));
  EXPECT_EQ(n("fTailleCompacte", {T(dir / "vieux")}), 7);
  ASSERT_EQ(n("fDecompacte", {T(dir / "vieux"), T(dir / "v.txt")}), 0);
  EXPECT_EQ(TempDir::read(dir / "v.txt"), "ABABABA");
  call("fStopCompacte");
  EXPECT_FALSE(last.isError());
}

}  // namespace
