// Character-set conversions through iconv with Windows-style signatures:
// 8-bit code pages to wide characters (4-byte wchar_t) and back, UTF-8 and
// UTF-16 helpers; the Windows numbers of character sets, code pages and
// languages.
#pragma once

#include <cstddef>
#include <cwchar>
#include <string>

#include "abi/TypesBase.h"

constexpr unsigned CP_UTF8 = 65001;

// iconv name of an 8-bit code page: "CP874", "CP932", "CP936", "CP949",
// "CP950", "CP1250".."CP1258", "CP1361", "UTF-8" for 65001, else "CP1252".
const char* CP_pszNomIconv(unsigned nPageCode);

// Windows semantics: a source length of -1 counts up to and including the
// terminating zero; a destination size of 0 asks for the size needed.
// Result: characters (or bytes) written or needed; 0 when iconv refuses
// the conversion or the destination is too small.
int MultiByteToWideChar(unsigned nPageCode, DWORD dwFlags, const char* pszSource, int nSource, wchar_t* pwDest,
                        int nDest);
int WideCharToMultiByte(unsigned nPageCode, DWORD dwFlags, const wchar_t* pwSource, int nSource, char* pszDest,
                        int nDest, const char* pszDefaut, BOOL* pbDefautUtilise);

// The code page of the current character set (1252 unless changed). The
// VM declares its character set when it changes the alphabet; the library's
// text (arguments, results, file names, messages) is then in that page.
unsigned CP_nGetPageCourante();
void CP_SetPageCourante(unsigned nPageCode);
// True when the current page is UTF-8; every other page is handled as
// Windows-1252 by the routines below.
bool CP_bUTF8();

// One Windows-1252 byte as a code point; the five bytes without a character
// give the control of the same number, so the mapping is one to one.
char32_t CP_c1252VersUnicode(unsigned char c);
// The Windows-1252 byte of a code point, or -1 when it has none.
int CP_n1252DepuisUnicode(char32_t c);

// Code point standing for a byte that is not UTF-8 (0xDC80 + byte, a lone
// surrogate no valid text holds): such names survive a decode and encode.
constexpr char32_t CP_OCTET_BRUT = 0xDC00;

// The character at `*pp` of text in the current page, moving `*pp` past it
// (to at most `pFin`). Bytes that are not UTF-8 count one each.
char32_t CP_cLitCaractere(const char** pp, const char* pFin);
// Bytes of the character at `p` (1 in an 8-bit page, 0 at the terminator).
int CP_nLongueurCaractere(const char* p);
// Whole text of the current page to code points and back; the pair gives
// back the same bytes for any input.
std::u32string CP_sDecode(const char* p, std::size_t n);
std::string CP_sEncode(const std::u32string& s);
void CP_AjouteCaractere(std::string* ps, char32_t c);  // one code point, current page
// The library's own Windows-1252 text (messages, names) in the current page:
// UTF-8 in a UTF-8 page, unchanged otherwise.
std::string CP_sDepuis1252(const char* p, std::size_t n);

// 8-bit text of code page `nPageCode` to UTF-8 and back; results follow the
// conventions above (bytes, 0 on failure).
int MultiByteToUTF8(unsigned nPageCode, const char* pszSource, int nSource, char* pszDest, int nDest);
int UTF8ToMultiByte(const char* pszSource, int nSource, char* pszDest, int nDest);  // current code page
int MultiByteToUTF16(unsigned nPageCode, const char* pszSource, int nSource, WORD* pwDest, int nDest);
int UTF16ToMultiByte(unsigned nPageCode, const WORD* pwSource, int nSource, char* pszDest, int nDest);

// UTF-8: number of characters of a zero-terminated text; pointer to the
// character after the one at `psz` (stays on the terminator).
int UTF8Len(const char* psz);
const char* UTF8next(const char* psz);

// UTF-16 texts of 16-bit units.
int utf16len(const WORD* pw);
int utf16nlen(const WORD* pw, int nMax);
WORD* utf16ncpy(WORD* pwDest, const WORD* pwSource, int n);
int utf16nicmp(const WORD* a, const WORD* b, int n);         // case ignored in ASCII and Latin-1
const WORD* utf16niutf16(const WORD* pwTexte, const WORD* pwCherche, int n);  // case-ignoring search in n units
// Wide (UTF-32) to UTF-16 and back; results in units written (without terminator).
int WideCharToUTF16(const wchar_t* pwSource, int nSource, WORD* pwDest, int nDest);
int UTF16ToWideChar(const WORD* pwSource, int nSource, wchar_t* pwDest, int nDest);

// Character sets, code pages and languages (Windows numbers).
DWORD dwGetCodePageFromCharset(DWORD nCharset);
WORD wGetLanguageID(DWORD nCharset);
int nGetCharsetFromLanguage(DWORD nLangueId);
int GetCharSetFromLanguageID(DWORD nLangueId);
// Sets the C library's locale for a character set that has a code page.
void ChangeLocale(DWORD nCharset);
