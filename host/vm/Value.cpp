// Value descriptions and type names.
#include "Value.h"

#include <cstdio>

namespace kvhost {

std::string Value::describe() const {
  switch (type) {
    case VXT_AUCUN: return "(none)";
    case VXT_BOOLEEN: return integer ? "true" : "false";
    case VXT_ENTIER:
    case VXT_ENTIER8:
    case VXT_DUREE: return std::to_string(integer);
    case VXT_REEL: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.15g", real);
      return buf;
    }
    default: return bytes;
  }
}

std::string typeName(DWORD code) {
  std::string name;
  switch (VXT_dwBase(code)) {
    case VXT_AUCUN: name = "nothing"; break;
    case VXT_BOOLEEN: name = "boolean"; break;
    case VXT_UI1: case VXT_UI2: case VXT_UI4: case VXT_UI8: name = "unsigned integer"; break;
    case VXT_I1: case VXT_I2: case VXT_ENTIER: name = "integer"; break;
    case VXT_ENTIER8: name = "8-byte integer"; break;
    case VXT_MONETAIRE: name = "currency"; break;
    case VXT_REEL4: case VXT_REEL: name = "real"; break;
    case VXT_DECIMAL: name = "numeric"; break;
    case VXT_ENTIERSYS: name = "system integer"; break;
    case VXT_HWND: name = "window handle"; break;
    case VXT_CHAINEUNICODE: name = "Unicode string"; break;
    case VXT_CARACTERE: name = "character"; break;
    case VXT_PSZ: case VXT_CHAINE: case VXT_PSZCONSTANTE: name = "string"; break;
    case VXT_DATE: name = "date"; break;
    case VXT_HEURE: name = "time"; break;
    case VXT_DATEHEURE: name = "date-time"; break;
    case VXT_DUREE: name = "duration"; break;
    case VXT_BINAIRE: case VXT_BUFFER: name = "buffer"; break;
    case VXT_ANY: name = "any value"; break;
    case VXT_OBJETAPCODE: name = "program object"; break;
    case VXT_PROCEDURE: name = "procedure"; break;
    case VXT_OBJETCHAINE: name = "string"; break;
    case VXT_CHAINEOUBUFFER: name = "string or buffer"; break;
    default: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "type 0x%x", static_cast<unsigned>(VXT_dwBase(code)));
      name = buf;
    }
  }
  if (VXT_bParReference(code)) name += " variable";
  return name;
}

}  // namespace kvhost
