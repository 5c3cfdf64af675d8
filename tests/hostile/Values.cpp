// The values fed to each kind of parameter: for texts, empty, 1 MiB, NUL and
// high bytes, invalid dates, over-long and ".." paths, a directory, a pipe,
// a socket and a device without end, format and pattern meta-characters;
// for integers, 0, -1, the limits, open, closed and never-opened handles
// and unknown constants; for reals, the limits, NaN and the infinities; a
// missing value everywhere.
#include "Values.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <set>

#include "PageLibrary.h"

namespace hostile {

using kvhost::Value;

namespace {

std::string highBytes() {
  std::string s;
  for (int c = 0x80; c <= 0xFF; ++c) s += static_cast<char>(c);
  return s;
}

const std::string& mebibyte() {
  static const std::string s(1 << 20, 'a');
  return s;
}

std::vector<std::string> hostileTexts() {
  return {
      "",
      mebibyte(),
      std::string("ab\0cd", 5),
      highBytes(),
      "99999999",
      "20230230",
      "abc",
      "-1",
      "2147483648",
      std::string(kDirectory) + "/" + std::string(5000, 'p'),
      "..",
      "../x",
      "../..",
      kDirectory,
      std::string(kDirectory) + "/",
      std::string(kDirectory) + "\\a.txt",
      "*",
      std::string(kDirectory) + "/*",
      "%s%n%x%1!s!%%",
      "(((((",
      "[",
      "a{1,32767}",
      std::string(kDirectory) + "\\",  // relative: a lone backslash would name the root
      "/dev/zero",
      kPipe,
      kSocket,
      kPipeDirectory,
      " ",
      "\r\n",
  };
}

std::vector<std::int64_t> hostileIntegers() {
  return {0, 1, -1, -2, kOpenHandle, kClosedHandle, kNeverOpenedHandle, 12345, 0x10000, INT_MIN, INT_MAX};
}

std::vector<double> hostileReals() {
  const double inf = std::numeric_limits<double>::infinity();
  return {0.0,
          -0.0,
          1e308,
          -1e308,
          std::numeric_limits<double>::max(),
          std::numeric_limits<double>::denorm_min(),
          9007199254740993.0,
          1e19,
          -1e19,
          std::numeric_limits<double>::quiet_NaN(),
          inf,
          -inf};
}

std::shared_ptr<kvhost::PageObject> table(int type, int columns, int rows, const std::string& cell) {
  auto t = std::make_shared<kvhost::PageObject>();
  t->type = type;
  for (int c = 0; c < columns; ++c) t->columns.push_back({"C" + std::to_string(c), c != 1 || columns < 3});
  for (int r = 0; r < rows; ++r) {
    std::vector<Value> row;
    for (int c = 0; c < columns; ++c) row.push_back(Value::text(cell.empty() ? std::to_string(r) : cell));
    t->rows.push_back(std::move(row));
  }
  return t;
}

// The kind of a parameter, which decides its values.
enum class Kind { Boolean, Integer, Integer64, Real, Currency, CurrencyVariable, Text, Buffer, Any, DateTime, Object, Procedure, Other };

Kind kindOf(DWORD code) {
  if (VXT_bParReference(code) && VXT_dwBase(code) == VXT_MONETAIRE) return Kind::CurrencyVariable;
  switch (VXT_dwBase(code)) {
    case VXT_BOOLEEN: return Kind::Boolean;
    case VXT_ENTIER: case VXT_HWND: return Kind::Integer;
    case VXT_ENTIER8: case VXT_DUREE: return Kind::Integer64;
    case VXT_REEL: return Kind::Real;
    case VXT_MONETAIRE: return Kind::Currency;
    case VXT_PSZ: case VXT_CHAINE: case VXT_OBJETCHAINE: return Kind::Text;
    case VXT_BINAIRE: case VXT_CHAINEOUBUFFER: return Kind::Buffer;
    case VXT_ANY: return Kind::Any;
    case VXT_DATEHEURE: return Kind::DateTime;
    case VXT_OBJETAPCODE: return Kind::Object;
    case VXT_PROCEDURE: return Kind::Procedure;
    default: return Kind::Other;
  }
}

// The ordinary value of a parameter in the first (0) or second (1) list.
Value ordinary(DWORD code, int list) {
  switch (kindOf(code)) {
    case Kind::Boolean: return Value::boolean(list == 0);
    case Kind::Integer: return Value::integer32(list == 0 ? kOpenHandle : 1);
    case Kind::Integer64: return Value::integer64(list == 0 ? 2 : 1000);
    case Kind::Real: return Value::realValue(list == 0 ? 1.5 : 0);
    case Kind::Currency: return Value::integer32(list == 0 ? 100 : 0);
    case Kind::CurrencyVariable: return Value::byReference(Value::integer32(0));
    case Kind::Text: return Value::text(list == 0 ? kFile : "20230115");
    case Kind::Buffer: return Value::buffer(list == 0 ? "ligne 1\r\nligne 2\r\n" : "20230115");
    case Kind::Any: return list == 0 ? Value::text(kFile) : Value::integer32(1);
    case Kind::DateTime: return Value::text(list == 0 ? "20230115123456789" : "18000101000000000");
    case Kind::Object: return Value::pageObject(table(9, 2, 2, ""));
    case Kind::Procedure: return Value::text(kProcedure);
    case Kind::Other: return Value::none();
  }
  return Value::none();
}

std::vector<Value> hostileValues(DWORD code) {
  std::vector<Value> out{Value::none()};  // missing
  auto texts = [&] {
    for (auto& s : hostileTexts()) out.push_back(Value::text(s));
  };
  switch (kindOf(code)) {
    case Kind::Boolean:
      out.push_back(Value::boolean(false));
      out.push_back(Value::boolean(true));
      break;
    case Kind::Integer:
      for (auto n : hostileIntegers()) out.push_back(Value::integer32(static_cast<std::int32_t>(n)));
      break;
    case Kind::Integer64:
      for (auto n : hostileIntegers()) out.push_back(Value::integer64(n));
      out.push_back(Value::integer64(INT64_MIN));
      out.push_back(Value::integer64(INT64_MAX));
      break;
    case Kind::Real:
      for (double d : hostileReals()) out.push_back(Value::realValue(d));
      break;
    case Kind::Currency:
      for (double d : hostileReals()) out.push_back(Value::realValue(d));
      out.push_back(Value::integer64(INT64_MAX));
      out.push_back(Value::integer64(INT64_MIN));
      out.push_back(Value::text("abc"));
      out.push_back(Value::text("-999999999999999999999"));
      break;
    case Kind::CurrencyVariable:
      out.push_back(Value::byReference(Value::integer64(INT64_MIN)));
      out.push_back(Value::byReference(Value::text("abc")));
      break;
    case Kind::Text:
    case Kind::Procedure:
      texts();
      break;
    case Kind::Buffer:
      texts();
      out.push_back(Value::buffer(""));
      out.push_back(Value::buffer(mebibyte()));
      out.push_back(Value::buffer(std::string("\0\0\0\0\xff\xff\xff\xff", 8)));
      out.push_back(Value::buffer(highBytes()));
      break;
    case Kind::Any:
      texts();
      for (auto n : {INT_MIN, -1, 0, INT_MAX}) out.push_back(Value::integer32(n));
      out.push_back(Value::integer64(INT64_MIN));
      for (double d : hostileReals()) out.push_back(Value::realValue(d));
      out.push_back(Value::buffer(mebibyte()));
      break;
    case Kind::DateTime:
      for (const char* s : {"", "abc", "99999999999999999", "20230230000000000", "00000000000000000",
                            "99991231235959999", "2023011512345678"})
        out.push_back(Value::text(s));
      break;
    case Kind::Object:
      out.push_back(Value::pageObject(table(9, 0, 0, "")));                 // no column, no row
      out.push_back(Value::pageObject(table(9, 3, 1, mebibyte())));         // 1 MiB cells, a hidden column
      out.push_back(Value::pageObject(table(11, 2, 3, "")));                // a looper
      out.push_back(Value::pageObject(table(5, 2, 2, "")));                 // neither table nor looper
      break;
    case Kind::Other:
      break;
  }
  return out;
}

std::string key(const std::vector<Value>& args) {
  std::string k;
  for (const auto& v : args) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%x:%lld:%a:%zu:%zu:%p:%p|", static_cast<unsigned>(v.type),
                  static_cast<long long>(v.integer), v.real, v.bytes.size(), std::hash<std::string>{}(v.bytes),
                  static_cast<const void*>(v.variable.get() ? v.variable.get() : nullptr),
                  static_cast<const void*>(v.object.get()));
    k += buf;
  }
  return k;
}

}  // namespace

std::string brief(const Value& v) {
  if (v.object) return "<table " + std::to_string(v.object->columns.size()) + "x" + std::to_string(v.object->rows.size()) +
                       " type " + std::to_string(v.object->type) + ">";
  if (v.variable) return "&" + brief(*v.variable);
  std::string s = v.type == VXT_REEL ? v.describe() : v.type == VXT_AUCUN ? "(missing)" : v.describe();
  if (v.type != VXT_CHAINE && v.type != VXT_BINAIRE) return s;
  std::string shown;
  for (unsigned char c : s.substr(0, 24)) {
    if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      shown += buf;
    } else {
      shown += static_cast<char>(c);
    }
  }
  if (s.size() > 24) shown += "...(" + std::to_string(s.size()) + " bytes)";
  return (v.type == VXT_BINAIRE ? "buffer \"" : "\"") + shown + "\"";
}

std::vector<Case> casesFor(const kvhost::SyntaxInfo& syntax) {
  std::vector<Case> cases;
  std::set<std::string> seen;
  // Table objects are made afresh for each list, so equal lists would not
  // compare equal by address: the key of an object is its shape instead.
  auto add = [&](std::vector<Value> args, const std::string& what) {
    std::string k = key(args);
    for (const auto& v : args) {
      if (v.object) k += brief(v);
    }
    if (!seen.insert(k).second) return;
    std::string d = what + " (";
    for (std::size_t i = 0; i < args.size(); ++i) d += (i ? ", " : "") + brief(args[i]);
    cases.push_back({std::move(args), d + ")"});
  };
  const std::size_t n = syntax.params.size();
  for (int list = 0; list < 2; ++list) {
    std::vector<Value> base;
    for (DWORD code : syntax.params) base.push_back(ordinary(code, list));
    add(base, "ordinary");
    for (std::size_t i = 0; i < n; ++i) {
      for (auto& v : hostileValues(syntax.params[i])) {
        // The mebibyte values once, with the first list: they are the slow ones.
        if (list == 1 && v.bytes.size() >= mebibyte().size()) continue;
        auto args = base;
        args[i] = v;
        add(std::move(args), "argument " + std::to_string(i + 1));
      }
    }
    if (syntax.repeatable && n > 0) {
      // Further arguments: variables (which the library may assign) and plain values.
      auto withVariables = base;
      for (int k = 0; k < 3; ++k) withVariables.push_back(Value::byReference(Value::text("")));
      add(withVariables, "three more variables");
      auto withValues = base;
      for (auto& v : hostileValues(syntax.params[n - 1])) withValues.push_back(v);
      add(withValues, "every hostile value repeated");
    }
  }
  return cases;
}

}  // namespace hostile
