// Conversions between RGB colours and hue, lightness and saturation.
#include "misc/Couleurs.h"

#include <algorithm>

namespace {

// Rounds halves away from zero.
int nArrondi(double d) { return static_cast<int>(d < 0 ? d - 0.5 : d + 0.5); }

double dComposante(double m1, double m2, double x) {
  if (x > 360) x -= 360;
  if (x < 0) x += 360;
  if (x < 60) return m1 + (m2 - m1) * x / 60;
  if (x < 180) return m2;
  if (x < 240) return m1 + (m2 - m1) * (240 - x) / 60;
  return m1;
}

}  // namespace

void RGBToHLS(DWORD dwCouleur, stHLSCOLOR* pst) {
  double r = (dwCouleur & 0xFF) / 255.0;
  double g = ((dwCouleur >> 8) & 0xFF) / 255.0;
  double b = ((dwCouleur >> 16) & 0xFF) / 255.0;
  double max = std::max({r, g, b}), min = std::min({r, g, b});
  double l = (max + min) / 2, s = 0, h = 0;
  if (max != min) {
    double d = max - min;
    s = l <= 0.5 ? d / (max + min) : d / (2 - max - min);
    double rc = (max - r) / d, gc = (max - g) / d, bc = (max - b) / d;
    if (r == max) {
      h = 6 + bc - gc;
    } else if (g == max) {
      h = 2 + rc - bc;
    } else {
      h = 4 + gc - rc;
    }
    h *= 60;
    if (h < 0) h += 360;
  }
  pst->nTeinte = nArrondi(h) % 360;
  pst->nLuminosite = std::clamp(nArrondi(l * 100), 0, 100);
  pst->nSaturation = std::clamp(nArrondi(s * 100), 0, 100);
}

DWORD HLSToRGB(int nTeinte, int nLuminosite, int nSaturation) {
  if (nSaturation == 0) {
    int v = nLuminosite * 255 / 100;
    return RVB(v, v, v);
  }
  double l = nLuminosite / 100.0, s = nSaturation / 100.0;
  double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
  double m1 = 2 * l - m2;
  auto c = [&](double x) { return static_cast<int>(dComposante(m1, m2, x) * 255); };
  return RVB(c(nTeinte + 120), c(nTeinte), c(nTeinte - 120));
}
