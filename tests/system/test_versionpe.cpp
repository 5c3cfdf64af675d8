// Version strings of Windows executables: small PE files built here from the
// published PE/COFF layout (PE32 and PE32+, one resource section), read
// through ExeInfo and through the parser; damaged and truncated files give
// nothing, never a read outside the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "files/TempDir.h"
#include "support/HostTest.h"
#include "system/VersionPE.h"

namespace {

using Bytes = std::string;

void put16(Bytes& b, std::size_t at, unsigned v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<char>(v & 0xFF), b[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}
void pad4(Bytes& b) {
  while (b.size() % 4 != 0) b += '\0';
}
Bytes utf16(const std::u16string& s) {
  Bytes b;
  for (char16_t c : s) b += static_cast<char>(c & 0xFF), b += static_cast<char>(c >> 8);
  return b + Bytes(2, '\0');
}

// One block of a version resource: length, value length, type, key, value,
// children, each part on a 4-byte boundary (blocks start aligned).
Bytes block(const std::u16string& key, const Bytes& value, unsigned valueLength, bool text, const Bytes& children = {}) {
  Bytes b(6, '\0');
  b += utf16(key);
  pad4(b);
  b += value;
  if (!children.empty()) pad4(b), b += children;
  put16(b, 0, static_cast<unsigned>(b.size()));
  put16(b, 2, valueLength);
  put16(b, 4, text ? 1 : 0);
  return b;
}
Bytes stringBlock(const std::u16string& key, const std::u16string& value) {
  Bytes b = block(key, utf16(value), static_cast<unsigned>(value.size() + 1), true);
  pad4(b);
  return b;
}

struct Strings {
  std::u16string table = u"000004E4";
  std::vector<std::pair<std::u16string, std::u16string>> rows;
};

Bytes versionResource(const Strings& s) {
  Bytes strings;
  for (const auto& [k, v] : s.rows) strings += stringBlock(k, v);
  Bytes table = block(s.table, {}, 0, true, strings);
  pad4(table);
  Bytes info = block(u"StringFileInfo", {}, 0, true, table);
  pad4(info);
  Bytes var = block(u"VarFileInfo", {}, 0, true, block(u"Translation", Bytes("\0\0\xE4\x04", 4), 4, false));
  Bytes fixed(52, '\0');
  put32(fixed, 0, 0xFEEF04BD);
  return block(u"VS_VERSION_INFO", fixed, 52, false, info + var);
}

// A PE file: DOS header, "PE\0\0", COFF header, optional header with the
// resource directory, one ".rsrc" section at address 0x1000 holding the
// resource tree (type 16 -> id 1 -> language 0 -> data) and the resource.
Bytes peFile(const Bytes& resource, bool pe64 = false) {
  const std::uint32_t peAt = 0x80, optional = pe64 ? 240 : 224, sectionAt = peAt + 24 + optional, rawAt = 0x200,
                      address = 0x1000;
  Bytes f(rawAt, '\0');
  f[0] = 'M', f[1] = 'Z';
  put16(f, 24, 64);
  put32(f, 60, peAt);
  std::memcpy(&f[peAt], "PE\0\0", 4);
  put16(f, peAt + 4, pe64 ? 0x8664 : 0x14C);
  put16(f, peAt + 6, 1);  // one section
  put16(f, peAt + 20, optional);
  put16(f, peAt + 24, pe64 ? 0x20B : 0x10B);
  const std::uint32_t directories = peAt + 24 + (pe64 ? 112 : 96);
  put32(f, directories - 4, 16);
  // Resource tree: three directories of one entry, then the data entry.
  Bytes tree(16 * 3 + 8 * 3 + 16, '\0');
  put16(tree, 14, 1), put32(tree, 16, 16), put32(tree, 20, 0x80000000u | 24);
  put16(tree, 24 + 14, 1), put32(tree, 24 + 16, 1), put32(tree, 24 + 20, 0x80000000u | 48);
  put16(tree, 48 + 14, 1), put32(tree, 48 + 16, 0), put32(tree, 48 + 20, 72);
  put32(tree, 72, address + 88), put32(tree, 76, static_cast<std::uint32_t>(resource.size()));
  tree += resource;
  pad4(tree);
  put32(f, directories + 16, address), put32(f, directories + 20, static_cast<std::uint32_t>(tree.size()));
  std::memcpy(&f[sectionAt], ".rsrc\0\0\0", 8);
  put32(f, sectionAt + 8, static_cast<std::uint32_t>(tree.size()));
  put32(f, sectionAt + 12, address);
  put32(f, sectionAt + 16, static_cast<std::uint32_t>(tree.size()));
  put32(f, sectionAt + 20, rawAt);
  return f + tree;
}

Strings sample() {
  Strings s;
  s.rows = {{u"CompanyName", u"Soci\u00e9t\u00e9 \u20ac Anonyme"},
            {u"FileDescription", u"Un outil"},
            {u"FileVersion", u"1.2.3.4"},
            {u"LegalCopyright", u"(c) 2024 \u4e2d"},
            {u"ProductName", u"Outil"}};
  return s;
}

// The parser over bytes in memory, every read checked against their size.
bool parse(const Bytes& file, const char* key, std::u16string* text, const char* table = "000004E4") {
  const LecteurPE read = [&](std::uint64_t at, std::uint32_t n, unsigned char* dst) {
    if (at > file.size() || n > file.size() - at) return false;
    std::memcpy(dst, file.data() + at, n);
    return true;
  };
  return PE_bChaineVersion(read, table, key, text);
}

class VersionPE : public HostTest {
protected:
  std::string write(const Bytes& bytes) {
    std::string path = dir_ / "version_pe_test.exe";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string info(const char* what, const Bytes& bytes) { return call("ExeInfo", {T(what), T(write(bytes))}).bytes; }

private:
  TempDir dir_;  // each test's own, so tests run side by side never share the file
};

TEST_F(VersionPE, ExeInfoReadsTheStringTable) {
  for (bool pe64 : {false, true}) {
    const Bytes f = peFile(versionResource(sample()), pe64);
    const struct {
      const char* what;
      const char* text;
    } cases[] = {
        {"VERSION", "1.2.3.4"},
        {"SOCI\xC9T\xC9", "Soci\xE9t\xE9 \x80 Anonyme"},  // Windows-1252: é and the euro sign
        {"Soci\xE9t\xE9", "Soci\xE9t\xE9 \x80 Anonyme"},
        {"COMPANY", "Soci\xE9t\xE9 \x80 Anonyme"},
        {"DESCRIPTION", "Un outil"},
        {"COPYRIGHT", "(c) 2024 ?"},                       // no such character in the code page
        {"ProductName", "Outil"},                          // an unknown name is a key itself
        {"productname", "Outil"},
        {"Comments", ""},
        {"MODE", pe64 ? "64" : "32"},
    };
    for (const auto& c : cases) {
      EXPECT_EQ(info(c.what, f), c.text) << c.what << " " << pe64;
      EXPECT_FALSE(last.isError());
    }
  }
}

TEST_F(VersionPE, OtherTablesLongTextsAndNoResource) {
  Strings s = sample();
  s.table = u"040904B0";
  EXPECT_EQ(info("VERSION", peFile(versionResource(s))), "") << "only the table 000004E4";
  s = sample();
  s.rows.push_back({u"Comments", std::u16string(250, u'x')});
  EXPECT_EQ(info("Comments", peFile(versionResource(s))), std::string(199, 'x')) << "at most 199 characters";
  Bytes noResource = peFile(versionResource(sample()));
  put32(noResource, 0x80 + 24 + 96 + 16, 0);
  EXPECT_EQ(info("VERSION", noResource), "");
  EXPECT_EQ(info("VERSION", "MZ"), "");
  EXPECT_EQ(call("ExeInfo", {T("VERSION"), T("/no/such/file.exe")}).bytes, "");
  EXPECT_FALSE(last.isError());
}

// Every prefix of the file, and files with damaged bytes, offsets and
// lengths: the parser reads only inside the bytes it is given and finds the
// string only when everything on the way to it is whole.
TEST(VersionPEParser, DamagedAndTruncatedFiles) {
  const Bytes f = peFile(versionResource(sample()));
  std::u16string text;
  ASSERT_TRUE(parse(f, "FileVersion", &text));
  EXPECT_EQ(text, u"1.2.3.4");
  ASSERT_TRUE(parse(f, "LegalCopyright", &text));
  EXPECT_EQ(text, u"(c) 2024 \u4e2d");
  for (std::size_t n = 0; n < f.size(); ++n) {
    const bool found = parse(f.substr(0, n), "ProductName", &text);
    if (found) {
      EXPECT_EQ(text, u"Outil") << n;
    }
  }
  EXPECT_FALSE(parse(f.substr(0, f.size() / 2), "FileVersion", &text));
  // Fields that point outside: the PE header offset, the section count and
  // placement, the resource address, the tree's offsets, the block lengths.
  const std::uint32_t tree = 0x200, version = tree + 88;
  const struct {
    std::size_t at;
    std::uint32_t value;
    bool wide;
  } damages[] = {
      {60, 0xFFFFFFF0u, true},          {0x80, 0, true},                   {0x80 + 6, 0, false},
      {0x80 + 6, 0xFFFF, false},        {0x80 + 20, 0, false},             {0x80 + 24, 0x107, false},
      {0x80 + 24 + 92, 2, true},        {0x80 + 24 + 112, 0xFFFFFFF0u, true}, {0x80 + 24 + 224 + 16, 0xFFFFFFFFu, true},
      {0x80 + 24 + 224 + 20, 0xFFFFFFF0u, true}, {tree + 14, 0xFFFF, false}, {tree + 20, 0x80000000u | 0x7FFFFFF0u, true},
      {tree + 20, 24, true},            {tree + 72, 0xFFFFFF00u, true},    {tree + 76, 0xFFFFFFFFu, true},
      {version, 0xFFFF, false},         {version, 3, false},               {version + 2, 0xFFFF, false},
  };
  for (const auto& d : damages) {
    Bytes g = f;
    if (d.wide) put32(g, d.at, d.value);
    else put16(g, d.at, d.value);
    g.resize(f.size());
    parse(g, "FileVersion", &text);  // found or not, but inside the bytes (sanitizer build)
  }
  // Random damage anywhere.
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) {
    Bytes g = f;
    for (int k = 0; k < 4; ++k) g[rng() % g.size()] = static_cast<char>(rng());
    parse(g, "FileVersion", &text);
  }
  // Block keys without their terminator and a resource of one byte.
  Strings s = sample();
  Bytes r = versionResource(s);
  for (std::size_t i = 6; i < r.size(); ++i) r[i] = 'A';
  EXPECT_FALSE(parse(peFile(r), "FileVersion", &text));
  EXPECT_FALSE(parse(peFile(Bytes(1, '\x10')), "FileVersion", &text));
}

}  // namespace
