// Help texts from the generated help rows.
#include "Help.h"

#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "Charset.h"
#include "Text.h"

namespace kvrun {

namespace {

struct FunctionHelp {
  const char* english;      // the row's English name (key)
  const char* subsystem;    // folder of the library that serves it; "" when none here
  const char* constants;    // French names or name* patterns, comma-separated
  const char* errors;       // user error codes, comma-separated
  const char* french;       // description in French
  const char* englishText;  // description in English
  const char* parameters;   // French names per syntax: syntaxes by ';', names by ','
  const char* parametersEnglish;  // the same in English
};

const FunctionHelp kHelp[] = {
#include "Aide.inc"
};

const FunctionHelp* helpOf(const kvhost::FunctionInfo& f) {
  auto p = static_cast<std::size_t>(f.position);
  return p < sizeof kHelp / sizeof kHelp[0] ? &kHelp[p] : nullptr;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, sep)) out.push_back(item);
  if (!s.empty() && s.back() == sep) out.emplace_back();
  return out;
}

std::string syntaxText(const kvhost::FunctionInfo& f, const kvhost::SyntaxInfo& s, const std::vector<std::string>& names,
                       bool english = false) {
  std::string out = toUtf8(english ? f.english : f.french) + "(";
  for (std::size_t p = 0; p < s.params.size(); ++p) {
    if (p) out += ", ";
    if (p < names.size() && !names[p].empty()) out += names[p] + ": ";
    out += kvhost::typeName(s.params[p]);
    if (s.repeatable && p + 1 == s.params.size()) out += "...";
  }
  out += ")";
  if (VXT_dwBase(s.result) != VXT_AUCUN) out += " -> " + kvhost::typeName(s.result);
  return out;
}

const char* subsystemTitle(const std::string& folder, bool english) {
  static const std::map<std::string, std::pair<const char*, const char*>> kTitles = {
      {"frame", {"Cadre du composant", "Component frame"}},
      {"dates", {"Dates et heures", "Dates and times"}},
      {"numbers", {"Nombres et monétaire", "Numbers and currency"}},
      {"files", {"Fichiers", "Files"}},
      {"compression", {"Compression", "Compression"}},
      {"crypto", {"Chiffrement, sommes de contrôle, codages", "Encryption, checksums, encodings"}},
      {"memlists", {"Listes mémoire", "Memory lists"}},
      {"system", {"Système et programmes", "System and programs"}},
      {"misc", {"Divers", "Miscellaneous"}},
      {"", {"Non disponibles ici", "Not available here"}},
  };
  auto it = kTitles.find(folder);
  if (it == kTitles.end()) return folder.c_str();
  return english ? it->second.second : it->second.first;
}

}  // namespace

std::vector<DWORD> documentedErrors(const kvhost::FunctionInfo& f) {
  std::vector<DWORD> codes;
  if (const FunctionHelp* h = helpOf(f)) {
    for (const auto& code : split(h->errors, ',')) codes.push_back(static_cast<DWORD>(std::stoul(code)));
  }
  return codes;
}

std::vector<const kvhost::ConstantInfo*> documentedConstants(const kvhost::Catalog& catalog, const kvhost::FunctionInfo& f) {
  std::vector<const kvhost::ConstantInfo*> out;
  const FunctionHelp* h = helpOf(f);
  if (h == nullptr || *h->constants == '\0') return out;
  // A French name stands for itself alone; "name*" for every name that
  // begins so, case included (fl* is not fLectureSeule).
  for (const auto& pattern : split(h->constants, ',')) {
    std::string latin = fromUtf8(pattern);
    const bool prefix = !latin.empty() && latin.back() == '*';
    if (prefix) latin.pop_back();
    for (const auto& c : catalog.constants()) {
      if (prefix ? c.french.rfind(latin, 0) == 0 : c.french == latin) out.push_back(&c);
    }
  }
  return out;
}

std::string functionHelp(kvhost::Host& host, const kvhost::FunctionInfo& fn) {
  const auto& catalog = host.catalog();
  const kvhost::FunctionInfo* f = &fn;
  const bool english = host.language() == kvhost::Language::English;
  const FunctionHelp* h = helpOf(*f);
  std::string out;
  out += toUtf8(f->french) + " / " + toUtf8(f->english) + "\n";
  if (h != nullptr) out += std::string("  ") + (english ? h->englishText : h->french) + "\n";
  std::vector<std::string> perSyntax =
      h != nullptr ? split(english ? h->parametersEnglish : h->parameters, ';') : std::vector<std::string>{};
  out += english ? "Syntaxes:\n" : "Syntaxes :\n";
  for (std::size_t i = 0; i < f->syntaxes.size(); ++i) {
    const auto& s = f->syntaxes[i];
    auto names = i < perSyntax.size() ? split(perSyntax[i], ',') : std::vector<std::string>{};
    out += "  " + syntaxText(*f, s, names, english) +
           (s.entry != nullptr ? "" : english ? "   [not available here]" : "   [non disponible ici]") + "\n";
  }
  if (f->syntaxes.empty()) out += english ? "  (none)\n" : "  (aucune)\n";
  const auto constants = documentedConstants(catalog, *f);
  if (!constants.empty()) {
    out += english ? "Constants:\n" : "Constantes :\n";
    for (const kvhost::ConstantInfo* c : constants) {
      std::string value = c->type == 0x08 ? std::to_string(c->integer) : c->type == 0x12 ? "\"" + toUtf8(c->text) + "\"" : "-";
      out += "  " + toUtf8(c->french) + " / " + toUtf8(c->english) + " = " + value + "\n";
    }
  }
  if (h != nullptr && *h->errors != '\0') {
    out += english ? "Errors:\n" : "Erreurs :\n";
    for (DWORD code : documentedErrors(*f)) {
      std::string message = fromLibrary(host.errorMessage(code));
      for (auto& c : message) {
        if (c == '\r' || c == '\n') c = ' ';
      }
      out += "  " + std::to_string(code) + "  " + message + "\n";
    }
  }
  return out;
}

const kvhost::FunctionInfo* findFunction(const kvhost::Catalog& catalog, const std::string& name) {
  const kvhost::FunctionInfo* f = catalog.findFunction(fromUtf8(name));
  return f != nullptr ? f : catalog.findFunction(name);
}

int showFunctionHelp(kvhost::Host& host, const std::string& name) {
  const kvhost::FunctionInfo* f = findFunction(host.catalog(), name);
  if (f == nullptr) {
    std::fprintf(stderr, "kvrun: unknown function '%s' (kvrun --list shows them)\n", name.c_str());
    return 2;
  }
  std::fputs(functionHelp(host, *f).c_str(), stdout);
  return 0;
}

int listFunctions(const kvhost::Catalog& catalog, const std::string& pattern) {
  std::map<std::string, std::vector<const kvhost::FunctionInfo*>> groups;
  for (const auto& f : catalog.functions()) {
    if (!pattern.empty() && !matchesPattern(fromUtf8(pattern), f.french) && !matchesPattern(fromUtf8(pattern), f.english))
      continue;
    const FunctionHelp* h = helpOf(f);
    groups[h != nullptr && f.available() ? h->subsystem : ""].push_back(&f);
  }
  // Subsystems in the order of the library's layout, then the rest.
  static const char* const kOrder[] = {"frame", "dates", "numbers", "files", "compression", "crypto",
                                       "memlists", "system", "misc", ""};
  std::set<std::string> shown;
  auto show = [&](const std::string& folder) {
    auto it = groups.find(folder);
    if (it == groups.end() || !shown.insert(folder).second) return;
    std::printf("[%s]\n", subsystemTitle(folder, true));
    for (const auto* f : it->second) {
      std::printf("%s / %s%s\n", toUtf8(f->french).c_str(), toUtf8(f->english).c_str(),
                  f->synonym() ? "  (synonym)" : f->available() ? "" : "  [not available here]");
      for (const auto& s : f->syntaxes)
        std::printf("  %s%s\n", syntaxText(*f, s, {}).c_str(), s.entry ? "" : "   [not available]");
    }
  };
  for (const char* folder : kOrder) show(folder);
  for (const auto& [folder, list] : groups) show(folder);
  return 0;
}

int printCompletion(const kvhost::Catalog& catalog, const std::string& shell) {
  if (shell != "bash") {
    std::fprintf(stderr, "kvrun: --completion knows bash\n");
    return 2;
  }
  std::string functions, constants;
  for (const auto& f : catalog.functions()) {
    if (f.french.empty() || f.french[0] == '#') continue;
    functions += " " + toUtf8(f.french) + " " + toUtf8(f.english);
  }
  for (const auto& c : catalog.constants()) constants += " " + toUtf8(c.french) + " " + toUtf8(c.english);
  std::printf(
      "# kvrun completion for bash: eval \"$(kvrun --completion bash)\"\n"
      "_kvrun() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} words\n"
      "  if [[ $COMP_CWORD -eq 1 || ${COMP_WORDS[COMP_CWORD-1]} == --help ]]; then\n"
      "    words=\"--help --list --constants --lang --hex --raw --json --quiet --completion -e -i%s\"\n"
      "  else\n"
      "    words=\"%s\"\n"
      "  fi\n"
      "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
      "}\n"
      "complete -o default -F _kvrun kvrun\n",
      functions.c_str(), constants.c_str());
  return 0;
}

}  // namespace kvrun
