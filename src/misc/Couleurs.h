// Colours: 0x00BBGGRR values and their hue, lightness and saturation.
#pragma once

#include "abi/TypesBase.h"

struct stHLSCOLOR {
  int nTeinte;      // hue, 0-359 degrees
  int nLuminosite;  // lightness, 0-100
  int nSaturation;  // saturation, 0-100
};

constexpr DWORD RVB(int r, int g, int b) {
  return static_cast<DWORD>(r) + static_cast<DWORD>(g) * 256u + static_cast<DWORD>(b) * 65536u;
}

void RGBToHLS(DWORD dwCouleur, stHLSCOLOR* pst);
// Colour of hue `nTeinte` (degrees), lightness and saturation in percent.
DWORD HLSToRGB(int nTeinte, int nLuminosite, int nSaturation);
