// Reading and checking the descriptor row files.
#include "rows.h"

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace gentables {
namespace {

struct Line {
  int number;
  std::vector<std::string> fields;
};

[[noreturn]] void fail(const std::string& file, int line, const std::string& what) {
  throw std::runtime_error(file + ":" + std::to_string(line) + ": " + what);
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

std::string trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// Data lines of a tab-separated file: comments (#) and blank lines skipped.
std::vector<Line> readLines(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot open");
  std::vector<Line> lines;
  std::string text;
  int n = 0;
  while (std::getline(in, text)) {
    ++n;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty() || text[0] == '#') continue;
    lines.push_back({n, split(text, '\t')});
  }
  return lines;
}

// UTF-8 to Latin-1; every character of the tables is in Latin-1.
std::string toLatin1(const std::string& utf8, const std::string& file, int line) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      if (cp > 0xFF) fail(file, line, "character outside Latin-1 in '" + utf8 + "'");
      out += static_cast<char>(cp);
      ++i;
    } else {
      fail(file, line, "character outside Latin-1 in '" + utf8 + "'");
    }
  }
  return out;
}

std::uint32_t parseNumber(const std::string& s, int base, const std::string& file, int line) {
  try {
    std::size_t used = 0;
    unsigned long long v = std::stoull(s, &used, base);
    if (used != s.size() || v > 0xFFFFFFFFull) throw std::invalid_argument(s);
    return static_cast<std::uint32_t>(v);
  } catch (const std::exception&) {
    fail(file, line, "bad number '" + s + "'");
  }
}

// "13(12,12)" or "1(13,12...)": hexadecimal codes.
Syntax parseSyntax(const std::string& text, const std::string& file, int line) {
  Syntax s;
  auto open = text.find('(');
  if (open == std::string::npos || text.back() != ')') fail(file, line, "bad syntax '" + text + "'");
  s.result = parseNumber(text.substr(0, open), 16, file, line);
  std::string inner = text.substr(open + 1, text.size() - open - 2);
  if (inner.size() >= 3 && inner.compare(inner.size() - 3, 3, "...") == 0) {
    s.repeatable = true;
    inner.resize(inner.size() - 3);
  }
  if (!inner.empty()) {
    for (const auto& p : split(inner, ',')) s.params.push_back(parseNumber(trim(p), 16, file, line));
  }
  if (s.repeatable && s.params.empty()) fail(file, line, "repeatable syntax without parameter");
  if (s.params.size() > 0x7F) fail(file, line, "too many parameters");
  return s;
}

void readFunctions(Tables& t, const std::string& path) {
  for (const auto& l : readLines(path)) {
    if (l.fields.size() != 7) fail(path, l.number, "expected 7 fields");
    Function f;
    f.position = static_cast<int>(parseNumber(l.fields[0], 10, path, l.number));
    f.number = static_cast<int>(parseNumber(l.fields[1], 10, path, l.number));
    f.flags = parseNumber(l.fields[2], 16, path, l.number);
    if (l.fields[3] != "L" && l.fields[3] != "-") fail(path, l.number, "platform must be L or -");
    f.linux = l.fields[3] == "L";
    f.french = toLatin1(l.fields[4], path, l.number);
    f.english = toLatin1(l.fields[5], path, l.number);
    if (f.french.empty() || f.english.empty()) fail(path, l.number, "empty name");
    std::string syntaxes = trim(l.fields[6]);
    if (!syntaxes.empty()) {
      for (const auto& s : split(syntaxes, ';')) f.syntaxes.push_back(parseSyntax(trim(s), path, l.number));
    }
    if (f.syntaxes.size() > 255) fail(path, l.number, "too many syntaxes");
    if (f.position != static_cast<int>(t.functions.size())) fail(path, l.number, "positions must run from 0 without gaps");
    if (f.position > 0xFFFF) fail(path, l.number, "position too large");
    bool synonym = (f.flags & 0x800000) != 0;
    if (synonym) {
      if (f.number >= f.position) fail(path, l.number, "a synonym row repeats an earlier row");
      const Function& original = t.functions[f.number];
      if (original.syntaxes.size() != f.syntaxes.size()) fail(path, l.number, "synonym syntaxes differ from its original's");
      for (std::size_t i = 0; i < f.syntaxes.size(); ++i) {
        const auto &a = original.syntaxes[i], &b = f.syntaxes[i];
        if (a.result != b.result || a.params != b.params || a.repeatable != b.repeatable)
          fail(path, l.number, "synonym syntaxes differ from its original's");
      }
      if (f.linux != original.linux) fail(path, l.number, "synonym platform differs from its original's");
    } else if (f.number != f.position) {
      fail(path, l.number, "function number differs from the position outside a synonym row");
    }
    f.entries.resize(f.syntaxes.size());
    t.functions.push_back(std::move(f));
  }
}

void readConstants(Tables& t, const std::string& path) {
  for (const auto& l : readLines(path)) {
    if (l.fields.size() != 5) fail(path, l.number, "expected 5 fields");
    Constant c;
    c.flags = parseNumber(l.fields[0], 16, path, l.number);
    c.french = toLatin1(l.fields[2], path, l.number);
    c.english = toLatin1(l.fields[3], path, l.number);
    const std::string& kind = l.fields[1];
    const std::string& value = l.fields[4];
    if (kind == "entier") {
      c.type = ConstantType::Integer;
      bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
      c.value = hex ? parseNumber(value.substr(2), 16, path, l.number) : parseNumber(value, 10, path, l.number);
    } else if (kind == "chaine") {
      c.type = ConstantType::String;
      if (value.size() < 2 || value.front() != '"' || value.back() != '"') fail(path, l.number, "text value between quotes expected");
      c.text = toLatin1(value.substr(1, value.size() - 2), path, l.number);
    } else if (kind == "aucune") {
      c.type = ConstantType::None;
      if (!value.empty()) fail(path, l.number, "a constant without value has no value field");
    } else {
      fail(path, l.number, "type must be entier, chaine or aucune");
    }
    t.constants.push_back(std::move(c));
  }
}

void readVariables(Tables& t, const std::string& path) {
  for (const auto& l : readLines(path)) {
    if (l.fields.size() != 5) fail(path, l.number, "expected 5 fields");
    Variable v;
    v.number = static_cast<int>(parseNumber(l.fields[0], 10, path, l.number));
    v.flags = parseNumber(l.fields[1], 16, path, l.number);
    v.type = parseNumber(l.fields[2], 16, path, l.number);
    v.french = toLatin1(l.fields[3], path, l.number);
    v.english = toLatin1(l.fields[4], path, l.number);
    if (v.number != static_cast<int>(t.variables.size()) + 1) fail(path, l.number, "variables are numbered from 1 without gaps");
    if (v.type > 0xFF) fail(path, l.number, "type code too large");
    t.variables.push_back(std::move(v));
  }
}

// Positions of the functions by French name (synonym rows left out: an
// entry or address row names the original).
std::map<std::string, int> functionsByName(const Tables& t) {
  std::map<std::string, int> byName;
  for (const auto& f : t.functions) {
    if (!(f.flags & 0x800000)) byName.emplace(f.french, f.position);
  }
  return byName;
}

int functionNamed(const std::map<std::string, int>& byName, const std::string& name, const std::string& path, int line) {
  auto it = byName.find(toLatin1(name, path, line));
  if (it == byName.end()) fail(path, line, "no function named '" + name + "'");
  return it->second;
}

// entrees.tsv: French name, syntax number or "*", then the call or "redirect L:F".
void readEntries(Tables& t, const std::string& path) {
  const auto byName = functionsByName(t);
  for (const auto& l : readLines(path)) {
    if (l.fields.size() != 3) fail(path, l.number, "expected 3 fields");
    Function& f = t.functions[functionNamed(byName, l.fields[0], path, l.number)];
    if (!f.linux) fail(path, l.number, "'" + l.fields[0] + "' has no entry points on this platform");
    Entry e;
    e.line = l.number;
    std::string target = trim(l.fields[2]);
    if (target.rfind("redirect ", 0) == 0) {
      auto parts = split(trim(target.substr(9)), ':');
      if (parts.size() != 2) fail(path, l.number, "redirect L:F expected");
      e.redirectLibrary = static_cast<int>(parseNumber(parts[0], 10, path, l.number));
      e.redirectFunction = static_cast<int>(parseNumber(parts[1], 10, path, l.number));
    } else {
      if (target.empty() || target.find('(') == std::string::npos) fail(path, l.number, "method call expected");
      e.call = target;
    }
    auto assign = [&](std::size_t s) {
      if (f.entries[s]) fail(path, l.number, "syntax " + std::to_string(s) + " of '" + l.fields[0] + "' given twice");
      if (e.redirectFunction < 0) {
        // Every declared parameter is used by the call, and no other.
        for (std::size_t p = 1; p <= 9; ++p) {
          bool used = e.call.find("$" + std::to_string(p)) != std::string::npos;
          if (used != (p <= f.syntaxes[s].params.size()))
            fail(path, l.number, "syntax " + std::to_string(s) + " takes " + std::to_string(f.syntaxes[s].params.size()) +
                                     " parameters: the call must use $1 to $" + std::to_string(f.syntaxes[s].params.size()));
        }
      }
      f.entries[s] = e;
    };
    if (l.fields[1] == "*") {
      for (std::size_t s = 0; s < f.syntaxes.size(); ++s) assign(s);
    } else {
      auto s = parseNumber(l.fields[1], 10, path, l.number);
      if (s >= f.syntaxes.size()) fail(path, l.number, "no syntax " + l.fields[1] + " in '" + l.fields[0] + "'");
      assign(s);
    }
  }
}

// adresses.tsv: French name, syntax number, parameter number (from 1) of
// each parameter that carries an address; it must be declared as integer 8.
void readAddresses(Tables& t, const std::string& path) {
  const auto byName = functionsByName(t);
  for (const auto& l : readLines(path)) {
    if (l.fields.size() != 3) fail(path, l.number, "expected 3 fields");
    Function& f = t.functions[functionNamed(byName, l.fields[0], path, l.number)];
    auto s = parseNumber(l.fields[1], 10, path, l.number);
    if (s >= f.syntaxes.size()) fail(path, l.number, "no syntax " + l.fields[1] + " in '" + l.fields[0] + "'");
    Syntax& sy = f.syntaxes[s];
    auto p = parseNumber(l.fields[2], 10, path, l.number);
    if (p < 1 || p > sy.params.size()) fail(path, l.number, "no parameter " + l.fields[2]);
    if ((sy.params[p - 1] & 0xFF) != 0x08) fail(path, l.number, "an address parameter is declared as integer 8");
    sy.addresses |= 1u << (p - 1);
  }
}

}  // namespace

Tables readTables(const std::string& dir, const std::vector<std::string>& entryFiles) {
  Tables t;
  readFunctions(t, dir + "/fonctions.tsv");
  readConstants(t, dir + "/constantes.tsv");
  readVariables(t, dir + "/variables.tsv");
  readEntries(t, dir + "/entrees.tsv");
  for (const auto& file : entryFiles) readEntries(t, file);
  readAddresses(t, dir + "/adresses.tsv");
  // A synonym shares its original's syntaxes, addresses included.
  for (auto& f : t.functions) {
    if (f.flags & 0x800000) f.syntaxes = t.functions[f.number].syntaxes;
  }
  return t;
}

std::string withoutAccents(const std::string& latin1) {
  // Latin-1 0xC0..0xFF to their base letters; other bytes kept.
  static const char* const base =
      "AAAAAAACEEEEIIII"   // C0-CF (C6 Æ kept as A)
      "DNOOOOO*OUUUUYTs"   // D0-DF
      "aaaaaaaceeeeiiii"   // E0-EF
      "dnooooo/ouuuuyty";  // F0-FF
  std::string out;
  for (char ch : latin1) {
    auto c = static_cast<unsigned char>(ch);
    out += c >= 0xC0 ? base[c - 0xC0] : ch;
  }
  return out;
}

std::string entryPointName(const Function& f, int syntax) {
  return "VXL_" + withoutAccents(f.french) + "_" + std::to_string(syntax);
}

}  // namespace gentables
