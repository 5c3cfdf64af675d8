// Date-time display masks: parsing, formatting and reading back.
#include "dates/MasqueDateHeure.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/CodePage.h"
#include "core/STR.h"
#include "core/accesdllres.h"
#include "dates/Calendrier.h"
#include "dates/DateHeure.h"

namespace {

struct STJeton {
  const char* pszJeton;
  int nLongueur;
  int nLargeurFixe;
  ETypeZone eType;
};

// Matched case-sensitively, longest first in table order.
const STJeton gtabJetons[24] = {
    {"AAAA", 4, 4, ZONE_ANNEE4},  {"AA", 2, 2, ZONE_ANNEE2},        {"YYYY", 4, 4, ZONE_ANNEE4},
    {"YY", 2, 2, ZONE_ANNEE2},    {"MMMM", 4, 2, ZONE_MOIS_NOM},    {"MMM", 3, 2, ZONE_MOIS_ABR},
    {"MM", 2, 2, ZONE_MOIS2},     {"M", 1, 2, ZONE_MOIS},           {"JJJJ", 4, 0, ZONE_JOURSEMAINE},
    {"JJJ", 3, 0, ZONE_JOURSEMAINE_ABR}, {"JJ", 2, 2, ZONE_JOUR2},  {"J", 1, 2, ZONE_JOUR},
    {"DDDD", 4, 0, ZONE_JOURSEMAINE}, {"DDD", 3, 0, ZONE_JOURSEMAINE_ABR}, {"DD", 2, 2, ZONE_JOUR2},
    {"D", 1, 2, ZONE_JOUR},       {"HH", 2, 2, ZONE_HEURE2},        {"H", 1, 2, ZONE_HEURE},
    {"MM", 2, 2, ZONE_MINUTE},    {"mm", 2, 2, ZONE_MINUTE},        {"SS", 2, 2, ZONE_SECONDE},
    {"CCC", 3, 3, ZONE_MILLIEME}, {"CC", 2, 2, ZONE_CENTIEME},      {"AM", 2, 2, ZONE_AMPM}};

const char* const gtabFormatsDateEtHeure[6] = {"AAAAMMJJHHmmSS", "AAAAMMJJHHmmSSCC", "AAAAMMJJHHmmSSCCC",
                                               "YYYYMMDDHHmmSS", "YYYYMMDDHHmmSSCC", "YYYYMMDDHHmmSSCCC"};

// One zone of a parsed mask.
struct STZone {
  ETypeZone eType;
  char cLitteral;
  int nLargeur;  // width of the zone's token
  int nLargeurFixe;
};

bool bNumerique(ETypeZone e) {
  return e != ZONE_LITTERAL && e != ZONE_FIN && e != ZONE_JOURSEMAINE && e != ZONE_JOURSEMAINE_ABR &&
         e != ZONE_MOIS_NOM && e != ZONE_MOIS_ABR && e != ZONE_AMPM;
}

// The i-th ";"-separated item of a list (empty when absent).
std::string sItem(const char* pszListe, int i) {
  if (pszListe == nullptr) return {};
  const char* p = pszListe;
  for (int k = 0; k < i; ++k) {
    p = std::strchr(p, ';');
    if (p == nullptr) return {};
    ++p;
  }
  const char* fin = std::strchr(p, ';');
  return fin != nullptr ? std::string(p, static_cast<std::size_t>(fin - p)) : std::string(p);
}

std::string sMessage(unsigned nId) {
  CTString s;
  return DLLRES_bLoadString(nId, &s) ? std::string(s.pszGet()) : std::string();
}

// Abbreviation: 3 characters, 4 for a name beginning with "jui" (whole
// characters: "Aoû" and "Déc" in UTF-8 as in Windows-1252).
std::string sAbrege(const std::string& nom) {
  int n = nom.size() >= 3 && STR_nCompare(nom.substr(0, 3).c_str(), "jui", STR_IGNORE_CASSE) == 0 ? 4 : 3;
  std::size_t nOctets = 0;
  for (int k = 0; k < n; ++k) nOctets += static_cast<std::size_t>(CP_nLongueurCaractere(nom.c_str() + nOctets));
  return nom.substr(0, nOctets);
}

void Copie(const std::string& s, char* pszSortie, int nTaille) {
  if (pszSortie == nullptr || nTaille <= 0) return;
  std::snprintf(pszSortie, static_cast<std::size_t>(nTaille), "%s", s.c_str());
}

// Current local date, for completing typed dates.
SYSTEMTIME stMaintenant() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return st;
}

}  // namespace

// ---- CMasque ---------------------------------------------------------------------------

CMasque::~CMasque() {
  if (m_piInfoLangue != nullptr) m_piInfoLangue->Release();
}

void CMasque::SetInfoLangue(IInfoLangue* piInfo, int, int) {
  if (m_piInfoLangue != nullptr) m_piInfoLangue->Release();
  m_piInfoLangue = piInfo;
}

// ---- Construction -------------------------------------------------------------------------

CMasqueDateHeure::CMasqueDateHeure(const char* pszMasque, int bDate, const char* pszFormatRetour) : m_bDate(bDate) {
  SetFormatRetour(pszFormatRetour);
  if (pszMasque != nullptr && STR_nCompare(pszMasque, "UseSystemMask", STR_IGNORE_CASSE) == 0) {
    m_clMasque.Set("");  // resolved when the language information is known
    m_clMasqueSysteme.Set("UseSystemMask");
  } else {
    m_clMasque.Set(pszMasque != nullptr ? pszMasque : "");
  }
}

void CMasqueDateHeure::SetFormatRetour(const char* psz) {
  if (psz != nullptr && *psz != '\0') {
    m_clFormatRetour.Set(psz);
  } else {
    m_clFormatRetour.Set(m_bDate ? "AAAAMMJJ" : "HHMMSS");
  }
}

bool CMasqueDateHeure::bEstMasqueDateEtHeure() const {
  for (const char* psz : gtabFormatsDateEtHeure) {
    if (std::strcmp(m_clFormatRetour.pszGet(), psz) == 0) return true;
  }
  return false;
}

int CMasqueDateHeure::_nPremiereLigne() const { return bEstMasqueDateEtHeure() || m_bDate ? 0 : 16; }
int CMasqueDateHeure::_nDerniereLigne() const { return bEstMasqueDateEtHeure() || !m_bDate ? 23 : 15; }

int CMasqueDateHeure::eParseMasque(const char** ppsz, int* pbLitteral, int) {
  const char* p = *ppsz;
  if (pbLitteral != nullptr) *pbLitteral = 0;
  if (*p == '\0') return ZONE_FIN;
  if (*p == '\\' && p[1] != '\0') {
    *ppsz = p + 2;
    if (pbLitteral != nullptr) *pbLitteral = 1;
    return ZONE_LITTERAL;
  }
  for (int i = _nPremiereLigne(); i <= _nDerniereLigne(); ++i) {
    const STJeton& j = gtabJetons[i];
    if (std::strncmp(p, j.pszJeton, static_cast<std::size_t>(j.nLongueur)) == 0) {
      *ppsz = p + j.nLongueur;
      return j.eType;
    }
  }
  *ppsz = p + 1;
  if (pbLitteral != nullptr) *pbLitteral = 1;
  return ZONE_LITTERAL;
}

namespace {

// Zones of a mask under the rows the parser searches.
std::vector<STZone> zones(CMasqueDateHeure& masque, const char* pszMasque) {
  std::vector<STZone> out;
  const char* p = pszMasque != nullptr ? pszMasque : "";
  for (;;) {
    const char* debut = p;
    int litteral = 0;
    int e = masque.eParseMasque(&p, &litteral, 0);
    if (e == ZONE_FIN) break;
    STZone z{static_cast<ETypeZone>(e), 0, static_cast<int>(p - debut), 0};
    if (e == ZONE_LITTERAL) {
      z.cLitteral = p - debut == 2 ? debut[1] : debut[0];
    } else {
      for (const auto& j : gtabJetons) {
        if (j.eType == e && j.nLongueur == z.nLargeur && std::strncmp(debut, j.pszJeton, static_cast<std::size_t>(j.nLongueur)) == 0) {
          z.nLargeurFixe = j.nLargeurFixe;
          break;
        }
      }
    }
    out.push_back(z);
  }
  return out;
}

}  // namespace

bool CMasqueDateHeure::bZonePresent(const char* pszMasque, ETypeZone a, ETypeZone b) {
  for (const auto& z : zones(*this, pszMasque)) {
    if (z.eType == a || z.eType == b) return true;
  }
  return false;
}

void CMasqueDateHeure::GetMasqueSysteme(CTString* pclSortie) {
  std::string date = "dd/MM/yyyy", heure = "HH:mm:ss";
  if (m_piInfoLangue != nullptr) {
    if (const char* p = m_piInfoLangue->pszGetMasqueDate(); p != nullptr && *p != '\0') {
      date = p;
    } else if (const char* q = m_piInfoLangue->pszGetShortDate(); q != nullptr && *q != '\0') {
      date = q;
    }
    if (const char* p = m_piInfoLangue->pszGetTimeFormat(); p != nullptr && *p != '\0') heure = p;
  }
  auto remplace = [](std::string& s, const std::string& a, const std::string& b) {
    for (std::size_t pos = s.find(a); pos != std::string::npos; pos = s.find(a, pos + b.size())) s.replace(pos, a.size(), b);
  };
  remplace(date, "d", "J");
  remplace(date, "yyyy", "AAAA");
  remplace(date, "yy", "AA");
  // In a date-and-time mask the minutes stay "mm" (MM is the month there);
  // the AM/PM zone keeps its capital letters either way.
  bool bDateEtHeure = bEstMasqueDateEtHeure();
  if (!bDateEtHeure) remplace(heure, "m", "M");
  remplace(heure, "s", "S");
  remplace(heure, "h", "H");
  remplace(heure, "tt", "AM");
  std::string masque;
  if (bDateEtHeure) {
    masque = date + " " + heure;
  } else {
    masque = m_bDate ? date : heure;
  }
  pclSortie->Set(masque.c_str());
}

// ---- Names ----------------------------------------------------------------------------------

void CMasqueDateHeure::s_JourEnLettre(int nJour, IInfoLangue* piInfo, CTString* pclSortie) {
  if (nJour < 0 || nJour > 6) return;
  std::string nom;
  if (piInfo != nullptr) nom = sItem(piInfo->pszGetJours(0), nJour == 0 ? 6 : nJour - 1);
  if (nom.empty()) nom = sMessage(nJour == 0 ? 28210u : static_cast<unsigned>(28203 + nJour));
  pclSortie->Add(nom.c_str());
}

void CMasqueDateHeure::s_MoisEnLettre(int nMois, IInfoLangue* piInfo, CTString* pclSortie) {
  if (nMois < 1 || nMois > 12) return;
  std::string nom;
  if (piInfo != nullptr) nom = sItem(piInfo->pszGetMois(0), nMois - 1);
  if (nom.empty()) nom = sMessage(static_cast<unsigned>(28191 + nMois));
  pclSortie->Add(nom.c_str());
}

void CMasqueDateHeure::JourEnLettre(WORD wJourSemaine, int bAbrege, char* pszSortie, int nTaille) {
  CTString nom;
  s_JourEnLettre(wJourSemaine, m_piInfoLangue, &nom);
  Copie(bAbrege ? sAbrege(nom.pszGet()) : std::string(nom.pszGet()), pszSortie, nTaille);
}

void CMasqueDateHeure::MoisEnLettre(WORD wMois, int bAbrege, char* pszSortie, int nTaille) {
  CTString nom;
  s_MoisEnLettre(wMois, m_piInfoLangue, &nom);
  Copie(bAbrege ? sAbrege(nom.pszGet()) : std::string(nom.pszGet()), pszSortie, nTaille);
}

void CMasqueDateHeure::_GetStrAMPM(CTString* pclAM, CTString* pclPM) {
  const char* am = m_piInfoLangue != nullptr ? m_piInfoLangue->pszGetAM() : nullptr;
  const char* pm = m_piInfoLangue != nullptr ? m_piInfoLangue->pszGetPM() : nullptr;
  pclAM->Set(am != nullptr && *am != '\0' ? am : "AM");
  pclPM->Set(pm != nullptr && *pm != '\0' ? pm : "PM");
}

// ---- Formatting -------------------------------------------------------------------------------

void CMasqueDateHeure::Formate(const char* pszValeur, CTString* pclSortie) { FormateEx(pszValeur, pclSortie, 0); }

void CMasqueDateHeure::FormateEx(const char* pszValeur, CTString* pclSortie, int nFlags) {
  if (!m_clMasqueSysteme.bVide()) GetMasqueSysteme(&m_clMasque);
  // The value is in the fixed form of the return format (a time carries its hundredths).
  std::string lecture = m_clFormatRetour.bVide() ? m_clMasque.pszGet() : m_clFormatRetour.pszGet();
  if (!m_bDate && lecture.find("CC") == std::string::npos) lecture += "CC";
  SYSTEMTIME st;
  _TexteVersDateHeure(pszValeur, lecture.c_str(), &st);
  if (m_bDate && st.wYear != CHAMP_ABSENT && st.wMonth != CHAMP_ABSENT && st.wDay != CHAMP_ABSENT) {
    long n = 0;
    st.wDayOfWeek = bJourGregorien(st.wDay, st.wMonth, st.wYear, &n) ? static_cast<WORD>(NumToNumSemaine(n)) : CHAMP_ABSENT;
  }
  FormateDate(st, pclSortie, nFlags);
}

void CMasqueDateHeure::FormateDate(const SYSTEMTIME& st, CTString* pclSortie, int nFlags) {
  if (!m_clMasqueSysteme.bVide()) GetMasqueSysteme(&m_clMasque);
  _FormateDateForMaskEx(m_clMasque.pszGet(), st, pclSortie, nFlags);
}

void CMasqueDateHeure::_FormateDateForMaskEx(const char* pszMasque, const SYSTEMTIME& st, CTString* pclSortie,
                                             int nFlags) {
  bool bFixe = (nFlags & 1) != 0;
  auto liste = zones(*this, pszMasque);
  bool bAMPM = false, bMoisNumerique = false;
  for (const auto& z : liste) {
    bAMPM |= z.eType == ZONE_AMPM;
    bMoisNumerique |= z.eType == ZONE_MOIS || z.eType == ZONE_MOIS2;
  }
  CTString am, pm;
  _GetStrAMPM(&am, &pm);
  auto soulignes = [&](int n) {
    for (int i = 0; i < n; ++i) pclSortie->Add('_');
  };
  char buf[64];
  for (const auto& z : liste) {
    switch (z.eType) {
      case ZONE_LITTERAL: pclSortie->Add(z.cLitteral); break;
      case ZONE_JOUR:
      case ZONE_JOUR2:
        if (st.wDay == CHAMP_ABSENT) {
          soulignes(z.eType == ZONE_JOUR && !bFixe ? 1 : 2);
        } else {
          pclSortie->AddFormat(z.eType == ZONE_JOUR && !bFixe ? "%d" : "%02d", st.wDay);
        }
        break;
      case ZONE_JOURSEMAINE:
      case ZONE_JOURSEMAINE_ABR:
        if (st.wDayOfWeek != CHAMP_ABSENT) {
          JourEnLettre(st.wDayOfWeek, z.eType == ZONE_JOURSEMAINE_ABR, buf, sizeof buf);
          pclSortie->Add(buf);
        }
        break;
      case ZONE_MOIS:
      case ZONE_MOIS2:
        if (st.wMonth == CHAMP_ABSENT) {
          soulignes(z.eType == ZONE_MOIS && !bFixe ? 1 : 2);
        } else {
          pclSortie->AddFormat(z.eType == ZONE_MOIS && !bFixe ? "%d" : "%02d", st.wMonth);
        }
        break;
      case ZONE_MOIS_ABR:
      case ZONE_MOIS_NOM:
        if (bFixe && !bMoisNumerique) {
          if (st.wMonth == CHAMP_ABSENT) {
            soulignes(2);
          } else {
            pclSortie->AddFormat("%02d", st.wMonth);
          }
        } else if (st.wMonth != CHAMP_ABSENT) {
          MoisEnLettre(st.wMonth, z.eType == ZONE_MOIS_ABR, buf, sizeof buf);
          pclSortie->Add(buf);
        }
        break;
      case ZONE_ANNEE4:
        if (st.wYear == CHAMP_ABSENT) {
          soulignes(4);
        } else {
          pclSortie->AddFormat("%04d", st.wYear);
        }
        break;
      case ZONE_ANNEE2:
        if (st.wYear == CHAMP_ABSENT) {
          soulignes(2);
        } else {
          std::snprintf(buf, sizeof buf, "%02d", st.wYear);
          std::size_t n = std::strlen(buf);
          pclSortie->Add(buf + n - 2);
        }
        break;
      case ZONE_HEURE:
      case ZONE_HEURE2: {
        if (st.wHour == CHAMP_ABSENT) {
          soulignes(z.eType == ZONE_HEURE && !bFixe ? 1 : 2);
          break;
        }
        int h = st.wHour;
        if (bAMPM) h = h == 0 ? 12 : h > 12 ? h - 12 : h;
        pclSortie->AddFormat(z.eType == ZONE_HEURE && !bFixe ? "%d" : "%02d", h);
        break;
      }
      case ZONE_MINUTE:
      case ZONE_SECONDE: {
        WORD v = z.eType == ZONE_MINUTE ? st.wMinute : st.wSecond;
        if (v == CHAMP_ABSENT) {
          soulignes(2);
        } else {
          pclSortie->AddFormat("%02d", v);
        }
        break;
      }
      case ZONE_CENTIEME:
        if (st.wMilliseconds == CHAMP_ABSENT) {
          soulignes(2);
        } else {
          pclSortie->AddFormat("%02d", st.wMilliseconds / 10);
        }
        break;
      case ZONE_MILLIEME:
        if (st.wMilliseconds == CHAMP_ABSENT) {
          soulignes(3);
        } else {
          pclSortie->AddFormat("%03d", st.wMilliseconds);
        }
        break;
      case ZONE_AMPM:
        if (st.wHour == CHAMP_ABSENT) {
          soulignes(2);
        } else {
          pclSortie->Add(st.wHour < 12 ? am.pszGet() : pm.pszGet());
        }
        break;
      default: break;
    }
  }
}

// ---- Reading ---------------------------------------------------------------------------------

void CMasqueDateHeure::_TexteVersDateHeure(const char* pszTexte, const char* pszMasque, SYSTEMTIME* pst) {
  SYSTEMTIME st{CHAMP_ABSENT, CHAMP_ABSENT, CHAMP_ABSENT, CHAMP_ABSENT,
                CHAMP_ABSENT, CHAMP_ABSENT, CHAMP_ABSENT, CHAMP_ABSENT};
  const char* t = pszTexte != nullptr ? pszTexte : "";
  auto liste = zones(*this, pszMasque);
  CTString am, pm;
  _GetStrAMPM(&am, &pm);
  int ampm = 0;  // 1 AM, 2 PM
  bool bAnnee2 = false;
  for (std::size_t iz = 0; iz < liste.size(); ++iz) {
    const STZone& z = liste[iz];
    if (z.eType == ZONE_LITTERAL) {
      if (*t != '\0') ++t;
      continue;
    }
    if (*t == '\0') break;
    if (bNumerique(z.eType)) {
      // Up to the zone's fixed width, stopping at the first character that is
      // neither a digit nor "_" (a 1-or-2-digit zone followed by a separator).
      int largeur = z.nLargeurFixe > 0 ? z.nLargeurFixe : 2;
      std::string morceau;
      while (static_cast<int>(morceau.size()) < largeur && *t != '\0' &&
             (std::isdigit(static_cast<unsigned char>(*t)) || *t == '_'))
        morceau += *t++;
      if (morceau.empty()) {
        ++t;  // not a number: skip it
        continue;
      }
      if (z.eType == ZONE_ANNEE4 && morceau.size() == 4 && morceau.find('_') == 3) morceau[3] = '0';
      if (morceau[0] == '_') continue;  // not given
      long v = std::strtol(morceau.c_str(), nullptr, 10);
      switch (z.eType) {
        case ZONE_JOUR: case ZONE_JOUR2: st.wDay = static_cast<WORD>(v < 31 ? v : 31); break;
        case ZONE_MOIS: case ZONE_MOIS2: case ZONE_MOIS_ABR: case ZONE_MOIS_NOM:
          st.wMonth = static_cast<WORD>(v < 12 ? v : 12);
          break;
        case ZONE_ANNEE2:
          st.wYear = static_cast<WORD>(v < 99 ? v : 99);
          bAnnee2 = true;
          break;
        case ZONE_ANNEE4: st.wYear = static_cast<WORD>(v); break;
        case ZONE_HEURE: case ZONE_HEURE2: st.wHour = static_cast<WORD>(v < 23 ? v : 23); break;
        case ZONE_MINUTE: st.wMinute = static_cast<WORD>(v < 59 ? v : 59); break;
        case ZONE_SECONDE: st.wSecond = static_cast<WORD>(v < 59 ? v : 59); break;
        case ZONE_CENTIEME: st.wMilliseconds = static_cast<WORD>((v < 99 ? v : 99) * 10); break;
        case ZONE_MILLIEME: st.wMilliseconds = static_cast<WORD>(v < 999 ? v : 999); break;
        default: break;
      }
      continue;
    }
    // Names and AM/PM: the characters up to the next literal of the mask.
    char fin = '\0';
    for (std::size_t k = iz + 1; k < liste.size(); ++k) {
      if (liste[k].eType == ZONE_LITTERAL) {
        fin = liste[k].cLitteral;
        break;
      }
    }
    const char* debut = t;
    while (*t != '\0' && *t != fin) ++t;
    std::string mot(debut, static_cast<std::size_t>(t - debut));
    if (z.eType == ZONE_MOIS_NOM || z.eType == ZONE_MOIS_ABR) {
      for (int m = 1; m <= 12; ++m) {
        char nom[64], abr[64];
        MoisEnLettre(static_cast<WORD>(m), 0, nom, sizeof nom);
        MoisEnLettre(static_cast<WORD>(m), 1, abr, sizeof abr);
        if (mot == nom || mot == abr) st.wMonth = static_cast<WORD>(m);
      }
    } else if (z.eType == ZONE_AMPM) {
      if (STR_nCompare(mot.c_str(), am.pszGet(), STR_IGNORE_CASSE) == 0) ampm = 1;
      if (STR_nCompare(mot.c_str(), pm.pszGet(), STR_IGNORE_CASSE) == 0) ampm = 2;
    }
  }
  if (st.wHour != CHAMP_ABSENT) {
    if (ampm == 2 && st.wHour < 12) st.wHour = static_cast<WORD>(st.wHour + 12);
    if (ampm == 1 && st.wHour == 12) st.wHour = 0;
  }
  if (bAnnee2 && st.wYear != CHAMP_ABSENT) st.wYear = static_cast<WORD>(2000 + st.wYear);
  // Completion of partial dates and times.
  if (st.wDay == 0) st.wDay = CHAMP_ABSENT;
  if (st.wMonth == 0) st.wMonth = CHAMP_ABSENT;
  if (st.wDay != CHAMP_ABSENT && st.wMonth == CHAMP_ABSENT && st.wYear == CHAMP_ABSENT) {
    SYSTEMTIME now = stMaintenant();
    st.wMonth = now.wMonth;
    st.wYear = now.wYear;
  } else if (st.wDay != CHAMP_ABSENT && st.wMonth != CHAMP_ABSENT && st.wYear == CHAMP_ABSENT) {
    st.wYear = stMaintenant().wYear;
  }
  if (st.wHour != CHAMP_ABSENT && st.wMinute == CHAMP_ABSENT) st.wMinute = 0;
  *pst = st;
}

void CMasqueDateHeure::DeformateDateHeure(const char* pszTexte, CTString* pclSortie, int,
                                          const char* pszFormatRetour) {
  if (!m_clMasqueSysteme.bVide()) GetMasqueSysteme(&m_clMasque);
  SYSTEMTIME st;
  _TexteVersDateHeure(pszTexte, m_clMasque.pszGet(), &st);
  const char* pszRetour = pszFormatRetour != nullptr && *pszFormatRetour != '\0' ? pszFormatRetour : m_clFormatRetour.pszGet();
  if (m_bDate || bEstMasqueDateEtHeure()) {
    // A date: the day is 1 when the mask has no day at all; year, month and
    // day must be known.
    if (st.wDay == CHAMP_ABSENT && !bZonePresent(m_clMasque.pszGet(), ZONE_JOUR, ZONE_JOUR2)) st.wDay = 1;
    if (st.wYear == CHAMP_ABSENT || st.wMonth == CHAMP_ABSENT || st.wDay == CHAMP_ABSENT) return;
    if (st.wHour == CHAMP_ABSENT) st.wHour = 0;
    if (st.wMinute == CHAMP_ABSENT) st.wMinute = 0;
    if (st.wSecond == CHAMP_ABSENT) st.wSecond = 0;
    if (st.wMilliseconds == CHAMP_ABSENT) st.wMilliseconds = 0;
    CTString s;
    _FormateDateForMaskEx(pszRetour, st, &s, 1);
    s.Tronque(32);
    pclSortie->Add(s.pszGet());
    return;
  }
  // A time: hours and minutes known; seconds and hundredths default to 0.
  if (st.wHour == CHAMP_ABSENT || st.wMinute == CHAMP_ABSENT) return;
  pclSortie->AddFormat("%02d%02d%02d%02d", st.wHour, st.wMinute, st.wSecond == CHAMP_ABSENT ? 0 : st.wSecond,
                       st.wMilliseconds == CHAMP_ABSENT ? 0 : st.wMilliseconds / 10);
}
