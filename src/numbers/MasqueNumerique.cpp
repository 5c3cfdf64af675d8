// Numeric display masks: parts and colours, rounding to the mask's
// decimals on the digits themselves, the walk over digit positions and
// separators, the edit mode, the disk-size display and reading back.
#include "numbers/MasqueNumerique.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/accesdllres.h"
#include "numbers/FormatNumerique.h"

namespace {

constexpr const char* MASQUE_TAILLE_DISQUE = "DiskSize";
constexpr const char* MASQUE_MONNAIE_SYSTEME = "MoneySystemMask";
constexpr const char* MASQUE_MONNAIE_SYSTEME_SYMBOLE = "MoneySystemMask$";
constexpr const char* GABARIT_MONNAIE = "+99%c999%c999%c999%c999%c999";
constexpr const char* DEBORDEMENT = "###";
constexpr DWORD MSG_UNITES_TAILLE = 25202;

char gcSeparateurMillier = ' ';
char gcSeparateurDecimal = ',';
std::once_flag gOnceSeparateurs;

void InitSeparateurs() {
  std::call_once(gOnceSeparateurs, [] {
    gcSeparateurMillier = cPointLocale();
    gcSeparateurDecimal = cVirguleLocale();
  });
}

// The digits without their leading zeros ("" for zero).
void SansZerosDeTete(std::string* ps) {
  const std::size_t i = ps->find_first_not_of('0');
  ps->erase(0, i == std::string::npos ? ps->size() : i);
}

// A value as sign, integer digits (no leading zero) and decimals.
struct STNombre {
  bool bValide = false;
  bool bNegatif = false;
  std::string sEntier, sDecimales;
  bool bZero() const {
    return sEntier.find_first_not_of('0') == std::string::npos && sDecimales.find_first_not_of('0') == std::string::npos;
  }
};

STNombre stLit(const char* psz) {
  STNombre n;
  if (psz == nullptr) return n;
  while (*psz == ' ') ++psz;
  if (*psz == '-' || *psz == '+') n.bNegatif = *psz++ == '-';
  const char* debut = psz;
  while (*psz >= '0' && *psz <= '9') n.sEntier += *psz++;
  if (*psz == '.')
    for (++psz; *psz >= '0' && *psz <= '9';) n.sDecimales += *psz++;
  if (psz == debut || (n.sEntier.empty() && n.sDecimales.empty())) return n;
  while (*psz == ' ') ++psz;
  if (*psz != '\0') return n;
  SansZerosDeTete(&n.sEntier);
  n.bValide = true;
  if (n.bZero()) n.bNegatif = false;
  return n;
}

// Adds one unit to a string of digits.
void Incremente(std::string* ps) {
  for (std::size_t i = ps->size(); i-- > 0;) {
    if ((*ps)[i] != '9') {
      ++(*ps)[i];
      return;
    }
    (*ps)[i] = '0';
  }
  ps->insert(ps->begin(), '1');
}

// Rounded to nDecimales, halves away from zero.
void Arrondit(STNombre* pn, int nDecimales) {
  const auto d = static_cast<std::size_t>(nDecimales);
  if (pn->sDecimales.size() <= d) return;
  const bool bHaut = pn->sDecimales[d] >= '5';
  pn->sDecimales.resize(d);
  if (!bHaut) return;
  std::string tout = pn->sEntier + pn->sDecimales;
  Incremente(&tout);
  pn->sEntier = tout.substr(0, tout.size() - d);
  pn->sDecimales = tout.substr(tout.size() - d);
  SansZerosDeTete(&pn->sEntier);
}

void Multiplie100(STNombre* pn) {
  pn->sDecimales.resize(std::max<std::size_t>(pn->sDecimales.size(), 2), '0');
  pn->sEntier += pn->sDecimales.substr(0, 2);
  pn->sDecimales.erase(0, 2);
  SansZerosDeTete(&pn->sEntier);
}

bool bChiffre(char c) { return c == '0' || c == '9'; }

// The layout of a part: where its decimal separator stands (npos without
// one) and its digit positions before and after it. Escaped characters
// (after a backslash) are literals.
struct STForme {
  std::size_t nDecimal = std::string::npos;
  int nAvant = 0, nApres = 0;
  bool bPourcentage = false, bSigne = false, bParentheses = false;
};

STForme stForme(const std::string& s) {
  STForme f;
  std::size_t nDernierSep = std::string::npos;
  bool bChiffreApres = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
      continue;
    }
    if (s[i] == '.' || s[i] == ',') {
      nDernierSep = i;
      bChiffreApres = false;
    } else if (bChiffre(s[i])) {
      bChiffreApres = true;
    } else if (s[i] == '%') {
      f.bPourcentage = true;
    } else if (s[i] == '-' || s[i] == '+') {
      f.bSigne = true;
    } else if (s[i] == '(') {
      f.bParentheses = true;
    }
  }
  if (nDernierSep != std::string::npos && bChiffreApres) f.nDecimal = nDernierSep;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
      continue;
    }
    if (bChiffre(s[i])) (f.nDecimal != std::string::npos && i > f.nDecimal ? f.nApres : f.nAvant)++;
  }
  return f;
}

// Named colours, and "#RRGGBB" (stored with red in the low byte).
DWORD dwCouleur(const std::string& nom) {
  struct {
    const char* fr;
    const char* en;
    DWORD rgb;
  } static const couleurs[] = {{"Rouge", "Red", 0x0000FF},   {"Vert", "Green", 0x00FF00},   {"Bleu", "Blue", 0xFF0000},
                               {"Noir", "Black", 0x000000},  {"Blanc", "White", 0xFFFFFF},  {"Jaune", "Yellow", 0x00FFFF},
                               {"Orange", "Orange", 0x0080FF}};
  for (const auto& c : couleurs)
    if (strcasecmp(nom.c_str(), c.fr) == 0 || strcasecmp(nom.c_str(), c.en) == 0) return c.rgb;
  if (nom.size() == 7 && nom[0] == '#' && nom.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos) {
    const unsigned long v = std::strtoul(nom.c_str() + 1, nullptr, 16);
    return static_cast<DWORD>(((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16));
  }
  return COULEUR_AUCUNE;
}

}  // namespace

char cSeparateurMillierProcessus() {
  InitSeparateurs();
  return gcSeparateurMillier;
}

char cSeparateurDecimalProcessus() {
  InitSeparateurs();
  return gcSeparateurDecimal;
}

CMasqueNumerique::CMasqueNumerique(const char* pszMasque) {
  m_clMasque.Set(pszMasque != nullptr ? pszMasque : "");
  m_cMillier = cSeparateurMillierProcessus();
  m_cDecimal = cSeparateurDecimalProcessus();
  if (pszMasque != nullptr && std::strcmp(pszMasque, MASQUE_MONNAIE_SYSTEME_SYMBOLE) == 0) {
    m_bSysteme = m_bMonnaie = 1;
  } else if (pszMasque != nullptr && std::strcmp(pszMasque, MASQUE_MONNAIE_SYSTEME) == 0) {
    m_bSysteme = 1;
  }
}

const std::vector<CMasqueNumerique::STPartie>& CMasqueNumerique::_vParties() {
  if (m_bAnalyse) return m_vParties;
  m_bAnalyse = true;
  std::string masque = m_clMasque.pszGet();
  if (m_bSysteme) {
    // The currency mask of the language: up to 17 digits in groups of three,
    // its decimals, and its symbol with the "$" form.
    char sz[64];
    std::snprintf(sz, sizeof sz, GABARIT_MONNAIE, ' ', ' ', ' ', ' ', ' ');
    masque = sz;
    const int nDecimales = m_nChiffres >= 0 ? m_nChiffres : (m_piInfoLangue != nullptr ? m_piInfoLangue->nGetDecimalesMonnaie() : 2);
    if (nDecimales > 0) masque += "." + std::string(static_cast<std::size_t>(nDecimales), '0');
    if (m_bMonnaie) masque += " $";
  }
  // Parts at the ";" that are not escaped, each without its colour group.
  std::string partie;
  auto termine = [&] {
    STPartie p;
    const std::size_t a = partie.find('['), b = partie.find(']', a == std::string::npos ? 0 : a);
    if (a != std::string::npos && b != std::string::npos) {
      p.dwCouleur = dwCouleur(partie.substr(a + 1, b - a - 1));
      partie.erase(a, b - a + 1);
    }
    p.sTexte = partie;
    m_vParties.push_back(p);
    partie.clear();
  };
  for (std::size_t i = 0; i < masque.size(); ++i) {
    if (masque[i] == '\\' && i + 1 < masque.size()) {
      partie += masque.substr(i, 2);
      ++i;
    } else if (masque[i] == ';' && m_vParties.size() < 3) {
      termine();
    } else {
      partie += masque[i];
    }
  }
  termine();
  m_nPartiesDonnees = static_cast<int>(m_vParties.size());
  // A missing negative or zero part is the first one; a missing fourth "###".
  while (m_vParties.size() < 3) m_vParties.push_back(m_vParties[0]);
  if (m_vParties.size() < 4) m_vParties.push_back({DEBORDEMENT, COULEUR_AUCUNE});
  return m_vParties;
}

std::size_t CMasqueNumerique::_nPartie(const char* pszValeur) {
  _vParties();
  const STNombre n = stLit(pszValeur);
  if (!n.bValide) return 3;
  if (n.bZero() && m_nPartiesDonnees >= 3) return 2;
  if (n.bNegatif && m_nPartiesDonnees >= 2) return 1;
  return n.bNegatif ? 1 : 0;  // parts 1 and 2 default to the first
}

DWORD CMasqueNumerique::dwGetCouleurPourValeur(const char* pszValeur) {
  return _vParties()[_nPartie(pszValeur)].dwCouleur;
}

bool CMasqueNumerique::bEstMasqueTailleDisque() const { return std::strcmp(m_clMasque.pszGet(), MASQUE_TAILLE_DISQUE) == 0; }

void CMasqueNumerique::MetAuFormatTailleDisque(double dTaille, CTString* pclSortie, int nUnite) {
  CTString clNoms;
  const char* pszNoms = m_piInfoLangue != nullptr ? m_piInfoLangue->pszGetUnitesTaille() : nullptr;
  if (pszNoms == nullptr) {
    if (!DLLRES_bLoadString(MSG_UNITES_TAILLE, &clNoms)) clNoms.Set("o;Ko;Mo;Go;To");
    pszNoms = clNoms.pszGet();
  }
  std::string s;
  if (bFormateTailleDisque(dTaille, nUnite, pszNoms, m_cDecimal, &s)) pclSortie->Set(s.c_str());
}

void CMasqueNumerique::MetAuFormat(const char* pszValeur, CTString* pclSortie, bool bEdition) {
  if (pszValeur == nullptr) pszValeur = "";
  if (std::strcmp(pszValeur, DEBORDEMENT) == 0) {
    pclSortie->Set(DEBORDEMENT);
    return;
  }
  if (bEstMasqueTailleDisque()) {
    MetAuFormatTailleDisque(std::strtod(pszValeur, nullptr), pclSortie, 0);
    return;
  }
  const std::size_t nPartie = _nPartie(pszValeur);
  const std::string& sPartie = m_vParties[nPartie].sTexte;
  if (sPartie.empty()) {
    pclSortie->Set(pszValeur);
    return;
  }
  if (nPartie >= 2 && (nPartie == 3 || m_nPartiesDonnees >= 3)) {  // the zero part, or not a number
    pclSortie->Set(sPartie.c_str());
    return;
  }
  STNombre n = stLit(pszValeur);
  const STForme f = stForme(sPartie);
  if (f.bPourcentage) Multiplie100(&n);
  Arrondit(&n, f.nApres);
  if (static_cast<int>(n.sEntier.size()) > f.nAvant) {
    pclSortie->Set(DEBORDEMENT);
    return;
  }
  const bool bPlusieursParties = m_nPartiesDonnees > 1;
  std::string symbole = m_piInfoLangue != nullptr && m_piInfoLangue->pszGetMonnaie() != nullptr
                            ? m_piInfoLangue->pszGetMonnaie()
                            : "$";
  std::string s;
  // A negative value shown with a part that has no sign gets one in front:
  // its sign is never lost.
  if (n.bNegatif && !f.bSigne && !f.bParentheses) s += '-';
  int nPosition = 0;                                // digit positions met before the point
  const int nVides = f.nAvant - static_cast<int>(n.sEntier.size());  // positions without a digit
  std::size_t nDecimale = 0;
  bool bEcrit = false;
  for (std::size_t i = 0; i < sPartie.size(); ++i) {
    const char c = sPartie[i];
    const bool bApres = f.nDecimal != std::string::npos && i > f.nDecimal;
    if (c == '\\' && i + 1 < sPartie.size()) {
      if (!bEdition) s += sPartie[i + 1];
      ++i;
    } else if (bChiffre(c) && !bApres) {
      const int k = nPosition++;
      if (k >= nVides) {
        s += n.sEntier[static_cast<std::size_t>(k - nVides)];
        bEcrit = true;
      } else if (c == '0' && !bEdition) {
        s += '0';
        bEcrit = true;
      }
    } else if (bChiffre(c)) {
      s += nDecimale < n.sDecimales.size() ? n.sDecimales[nDecimale] : '0';
      ++nDecimale;
    } else if (i == f.nDecimal) {
      s += m_cDecimal;
    } else if ((c == ' ' || c == '.' || c == ',') && !bApres) {
      if (bEdition) continue;
      if (bEcrit) {
        s += m_cMillier;
      } else if (sPartie.find('9', i) == std::string::npos ||
                 (f.nDecimal != std::string::npos && sPartie.find('9', i) > f.nDecimal)) {
        s += ' ';
      }
    } else if (c == '-') {
      if (i + 1 < sPartie.size() && sPartie[i + 1] == '-') {
        s += '-';
        ++i;
      } else if (n.bNegatif) {
        s += '-';
      }
    } else if (c == '+') {
      if (bPlusieursParties) {
        if (!bEdition) s += '+';
      } else if (n.bNegatif) {
        s += '-';
      }
    } else if (c == '(' || c == ')') {
      if (n.bNegatif) s += c;
    } else if (c == '$') {
      const bool bDouble = i + 1 < sPartie.size() && sPartie[i + 1] == '$';
      if (bDouble) ++i;
      if (!bEdition) s += bDouble ? std::string("$") : symbole;
    } else if (c == '%') {
      if (i + 1 < sPartie.size() && sPartie[i + 1] == '%') ++i;
      if (!bEdition) s += '%';
    } else if (!bEdition) {
      s += c;
    }
  }
  pclSortie->Set(s.c_str());
}

void CMasqueNumerique::DeformateNum(const char* pszTexte, CTString* pclSortie) {
  std::string entier, decimales;
  bool bNegatif = false, bPoint = false;
  for (const char* p = pszTexte != nullptr ? pszTexte : ""; *p != '\0'; ++p) {
    if (*p >= '0' && *p <= '9') {
      (bPoint ? decimales : entier) += *p;
    } else if (*p == m_cDecimal || (*p == '.' && m_cMillier != '.')) {
      bPoint = true;
    } else if (*p == '-' || *p == '(') {
      bNegatif = true;
    }
  }
  STNombre n;
  n.sEntier = entier;
  n.sDecimales = decimales;
  if (bEstMasquePourcentage()) {
    // Divided by 100: two digits move behind the point.
    n.sEntier.insert(0, std::string(n.sEntier.size() < 2 ? 2 - n.sEntier.size() : 0, '0'));
    n.sDecimales = n.sEntier.substr(n.sEntier.size() - 2) + n.sDecimales;
    n.sEntier.resize(n.sEntier.size() - 2);
  }
  SansZerosDeTete(&n.sEntier);
  while (!n.sDecimales.empty() && n.sDecimales.back() == '0') n.sDecimales.pop_back();
  std::string s = n.sEntier.empty() ? "0" : n.sEntier;
  if (!n.sDecimales.empty()) s += "." + n.sDecimales;
  if (bNegatif && s != "0") s.insert(0, 1, '-');
  pclSortie->Set(s.c_str());
}

int CMasqueNumerique::nDecimalesMasque() { return stForme(_vParties()[0].sTexte).nApres; }

bool CMasqueNumerique::bNegatifAccepte() {
  const STForme f = stForme(_vParties()[1].sTexte);
  return f.bSigne || f.bParentheses;
}

bool CMasqueNumerique::bEstMasquePourcentage() { return stForme(_vParties()[0].sTexte).bPourcentage; }

WORD CMasqueNumerique::wGetTypeFromMasque() {
  if (bEstMasqueTailleDisque()) return 9;
  const STForme f = stForme(_vParties()[0].sTexte);
  if (f.nApres == 0 && f.nAvant > 9) return 9;
  if (f.nApres == 0 && !f.bPourcentage) return 8;
  return 12;
}
