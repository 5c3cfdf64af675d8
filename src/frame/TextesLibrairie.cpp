// The library's text pairs (French, English): summary, description, help file.
#include "abi/Descripteurs.h"

const _stTEXTES gstResume = {"Fonctions standard", "Standard functions"};
const _stTEXTES gstDescription = {"", ""};
const _stTEXTES gstFichierAide = {"", ""};
