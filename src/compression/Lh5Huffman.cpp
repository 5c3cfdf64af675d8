// Huffman code construction of the "-lh5-" coder: code lengths from the
// frequencies, limited to 16 bits, and canonical codes in symbol order
// (the order every "-lh5-" decoder rebuilds its tables in). Also the
// CRC-16 (ARC) of LHA headers.
#include <algorithm>
#include <array>
#include <vector>

#include "compression/Lh5.h"

namespace {

constexpr int LONG_MAX_CODE = 16;

// Sixteen tables: gawCrc16Arc[k][b] is the register after the byte b
// followed by k zero bytes, so sixteen bytes are folded in with sixteen
// look-ups that do not wait on one another (8 KiB, within the first-level
// cache).
using TablesCrc16 = std::array<std::array<WORD, 256>, 16>;

constexpr TablesCrc16 TablesCrc16Arc() {
  TablesCrc16 t{};
  for (unsigned i = 0; i < 256; i++) {
    unsigned r = i;
    for (int k = 0; k < 8; k++) r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
    t[0][i] = static_cast<WORD>(r);
  }
  for (int k = 1; k < 16; k++)
    for (unsigned i = 0; i < 256; i++) t[k][i] = static_cast<WORD>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}
constexpr TablesCrc16 gawCrc16Arc = TablesCrc16Arc();

}  // namespace

void CCrc16Arc::Ajoute(const BYTE* p, std::size_t n) {
  const auto& t = gawCrc16Arc;
  unsigned w = m_wCrc;
  for (; n >= 16; n -= 16, p += 16) {
    w ^= p[0] | unsigned{p[1]} << 8;
    w = t[15][w & 0xFF] ^ t[14][w >> 8] ^ t[13][p[2]] ^ t[12][p[3]] ^ t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^
        t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^ t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^
        t[0][p[15]];
  }
  for (; n > 0; n--) w = (w >> 8) ^ t[0][(w ^ *p++) & 0xFF];
  m_wCrc = static_cast<WORD>(w);
}

int LH5_nConstruitCode(int n, const WORD* pwFreq, BYTE* pbyLong, WORD* pwCode, int* pnSeul) {
  std::vector<int> feuilles;
  for (int i = 0; i < n; i++) {
    pbyLong[i] = 0;
    pwCode[i] = 0;
    if (pwFreq[i] != 0) feuilles.push_back(i);
  }
  const int nUtiles = static_cast<int>(feuilles.size());
  if (nUtiles < 2) {
    if (pnSeul != nullptr) *pnSeul = nUtiles == 1 ? feuilles[0] : 0;
    return nUtiles;
  }

  // Huffman tree over the used symbols: nodes 0..nUtiles-1 are the leaves,
  // the rest internal; a min-heap on (weight, node) keeps ties stable.
  const int nNoeuds = 2 * nUtiles - 1;
  std::vector<DWORD> poids(nNoeuds);
  std::vector<int> parent(nNoeuds, -1);
  for (int i = 0; i < nUtiles; i++) poids[i] = pwFreq[feuilles[i]];
  auto plusLourd = [&](int a, int b) { return poids[a] != poids[b] ? poids[a] > poids[b] : a > b; };
  std::vector<int> tas;
  for (int i = 0; i < nUtiles; i++) tas.push_back(i);
  std::make_heap(tas.begin(), tas.end(), plusLourd);
  int nSuivant = nUtiles;
  while (tas.size() > 1) {
    std::pop_heap(tas.begin(), tas.end(), plusLourd);
    const int a = tas.back();
    tas.pop_back();
    std::pop_heap(tas.begin(), tas.end(), plusLourd);
    const int b = tas.back();
    tas.pop_back();
    poids[nSuivant] = poids[a] + poids[b];
    parent[a] = parent[b] = nSuivant;
    tas.push_back(nSuivant);
    std::push_heap(tas.begin(), tas.end(), plusLourd);
    nSuivant++;
  }

  // Depth of each leaf (internal nodes are created after their children,
  // so walking down from the root fills parents first).
  std::vector<int> profondeur(nNoeuds, 0);
  for (int i = nNoeuds - 2; i >= 0; i--) profondeur[i] = profondeur[parent[i]] + 1;

  // Count per length, deeper leaves folded into 16 bits, then lengths moved
  // down until the code is complete again (sum of 2^-len equal to 1).
  std::array<int, LONG_MAX_CODE + 1> nb{};
  for (int i = 0; i < nUtiles; i++) nb[std::min(profondeur[i], LONG_MAX_CODE)]++;
  DWORD dwSomme = 0;
  for (int l = 1; l <= LONG_MAX_CODE; l++) dwSomme += static_cast<DWORD>(nb[l]) << (LONG_MAX_CODE - l);
  while (dwSomme != (1u << LONG_MAX_CODE)) {
    nb[LONG_MAX_CODE]--;
    for (int l = LONG_MAX_CODE - 1; l > 0; l--) {
      if (nb[l] != 0) {
        nb[l]--;
        nb[l + 1] += 2;
        break;
      }
    }
    dwSomme--;
  }

  // The longest lengths go to the deepest (then rarest) leaves.
  std::vector<int> ordre(nUtiles);
  for (int i = 0; i < nUtiles; i++) ordre[i] = i;
  std::stable_sort(ordre.begin(), ordre.end(), [&](int a, int b) {
    return profondeur[a] != profondeur[b] ? profondeur[a] > profondeur[b] : poids[a] < poids[b];
  });
  int k = 0;
  for (int l = LONG_MAX_CODE; l > 0; l--)
    for (int j = 0; j < nb[l]; j++) pbyLong[feuilles[ordre[k++]]] = static_cast<BYTE>(l);

  // Canonical codes: by length, then by symbol.
  std::array<DWORD, LONG_MAX_CODE + 2> debut{};
  std::array<int, LONG_MAX_CODE + 1> nbLong{};
  for (int i = 0; i < n; i++) nbLong[pbyLong[i]]++;
  nbLong[0] = 0;
  for (int l = 1; l <= LONG_MAX_CODE; l++) debut[l + 1] = (debut[l] + nbLong[l]) << 1;
  for (int i = 0; i < n; i++)
    if (pbyLong[i] != 0) pwCode[i] = static_cast<WORD>(debut[pbyLong[i]]++);
  return nUtiles;
}
