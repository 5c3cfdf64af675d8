// The raise-site graph of the library's sources.
#include "raises.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace gentables {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot open");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool identStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool identChar(char c) { return identStart(c) || (c >= '0' && c <= '9'); }

// Identifiers and one-character punctuation; comments, literals and
// preprocessor lines dropped (a string literal becomes the token "\"").
std::vector<std::string> tokens(const std::string& s) {
  std::vector<std::string> out;
  std::size_t i = 0;
  bool lineStart = true;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') {
      lineStart = true;
      ++i;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (lineStart && c == '#') {  // to the end of the line, continuations included
      while (i < s.size() && !(s[i] == '\n' && s[i - 1] != '\\')) ++i;
      continue;
    }
    lineStart = false;
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      auto e = s.find("*/", i + 2);
      i = e == std::string::npos ? s.size() : e + 2;
    } else if (c == 'R' && i + 1 < s.size() && s[i + 1] == '"') {  // raw string R"x(...)x"
      auto open = s.find('(', i);
      std::string end = ")" + s.substr(i + 2, open - i - 2) + "\"";
      auto e = s.find(end, open);
      i = e == std::string::npos ? s.size() : e + end.size();
      out.emplace_back("\"");
    } else if (c == '"' || c == '\'') {
      ++i;
      while (i < s.size() && s[i] != c) i += s[i] == '\\' ? 2 : 1;
      ++i;
      if (c == '"') out.emplace_back("\"");
    } else if (identStart(c)) {
      std::size_t b = i;
      while (i < s.size() && identChar(s[i])) ++i;
      out.push_back(s.substr(b, i - b));
    } else if (c >= '0' && c <= '9') {
      while (i < s.size() && (identChar(s[i]) || s[i] == '.' || s[i] == '\'')) ++i;
      out.emplace_back("0");
    } else {
      out.emplace_back(1, c);
      ++i;
    }
  }
  return out;
}

bool isIdentifier(const std::string& t) { return !t.empty() && identStart(t[0]); }

// Index of the brace that closes the one at `open`.
std::size_t closing(const std::vector<std::string>& t, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < t.size(); ++i) {
    if (t[i] == "{") ++depth;
    if (t[i] == "}" && --depth == 0) return i;
  }
  return t.size();
}

}  // namespace

RaiseGraph::RaiseGraph(const std::vector<std::string>& sourceFiles, const std::string& errorTable) {
  std::istringstream table(readFile(errorTable));
  std::string line;
  std::vector<std::pair<std::uint32_t, std::string>> named;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    auto tab = line.find('\t');
    auto tab2 = line.find('\t', tab + 1);
    std::string name = line.substr(tab + 1, tab2 - tab - 1);
    if (name == "-") continue;
    auto code = static_cast<std::uint32_t>(std::stoul(line.substr(0, tab)));
    codes_[name] = code;
    named.emplace_back(code, name);
  }
  // An offset from a named code (ERR_X + n) reaches the codes that follow it
  // one by one under names of the same family (ERR_COMPACTE_...).
  for (const auto& [name, code] : codes_) {
    std::string stem = name.substr(0, name.rfind('_') + 1);
    std::set<std::uint32_t>& reach = family_[name];
    for (std::uint32_t c = code;; ++c) {
      bool found = false;
      for (const auto& [other, n] : named) {
        if (other == c && n.rfind(stem, 0) == 0) found = true;
      }
      if (!found) break;
      reach.insert(c);
    }
  }
  for (const auto& file : sourceFiles) read(readFile(file));
}

void RaiseGraph::addBody(const std::string& name, const std::vector<std::string>& t, std::size_t begin,
                         std::size_t end) {
  Body& body = bodies_[name];
  for (std::size_t i = begin; i < end; ++i) {
    const std::string& w = t[i];
    if (w.rfind("ERR_", 0) != 0) {
      if (w.rfind("RaiseError", 0) == 0 || w == "m_pclErreur") body.raiser = true;
      if (isIdentifier(w) && w != name) body.mentions.insert(w);
      continue;
    }
    auto code = codes_.find(w);
    if (code == codes_.end()) {
      unknown_.insert(w);
    } else if (i + 1 < end && t[i + 1] == "+") {
      body.raises.insert(family_[w].begin(), family_[w].end());
    } else {
      body.raises.insert(code->second);
    }
  }
}

// Walks the declarations of one file (and its macro definitions). A brace
// opens a scope (namespace, class, extern block), the body of a function
// (the name before its parameter list), a named initialiser (the name
// before "="), or a block of no interest (enumerations and the like).
void RaiseGraph::read(const std::string& text) {
  // Macros are bodies of their own, read from their definitions.
  for (std::size_t at = text.find("#define"); at != std::string::npos; at = text.find("#define", at + 1)) {
    std::size_t end = at;
    while (end < text.size() && !(text[end] == '\n' && text[end - 1] != '\\')) ++end;
    std::string definition = text.substr(at + 7, end - at - 7);
    for (auto& c : definition) {
      if (c == '\\') c = ' ';
    }
    const std::vector<std::string> m = tokens(definition);
    if (!m.empty() && isIdentifier(m[0])) addBody(m[0], m, 1, m.size());
  }
  const std::vector<std::string> t = tokens(text);
  std::size_t header = 0;  // first token of the declaration being read
  for (std::size_t i = 0; i < t.size(); ++i) {
    const std::string& w = t[i];
    if (w == ";" || w == "}") {
      header = i + 1;
      continue;
    }
    if (w != "{") continue;
    // The declaration from `header` to this brace.
    const std::string first = header < i ? t[header] : "";
    bool scope = first == "namespace" || first == "extern" || header == i;
    std::string kind, name;
    std::size_t parenthesis = i, equals = i;
    int depth = 0;
    for (std::size_t k = header; k < i; ++k) {
      if (t[k] == "(" && depth++ == 0 && parenthesis == i) parenthesis = k;
      if (t[k] == ")") --depth;
      if (depth == 0 && t[k] == "=" && equals == i && parenthesis == i) equals = k;
      if (depth == 0 && parenthesis == i && equals == i &&
          (t[k] == "class" || t[k] == "struct" || t[k] == "union" || t[k] == "enum") && kind.empty())
        kind = t[k];
    }
    if (scope || ((kind == "class" || kind == "struct" || kind == "union") && parenthesis == i && equals == i)) {
      header = i + 1;  // the scope's declarations follow
      continue;
    }
    std::size_t end = closing(t, i);
    if (equals < i || (parenthesis == i && kind.empty())) {
      // A named initialiser (x = {...} or x{...}): a table that bodies
      // mention by name.
      for (std::size_t k = equals; k-- > header;) {
        if (isIdentifier(t[k])) {
          name = t[k];
          break;
        }
      }
    } else if (parenthesis < i && kind.empty()) {
      for (std::size_t k = parenthesis; k-- > header;) {
        if (isIdentifier(t[k])) {
          name = t[k];
          break;
        }
        if (t[k] != ">" && t[k] != "<") break;
      }
      // A constructor's member initialisers with braces (m{x}): the body is
      // the brace that follows a ")" or a "}".
      bool initialisers = false;
      for (std::size_t k = parenthesis, d = 0; k < i; ++k) {
        if (t[k] == "(") ++d;
        if (t[k] == ")") --d;
        if (d == 0 && t[k] == ":" && t[k + 1] != ":" && t[k - 1] != ":") initialisers = true;
      }
      while (initialisers && isIdentifier(t[i - 1]) && end < t.size()) {
        std::size_t next = end + 1;
        while (next < t.size() && t[next] != "{" && t[next] != ";") ++next;
        if (next >= t.size() || t[next] != "{") break;
        i = next;
        end = closing(t, i);
      }
    }
    if (!name.empty()) addBody(name, t, header, end);
    i = end;
    header = end + 1;
  }
}

// A code is raised when a body on the way from the method to its raise site
// raises (mentions RaiseError...) or writes the component's error object
// (m_pclErreur): a helper that fills an error object its caller drops (a
// validity test) adds nothing. Solved to a fixed point over the whole
// graph, once.
void RaiseGraph::solve() const {
  if (solved_) return;
  solved_ = true;
  for (const auto& [name, body] : bodies_) {
    filled_[name] = body.raises;
    raised_[name];
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto& [name, body] : bodies_) {
      std::set<std::uint32_t>& filled = filled_[name];
      std::set<std::uint32_t>& raised = raised_[name];
      const std::size_t before = filled.size() + raised.size();
      for (const auto& m : body.mentions) {
        auto f = filled_.find(m);
        if (f == filled_.end()) continue;
        filled.insert(f->second.begin(), f->second.end());
        const auto& r = raised_[m];
        raised.insert(r.begin(), r.end());
      }
      if (body.raiser) raised.insert(filled.begin(), filled.end());
      changed |= filled.size() + raised.size() != before;
    }
  }
}

std::set<std::uint32_t> RaiseGraph::raisedBy(const std::string& call) const {
  solve();
  std::set<std::uint32_t> raised;
  for (const auto& w : tokens(call)) {
    auto r = raised_.find(w);
    if (r != raised_.end()) raised.insert(r->second.begin(), r->second.end());
  }
  return raised;
}

}  // namespace gentables
