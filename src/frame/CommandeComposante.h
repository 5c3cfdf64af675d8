// The component command the language module sends about messages.
#pragma once

#include <cstdint>

#include "abi/TypesBase.h"

// Exported: 0 second-language flag from data; 2 external loader; 3 loads a
// string for {_, identifier, buffer, size, result}.
extern "C" KV_EXPORT std::intptr_t CommandeComposante(unsigned nCommande, void* pDonnees);
