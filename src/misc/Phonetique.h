// The French phonetic key of a word.
#pragma once

#include <string>

// Key of `pszMot` (upper case, spaces trimmed, the rewriting rules applied).
std::string PHON_sCle(const char* pszMot);
