// Fuzz target of Décompresse and Décrypte through the whole library, loaded
// by the stand-in VM: the bytes as a compressed buffer, and as a text to
// decode, decipher and unpack under a mode and an encoding the first byte
// picks. A damaged input must give an error or a result, never a crash;
// the same bytes as a text must come back from Crypte and Décrypte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Host.h"

namespace {

kvhost::HostOptions options() {
  kvhost::HostOptions o;
  o.libraryPath = KV_LIBRARY_PATH;
  return o;
}

kvhost::Host& host() {
  static kvhost::Host h(options());
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kvhost::Value;
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  host().call("Decompresse", {Value::buffer(bytes)});
  // First byte: cipher (2 bits), pack method (2 bits), encoding (2 bits).
  const int cipher = data[0] & 3, pack = (data[0] >> 2) % 3, enc = (data[0] >> 4) & 3;
  host().call("Decrypte", {Value::text(bytes), Value::text("mot de passe"), Value::integer32(cipher | (pack << 16)),
                           Value::integer32(enc)});
  // The same bytes as a text (up to a 0) go through Crypte and back unchanged.
  const std::string text = bytes.substr(0, bytes.find('\0'));
  const auto coded = host().call("Crypte", {Value::text(text), Value::text("mot de passe"),
                                            Value::integer32(cipher | (pack << 16)), Value::integer32(enc)});
  const auto back = host().call("Decrypte", {Value::text(coded.value.bytes), Value::text("mot de passe"),
                                             Value::integer32(cipher | (pack << 16)), Value::integer32(enc)});
  if (coded.error.isError() || back.error.isError() || back.value.bytes != text) std::abort();
  return 0;
}
