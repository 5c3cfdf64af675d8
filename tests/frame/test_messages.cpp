// Message resources: the embedded block, the English message file, the
// external loader, formatting with positional inserts, and the character
// set tables.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/CodePage.h"
#include "core/ErreursDef.h"
#include "core/TString.h"
#include "core/accesdllres.h"
#include "files/TempDir.h"
#include "frame/CommandeComposante.h"

namespace {

const std::string kMessageFile = std::string(KV_BINARY_DIR) + "/lib/kv140std.en.msg";

std::string french(unsigned id) {
  CTString s;
  return DLLRES_bLoadString(id, &s) ? std::string(s.pszGet(), s.nTaille()) : std::string("<absent>");
}

std::string english(unsigned id) {
  char buf[4096];
  return bRM_LoadMess(8, kMessageFile.c_str(), id, buf, sizeof buf) ? std::string(buf) : std::string("<absent>");
}

const std::string kMessageSources = std::string(KV_SOURCE_DIR) + "/src/core/messages";

// Identifiers of the message sources (read here, independently of the generator).
std::vector<unsigned> sourceIds() {
  std::ifstream in(kMessageSources + "/messages_fr.txt");
  std::vector<unsigned> ids;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    ids.push_back(static_cast<unsigned>(std::stoul(line.substr(0, line.find('\t')))));
  }
  return ids;
}

// Inserts of a printf text: number -> conversion letters; false when a
// conversion is not positional.
bool inserts(const std::string& text, std::map<int, std::string>* out) {
  static const std::regex conv(R"(%(?:(\d+)\$)?[-+ #0]*\d*(?:\.\d+)?(hh|h|ll|l|L|z|j|t)?([diouxXeEfgGcspn%]))");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), conv); it != std::sregex_iterator(); ++it) {
    const auto& m = *it;
    if (m[3] == "%") continue;
    if (!m[1].matched) return false;
    (*out)[std::stoi(m[1])] = m[2].str() + m[3].str();
  }
  return true;
}

TEST(Messages, TheBlockHoldsItsMarkersAndEveryMessage) {
  char buf[64];
  EXPECT_EQ(DLLRES_nLoadString(0, buf, sizeof buf), 21);
  EXPECT_STREQ(buf, "KORVAL RES BLOC START");
  DLLRES_nLoadString(65024, buf, sizeof buf);
  EXPECT_STREQ(buf, "KORVAL RES BLOC STOP");
  auto ids = sourceIds();
  ASSERT_EQ(ids.size() + 2, static_cast<std::size_t>(NB_RESSOURCES));
  for (unsigned id : ids) {
    EXPECT_NE(french(id), "<absent>") << id;
    EXPECT_NE(english(id), "<absent>") << id;
  }
  EXPECT_EQ(DLLRES_nLoadString(1, buf, sizeof buf), 0) << "an identifier without message";
  EXPECT_EQ(DLLRES_nLoadString(65023, buf, sizeof buf), 0);
  EXPECT_EQ(DLLRES_nLoadString(28210, buf, sizeof buf), static_cast<int>(french(28210).size()));
}

// With the library's text in UTF-8 every message reads as its UTF-8 source
// line; a short buffer cuts it between characters.
TEST(Messages, InUtf8EveryMessageIsItsSourceText) {
  std::ifstream in(kMessageSources + "/messages_fr.txt");
  std::map<unsigned, std::string> sources;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::size_t tab = line.find('\t');
    sources[static_cast<unsigned>(std::stoul(line.substr(0, tab)))] = line.substr(tab + 1);
  }
  ASSERT_FALSE(sources.empty());
  CP_SetPageCourante(CP_UTF8);
  std::size_t accented = 0;
  for (const auto& [id, text] : sources) {
    EXPECT_EQ(french(id), text) << id;
    char buf[1024];
    EXPECT_EQ(DLLRES_nLoadString(id, buf, sizeof buf), static_cast<int>(text.size())) << id;
    accented += text.find('\xC3') != std::string::npos;
  }
  EXPECT_GT(accented, 100u);
  // 637: "Impossible d'ajouter le fichier à ...": a buffer that ends inside "à".
  const std::string& t = sources.at(637);
  std::size_t a = t.find("\xC3\xA0");
  ASSERT_NE(a, std::string::npos);
  std::vector<char> buf(a + 2);  // room for the text before "à", its first byte and the zero
  EXPECT_EQ(DLLRES_nLoadString(637, buf.data(), static_cast<int>(buf.size())), static_cast<int>(buf.size()) - 1);
  EXPECT_EQ(std::string(buf.data()), t.substr(0, a));
  CP_SetPageCourante(1252);
  EXPECT_EQ(french(637).find('\xE0'), a) << "Windows-1252 again";
}

TEST(Messages, EveryErrorRowHasItsTextInBothLanguages) {
  for (const auto& row : gstErrorDef) {
    if (row.nIdMessage == 0) continue;
    EXPECT_FALSE(french(row.nIdMessage).empty()) << row.nCodeUtilisateur;
    EXPECT_NE(french(row.nIdMessage), "<absent>") << row.nCodeUtilisateur;
    EXPECT_NE(english(row.nIdMessage), "<absent>") << row.nCodeUtilisateur;
  }
  // Names the date functions and size displays read by number.
  EXPECT_EQ(french(28204), "lundi");
  EXPECT_EQ(english(28210), "Sunday");
  EXPECT_EQ(french(28192), "janvier");
  for (unsigned id = 28577; id <= 28581; ++id) EXPECT_LE(french(id).size(), 4u) << id;
}

// genmessages on a copy of the error table changed by `change` (whole
// lines, matched by their start): its exit status and what it said.
std::pair<int, std::string> genmessagesWith(const std::map<std::string, std::string>& change) {
  std::string dir = std::string(KV_BINARY_DIR) + "/test_erreurs_" + std::to_string(getpid());
  mkdir(dir.c_str(), 0777);
  std::ifstream in(std::string(KV_SOURCE_DIR) + "/src/core/tables/erreurs.tsv");
  std::ofstream out(dir + "/erreurs.tsv");
  std::string line;
  while (std::getline(in, line)) {
    for (const auto& [start, replacement] : change) {
      if (line.rfind(start, 0) == 0) line = replacement;
    }
    out << line << "\n";
  }
  out.close();
  std::string command = std::string(KV_BINARY_DIR) + "/bin/genmessages " + kMessageSources + "/messages_fr.txt " +
                        kMessageSources + "/messages_en.txt " + dir + "/erreurs.tsv " + dir + " " + dir +
                        "/en.msg 2>" + dir + "/err";
  int status = std::system(command.c_str());
  std::ifstream err(dir + "/err");
  std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  std::system(("rm -rf " + dir).c_str());
  return {status, said};
}

TEST(Messages, TheBuildRefusesADoubtfulErrorName) {
  // The table as it is goes through.
  EXPECT_EQ(genmessagesWith({}).first, 0);
  struct Case {
    std::map<std::string, std::string> change;
    const char* said;
  } cases[] = {
      {{{"80042\t", "80042\tERR_MEMOIRE\t762\t0\t2"}}, "name ERR_MEMOIRE already given to 80041"},
      {{{"80020\t", "80020\tERR_X\t636\t0\t2"}, {"80040\t", "80020\tERR_Y\t665\t0\t2"}},
       "code 80020 already named ERR_X"},
      {{{"80001\t", "80001\tERR_SANS_TEXTE\t0\t0\t3"}}, "ERR_SANS_TEXTE names a code without a message"},
      {{{"80020\t", "80020\tERR_X\t9\t0\t2"}}, "message 9 has no text"},
      {{{"80020\t", "80020\terr_minuscule\t636\t0\t2"}}, "is not ERR_ followed by capitals"},
      {{{"80020\t", "80020\t636\t0\t2"}}, "code, name, message, detail, level expected"},
  };
  for (const auto& c : cases) {
    auto [status, said] = genmessagesWith(c.change);
    EXPECT_NE(status, 0) << c.said;
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
  }
}

TEST(Messages, InsertsArePositionalAndTheSameInBothLanguages) {
  for (unsigned id : sourceIds()) {
    std::map<int, std::string> fr, en;
    ASSERT_TRUE(inserts(french(id), &fr)) << id << ": " << french(id);
    ASSERT_TRUE(inserts(english(id), &en)) << id << ": " << english(id);
    EXPECT_EQ(fr, en) << id;
    int expected = 1;
    for (const auto& [n, conv] : fr) EXPECT_EQ(n, expected++) << id << ": inserts numbered from 1 without gaps";
  }
}

TEST(Messages, FormattingWithInserts) {
  CTString s;
  ASSERT_TRUE(DLLRES_bFormatMessage(28308, &s, "/lib/x.so"));
  EXPECT_NE(std::string(s.pszGet()).find("/lib/x.so"), std::string::npos) << s.pszGet();
  char* text = nullptr;
  int n = DLLRES_nFormatMessage(28117, &text, "a.so", "b.so", "1.0", "2.0", "/bin/prog");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(n, static_cast<int>(std::strlen(text)));
  for (const char* part : {"a.so", "b.so", "1.0", "2.0", "/bin/prog"}) EXPECT_NE(std::strstr(text, part), nullptr);
  std::free(text);
  EXPECT_EQ(DLLRES_nFormatMessage(1, &text), 0);
  EXPECT_EQ(text, nullptr);
  // Windows-style inserts are read as positional ones.
  char buf[64];
  va_list* none = nullptr;
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "plain", 0, 0, buf, sizeof buf, none), 5u);
  auto format = [&](const char* f, ...) {
    va_list args;
    va_start(args, f);
    DWORD r = FormatMessageA(FORMAT_MESSAGE_FROM_STRING, f, 0, 0, buf, sizeof buf, &args);
    va_end(args);
    return r;
  };
  format("<%1!u!> and <%2!s!>", 42u, "x");
  EXPECT_STREQ(buf, "<42> and <x>");
  EXPECT_EQ(format("%1$s", "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdefXYZ"), 63u);
}

TEST(Messages, ShortBuffersAndTheExternalLoader) {
  std::string full = french(28308);
  char buf[8];
  EXPECT_EQ(DLLRES_nLoadString(28308, buf, sizeof buf), 7);
  EXPECT_EQ(std::string(buf), full.substr(0, 7));
  // A loader that answers 0 lets the block answer; one that answers wins.
  DLLRES_SetLoader([](unsigned, char*, int) { return 0; });
  EXPECT_EQ(french(28308), full);
  DLLRES_SetLoader([](unsigned id, char* b, int n) { return std::snprintf(b, static_cast<std::size_t>(n), "ext-%u", id); });
  char big[32];
  EXPECT_EQ(DLLRES_nLoadString(7, big, sizeof big), 5);
  EXPECT_STREQ(big, "ext-7");
  DLLRES_SetLoader(nullptr);
  // Through the exported command.
  std::intptr_t request[5] = {0, 28308, reinterpret_cast<std::intptr_t>(big), sizeof big, -1};
  EXPECT_EQ(CommandeComposante(3, request), 1);
  EXPECT_EQ(request[4], static_cast<std::intptr_t>(std::min<std::size_t>(full.size(), sizeof big - 1)));
  EXPECT_EQ(CommandeComposante(9, nullptr), 0);
  CommandeComposante(0, reinterpret_cast<void*>(1));
  EXPECT_TRUE(DLLRES_bLangue2());
  CommandeComposante(0, nullptr);
  EXPECT_FALSE(DLLRES_bLangue2());
}

TEST(Messages, MessageFileLookups) {
  char buf[16];
  EXPECT_FALSE(bRM_LoadMess(9, kMessageFile.c_str(), 28308, buf, sizeof buf)) << "no such component";
  EXPECT_FALSE(bRM_LoadMess(8, kMessageFile.c_str(), 1, buf, sizeof buf)) << "no such message";
  EXPECT_FALSE(bRM_LoadMess(8, "/nonexistent", 28308, buf, sizeof buf));
  ASSERT_TRUE(bRM_LoadMess(8, kMessageFile.c_str(), 28308, buf, sizeof buf));
  EXPECT_EQ(std::strlen(buf), sizeof buf - 1) << "cut to the buffer, last byte 0";
  // A file whose header is not of the format.
  TempDir dir;
  std::string bad = dir / "bad.msg";
  std::ofstream(bad) << "not a message file at all";
  EXPECT_FALSE(bRM_LoadMess(8, bad.c_str(), 28308, buf, sizeof buf));
}

TEST(Languages, CharsetsCodePagesAndLanguages) {
  struct Row {
    DWORD charset, codePage;
    WORD language;
  };
  const Row rows[] = {{0, 1252, 0},     {1, 0, 0},         {128, 932, 17},   {129, 949, 18},   {130, 1361, 18},
                      {134, 936, 2052}, {136, 950, 1028},  {161, 1253, 8},   {162, 1254, 31},  {163, 1258, 42},
                      {177, 1255, 13},  {178, 1256, 1},    {186, 1257, 37},  {204, 1251, 1049}, {222, 874, 30},
                      {238, 1250, 21},  {255, 1252, 0},    {65001, 65001, 0}};
  for (const auto& r : rows) {
    EXPECT_EQ(dwGetCodePageFromCharset(r.charset), r.codePage) << r.charset;
    EXPECT_EQ(wGetLanguageID(r.charset), r.language) << r.charset;
  }
  EXPECT_EQ(nGetCharsetFromLanguage(4 | (1 << 10)), 136);
  EXPECT_EQ(nGetCharsetFromLanguage(4 | (2 << 10)), 134);
  EXPECT_EQ(nGetCharsetFromLanguage(26 | (3 << 10)), 204);
  EXPECT_EQ(nGetCharsetFromLanguage(26), 238);
  EXPECT_EQ(nGetCharsetFromLanguage(67 | (2 << 10)), 204);
  EXPECT_EQ(nGetCharsetFromLanguage(43), 65001);
  EXPECT_EQ(nGetCharsetFromLanguage(12), 0);
  // Every primary language that has a character set maps back to a code page.
  for (DWORD lang = 1; lang <= 67; ++lang) {
    int charset = GetCharSetFromLanguageID(lang);
    if (charset != 0) {
      EXPECT_NE(dwGetCodePageFromCharset(static_cast<DWORD>(charset)), 0u) << lang;
    }
  }
}

}  // namespace
