// Help rows: descriptions, subsystems and parameter names.
#include "help.h"

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

namespace gentables {
namespace {

std::vector<std::string> splitTabs(const std::string& s) {
  std::vector<std::string> out(1);
  for (char c : s) {
    if (c == '\t')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

std::string trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Latin-1 to UTF-8, for the names of the tables.
std::string utf8(const std::string& latin1) {
  std::string out;
  for (char ch : latin1) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

struct Parameter {
  std::string type, name;
};
using Declarations = std::multimap<std::string, std::vector<Parameter>>;

// Method declarations of a Methodes.inc: name -> parameters.
void readDeclarations(const std::string& path, Declarations& out) {
  std::string text = readFile(path);
  text = std::regex_replace(text, std::regex("//[^\n]*"), "");
  static const std::regex decl(R"((\w+)\s*\(([^()]*)\)\s*(const\s*)?;)");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), decl); it != std::sregex_iterator(); ++it) {
    std::vector<Parameter> params;
    std::string list = (*it)[2];
    std::stringstream ss(list);
    std::string p;
    while (std::getline(ss, p, ',')) {
      p = trim(p);
      if (p.empty()) continue;
      if (p == "...") {
        params.push_back({"...", ""});
        continue;
      }
      auto e = p.find_last_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_");
      params.push_back({p.substr(0, e + 1), p.substr(e + 1)});
    }
    out.emplace((*it)[1], std::move(params));
  }
}

// "pszNomFichier" -> "nomFichier": the type prefix dropped.
std::string plainName(const std::string& name) {
  static const std::regex prefix("^(psz|pcl|pst|pi|pv|pb|pn|p|sz|st|cl|dw|w|n|l|o|b|e|c|d|q|h|u|s|f|a)(?=[A-Z])");
  std::string s = std::regex_replace(name, prefix, "");
  if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z' && !(s.size() > 1 && s[1] >= 'A' && s[1] <= 'Z')) s[0] = static_cast<char>(s[0] + 32);
  return s;
}

bool pointerCode(std::uint32_t code) {
  switch (code & 0xFF) {
    case 0x12: case 0x13: case 0x1c: case 0x1d: case 0x1f: case 0x39: case 0x43: case 0x4b: case 0x4d: return true;
    default: return false;
  }
}

bool pointerType(const std::string& type) {
  return type.find('*') != std::string::npos || type.find('&') != std::string::npos ||
         type.find("CVXDSTR") != std::string::npos || type.find("CVXBIN") != std::string::npos ||
         type.find("CAny") != std::string::npos;
}

// Names of a syntax's parameters from its entry call, "" where unknown.
std::vector<std::string> parameterNames(const Syntax& s, const std::string& call, const Declarations& decls) {
  std::vector<std::string> names(s.params.size());
  auto open = call.find('(');
  if (open == std::string::npos) return names;
  std::string method = trim(call.substr(0, open));
  // Top-level arguments of the call.
  std::vector<std::string> args(1);
  int depth = 0;
  bool quote = false;
  for (std::size_t i = open + 1; i < call.size(); ++i) {
    char c = call[i];
    if (quote) {
      if (c == '"' && call[i - 1] != '\\') quote = false;
    } else if (c == '"') {
      quote = true;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth-- == 0) break;
    } else if (c == ',' && depth == 0) {
      args.emplace_back();
      continue;
    }
    args.back() += c;
  }
  if (args.size() == 1 && trim(args[0]).empty()) args.clear();
  const std::vector<Parameter>* best = nullptr;
  int bestScore = -1;
  auto range = decls.equal_range(method);
  for (auto it = range.first; it != range.second; ++it) {
    const auto& params = it->second;
    bool variadic = !params.empty() && params.back().type == "...";
    if (variadic ? args.size() + 1 < params.size() : args.size() != params.size()) continue;
    int score = 0;
    for (std::size_t a = 0; a < args.size() && a < params.size(); ++a) {
      static const std::regex dollar(R"(^\s*\$(\d)\s*$)");
      std::smatch m;
      if (std::regex_match(args[a], m, dollar)) {
        std::size_t k = static_cast<std::size_t>(std::stoi(m[1])) - 1;
        if (k < s.params.size() && pointerCode(s.params[k]) == pointerType(params[a].type)) ++score;
      }
    }
    if (score > bestScore) {
      bestScore = score;
      best = &params;
    }
  }
  if (best == nullptr) return names;
  for (std::size_t a = 0; a < args.size() && a < best->size(); ++a) {
    static const std::regex dollar(R"(\$(\d))");
    std::smatch m;
    if (std::regex_search(args[a], m, dollar) && (*best)[a].type != "...") {
      std::size_t k = static_cast<std::size_t>(std::stoi(m[1])) - 1;
      if (k < names.size()) names[k] = plainName((*best)[a].name);
    }
  }
  // A repeated last parameter takes the name of the declaration's last named one.
  if (s.repeatable && !names.empty() && names.back().empty() && best->size() >= 2) names.back() = plainName((*best)[best->size() - 2].name);
  return names;
}

// Each name of a row's constant list is a constant of the tables, and each
// "name*" begins at least one.
void checkConstants(const Tables& t, const std::string& path, const std::string& function, const std::string& list) {
  if (list == "-") return;
  std::stringstream ss(list);
  std::string pattern;
  while (std::getline(ss, pattern, ',')) {
    const bool prefix = !pattern.empty() && pattern.back() == '*';
    const std::string stem = prefix ? pattern.substr(0, pattern.size() - 1) : pattern;
    bool found = false;
    for (const auto& c : t.constants) {
      const std::string name = utf8(c.french);
      if (prefix ? name.rfind(stem, 0) == 0 : name == stem) found = true;
    }
    if (!found) throw std::runtime_error(path + ": '" + pattern + "' (" + function + ") names no constant");
  }
}

}  // namespace

std::string emitHelp(const Tables& t, const std::string& rowDir, const std::vector<std::string>& entryFiles,
                     const RaiseGraph* raises) {
  // Subsystem of each function: the folder of the entry file naming it.
  std::map<std::string, std::string> subsystem;  // French name (UTF-8) -> folder
  Declarations decls;
  std::vector<std::string> files = entryFiles;
  files.push_back(rowDir + "/entrees.tsv");  // the frame's own (redirects)
  for (const auto& file : files) {
    std::string dir = file.substr(0, file.rfind('/'));
    std::string folder = file == files.back() ? "frame" : dir.substr(dir.rfind('/') + 1);
    readDeclarations(dir + "/Methodes.inc", decls);
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      subsystem.emplace(splitTabs(line)[0], folder);
    }
  }

  // Parameter names: the declared name without its type prefix, then its
  // French and English forms.
  struct Name {
    std::string french, english;
    bool used = false;
  };
  std::map<std::string, Name> names;
  {
    const std::string namesPath = rowDir + "/parametres.tsv";
    std::ifstream names_in(namesPath);
    if (!names_in) throw std::runtime_error(namesPath + ": cannot open");
    std::string l;
    int k = 0;
    while (std::getline(names_in, l)) {
      ++k;
      if (l.empty() || l[0] == '#') continue;
      auto f = splitTabs(l);
      if (f.size() != 3 || trim(f[0]).empty() || trim(f[1]).empty() || trim(f[2]).empty())
        throw std::runtime_error(namesPath + ":" + std::to_string(k) + ": expected declared name, French and English names");
      if (!names.emplace(trim(f[0]), Name{trim(f[1]), trim(f[2])}).second)
        throw std::runtime_error(namesPath + ":" + std::to_string(k) + ": '" + f[0] + "' named twice");
    }
  }
  auto named = [&](const std::string& declared, const std::string& function, bool english) -> std::string {
    if (declared.empty()) return {};
    auto it = names.find(declared);
    if (it == names.end())
      throw std::runtime_error(rowDir + "/parametres.tsv: no names for the parameter '" + declared + "' (" + function + ")");
    it->second.used = true;
    return english ? it->second.english : it->second.french;
  };

  struct Row {
    std::string constants, french, english;
    bool used = false;
  };
  std::map<std::string, Row> rows;  // by English name (unique in the tables)
  const std::string path = rowDir + "/descriptions.tsv";
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot open");
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    if (line.empty() || line.rfind("# ", 0) == 0) continue;  // "#réservé_98" is a row
    auto f = splitTabs(line);
    if (f.size() != 4 || trim(f[2]).empty() || trim(f[3]).empty())
      throw std::runtime_error(path + ":" + std::to_string(n) + ": expected English name, constants, French and English descriptions");
    if (!rows.emplace(f[0], Row{trim(f[1]), trim(f[2]), trim(f[3])}).second)
      throw std::runtime_error(path + ":" + std::to_string(n) + ": '" + f[0] + "' described twice");
  }

  std::ostringstream out;
  out << "// Generated by gentables from descriptions.tsv, parametres.tsv, the entry\n"
         "// files, the method declarations and the raise sites of the sources: one\n"
         "// row per function row, in table order.\n";
  for (const auto& f : t.functions) {
    std::string english = utf8(f.english);
    auto it = rows.find(english);
    if (it == rows.end()) throw std::runtime_error(path + ": no description of '" + english + "' (" + utf8(f.french) + ")");
    it->second.used = true;
    checkConstants(t, path, english, it->second.constants);
    std::string params, paramsEnglish, errors;
    std::set<std::uint32_t> raised;
    for (std::size_t s = 0; s < f.syntaxes.size(); ++s) {
      if (s) params += ';', paramsEnglish += ';';
      std::vector<std::string> declared(f.syntaxes[s].params.size());
      if (f.entries[s] && !f.entries[s]->call.empty()) {
        declared = parameterNames(f.syntaxes[s], f.entries[s]->call, decls);
        if (raises != nullptr) {
          auto r = raises->raisedBy(f.entries[s]->call);
          raised.insert(r.begin(), r.end());
        }
      }
      for (std::size_t p = 0; p < declared.size(); ++p) {
        params += (p ? "," : "") + named(declared[p], english, false);
        paramsEnglish += (p ? "," : "") + named(declared[p], english, true);
      }
    }
    for (auto code : raised) errors += (errors.empty() ? "" : ",") + std::to_string(code);
    auto sub = subsystem.find(utf8(f.french));
    const Row& r = it->second;
    out << "{" << quoted(english) << ", " << quoted(sub == subsystem.end() ? "" : sub->second) << ", "
        << quoted(r.constants == "-" ? "" : r.constants) << ", " << quoted(errors) << ", " << quoted(r.french)
        << ", " << quoted(r.english) << ", " << quoted(params) << ", " << quoted(paramsEnglish) << "},\n";
  }
  for (const auto& [name, row] : rows) {
    if (!row.used) throw std::runtime_error(path + ": '" + name + "' is no function of the tables");
  }
  for (const auto& [declared, name] : names) {
    if (!name.used) throw std::runtime_error(rowDir + "/parametres.tsv: '" + declared + "' names no parameter");
  }
  return out.str();
}

}  // namespace gentables
