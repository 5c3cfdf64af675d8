// Conversions between RGB colours and hue, lightness and saturation.
//
// The conversions are the usual real-valued formulas, computed here exactly
// in integers: every quantity is a ratio of small integers (the bytes over
// 255, the percentages over 100), so a value that is exactly half-way
// (hue 112.5 of 0x12BA27) rounds away from zero, and a component that is
// exactly whole (0.2 x 255 = 51) is not truncated to the integer below, as
// the same formulas in binary floating point would do for about one colour
// in a thousand.
#include "misc/Couleurs.h"

#include <algorithm>

namespace {

// num / den rounded half away from zero (den > 0).
long long llArrondi(long long num, long long den) {
  return num >= 0 ? (2 * num + den) / (2 * den) : -((-2 * num + den) / (2 * den));
}

// Component of hue x (degrees) between m1 and m2, both in ten-thousandths:
// the component in 1/600000 (ten-thousandths times 60).
long long llComposante(long long m1, long long m2, int x) {
  if (x > 360) x -= 360;
  if (x < 0) x += 360;
  if (x < 60) return m1 * 60 + (m2 - m1) * x;
  if (x < 180) return m2 * 60;
  if (x < 240) return m1 * 60 + (m2 - m1) * (240 - x);
  return m1 * 60;
}

}  // namespace

void RGBToHLS(DWORD dwCouleur, stHLSCOLOR* pst) {
  const int r = static_cast<int>(dwCouleur & 0xFF), g = static_cast<int>((dwCouleur >> 8) & 0xFF),
            b = static_cast<int>((dwCouleur >> 16) & 0xFF);
  const int max = std::max({r, g, b}), min = std::min({r, g, b}), d = max - min;
  // Lightness (max + min) / 2 of 255: percent = (max + min) * 100 / 510.
  int nTeinte = 0, nSaturation = 0;
  if (d != 0) {
    // Saturation d / (max + min) while the lightness is at most one half,
    // else d / (2 - max - min), the bytes over 255.
    nSaturation = static_cast<int>(llArrondi(100LL * d, max + min <= 255 ? max + min : 510 - max - min));
    // Hue / 60 = 6 + (max - b)/d - (max - g)/d when red is the largest, and
    // likewise from 2 (green) and 4 (blue).
    long long num;
    if (r == max) {
      num = 6LL * d + g - b;
    } else if (g == max) {
      num = 2LL * d + b - r;
    } else {
      num = 4LL * d + r - g;
    }
    nTeinte = static_cast<int>(llArrondi(60 * num, d) % 360);
  }
  pst->nTeinte = nTeinte;
  pst->nLuminosite = std::clamp(static_cast<int>(llArrondi(100LL * (max + min), 510)), 0, 100);
  pst->nSaturation = std::clamp(nSaturation, 0, 100);
}

DWORD HLSToRGB(int nTeinte, int nLuminosite, int nSaturation) {
  if (nSaturation == 0) {
    int v = nLuminosite * 255 / 100;
    return RVB(v, v, v);
  }
  // m2 = l (1 + s) up to one half of lightness, else l + s - l s; m1 = 2 l - m2;
  // in ten-thousandths.
  const long long l = nLuminosite, s = nSaturation;
  const long long m2 = l <= 50 ? l * (100 + s) : 100 * l + 100 * s - l * s;
  const long long m1 = 200 * l - m2;
  // The component times 255, truncated toward zero.
  auto c = [&](int x) { return static_cast<int>(llComposante(m1, m2, x) * 255 / 600000); };
  return RVB(c(nTeinte + 120), c(nTeinte), c(nTeinte - 120));
}
