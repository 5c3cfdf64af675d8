// The published descriptor tables, checked row by row against the row files
// (read here with a parser of the test's own) and against the loaded library:
// names, flags, identifiers, type lists, entry points and their names.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Library.h"
#include "abi/Descripteurs.h"

namespace {

// UTF-8 (as in the row files) to Latin-1 (as published).
std::string latin1(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0xC0) {
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::vector<std::vector<std::string>> rows(const std::string& file) {
  std::ifstream in(std::string(KV_SOURCE_DIR) + "/src/frame/tables/" + file);
  std::vector<std::vector<std::string>> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string f;
    while (std::getline(ss, f, '\t')) fields.push_back(f);
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
    out.push_back(fields);
  }
  return out;
}

// "13(12,8...)" -> codes {0x13, 0x12, 0x8}, repeatable.
struct ExpectedSyntax {
  std::vector<DWORD> codes;
  bool repeatable = false;
};

std::vector<ExpectedSyntax> parseSyntaxes(const std::string& text) {
  std::vector<ExpectedSyntax> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t close = text.find(')', pos);
    std::string one = text.substr(pos, close - pos + 1);
    pos = close + 1;
    while (pos < text.size() && (text[pos] == ';' || text[pos] == ' ')) ++pos;
    ExpectedSyntax s;
    std::size_t open = one.find('(');
    s.codes.push_back(static_cast<DWORD>(std::stoul(one.substr(0, open), nullptr, 16)));
    std::string inner = one.substr(open + 1, one.size() - open - 2);
    if (inner.size() > 3 && inner.substr(inner.size() - 3) == "...") {
      s.repeatable = true;
      inner.resize(inner.size() - 3);
    }
    std::stringstream ss(inner);
    std::string code;
    while (std::getline(ss, code, ',')) s.codes.push_back(static_cast<DWORD>(std::stoul(code, nullptr, 16)));
    out.push_back(s);
  }
  return out;
}

DWORD codeAt(const BYTE* p, std::size_t i) {
  DWORD v;
  std::memcpy(&v, p + 4 * i, 4);
  return v;
}

// Entry-point name: French name, accents removed (written out here letter by letter).
std::string entryName(const std::string& frenchLatin1, std::size_t syntax) {
  static const std::map<unsigned char, char> plain = {{0xE0, 'a'}, {0xE2, 'a'}, {0xE7, 'c'}, {0xE8, 'e'},
                                                      {0xE9, 'e'}, {0xEA, 'e'}, {0xEB, 'e'}, {0xEE, 'i'},
                                                      {0xEF, 'i'}, {0xF4, 'o'}, {0xF9, 'u'}, {0xFB, 'u'},
                                                      {0xC9, 'E'}};
  std::string out = "VXL_";
  for (char ch : frenchLatin1) {
    auto it = plain.find(static_cast<unsigned char>(ch));
    out += it != plain.end() ? it->second : ch;
  }
  return out + "_" + std::to_string(syntax);
}

class Tables : public ::testing::Test {
protected:
  static void SetUpTestSuite() { lib = new kvhost::Library(KV_LIBRARY_PATH); }
  static void TearDownTestSuite() {
    delete lib;
    lib = nullptr;
  }
  static kvhost::Library* lib;

  const _stFONCTION* functions() const { return reinterpret_cast<const _stFONCTION*>(lib->InfoComposante(33, 0)); }
  const _stCONSTANTE* constants() const { return reinterpret_cast<const _stCONSTANTE*>(lib->InfoComposante(23, 0)); }
  const _stVARIABLE* variables() const { return reinterpret_cast<const _stVARIABLE*>(lib->InfoComposante(25, 0)); }
};

kvhost::Library* Tables::lib = nullptr;

TEST_F(Tables, CountsMatchTheRowFiles) {
  EXPECT_EQ(lib->InfoComposante(34, 0), rows("fonctions.tsv").size());
  EXPECT_EQ(lib->InfoComposante(24, 0), rows("constantes.tsv").size());
  EXPECT_EQ(lib->InfoComposante(26, 0), rows("variables.tsv").size());
  EXPECT_EQ(lib->InfoComposante(34, 0), 391u);
  EXPECT_EQ(lib->InfoComposante(24, 0), 471u);
  EXPECT_EQ(lib->InfoComposante(26, 0), 45u);
  // Rows are packed at the sizes the VM reads them with: five, four and
  // three words and two bytes, pointers at the edition's width.
#if defined(__i386__)
  const int function = 20, constant = 18, variable = 16;
#else
  const int function = 32, constant = 30, variable = 24;
#endif
  EXPECT_EQ(reinterpret_cast<const char*>(&functions()[1]) - reinterpret_cast<const char*>(&functions()[0]), function);
  EXPECT_EQ(reinterpret_cast<const char*>(&constants()[1]) - reinterpret_cast<const char*>(&constants()[0]), constant);
  EXPECT_EQ(reinterpret_cast<const char*>(&variables()[1]) - reinterpret_cast<const char*>(&variables()[0]), variable);
}

TEST_F(Tables, EveryFunctionRowAsDeclared) {
  auto expected = rows("fonctions.tsv");
  // Address parameters: integers (8) on i386, system integers (0x0e,
  // pointer-sized) on x86-64.
  std::set<std::string> addresses;
  for (const auto& a : rows("adresses.tsv")) addresses.insert(latin1(a[0]) + "/" + a[1] + "/" + a[2]);
  EXPECT_EQ(addresses.size(), 3u);
  const _stFONCTION* t = functions();
  std::map<std::vector<DWORD>, const BYTE*> listSeen;
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& r = expected[i];
    SCOPED_TRACE("row " + r[0] + " " + r[4]);
    ASSERT_EQ(std::stoul(r[0]), i);
    const _stFONCTION& f = t[i];
    EXPECT_STREQ(f.pszNomFrancais, latin1(r[4]).c_str());
    EXPECT_STREQ(f.pszNomAnglais, latin1(r[5]).c_str());
    EXPECT_EQ(f.dwFlags, std::stoul(r[2], nullptr, 16));
    auto syntaxes = parseSyntaxes(r[6]);
    for (std::size_t s = 0; s < syntaxes.size(); ++s) {
      for (std::size_t c = 1; c < syntaxes[s].codes.size(); ++c) {
        std::string key = latin1(r[4]) + "/" + std::to_string(s) + "/" + std::to_string(c);
        if (addresses.erase(key) == 0) continue;
        EXPECT_EQ(syntaxes[s].codes[c] & 0xFF, 0x08u) << key;
        if (sizeof(void*) == 8) syntaxes[s].codes[c] = (syntaxes[s].codes[c] & ~0xFFu) | 0x0E;
      }
    }
    EXPECT_EQ(f.dwIdentifiant >> 24, syntaxes.size());
    EXPECT_EQ((f.dwIdentifiant >> 16) & 0xFF, 8u);
    EXPECT_EQ(f.dwIdentifiant & 0xFFFF, std::stoul(r[1]));
    bool synonym = (f.dwFlags & 0x800000) != 0;
    EXPECT_EQ(synonym, std::stoul(r[1]) != i);
    if (synonym) {
      EXPECT_EQ(f.pstSyntaxes, t[std::stoul(r[1])].pstSyntaxes) << "a synonym shares its original's syntaxes";
    }
    if (syntaxes.empty()) {
      EXPECT_EQ(f.pstSyntaxes, nullptr);
    }
    for (std::size_t s = 0; s < syntaxes.size(); ++s) {
      SCOPED_TRACE("syntax " + std::to_string(s));
      const _stSYNTAXE& sy = f.pstSyntaxes[s];
      const auto& want = syntaxes[s];
      EXPECT_EQ(sy.dwReserve, 0u);
      EXPECT_EQ(sy.dwNbParametre, (want.codes.size() - 1) | (want.repeatable ? 0x80u : 0u));
      for (std::size_t c = 0; c < want.codes.size(); ++c) EXPECT_EQ(codeAt(sy.pbTypes, c), want.codes[c]);
      // Identical lists are shared.
      auto [it, added] = listSeen.emplace(want.codes, sy.pbTypes);
      if (!added) {
        EXPECT_EQ(it->second, sy.pbTypes);
      }
      if (r[3] == "-") {
        EXPECT_EQ(sy.pfnEntree, nullptr) << "no entry point on this platform";
      } else if (sy.pfnEntree == nullptr) {
        missing.push_back(f.pszNomFrancais + std::string(" ") + std::to_string(s));
      } else {
        std::string name = entryName(f.pszNomFrancais, s);
        EXPECT_EQ(lib->symbol(name.c_str()), reinterpret_cast<void*>(sy.pfnEntree)) << name;
      }
    }
  }
  EXPECT_TRUE(addresses.empty()) << "an address row names no parameter: " << *addresses.begin();
  // Not a failure: the syntaxes that still await their method.
  std::printf("[ info ] %zu syntaxes of functions available here have no entry point yet\n", missing.size());
}

TEST_F(Tables, EveryConstantRowAsDeclared) {
  auto expected = rows("constantes.tsv");
  const _stCONSTANTE* t = constants();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& r = expected[i];
    SCOPED_TRACE("constant " + r[2]);
    const _stCONSTANTE& c = t[i];
    EXPECT_STREQ(c.pszNomFrancais, latin1(r[2]).c_str());
    EXPECT_STREQ(c.pszNomAnglais, latin1(r[3]).c_str());
    EXPECT_EQ(c.dwFlags, std::stoul(r[0], nullptr, 16));
    EXPECT_EQ(c.byLibrairie, 8);
    const std::string& v = r.size() > 4 ? r[4] : std::string();
    if (r[1] == "entier") {
      EXPECT_EQ(c.byType, 0x08);
      EXPECT_EQ(c.dwValeur, static_cast<DWORD>(std::stoul(v, nullptr, 0)));
    } else if (r[1] == "chaine") {
      EXPECT_EQ(c.byType, 0x12);
      EXPECT_STREQ(c.pszValeur, latin1(v.substr(1, v.size() - 2)).c_str());
    } else {
      EXPECT_EQ(c.byType, 0x00);
      EXPECT_EQ(c.dwValeur, 0u);
    }
  }
  // A few values written out independently of the row files.
  auto find = [&](const char* name) -> const _stCONSTANTE* {
    for (int i = 0; i < 471; ++i) {
      if (std::strcmp(t[i].pszNomAnglais, name) == 0) return &t[i];
    }
    return nullptr;
  };
  ASSERT_NE(find("foReadWrite"), nullptr);
  EXPECT_EQ(find("foReadWrite")->dwValeur, 3u);
  EXPECT_EQ(find("serviceStatusTimeout")->dwValeur, 0xFFFFFFFFu);
  EXPECT_STREQ(find("AccountLocalService")->pszValeur, "NT AUTHORITY\\LocalService");
  EXPECT_STREQ(find("foCreate")->pszNomFrancais, "foCr\xE9" "ation");
}

TEST_F(Tables, EveryVariableRowAsDeclared) {
  auto expected = rows("variables.tsv");
  const _stVARIABLE* t = variables();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& r = expected[i];
    SCOPED_TRACE("variable " + r[3]);
    EXPECT_EQ(t[i].wNumero, i + 1);
    EXPECT_EQ(t[i].wNumero, std::stoul(r[0]));
    EXPECT_EQ(t[i].dwFlags, std::stoul(r[1], nullptr, 16));
    EXPECT_EQ(t[i].byType, std::stoul(r[2], nullptr, 16));
    EXPECT_EQ(t[i].byLibrairie, 8);
    EXPECT_STREQ(t[i].pszNomFrancais, latin1(r[3]).c_str());
    EXPECT_STREQ(t[i].pszNomAnglais, latin1(r[4]).c_str());
  }
  EXPECT_STREQ(t[44].pszNomAnglais, "Service.Type");
}

// The library exports its entry functions and the entry points of the
// tables, nothing else of its own (the C++ runtime included).
TEST_F(Tables, OnlyTheEntriesTheVmCallsAreExported) {
  std::set<std::string> entries;
  const _stFONCTION* t = functions();
  for (int i = 0; i < 391; ++i) {
    for (int s = 0; s < nNbSyntaxe(t[i].dwIdentifiant); ++s) {
      if (t[i].pstSyntaxes[s].pfnEntree != nullptr) entries.insert(entryName(t[i].pszNomFrancais, static_cast<std::size_t>(s)));
    }
  }
  const std::set<std::string> vmEntries = {"bInitLibrary", "TermLibrary", "ChildHandler",      "InfoComposante",
                                           "pQueryProxy",  "Execution",   "DeclareProxy",      "CommandeComposante",
                                           "GeneralParam", "bInitVXConvFromVM"};
  std::string cmd = std::string("nm -D --defined-only ") + KV_LIBRARY_PATH;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char line[512];
  std::set<std::string> exported;
  while (std::fgets(line, sizeof line, p)) {
    std::string name = line;
    name = name.substr(name.rfind(' ') + 1);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    exported.insert(name);
  }
  ASSERT_EQ(pclose(p), 0);
  for (const auto& name : exported) {
    EXPECT_TRUE(vmEntries.count(name) || entries.count(name)) << "unexpected export " << name;
  }
  for (const auto& name : entries) EXPECT_TRUE(exported.count(name)) << "entry point not exported: " << name;
  for (const char* name : {"bInitLibrary", "TermLibrary", "ChildHandler", "InfoComposante", "pQueryProxy"})
    EXPECT_TRUE(exported.count(name)) << name;
}

}  // namespace
