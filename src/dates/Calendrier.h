// The calendar: leap years, day numbers (1800-01-01 = 1), days of the week,
// week numbers, Easter, and the validation of date and time strings.
//
// One calendar serves every caller: years 1 to 9999 counted day after day
// without gap, with the Julian leap rule (every fourth year) before 1583 and
// the Gregorian rule from 1583 on. Day numbers and dates are exact inverses
// over the whole range.
#pragma once

#include <string>

#include "abi/TypesBase.h"

class CXError;

constexpr int ANNEE_MIN = 1;
constexpr int ANNEE_MAX = 9999;

// printf into a short string (dates, times and their pieces).
std::string sFormat(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));

// 1 for a leap year, else 0.
int nBissextille(int nAnnee);
// Days in a month of a year (0 for a month outside 1-12).
int nJoursDansMois(int nMois, int nAnnee);
// Days before the first of a month in a common year (January: 0).
int nJoursAvantMois(int nMois);

// Day number of a date; false (and 0) when the date does not exist.
bool bJourGregorien(int nJour, int nMois, int nAnnee, long* pnNumero);
// Date of a day number; false (and zeros) outside years 1 to 9999.
bool bNumEnDate(long nNumero, int* pnJour, int* pnMois, int* pnAnnee);
// Day of the week: 0 = Sunday ... 6 = Saturday.
int NumToNumSemaine(long nNumero);
// Week number of a date given by its day number (week 0 before the first
// Monday when 1 January falls on Friday to Sunday; no wrap to 53 or 1).
int nNumeroSemaine(long nNumero);
// Easter Sunday as "AAAAMMJJ" into `pszSortie` (9 bytes); false (and "")
// outside 1583 to 9999.
bool bPaques(int nAnnee, char* pszSortie);

// Date strings "AAAAMMJJ": true and the fields when valid.
bool bDateVerif(const char* pszDate, int* pnAnnee, int* pnMois, int* pnJour);
// The same, recording the error number in `pclErreur` (80121 to 80127).
bool bDateVerif(const char* pszDate, int* pnAnnee, int* pnMois, int* pnJour, CXError* pclErreur);
// Time strings "HHMMSSCC" (shorter ones padded with "0"): true and the fields.
bool bHeureVerif(const char* pszHeure, int* pnHeures, int* pnMinutes, int* pnSecondes, int* pnCentiemes);
// The same, recording 80128 to 80131.
bool bHeureVerif(const char* pszHeure, int* pnHeures, int* pnMinutes, int* pnSecondes, int* pnCentiemes,
                 CXError* pclErreur);
bool bDateValide(const char* pszDate);
bool bHeureValide(const char* pszHeure);
// First 8 characters a valid date and the rest a valid time.
bool bDateHeureValide(const char* pszDateHeure);

bool bNbJour(const char* pszDate, long* pnNumero);
bool bNbCentieme(const char* pszHeure, long* pnCentiemes);
bool bJourCentieme(const char* pszDateHeure, long* pnJours, long* pnCentiemes);
bool bDateDifference(const char* pszDate1, const char* pszDate2, long* pnJours);
bool bHeureDifference(const char* pszHeure1, const char* pszHeure2, long* pnCentiemes);
// First 8 characters, then the following characters (at most 8).
bool bExtraitDateHeure(const char* pszDateHeure, char* pszDate, char* pszHeure);

// Simple date formats: "AAAA"/"YYYY", "AA"/"YY", "MM", "JJ"/"DD" (any case);
// other characters copied (formatting) or skipped with one input character
// (reading). `pszSortie` receives at most 64 bytes when formatting, the
// 8-character date when reading.
bool bDateVersChaine(const char* pszDate, const char* pszFormat, char* pszSortie);
bool bChaineVersDate(const char* pszTexte, const char* pszFormat, char* pszSortie);
