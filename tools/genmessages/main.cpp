// genmessages FR_TEXTS EN_TEXTS ERRORS OUTDIR MESSAGEFILE
//
// Builds the library's message resources from the plain text sources:
// - OUTDIR/RessourcesBloc.cpp: the embedded block (French texts in the
//   short-string coding, between the opening and closing markers) and its
//   length table;
// - MESSAGEFILE: the English texts as a message file of component 8;
// - OUTDIR/ErreursDef.cpp: the error table, each row's message checked to
//   exist in both languages;
// - OUTDIR/Erreurs.h: the named error codes as constants (a name given
//   twice, a code named twice or a named code without a message fails).
// Files are rewritten only when their contents change.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/DataCompressor.h"

namespace {

constexpr int kEntries = 366;
constexpr unsigned kOpenId = 0;
constexpr unsigned kCloseId = 65024;  // bytes 255, 255: above every message
constexpr int kComponent = 8;

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

// UTF-8 to Windows-1252.
std::string toCp1252(const std::string& utf8, const std::string& where) {
  static const std::map<unsigned, unsigned char> extra = {
      {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
      {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
      {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
      {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
      {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F}};
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    unsigned cp;
    int n;
    if (c < 0x80) {
      cp = c, n = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F, n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F, n = 3;
    } else {
      fail(where + ": character outside Windows-1252");
    }
    if (i + static_cast<std::size_t>(n) > utf8.size()) fail(where + ": bad UTF-8");
    for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
    i += static_cast<std::size_t>(n);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
    } else if (auto it = extra.find(cp); it != extra.end()) {
      out += static_cast<char>(it->second);
    } else {
      fail(where + ": character outside Windows-1252");
    }
  }
  return out;
}

std::string unescape(const std::string& s, const std::string& where) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    if (++i == s.size()) fail(where + ": lone backslash");
    switch (s[i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      default: fail(where + ": unknown escape \\" + std::string(1, s[i]));
    }
  }
  return out;
}

// Identifier -> Windows-1252 text, in increasing order.
std::map<unsigned, std::string> readMessages(const std::string& path) {
  std::ifstream in(path);
  if (!in) fail(path + ": cannot open");
  std::map<unsigned, std::string> out;
  std::string line;
  unsigned previous = 0;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::string where = path + ":" + std::to_string(n);
    auto tab = line.find('\t');
    if (tab == std::string::npos) fail(where + ": identifier, TAB, text expected");
    unsigned long id = 0;
    try {
      std::size_t used;
      id = std::stoul(line.substr(0, tab), &used);
      if (used != tab) throw std::invalid_argument("");
    } catch (const std::exception&) {
      fail(where + ": bad identifier");
    }
    if (id <= kOpenId || id >= kCloseId) fail(where + ": identifier out of range");
    if (id <= previous) fail(where + ": identifiers must increase");
    previous = static_cast<unsigned>(id);
    std::string text = toCp1252(unescape(line.substr(tab + 1), where), where);
    if (text.empty()) fail(where + ": empty text");
    if (text.find('\0') != std::string::npos) fail(where + ": NUL in text");
    out.emplace(static_cast<unsigned>(id), text);
  }
  return out;
}

std::string code(const std::string& text) {
  std::vector<unsigned char> out(text.size() * 2 + 16);
  CDataCompressor coder;
  int r = coder.nCompress(out.data(), static_cast<int>(out.size()),
                          reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (r != CDataCompressor::DC_OK) fail("cannot code \"" + text + "\"");
  // Check the round trip now rather than at run time.
  std::string back(text.size() + 1, '\0');
  int n = static_cast<int>(back.size());
  if (coder.nDeCompress(reinterpret_cast<unsigned char*>(back.data()), &n, out.data()) != CDataCompressor::DC_OK ||
      back.substr(0, static_cast<std::size_t>(n)) != text)
    fail("coding of \"" + text + "\" does not decode to itself");
  return std::string(reinterpret_cast<const char*>(out.data()));
}

void writeIfChanged(const std::string& path, const std::string& text) {
  {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream old;
    old << in.rdbuf();
    if (in && old.str() == text) return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) fail(path + ": cannot write");
}

std::string block(const std::map<unsigned, std::string>& messages) {
  std::vector<std::pair<unsigned, std::string>> entries;
  entries.emplace_back(kOpenId, "KORVAL RES BLOC START");
  for (const auto& m : messages) entries.push_back(m);
  entries.emplace_back(kCloseId, "KORVAL RES BLOC STOP");
  if (entries.size() != kEntries)
    fail("the block needs exactly " + std::to_string(kEntries - 2) + " messages, not " + std::to_string(messages.size()));

  std::vector<unsigned char> bytes;
  std::vector<unsigned> lengths{0};
  for (const auto& [id, text] : entries) {
    // Identifier in two non-zero bytes: first * 255 + second - 256.
    unsigned v = id + 256;
    unsigned second = (v - 1) % 255 + 1;
    bytes.push_back(static_cast<unsigned char>((v - second) / 255));
    bytes.push_back(static_cast<unsigned char>(second));
    std::string coded = code(text);
    bytes.insert(bytes.end(), coded.begin(), coded.end());
    bytes.push_back(0);
    lengths.push_back(static_cast<unsigned>(coded.size()));
  }
  if (bytes.size() > 0xFFFF) fail("the block exceeds the 16-bit offsets");

  std::ostringstream o;
  o << "// Generated by tools/genmessages from src/core/messages; do not edit.\n"
    << "#include \"core/RessourcesBloc.h\"\n\n"
    << "// Entries: identifier (2 bytes), text in the short-string coding, 0.\n"
    << "const BYTE gabBlocRessources[] = {";
  for (std::size_t i = 0; i < bytes.size(); ++i) o << (i % 20 == 0 ? "\n    " : "") << static_cast<unsigned>(bytes[i]) << ",";
  o << "\n};\n\n// length[0] = 0; length[i + 1]: coded length of entry i's text.\n"
    << "const WORD _tabTailleChaineRes[NB_RESSOURCES] = {";
  for (int i = 0; i < kEntries; ++i) o << (i % 20 == 0 ? "\n    " : "") << lengths[static_cast<std::size_t>(i)] << ",";
  o << "\n};\n\n// Coded length of the last entry (the closing marker).\n"
    << "const WORD gnTailleDerniereRessource = " << lengths.back() << ";\n";
  return o.str();
}

void put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Message file: header, component index, message index, then the texts.
std::string messageFile(const std::map<unsigned, std::string>& messages) {
  std::uint32_t componentIndex = 4;
  std::uint32_t messageIndex = componentIndex + 16;                    // one pair and the end pair
  std::uint32_t texts = messageIndex + 8 * static_cast<std::uint32_t>(messages.size()) + 8;
  std::string s;
  put32(s, 0x00010000);
  put32(s, kComponent);
  put32(s, messageIndex);
  put32(s, 0);
  put32(s, 0);
  std::uint32_t at = texts;
  for (const auto& [id, text] : messages) {
    put32(s, id);
    put32(s, at);
    at += 4 + static_cast<std::uint32_t>(text.size());
  }
  put32(s, 0);
  put32(s, 0);
  for (const auto& m : messages) {
    put32(s, static_cast<std::uint32_t>(m.second.size()));
    s += m.second;
  }
  return s;
}

// One row of the error table.
struct ErrorRow {
  unsigned long code, message, detail, level;
  std::string name;  // "" when the library does not raise the code by name
};

// Reads the error table. A named row must have a message in both languages,
// and neither a name nor a named code may appear twice.
std::vector<ErrorRow> readErrors(const std::string& path, const std::map<unsigned, std::string>& fr,
                                 const std::map<unsigned, std::string>& en) {
  std::ifstream in(path);
  if (!in) fail(path + ": cannot open");
  std::vector<ErrorRow> rows;
  std::map<std::string, unsigned long> codeOfName;
  std::map<unsigned long, std::string> nameOfCode;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (line.empty() || line[0] == '#') continue;
    std::string where = path + ":" + std::to_string(n);
    std::istringstream f(line);
    ErrorRow r;
    std::string rest;
    if (!(f >> r.code >> r.name >> r.message >> r.detail >> r.level) || (f >> rest))
      fail(where + ": code, name, message, detail, level expected");
    if (r.message != 0 && (!fr.count(static_cast<unsigned>(r.message)) || !en.count(static_cast<unsigned>(r.message))))
      fail(where + ": message " + std::to_string(r.message) + " has no text");
    if (r.name == "-") {
      r.name.clear();
    } else {
      bool ok = r.name.size() > 4 && r.name.compare(0, 4, "ERR_") == 0;
      for (char c : r.name) ok = ok && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
      if (!ok) fail(where + ": name " + r.name + " is not ERR_ followed by capitals, digits and _");
      if (r.message == 0) fail(where + ": " + r.name + " names a code without a message");
      if (auto it = codeOfName.find(r.name); it != codeOfName.end())
        fail(where + ": name " + r.name + " already given to " + std::to_string(it->second));
      if (auto it = nameOfCode.find(r.code); it != nameOfCode.end())
        fail(where + ": code " + std::to_string(r.code) + " already named " + it->second);
      codeOfName.emplace(r.name, r.code);
      nameOfCode.emplace(r.code, r.name);
    }
    rows.push_back(r);
  }
  // The published table has 232 rows; rows added for this library's own
  // errors (damaged compressed data, ...) come on top.
  if (rows.size() < 232) fail(path + ": at least 232 rows expected, not " + std::to_string(rows.size()));
  return rows;
}

std::string errorTable(const std::vector<ErrorRow>& rows) {
  std::ostringstream o;
  o << "// Generated by tools/genmessages from src/core/tables/erreurs.tsv; do not edit.\n"
    << "#include \"core/ErreursDef.h\"\n\n"
    << "const _stERRORDEF gstErrorDef[NB_ERRORDEF] = {\n";
  for (const auto& r : rows) o << "    {" << r.code << ", " << r.message << ", " << r.detail << ", " << r.level << "},\n";
  o << "};\n";
  return o.str();
}

// The named codes as constants, in code order, each with its English text.
std::string errorHeader(const std::vector<ErrorRow>& rows, const std::map<unsigned, std::string>& en) {
  std::map<unsigned long, const ErrorRow*> named;
  for (const auto& r : rows) {
    if (!r.name.empty()) named.emplace(r.code, &r);
  }
  std::ostringstream o;
  o << "// Generated by tools/genmessages from src/core/tables/erreurs.tsv; do not edit.\n"
    << "// The user error codes the library raises, by name.\n"
    << "#pragma once\n\n"
    << "#include <cstdint>\n\n"
    << "enum : std::uint32_t {\n";
  for (const auto& [code, r] : named) {
    std::string text = en.at(static_cast<unsigned>(r->message));
    // A plain one-line comment: no line break, no backslash (it would splice
    // the next line), nothing outside ASCII.
    for (char& c : text) {
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
      if (c == '\\' || static_cast<unsigned char>(c) >= 0x80) c = '?';
    }
    o << "  " << r->name << " = " << code << ",  // " << text << "\n";
  }
  o << "};\n";
  return o.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::cerr << "usage: genmessages FR_TEXTS EN_TEXTS ERRORS OUTDIR MESSAGEFILE\n";
    return 2;
  }
  try {
    auto fr = readMessages(argv[1]);
    auto en = readMessages(argv[2]);
    for (const auto& m : fr) {
      if (!en.count(m.first)) fail(std::string(argv[2]) + ": no text for " + std::to_string(m.first));
    }
    for (const auto& m : en) {
      if (!fr.count(m.first)) fail(std::string(argv[1]) + ": no text for " + std::to_string(m.first));
    }
    std::string out = argv[4];
    writeIfChanged(out + "/RessourcesBloc.cpp", block(fr));
    auto errors = readErrors(argv[3], fr, en);
    writeIfChanged(out + "/ErreursDef.cpp", errorTable(errors));
    writeIfChanged(out + "/Erreurs.h", errorHeader(errors, en));
    writeIfChanged(argv[5], messageFile(en));
  } catch (const std::exception& e) {
    std::cerr << "genmessages: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
