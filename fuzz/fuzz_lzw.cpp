// Fuzz target of the LZW block decoders (type 4 and the old type 2) and of
// the framing that Décompresse reads: any bytes, output rooms from 0 up,
// and a round trip of the bytes through the type-4 coder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/Compresseur.h"
#include "compression/ZLWCompresseur.h"

namespace {

void Verifie(bool b) {
  if (!b) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<BYTE> in(data, data + size);  // exact size, on the heap
  const DWORD n = static_cast<DWORD>(size);
  for (DWORD room : {0u, 1u, 7u, n, 4 * n + 16}) {
    std::vector<BYTE> out(room);
    Verifie(ZLW_dwDecode(in.data(), n, out.data(), room) <= room);
    Verifie(VIEUXBLOC_dwDecode(in.data(), n, out.data(), room) <= room);
    // The same bytes as a block of each type through the dispatcher.
    for (BYTE type : {BYTE{0}, BYTE{2}, BYTE{4}}) {
      std::vector<BYTE> bloc(in);
      if (!bloc.empty()) bloc[0] = type;
      CCompresseur c(COMPRESSEUR_ZLW);
      c.ChangeSource(bloc.data(), n);
      c.ChangeDestination(out.data(), room);
      Verifie(c.dwDecompression(COMPRESSEUR_ZLW) <= room);
    }
  }
  // Round trips of the bytes through both coders.
  CZLWCompresseur z;
  std::vector<BYTE> bloc(n + 7);
  const DWORD dw = z.dwCompression(in.data(), n, bloc.data(), n + 7);
  Verifie(dw > 0 && dw <= n + 7);
  std::vector<BYTE> back(n);
  Verifie(z.dwDecompression(bloc.data(), dw, back.data(), n) == n || n == 0);
  Verifie(n == 0 || std::memcmp(back.data(), in.data(), n) == 0);
  const DWORD dv = VIEUXBLOC_dwCode(in.data(), n, bloc.data(), n + 7);
  if (dv > 0) {
    Verifie(VIEUXBLOC_dwDecode(bloc.data(), dv, back.data(), n) == n);
    Verifie(std::memcmp(back.data(), in.data(), n) == 0);
  }
  return 0;
}
