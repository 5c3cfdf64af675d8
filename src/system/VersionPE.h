// Version information of Windows executables: the strings of the version
// resource of a PE file (\StringFileInfo\<table>\<key>), found by walking
// the resource tree with every offset and size checked against the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Reads n bytes at offset into dst; false when they are not all in the file.
using LecteurPE = std::function<bool(std::uint64_t qOffset, std::uint32_t n, unsigned char* pDest)>;

// The UTF-16 text stored under \StringFileInfo\<pszTable>\<pszCle> of the
// first version resource (table and key compared without regard to ASCII
// case); false when the file is not a PE file, has no such string, or is
// damaged on the way to it.
bool PE_bChaineVersion(const LecteurPE& lire, const char* pszTable, const char* pszCle, std::u16string* pTexte);

// The same over a file; pTexte converted to the current code page (a
// character it lacks becomes "?"), cut to nMax bytes.
bool PE_bChaineVersionFichier(const char* pszFichier, const char* pszTable, const char* pszCle, std::size_t nMax,
                              std::string* pTexte);
