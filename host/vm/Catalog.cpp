// Reading the descriptor tables and the name indexes.
#include "Catalog.h"

#include <cstring>

#include "Library.h"

namespace kvhost {

namespace {

DWORD readCode(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
         static_cast<DWORD>(p[3]) << 24;
}

template <class Row>
void index(std::unordered_map<std::string, std::size_t>& map, const std::vector<Row>& rows) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    map.emplace(foldName(rows[i].french), i);
    map.emplace(foldName(rows[i].english), i);
  }
}

template <class Row>
const Row* lookup(const std::unordered_map<std::string, std::size_t>& map, const std::vector<Row>& rows,
                  std::string_view name) {
  auto it = map.find(foldName(name));
  return it == map.end() ? nullptr : &rows[it->second];
}

}  // namespace

std::string foldName(std::string_view latin1) {
  // Windows-1252 / Latin-1 letters to their unaccented lower-case base.
  static const char* const base =
      "aaaaaaaceeeeiiiidnooooo*ouuuuyts"  // C0-DF
      "aaaaaaaceeeeiiiidnooooo/ouuuuyty"; // E0-FF
  std::string out;
  out.reserve(latin1.size());
  for (char ch : latin1) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c + 32);
    } else if (c >= 0xC0) {
      out += base[c - 0xC0];
    } else {
      out += ch;
    }
  }
  return out;
}

bool FunctionInfo::available() const {
  for (const auto& s : syntaxes) {
    if (s.entry != nullptr) return true;
  }
  return false;
}

Catalog::Catalog(unsigned long (*infoComposante)(unsigned, unsigned long)) {
  auto* fonctions = reinterpret_cast<const _stFONCTION*>(infoComposante(33, 0));
  auto nbFonctions = infoComposante(34, 0);
  auto* constantes = reinterpret_cast<const _stCONSTANTE*>(infoComposante(23, 0));
  auto nbConstantes = infoComposante(24, 0);
  auto* variables = reinterpret_cast<const _stVARIABLE*>(infoComposante(25, 0));
  auto nbVariables = infoComposante(26, 0);
  if (fonctions == nullptr || constantes == nullptr || variables == nullptr)
    throw HostError("the library publishes no descriptor tables");

  for (unsigned long i = 0; i < nbFonctions; ++i) {
    const _stFONCTION& row = fonctions[i];
    FunctionInfo f;
    f.position = static_cast<int>(i);
    f.number = nNumFonction(row.dwIdentifiant);
    f.flags = row.dwFlags;
    f.french = row.pszNomFrancais;
    f.english = row.pszNomAnglais;
    for (int s = 0; s < nNbSyntaxe(row.dwIdentifiant); ++s) {
      const _stSYNTAXE& sy = row.pstSyntaxes[s];
      SyntaxInfo info;
      info.index = s;
      info.entry = sy.pfnEntree;
      info.result = readCode(sy.pbTypes);
      info.repeatable = (sy.dwNbParametre & SYNTAXE_REPETABLE) != 0;
      for (DWORD p = 0; p < (sy.dwNbParametre & SYNTAXE_MASQUE_NB); ++p)
        info.params.push_back(readCode(sy.pbTypes + 4 * (p + 1)));
      f.syntaxes.push_back(std::move(info));
    }
    functions_.push_back(std::move(f));
  }
  for (unsigned long i = 0; i < nbConstantes; ++i) {
    const _stCONSTANTE& row = constantes[i];
    ConstantInfo c;
    c.french = row.pszNomFrancais;
    c.english = row.pszNomAnglais;
    c.flags = row.dwFlags;
    c.type = row.byType;
    if (c.type == 0x08) c.integer = static_cast<std::int32_t>(row.dwValeur);
    if (c.type == 0x12 && row.pszValeur != nullptr) c.text = row.pszValeur;
    constants_.push_back(std::move(c));
  }
  for (unsigned long i = 0; i < nbVariables; ++i) {
    const _stVARIABLE& row = variables[i];
    variables_.push_back({row.pszNomFrancais, row.pszNomAnglais, row.dwFlags, row.wNumero, row.byType});
  }
  index(functionIndex_, functions_);
  index(constantIndex_, constants_);
  index(variableIndex_, variables_);
}

const FunctionInfo* Catalog::findFunction(std::string_view name) const {
  return lookup(functionIndex_, functions_, name);
}

const ConstantInfo* Catalog::findConstant(std::string_view name) const {
  return lookup(constantIndex_, constants_, name);
}

const VariableInfo* Catalog::findVariable(std::string_view name) const {
  return lookup(variableIndex_, variables_, name);
}

}  // namespace kvhost
