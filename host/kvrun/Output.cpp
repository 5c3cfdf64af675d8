// Printing values and errors.
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

std::string systemErrorName(const kvhost::ErrorInfo& e) {
  if (e.systemCode == 0 || e.systemCode > 0xFFFF) return {};
  const char* name = strerrorname_np(static_cast<int>(e.systemCode));
  return name != nullptr ? name : "";
}

std::string systemErrorText(const kvhost::ErrorInfo& e) {
  if (!e.systemMessage.empty()) return fromLibrary(e.systemMessage);
  if (e.systemCode == 0 || e.systemCode > 0xFFFF) return {};
  return std::strerror(static_cast<int>(e.systemCode));
}

std::string errorLine(const kvhost::ErrorInfo& e, bool raw) {
  std::string message = raw ? e.message : fromLibrary(e.message);
  for (auto& c : message) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  std::string name = systemErrorName(e), text = systemErrorText(e);
  if (!name.empty() && !text.empty() && message.find(text) != std::string::npos) text.clear();  // said already
  std::string system = !name.empty() && !text.empty() ? name + " (" + text + ")"
                       : !name.empty()                ? name
                       : !text.empty()                ? text
                       : e.systemCode != 0            ? std::to_string(e.systemCode)
                                                      : "";
  if (e.code != 0) {
    std::string line = "error " + std::to_string(e.code) + ": " + message;
    if (!system.empty()) line += " [" + system + "]";
    return line;
  }
  if (!system.empty()) return "system error " + system + (message.empty() ? "" : ": " + message);
  return "error: " + (message.empty() ? std::string("(no message)") : message);
}

}  // namespace kvrun
