// Value descriptions (type names are in the type table, Types.cpp).
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

}  // namespace kvhost
