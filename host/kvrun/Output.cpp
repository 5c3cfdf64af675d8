// Printing values.
#include "Output.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Charset.h"
#include "Conversions.h"
#include "Text.h"

namespace kvrun {

std::string convertedText(const kvhost::Value& v) {
  unsigned char storage[16] = {};
  if (v.type == VXT_DUREE) {
    std::memcpy(storage, &v.integer, 8);
  } else {
    std::memcpy(storage, v.bytes.data(), v.bytes.size() < sizeof storage ? v.bytes.size() : sizeof storage);
  }
  unsigned char scratch[32] = {};
  if (nConversionDepassement(storage, static_cast<WORD>(v.type), scratch, VXT_PSZ) > 99) return "?";
  char* text = nullptr;
  std::memcpy(&text, scratch, sizeof text);
  std::string out = text != nullptr ? text : "";
  FinConversion(scratch, VXT_PSZ);
  return out;
}

std::string formatValue(const kvhost::Value& v, const OutputOptions& options) {
  switch (v.type) {
    case VXT_AUCUN: return {};
    case VXT_BOOLEEN: return v.integer ? "1" : "0";
    case VXT_ENTIER:
    case VXT_ENTIER8: return std::to_string(v.integer);
    case VXT_REEL: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.15g", v.real);
      return buf;
    }
    case VXT_MONETAIRE:
    case VXT_DUREE:
    case VXT_DATEHEURE: return convertedText(v);
    case VXT_BINAIRE: return options.hex ? toHex(v.bytes) : v.bytes;
    default:
      if (options.hex) return toHex(v.bytes);
      return options.raw ? v.bytes : fromLibrary(v.bytes);
  }
}

}  // namespace kvrun
