// Between the stand-in VM's values and the library's dynamic values.
#include <cstring>

#include "Value.h"
#include "core/Any.h"

namespace kvhost {

Value valueFromAny(const CAny& any) {
  Value v;
  const CAny_Intern* g = any.pclGetGenre();
  switch (any.wGetType()) {
    case 0: return v;
    case VXT_BOOLEEN:
    case VXT_UI1: case VXT_UI2: case VXT_I1: case VXT_I2: case VXT_ENTIER: {
      int n = 0;
      any.nGetINT(&n);
      return any.wGetType() == VXT_BOOLEEN ? Value::boolean(n != 0) : Value::integer32(n);
    }
    case VXT_ENTIERSYS: {  // pointer-sized, unsigned
      std::uintptr_t n;
      std::memcpy(&n, g->m_abValeur, sizeof n);
      return Value::integer64(static_cast<std::int64_t>(n));
    }
    case VXT_UI4: {
      std::uint32_t n;
      std::memcpy(&n, g->m_abValeur, 4);
      return Value::integer64(n);
    }
    case VXT_ENTIER8:
    case VXT_UI8: {
      std::int64_t n;
      std::memcpy(&n, g->m_abValeur, 8);
      return Value::integer64(n);
    }
    case VXT_REEL:
    case VXT_REEL4: {
      double d = 0;
      any.nGetREAL(&d);
      return Value::realValue(d);
    }
    case VXT_DUREE: {
      std::int64_t n;
      std::memcpy(&n, g->m_abValeur, 8);
      return Value::duration(n);
    }
    case VXT_CHAINE:
    case VXT_PSZ: {
      const char* p = nullptr;
      unsigned long n = 0;
      any.nGetPCXSTR(&p);
      any.nGetDataSize(&n);
      return Value::text(std::string(p != nullptr ? p : "", n));
    }
    case VXT_BINAIRE: {
      CAny copy(any);
      void* p = nullptr;
      unsigned long n = 0;
      copy.nGetDataAdr(&p);
      copy.nGetDataSize(&n);
      return Value::buffer(std::string(static_cast<const char*>(p), n));
    }
    case VXT_MONETAIRE: {
      v.type = VXT_MONETAIRE;
      v.bytes.assign(reinterpret_cast<const char*>(g->m_abValeur), 10);
      return v;
    }
    default: {
      // Other kinds (dates, times, date-times, wide strings): as text.
      CAny copy(any);
      if (copy.nCastTo(VXT_CHAINE) > 99) return v;
      return valueFromAny(copy);
    }
  }
}

void anyFromValue(const Value& value, CAny* any) {
  const Value& v = value.variable ? *value.variable : value;
  switch (v.type) {
    case VXT_BOOLEEN: any->SetBooleen(v.integer != 0); break;
    case VXT_ENTIER: any->SetEntier(static_cast<int>(v.integer)); break;
    case VXT_ENTIER8:
      if (v.integer >= INT32_MIN && v.integer <= INT32_MAX) {
        any->SetEntier(static_cast<int>(v.integer));
      } else {
        any->SetEntier8(v.integer);
      }
      break;
    case VXT_REEL: any->SetReel(v.real); break;
    case VXT_DUREE: any->SetDuree(v.integer); break;
    case VXT_CHAINE: any->bSetChaine(v.bytes.data(), static_cast<DWORD>(v.bytes.size())); break;
    case VXT_BINAIRE: any->bSetBinaire(v.bytes.data(), static_cast<DWORD>(v.bytes.size())); break;
    case VXT_MONETAIRE:
      if (v.bytes.size() == 10) any->__TransfertValeurInterne(VXT_MONETAIRE, reinterpret_cast<const BYTE*>(v.bytes.data()));
      break;
    default: any->SetVide(); break;
  }
}

}  // namespace kvhost
