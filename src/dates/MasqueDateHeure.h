// Date-time display masks ("JJ/MM/AAAA", "HH:mm"): a mask is parsed into
// zones, formats a date or a time zone by zone, and reads a typed text back
// into the language's fixed form ("AAAAMMJJ", "HHMMSS" and hundredths).
// Names and AM/PM texts come from the VM's language information, or from
// the message resources.
#pragma once

#include "abi/InterfacesVM.h"
#include "core/TString.h"

// Common base of the display masks: the VM's language information.
class CMasque {
public:
  CMasque() = default;
  virtual ~CMasque();
  CMasque(const CMasque&) = delete;
  CMasque& operator=(const CMasque&) = delete;
  // Attaches the language information (a counted reference is kept).
  void SetInfoLangue(IInfoLangue* piInfo, int nReserve1 = 0, int nReserve2 = 0);
  IInfoLangue* piGetInfoLangue() const { return m_piInfoLangue; }

protected:
  IInfoLangue* m_piInfoLangue = nullptr;
};

// Zone types of a mask.
enum ETypeZone : int {
  ZONE_FIN = 0,
  ZONE_LITTERAL = 1,
  ZONE_JOUR = 2,            // J, D
  ZONE_JOUR2 = 3,           // JJ, DD
  ZONE_JOURSEMAINE_ABR = 4, // JJJ, DDD
  ZONE_JOURSEMAINE = 5,     // JJJJ, DDDD
  ZONE_MOIS = 6,            // M
  ZONE_MOIS2 = 7,           // MM
  ZONE_MOIS_ABR = 8,        // MMM
  ZONE_MOIS_NOM = 9,        // MMMM
  ZONE_ANNEE2 = 10,         // AA, YY
  ZONE_ANNEE4 = 11,         // AAAA, YYYY
  ZONE_HEURE2 = 12,         // HH
  ZONE_HEURE = 13,          // H
  ZONE_MINUTE = 14,         // MM in a time mask, mm
  ZONE_SECONDE = 15,        // SS
  ZONE_CENTIEME = 16,       // CC
  ZONE_MILLIEME = 17,       // CCC
  ZONE_AMPM = 18,           // AM
};

constexpr WORD CHAMP_ABSENT = 65535;  // a SYSTEMTIME field not given

class CMasqueDateHeure : public CMasque {
public:
  // A mask "UseSystemMask" (any case) becomes the system mask. The return
  // format defaults to "AAAAMMJJ" (date) or "HHMMSS" (time).
  CMasqueDateHeure(const char* pszMasque, int bDate, const char* pszFormatRetour = nullptr);

  void SetFormatRetour(const char* psz);
  const char* pszGetFormatRetour() const { return m_clFormatRetour.pszGet(); }
  const char* pszGetMasque() const { return m_clMasque.pszGet(); }

  // Formats a value given in the fixed form (read with the return format);
  // bit 0 of nFlags selects the fixed-width form.
  void Formate(const char* pszValeur, CTString* pclSortie);
  void FormateEx(const char* pszValeur, CTString* pclSortie, int nFlags);
  void FormateDate(const SYSTEMTIME& st, CTString* pclSortie, int nFlags);
  void _FormateDateForMaskEx(const char* pszMasque, const SYSTEMTIME& st, CTString* pclSortie, int nFlags);
  // Reads a text typed with the mask into the fixed form (empty when the
  // needed fields could not be read).
  void DeformateDateHeure(const char* pszTexte, CTString* pclSortie, int nReserve = 0,
                          const char* pszFormatRetour = nullptr);

  void JourEnLettre(WORD wJourSemaine, int bAbrege, char* pszSortie, int nTaille);
  void MoisEnLettre(WORD wMois, int bAbrege, char* pszSortie, int nTaille);
  // Day 0 = Sunday ... 6; month 1-12; empty text outside.
  static void s_JourEnLettre(int nJour, IInfoLangue* piInfo, CTString* pclSortie);
  static void s_MoisEnLettre(int nMois, IInfoLangue* piInfo, CTString* pclSortie);

  // Next zone at *ppsz (the cursor advances); *pbLitteral set for a literal.
  int eParseMasque(const char** ppsz, int* pbLitteral, int bActifSeulement);
  bool bZonePresent(const char* pszMasque, ETypeZone a, ETypeZone b);
  bool bEstMasqueDateEtHeure() const;
  void GetMasqueSysteme(CTString* pclSortie);

  // Reads `pszTexte` with `pszMasque` into a SYSTEMTIME (fields not given: 65535).
  void _TexteVersDateHeure(const char* pszTexte, const char* pszMasque, SYSTEMTIME* pst);

private:
  int _nPremiereLigne() const;
  int _nDerniereLigne() const;
  void _GetStrAMPM(CTString* pclAM, CTString* pclPM);

  CTString m_clMasque;
  int m_bDate;
  CTString m_clFormatRetour;
  CTString m_clMasqueSysteme;
};
