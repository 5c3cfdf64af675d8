// INI files: the profile-string operations under their Windows names and
// argument orders, working straight on the text file with no cache (every
// call opens, scans and closes it). A call that names no file works on the
// user's own configuration file, "/.ORX.conf" in the home directory.
//
// Format: sections start with a "[name]" line; entries are "key = value"
// lines (written as "%s = %s\n"); lines starting with ":" are comments;
// leading blanks are ignored when reading; a CR before the LF is tolerated.
#pragma once

#include "abi/TypesBase.h"

// Longest file name the operations accept (the default path included).
constexpr int PROFIL_MAX_CHEMIN = 260;

// Writes the default file's path (home directory + "/.ORX.conf") into
// pszChemin, which holds PROFIL_MAX_CHEMIN + 1 bytes; false when there is no
// home directory or the path is too long.
bool bGetORXCONFPath(char* pszChemin);

// Reads one value, the keys of a section (pszCle null) or the names of every
// section (pszSection null) into pszBuffer of dwTaille bytes, always ended
// by a 0 when dwTaille > 0. Lists put CR LF after each name. When nothing is
// found, or the file cannot be opened, the default (null: empty) is copied.
// A name not starting with "/" or "./" is taken from the home directory
// (backslashes are slashes). Result: the number of characters placed, the 0 not counted; values are cut
// to the buffer without notice.
DWORD GetPrivateProfileString(const char* pszSection, const char* pszCle, const char* pszDefaut, char* pszBuffer,
                              DWORD dwTaille, const char* pszFichier);
DWORD GetProfileString(const char* pszSection, const char* pszCle, const char* pszDefaut, char* pszBuffer,
                       DWORD dwTaille);

// The value as decimal text converted with strtol; nDefaut when not found.
int GetPrivateProfileInt(const char* pszSection, const char* pszCle, int nDefaut, const char* pszFichier);
int GetProfileInt(const char* pszSection, const char* pszCle, int nDefaut);

// Writes, replaces or removes an entry: a value replaces or adds the key's
// line; a null value removes it; a null key removes the whole section. A
// missing file is created. The file, the section and the key are found as
// GetPrivateProfileString finds them (the same name reaches the same file;
// case and leading blanks do not matter), so what is written is what is read
// back; a replaced line keeps its indent and the key as it was spelt.
//
// The whole read-modify-write holds an fcntl write lock on the file, and a
// change is written to a new file renamed over the old one (keeping its
// permissions), so concurrent writers lose nothing and a failure part-way
// leaves the previous contents. Result: true once the file was opened and
// the change (if any) is in place; false with errno set otherwise.
BOOL WritePrivateProfileString(const char* pszSection, const char* pszCle, const char* pszValeur,
                               const char* pszFichier);
BOOL WriteProfileString(const char* pszSection, const char* pszCle, const char* pszValeur);
