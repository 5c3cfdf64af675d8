// Fuzz target of the coded buffer: foreign bytes loaded as coded data under
// every pack and crypt method, then read back through every kind of read
// (bytes, numbers, texts, buffers in buffers); and the same bytes as plain
// contents, coded and read back, which must give them unchanged.
//
// Input: byte 0 the pack method (mod 3), byte 1 the crypt method (mod 4),
// byte 2 the first coded byte (mod 16), then the data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/KVBuffer.h"
#include "core/TString.h"

namespace {

void Verifie(bool b) {
  if (!b) std::abort();
}

const BYTE CLE[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8};

// Reads the whole buffer in pieces of every kind, checking the position.
void LitTout(CKVBuffer& b, const uint8_t* pilote, size_t nPilote) {
  Verifie(b.Seek(0, 0) || b.bEchec());
  for (size_t i = 0; i < 64 && !b.bEndOfBuffer(); ++i) {
    const DWORD dwAvant = b.dwGetPos();
    switch (nPilote > 0 ? pilote[i % nPilote] % 8 : i % 8) {
      case 0: { unsigned char c; b >> c; break; }
      case 1: { int n; b >> n; break; }
      case 2: { unsigned long long q; b >> q; break; }
      case 3: { KVRECT r; b >> r; break; }
      case 4: { CTString s; b >> s; Verifie(std::strlen(s.pszGet()) == s.nTaille()); break; }
      case 5: { const char* psz = b.pszGetString(); Verifie(psz != nullptr); (void)std::strlen(psz); break; }
      case 6: {
        CKVBuffer interieur;
        if (interieur.DeserialiseBuffer(&b)) Verifie(interieur.dwGetPos() == 0);
        break;
      }
      default: {
        BYTE aby[37];
        const DWORD dw = b.dwGet(aby, sizeof aby);
        Verifie(dw <= sizeof aby);
        break;
      }
    }
    Verifie(b.dwGetPos() <= b.dwGetSizeDirect() || b.bIsCoded());
    if (b.dwGetPos() == dwAvant) break;  // a text without its 0, or a refused read
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const auto ePack = static_cast<eBUFFER_PACKMETHOD>(data[0] % 3);
  const auto eCrypt = static_cast<eBUFFER_CRYPTMETHOD>(data[1] % 4);
  const DWORD dwPremier = data[2] % 16;
  const std::vector<BYTE> in(data + 3, data + size);  // exact size, on the heap
  const DWORD n = static_cast<DWORD>(in.size());

  // Foreign coded bytes.
  {
    CKVBuffer b(eCrypt, ePack, 0, 0, CLE);
    b.ChangeFirstCodedByte(dwPremier);
    Verifie(b.SetCodedData(in.data(), n));
    LitTout(b, in.data(), in.size());
    CKVBuffer copie(b);
    const DWORD dw = copie.dwGetUncodedSize();
    Verifie(dw == copie.dwGetSizeDirect() || (dw == 0 && copie.bEchec() && copie.bIsCoded()));
  }

  // The same bytes as plain contents: coded, loaded again, read back.
  CKVBuffer b(eCrypt, ePack, 0, 0, CLE);
  Verifie(b.DefineFirstCodedByte(dwPremier));
  Verifie(b.Set(in.data(), n));
  const DWORD dwCode = b.dwGetCodedSize();
  Verifie(!b.bEchec());
  std::vector<BYTE> code(b.pbyGetCurrentBuffer(), b.pbyGetCurrentBuffer() + dwCode);
  CKVBuffer relu(eCrypt, ePack, 0, 0, CLE);
  relu.ChangeFirstCodedByte(dwPremier);
  Verifie(relu.SetCodedData(code.data(), dwCode));
  Verifie(relu.Seek(0, 0));
  std::vector<BYTE> back(n + 1);
  Verifie(relu.dwGet(back.data(), n + 1) == n);
  Verifie(n == 0 || std::memcmp(back.data(), in.data(), n) == 0);
  Verifie(b.dwGetUncodedSize() == n);
  return 0;
}
