// The Lua binding of kvrun.
//
// Lua errors unwind with longjmp, which must not cross C++ frames that own
// objects: every function Lua calls does its work in a member function that
// catches everything and leaves an error message on the stack, and only the
// thin C function around it raises the Lua error.
#include "Script.h"

#include <lua.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "Arguments.h"
#include "Charset.h"
#include "Chooser.h"
#include "Help.h"
#include "Interrupt.h"
#include "Output.h"
#include "PageLibrary.h"
#include "Text.h"
#include "abi/Appel.h"
#include "abi/InterfacesVM.h"
#include "core/VXDSTR.h"

namespace kvrun {

namespace {

const char* const kScriptKey = "kvrun.script";
const char* const kBufferMeta = "kv.buffer";
const char* const kVarMeta = "kv.var";
const char* const kTableMeta = "kv.table";
const char* const kErrorMeta = "kv.error";

Script* self(lua_State* L) {
  lua_getfield(L, LUA_REGISTRYINDEX, kScriptKey);
  auto* s = static_cast<Script*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return s;
}

// C functions around the members: raise the error the member left.
// A function of kv has one upvalue: its entry state, with the syntax chosen
// last time and the argument kinds it was chosen for.
struct EntryState {
  Script* script;
  int position;       // the row's position in the catalog
  lua_Integer cache;  // see Script::callFunction
};

int callEntry(lua_State* L) {
  auto* state = static_cast<EntryState*>(lua_touserdata(L, lua_upvalueindex(1)));
  int n = state->script->callFunction(state->position, &state->cache);
  return n < 0 ? lua_error(L) : n;
}

int readVariableEntry(lua_State* L) {
  int n = self(L)->readVariable(static_cast<int>(lua_tointeger(L, lua_upvalueindex(1))));
  return n < 0 ? lua_error(L) : n;
}

int lastErrorEntry(lua_State* L) { return self(L)->pushLastError(); }

int helpEntry(lua_State* L) {
  int n = self(L)->printHelp();
  return n < 0 ? lua_error(L) : n;
}

bool hasMeta(lua_State* L, int index, const char* meta) {
  if (!lua_getmetatable(L, index)) return false;
  luaL_getmetatable(L, meta);
  bool same = lua_rawequal(L, -1, -2) != 0;
  lua_pop(L, 2);
  return same;
}

// Readable forms of the values kv makes (print, the prompt, tostring).
std::string quotedForDisplay(lua_State* L, int index) {
  std::size_t n = 0;
  const char* s = luaL_tolstring(L, index, &n);
  std::string out = lua_type(L, index) == LUA_TSTRING ? "\"" + std::string(s, n) + "\"" : std::string(s, n);
  lua_pop(L, 1);
  return out;
}

int bufferToString(lua_State* L) {
  lua_getfield(L, 1, "bytes");
  std::size_t n = 0;
  const char* s = lua_tolstring(L, -1, &n);
  std::string bytes(s != nullptr ? s : "", n);
  bool text = true;
  for (unsigned char c : bytes) text = text && (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') && c != 0x7F;
  std::string shown = bytes.size() > 64 ? bytes.substr(0, 64) : bytes;
  std::string out = "buffer of " + std::to_string(n) + (n == 1 ? " byte: " : " bytes: ") +
                    (text ? "\"" + shown + "\"" : "hex " + toHex(shown)) + (bytes.size() > 64 ? "..." : "");
  lua_pushlstring(L, out.data(), out.size());
  return 1;
}

int varToString(lua_State* L) {
  lua_getfield(L, 1, "value");
  int value = lua_gettop(L);
  std::string kind = luaL_typename(L, value);
  if (lua_isinteger(L, value)) kind = "integer";
  else if (lua_type(L, value) == LUA_TNUMBER) kind = "real";
  std::string out = "var " + kind + " " + quotedForDisplay(L, value);
  lua_pushlstring(L, out.data(), out.size());
  return 1;
}

int errorToString(lua_State* L) {
  kvhost::ErrorInfo e;
  lua_getfield(L, 1, "code");
  e.code = static_cast<DWORD>(lua_tointeger(L, -1));
  lua_getfield(L, 1, "level");
  e.level = static_cast<DWORD>(lua_tointeger(L, -1));
  lua_getfield(L, 1, "syscode");
  e.systemCode = static_cast<DWORD>(lua_tointeger(L, -1));
  lua_getfield(L, 1, "sysmessage");
  if (const char* m = lua_tostring(L, -1)) e.systemMessage = m;
  lua_getfield(L, 1, "message");
  if (const char* m = lua_tostring(L, -1)) e.message = m;
  std::string out = errorLine(e) + " (level " + std::to_string(e.level) + ")";
  lua_pushlstring(L, out.data(), out.size());
  return 1;
}

int makeBuffer(lua_State* L) {
  std::size_t n = 0;
  const char* s = luaL_checklstring(L, 1, &n);
  lua_createtable(L, 0, 1);
  lua_pushlstring(L, s, n);
  lua_setfield(L, -2, "bytes");
  luaL_setmetatable(L, kBufferMeta);
  return 1;
}

int makeVar(lua_State* L) {
  lua_settop(L, 1);
  lua_createtable(L, 0, 1);
  lua_pushvalue(L, 1);
  lua_setfield(L, -2, "value");
  luaL_setmetatable(L, kVarMeta);
  return 1;
}

int luaToUtf8(lua_State* L) {
  std::size_t n = 0;
  const char* s = luaL_checklstring(L, 1, &n);
  std::string out = fromLibrary(std::string_view(s, n));
  lua_pushlstring(L, out.data(), out.size());
  return 1;
}

int luaFromUtf8(lua_State* L) {
  std::size_t n = 0;
  const char* s = luaL_checklstring(L, 1, &n);
  std::string why;
  auto out = toLibrary(std::string_view(s, n), &why);
  if (!out) return luaL_error(L, "kv.fromutf8: %s", why.c_str());
  lua_pushlstring(L, out->data(), out->size());
  return 1;
}

void pushValue(lua_State* L, const kvhost::Value& v) {
  switch (v.type) {
    case VXT_AUCUN: lua_pushnil(L); break;
    case VXT_BOOLEEN: lua_pushboolean(L, v.integer != 0); break;
    case VXT_ENTIER:
    case VXT_ENTIER8:
    case VXT_DUREE: lua_pushinteger(L, v.integer); break;
    case VXT_REEL: lua_pushnumber(L, v.real); break;
    case VXT_MONETAIRE:
    case VXT_DATEHEURE: {
      std::string t = convertedText(v);
      lua_pushlstring(L, t.data(), t.size());
      break;
    }
    default: lua_pushlstring(L, v.bytes.data(), v.bytes.size()); break;
  }
}

// A Lua value as it stands (for variables and any-value parameters).
std::optional<kvhost::Value> naturalValue(lua_State* L, int index) {
  using kvhost::Value;
  switch (lua_type(L, index)) {
    case LUA_TNIL: return Value::none();
    case LUA_TBOOLEAN: return Value::boolean(lua_toboolean(L, index) != 0);
    case LUA_TNUMBER:
      if (lua_isinteger(L, index)) {
        lua_Integer n = lua_tointeger(L, index);
        return n >= INT32_MIN && n <= INT32_MAX ? Value::integer32(static_cast<std::int32_t>(n)) : Value::integer64(n);
      }
      return Value::realValue(lua_tonumber(L, index));
    case LUA_TSTRING: {
      std::size_t n = 0;
      const char* s = lua_tolstring(L, index, &n);
      return Value::text(std::string(s, n));
    }
    case LUA_TTABLE:
      if (hasMeta(L, index, kBufferMeta)) {
        lua_getfield(L, index, "bytes");
        std::size_t n = 0;
        const char* s = lua_tolstring(L, -1, &n);
        Value v = Value::buffer(std::string(s != nullptr ? s : "", n));
        lua_pop(L, 1);
        return v;
      }
      return std::nullopt;
    case LUA_TUSERDATA:
      if (hasMeta(L, index, kTableMeta))
        return Value::pageObject(*static_cast<std::shared_ptr<kvhost::PageObject>*>(lua_touserdata(L, index)));
      return std::nullopt;
    default: return std::nullopt;
  }
}

// kv.table{columns = {"A", {title = "B", visible = false}}, rows = {{1, "x"}},
// selected = {1}, kind = "table" | "looper" | number}: a control of the
// stand-in page library, for the table exports.
int makeTable(lua_State* L) {
  luaL_checktype(L, 1, LUA_TTABLE);
  auto object = std::make_shared<kvhost::PageObject>();
  lua_getfield(L, 1, "kind");
  if (lua_isinteger(L, -1)) {
    object->type = static_cast<int>(lua_tointeger(L, -1));
  } else if (lua_isstring(L, -1)) {
    std::string kind = lua_tostring(L, -1);
    if (kind != "table" && kind != "looper") return luaL_error(L, "kv.table: kind is \"table\", \"looper\" or a number");
    object->type = kind == "table" ? 9 : 11;
  }
  lua_pop(L, 1);
  // Each list is walked until its first nil, which is popped with the list.
  if (lua_getfield(L, 1, "columns") != LUA_TTABLE) lua_pushnil(L);
  for (lua_Integer i = 1; lua_istable(L, -1) && lua_rawgeti(L, -1, i) != LUA_TNIL; ++i) {
    kvhost::PageColumn column;
    if (lua_istable(L, -1)) {
      lua_getfield(L, -1, "title");
      column.title = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
      lua_getfield(L, -2, "visible");
      column.visible = lua_isnil(L, -1) || lua_toboolean(L, -1);
      lua_pop(L, 2);
    } else {
      column.title = luaL_tolstring(L, -1, nullptr);
      lua_pop(L, 1);
    }
    object->columns.push_back(column);
    lua_pop(L, 1);
  }
  lua_pop(L, 2);
  if (lua_getfield(L, 1, "rows") != LUA_TTABLE) lua_pushnil(L);
  for (lua_Integer r = 1; lua_istable(L, -1) && lua_rawgeti(L, -1, r) == LUA_TTABLE; ++r) {
    std::vector<kvhost::Value> row;
    for (std::size_t c = 1; c <= object->columns.size(); ++c) {
      lua_rawgeti(L, -1, static_cast<lua_Integer>(c));
      auto v = naturalValue(L, lua_gettop(L));
      row.push_back(v ? *v : kvhost::Value::none());
      lua_pop(L, 1);
    }
    object->rows.push_back(std::move(row));
    lua_pop(L, 1);
  }
  lua_pop(L, 2);
  if (lua_getfield(L, 1, "selected") != LUA_TTABLE) lua_pushnil(L);
  for (lua_Integer i = 1; lua_istable(L, -1) && lua_rawgeti(L, -1, i) != LUA_TNIL; ++i) {
    object->selected.push_back(static_cast<int>(lua_tointeger(L, -1)));
    lua_pop(L, 1);
  }
  lua_pop(L, 2);
  void* block = lua_newuserdatauv(L, sizeof(std::shared_ptr<kvhost::PageObject>), 0);
  new (block) std::shared_ptr<kvhost::PageObject>(std::move(object));
  luaL_setmetatable(L, kTableMeta);
  return 1;
}

int collectTable(lua_State* L) {
  auto* held = static_cast<std::shared_ptr<kvhost::PageObject>*>(luaL_checkudata(L, 1, kTableMeta));
  held->~shared_ptr();
  return 0;
}

}  // namespace

Script::Script(kvhost::Host& host) : host_(host) {
  L_ = luaL_newstate();
  if (L_ == nullptr) throw kvhost::HostError("cannot start Lua");
  luaL_openlibs(L_);
  lua_pushlightuserdata(L_, this);
  lua_setfield(L_, LUA_REGISTRYINDEX, kScriptKey);
  luaL_newmetatable(L_, kBufferMeta);
  lua_pushcfunction(L_, bufferToString);
  lua_setfield(L_, -2, "__tostring");
  lua_pop(L_, 1);
  luaL_newmetatable(L_, kVarMeta);
  lua_pushcfunction(L_, varToString);
  lua_setfield(L_, -2, "__tostring");
  lua_pop(L_, 1);
  luaL_newmetatable(L_, kErrorMeta);
  lua_pushcfunction(L_, errorToString);
  lua_setfield(L_, -2, "__tostring");
  lua_pop(L_, 1);
  luaL_newmetatable(L_, kTableMeta);
  lua_pushcfunction(L_, collectTable);
  lua_setfield(L_, -2, "__gc");
  lua_pop(L_, 1);
  defineTable();
}

Script::~Script() { lua_close(L_); }

namespace {

// kv[name]: a function, a constant or a variable, looked up once.
int kvIndex(lua_State* L) {
  std::size_t n = 0;
  const char* key = lua_tolstring(L, 2, &n);
  if (key == nullptr) return 0;
  lua_getfield(L, LUA_REGISTRYINDEX, "kvrun.catalog");
  auto* catalog = static_cast<const kvhost::Catalog*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  std::string name(key, n);
  std::string latin = fromUtf8(name);
  const kvhost::FunctionInfo* f = catalog->findFunction(name);
  if (f == nullptr) f = catalog->findFunction(latin);
  if (f != nullptr) {
    auto* state = static_cast<EntryState*>(lua_newuserdatauv(L, sizeof(EntryState), 0));
    *state = {self(L), f->position, 0};
    lua_pushcclosure(L, callEntry, 1);
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, 1);  // found once
    return 1;
  }
  const kvhost::ConstantInfo* c = catalog->findConstant(name);
  if (c == nullptr) c = catalog->findConstant(latin);
  if (c != nullptr) {
    if (c->type == 0x08) {
      lua_pushinteger(L, c->integer);
    } else if (c->type == 0x12) {
      lua_pushlstring(L, c->text.data(), c->text.size());
    } else {
      return luaL_error(L, "kv: the constant %s has no value on this platform", key);
    }
    return 1;
  }
  const kvhost::VariableInfo* v = catalog->findVariable(name);
  if (v == nullptr) v = catalog->findVariable(latin);
  if (v != nullptr) {
    lua_pushinteger(L, v->number);
    lua_pushcclosure(L, readVariableEntry, 1);
    lua_call(L, 0, 1);
    return 1;
  }
  return luaL_error(L, "kv: no function, constant or variable named '%s'", key);
}

int kvNewIndex(lua_State* L) {
  std::size_t n = 0;
  const char* key = luaL_checklstring(L, 2, &n);
  lua_getfield(L, LUA_REGISTRYINDEX, "kvrun.catalog");
  auto* catalog = static_cast<const kvhost::Catalog*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  const kvhost::VariableInfo* v = catalog->findVariable(std::string(key, n));
  if (v == nullptr) v = catalog->findVariable(fromUtf8(std::string(key, n)));
  if (v == nullptr) return luaL_error(L, "kv: '%s' is not a variable of the library", key);
  lua_settop(L, 3);
  int r = self(L)->writeVariable(v->number);
  return r < 0 ? lua_error(L) : 0;
}

}  // namespace

void Script::defineTable() {
  lua_pushlightuserdata(L_, const_cast<kvhost::Catalog*>(&host_.catalog()));
  lua_setfield(L_, LUA_REGISTRYINDEX, "kvrun.catalog");
  lua_newtable(L_);
  const luaL_Reg helpers[] = {{"var", makeVar},           {"buffer", makeBuffer},     {"error", lastErrorEntry},
                              {"table", makeTable},       {"help", helpEntry},
                              {"toutf8", luaToUtf8},      {"fromutf8", luaFromUtf8},  {nullptr, nullptr}};
  luaL_setfuncs(L_, helpers, 0);
  lua_newtable(L_);
  lua_pushcfunction(L_, kvIndex);
  lua_setfield(L_, -2, "__index");
  lua_pushcfunction(L_, kvNewIndex);
  lua_setfield(L_, -2, "__newindex");
  lua_setmetatable(L_, -2);
  lua_setglobal(L_, "kv");
}

int Script::pushLastError() {
  if (!lastError_.isError()) {
    lua_pushnil(L_);
    return 1;
  }
  lua_createtable(L_, 0, 6);
  lua_pushinteger(L_, lastError_.code);
  lua_setfield(L_, -2, "code");
  lua_pushinteger(L_, lastError_.level);
  lua_setfield(L_, -2, "level");
  lua_pushlstring(L_, lastError_.message.data(), lastError_.message.size());
  lua_setfield(L_, -2, "message");
  lua_pushlstring(L_, lastError_.debug.data(), lastError_.debug.size());
  lua_setfield(L_, -2, "debug");
  lua_pushinteger(L_, lastError_.systemCode);
  lua_setfield(L_, -2, "syscode");
  std::string systemText = systemErrorText(lastError_);
  lua_pushlstring(L_, systemText.data(), systemText.size());
  lua_setfield(L_, -2, "sysmessage");
  std::string systemName = systemErrorName(lastError_);
  if (!systemName.empty()) {
    lua_pushlstring(L_, systemName.data(), systemName.size());
    lua_setfield(L_, -2, "sysname");
  }
  luaL_setmetatable(L_, kErrorMeta);
  return 1;
}

int Script::printHelp() {
  try {
    const char* name = lua_tostring(L_, 1);
    const kvhost::FunctionInfo* f = name != nullptr ? findFunction(host_.catalog(), name) : nullptr;
    if (f == nullptr) {
      lua_pushfstring(L_, "kv.help: no function named '%s' (kvrun --list shows them)", name != nullptr ? name : "?");
      return -1;
    }
    std::string text = functionHelp(host_, *f);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return 0;
  } catch (const std::exception& e) {
    lua_pushstring(L_, e.what());
    return -1;
  }
}

namespace {

// What a Lua value is, for the syntax chooser: a plain string is a string,
// kv.buffer(s) a buffer, kv.var(x) the kind of what it holds.
kvhost::ArgKind luaKind(lua_State* L, int i) {
  using kvhost::ArgKind;
  switch (lua_type(L, i)) {
    case LUA_TNIL: return ArgKind::None;
    case LUA_TBOOLEAN: return ArgKind::Boolean;
    case LUA_TNUMBER: {
      if (lua_isinteger(L, i)) return ArgKind::Integer;
      double d = lua_tonumber(L, i);
      return std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.2e18 ? ArgKind::WholeReal : ArgKind::Real;
    }
    case LUA_TSTRING: return ArgKind::Text;
    case LUA_TFUNCTION: return ArgKind::Procedure;
    case LUA_TTABLE: {
      if (hasMeta(L, i, kBufferMeta)) return ArgKind::Buffer;
      if (!hasMeta(L, i, kVarMeta)) return ArgKind::Other;
      lua_getfield(L, i, "value");
      ArgKind inner = lua_type(L, -1) == LUA_TTABLE && !hasMeta(L, -1, kBufferMeta) ? ArgKind::Other
                                                                                   : luaKind(L, lua_gettop(L));
      lua_pop(L, 1);
      return inner;
    }
    case LUA_TUSERDATA: return hasMeta(L, i, kTableMeta) ? ArgKind::Object : ArgKind::Other;
    default: return ArgKind::Other;
  }
}

// Parameters that take text: a number or a truth value serves them as Lua writes it.
bool isTextParameter(DWORD base) {
  kvhost::TypeClass c = kvhost::classOf(base);
  return c == kvhost::TypeClass::Text || c == kvhost::TypeClass::TextOrBytes;
}

// An error object with nothing in it (most calls leave it so).
bool isClear(const kvhost::ErrorInfo& e) {
  return e.level == 1 && e.code == 0 && e.systemCode == 0 && e.message.empty() && e.debug.empty() &&
         e.systemMessage.empty();
}

// Empties a value for reuse, keeping its string's storage.
void setPlain(kvhost::Value* v, DWORD type) {
  v->type = type;
  v->integer = 0;
  v->real = 0;
  v->bytes.clear();
  v->variable.reset();
  v->object.reset();
}

}  // namespace

// The value of Lua argument i for a parameter declared `code`, into *out
// (its storage reused from call to call); false when the argument does not
// fit. Procedures are bound later, once the syntax is chosen.
bool Script::argumentFor(int i, DWORD code, kvhost::Value* out) {
  DWORD base = VXT_dwBase(code);
  if (!VXT_bParReference(code) && base != VXT_PROCEDURE) {
    // The common cases, written in place: an integer for a parameter that is
    // not text, a string that the parameter takes as it is.
    int type = lua_type(L_, i);
    if (type == LUA_TNUMBER && lua_isinteger(L_, i) && !isTextParameter(base)) {
      lua_Integer n = lua_tointeger(L_, i);
      setPlain(out, base == VXT_DUREE ? VXT_DUREE : n >= INT32_MIN && n <= INT32_MAX ? VXT_ENTIER : VXT_ENTIER8);
      out->integer = n;
      return kvhost::accepts(code, *out);
    }
    if (type == LUA_TSTRING) {
      std::size_t n = 0;
      const char* t = lua_tolstring(L_, i, &n);
      setPlain(out, VXT_CHAINE);
      out->bytes.assign(t, n);
      if (kvhost::accepts(code, *out)) {
        if (base == VXT_BINAIRE) out->type = VXT_BINAIRE;
        return true;
      }
    }
  }
  auto v = argumentValue(i, code);
  if (!v) return false;
  *out = std::move(*v);
  return true;
}

// The general case of argumentFor: the value, or nullopt.
std::optional<kvhost::Value> Script::argumentValue(int i, DWORD code) {
  using kvhost::Value;
  DWORD base = VXT_dwBase(code);
  int type = lua_type(L_, i);
  if (type == LUA_TTABLE && hasMeta(L_, i, kVarMeta)) {
    lua_getfield(L_, i, "value");
    auto inner = naturalValue(L_, lua_gettop(L_));
    lua_pop(L_, 1);
    if (!inner) return std::nullopt;
    return Value::byReference(*inner);
  }
  if (base == VXT_PROCEDURE) {
    if (type == LUA_TFUNCTION || type == LUA_TSTRING) return Value::text({});
    return std::nullopt;
  }
  if (type == LUA_TTABLE && hasMeta(L_, i, kBufferMeta)) {
    auto v = naturalValue(L_, i);
    if (v && (base == VXT_BINAIRE || base == VXT_CHAINEOUBUFFER || base == VXT_ANY || base == VXT_BUFFER)) return v;
    if (v && isTextParameter(base)) return Value::text(std::move(v->bytes));
    return std::nullopt;
  }
  auto v = naturalValue(L_, i);
  if (!v) return std::nullopt;
  if (type == LUA_TSTRING && base != VXT_ANY && !kvhost::accepts(code, *v)) {
    // Numeric parameters also take constant names and expressions.
    std::string why;
    auto n = parseInteger(v->bytes, host_.catalog(), &why);
    if (n) v = *n >= INT32_MIN && *n <= INT32_MAX ? Value::integer32(static_cast<std::int32_t>(*n)) : Value::integer64(*n);
  }
  if ((type == LUA_TNUMBER || type == LUA_TBOOLEAN) && isTextParameter(base)) {
    // A number or a truth value serves a string parameter as Lua writes it.
    if (type == LUA_TBOOLEAN) return Value::text(lua_toboolean(L_, i) ? "1" : "0");
    lua_pushvalue(L_, i);
    std::size_t n = 0;
    const char* t = lua_tolstring(L_, -1, &n);
    Value text = Value::text(std::string(t, n));
    lua_pop(L_, 1);
    return text;
  }
  if (v->type == VXT_REEL && (base == VXT_ENTIER || base == VXT_ENTIER8 || base == VXT_BOOLEEN || base == VXT_DUREE)) {
    // A float with a whole value serves an integer parameter; NaN does not.
    double d = v->real;
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.2e18) return std::nullopt;
    v = Value::integer64(static_cast<std::int64_t>(d));
  }
  if (base == VXT_BINAIRE && v->type == VXT_CHAINE) v->type = VXT_BINAIRE;
  if (base == VXT_DUREE && v->isInteger()) v = Value::duration(v->integer);
  if (VXT_bParReference(code)) return Value::byReference(*v);
  if (!kvhost::accepts(code, *v)) return std::nullopt;
  return v;
}

// Binds Lua argument i (a function, or the name of a global one) as a
// procedure of the VM for the duration of the call; its name is kept in
// `bound` for removal.
kvhost::Value Script::bindProcedure(int i, std::vector<Binding>& bound) {
  using kvhost::Value;
  int ref = LUA_NOREF;
  if (lua_type(L_, i) == LUA_TFUNCTION) {
    lua_pushvalue(L_, i);
    ref = luaL_ref(L_, LUA_REGISTRYINDEX);
  } else if (lua_getglobal(L_, lua_tostring(L_, i)) == LUA_TFUNCTION) {
    ref = luaL_ref(L_, LUA_REGISTRYINDEX);
  } else {
    lua_pop(L_, 1);
    return Value::text(lua_tostring(L_, i));  // the VM will not find it
  }
  std::string name = "kvrun_procedure_" + std::to_string(++procedures_);
  lua_State* L = L_;
  host_.vm().defineProcedure(name, [L, ref](const std::vector<Value>& args) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
    for (const auto& a : args) pushValue(L, a);
    if (lua_pcall(L, static_cast<int>(args.size()), 1, 0) != LUA_OK) {
      std::fprintf(stderr, "kvrun: error in a procedure: %s\n", lua_tostring(L, -1));
      lua_pop(L, 1);
      return Value::boolean(false);  // stops the caller's loop
    }
    auto result = naturalValue(L, -1);
    lua_pop(L, 1);
    return result ? *result : Value::none();
  });
  bound.push_back({name, ref});
  return Value::text(name);
}

void Script::unbind(std::vector<Binding>& bound) {
  for (const auto& b : bound) {
    host_.vm().removeProcedure(b.name);
    luaL_unref(L_, LUA_REGISTRYINDEX, b.ref);
  }
  bound.clear();
}

int Script::callFunction(int position, lua_Integer* cache) {
  std::vector<Binding> bound;
  struct Depth {
    int& depth;
    ~Depth() { --depth; }
  } depth{++depth_};
  try {
    const kvhost::FunctionInfo& f = host_.catalog().functions().at(static_cast<std::size_t>(position));
    int count = lua_gettop(L_);
    // Kinds of the arguments; up to 7 of them make the key of the cached choice.
    kvhost::ArgKind fixed[16];
    std::vector<kvhost::ArgKind> more;
    kvhost::ArgKind* kinds = fixed;
    if (count > 16) {
      more.resize(static_cast<std::size_t>(count));
      kinds = more.data();
    }
    lua_Integer signature = count <= 7 ? count : -1;
    for (int i = 1; i <= count; ++i) {
      kinds[i - 1] = luaKind(L_, i);
      if (signature >= 0) signature |= static_cast<lua_Integer>(kinds[i - 1]) << (3 + 4 * (i - 1));
    }
    // Argument values of this depth, kept from call to call.
    if (frames_.size() < static_cast<std::size_t>(depth_)) frames_.push_back(std::make_unique<CallFrame>());
    CallFrame& frame = *frames_[static_cast<std::size_t>(depth_ - 1)];
    std::vector<kvhost::Value>& args = frame.args;

    const kvhost::SyntaxInfo* chosen = nullptr;
    const kvhost::SyntaxInfo* ranked[kvhost::kMaxSyntaxes];
    for (int attempt = 0; attempt < 2 && chosen == nullptr; ++attempt) {
      std::size_t ranks = 0;
      if (attempt == 0) {
        // The syntax chosen last time for the same kinds, tried first.
        if (signature < 0 || *cache == 0 || (*cache >> 8) != signature) continue;
        std::size_t index = static_cast<std::size_t>((*cache & 0xFF) - 1);
        if (index >= f.syntaxes.size()) continue;
        ranked[0] = &f.syntaxes[index];
        ranks = 1;
      } else {
        ranks = kvhost::rankSyntaxes(f, kinds, static_cast<std::size_t>(count), ranked, kvhost::kMaxSyntaxes);
      }
      for (std::size_t r = 0; r < ranks && chosen == nullptr; ++r) {
        const kvhost::SyntaxInfo& s = *ranked[r];
        std::size_t n = s.params.size();
        args.resize(static_cast<std::size_t>(count));  // values kept: their storage is reused
        int i = 1;
        while (i <= count &&
               argumentFor(i, s.params[std::min<std::size_t>(static_cast<std::size_t>(i - 1), n - 1)], &args[i - 1]))
          ++i;
        if (i > count) chosen = &s;
      }
    }
    *cache = chosen != nullptr && signature >= 0 ? (signature << 8) | (chosen->index + 1) : 0;
    if (chosen == nullptr) {
      std::string list;
      for (const auto& s : f.syntaxes) {
        list += "\n  " + toUtf8(f.french) + "(";
        for (std::size_t p = 0; p < s.params.size(); ++p)
          list += (p ? ", " : "") + kvhost::typeName(s.params[p]) + (s.repeatable && p + 1 == s.params.size() ? "..." : "");
        list += ") -> " + kvhost::typeName(s.result) + (s.entry ? "" : "  [not available here]");
      }
      std::string message = "kv." + toUtf8(f.english) + ": no syntax accepts these arguments" + list;
      lua_pushlstring(L_, message.data(), message.size());
      return -1;
    }
    if (chosen->entry == nullptr) {
      std::string message = "kv." + toUtf8(f.english) + " is not available on this platform";
      lua_pushlstring(L_, message.data(), message.size());
      return -1;
    }
    for (int i = 1; i <= count; ++i) {
      std::size_t p = std::min<std::size_t>(static_cast<std::size_t>(i - 1), chosen->params.size() - 1);
      if (VXT_dwBase(chosen->params[p]) == VXT_PROCEDURE && !args[static_cast<std::size_t>(i - 1)].variable)
        args[static_cast<std::size_t>(i - 1)] = bindProcedure(i, bound);
    }
    kvhost::CallResult& result = frame.result;
    host_.call(f, *chosen, args, &result);
    unbind(bound);
    if (interruptRequested()) {
      // Ctrl-C ends the script: every call from now on says so.
      lua_pushstring(L_, "interrupted");
      return -1;
    }
    if (!isClear(result.error) || !isClear(lastError_)) lastError_ = result.error;
    if (result.redirect) {
      lastError_.level = 3;
      lastError_.message = "served by library " + std::to_string(result.redirect->first) + " (function " +
                           std::to_string(result.redirect->second) + "), which the stand-in VM does not have";
    }
    if (lastError_.isError()) {
      callFailed_ = true;
      failedError_ = lastError_;
    }
    // Variables passed by reference take the values the library left.
    for (int i = 1; i <= count; ++i) {
      if (lua_type(L_, i) == LUA_TTABLE && hasMeta(L_, i, kVarMeta) && args[static_cast<std::size_t>(i - 1)].variable) {
        pushValue(L_, *args[static_cast<std::size_t>(i - 1)].variable);
        lua_setfield(L_, i, "value");
      }
    }
    if (VXT_dwBase(chosen->result) == VXT_AUCUN) return 0;
    pushValue(L_, result.value);
    return 1;
  } catch (const std::exception& e) {
    unbind(bound);
    lua_pushstring(L_, e.what());
    return -1;
  }
}

int Script::readVariable(int number) {
  try {
    STVXAppel context{&host_.vm(), 8, static_cast<DWORD>(number), nullptr, 0};
    void* address = host_.component()->pRecupereAdresseVariable(&context);
    if (address == nullptr) {
      lua_pushfstring(L_, "kv: variable %d has no storage on this platform", number);
      return -1;
    }
    const auto& row = host_.catalog().variables().at(static_cast<std::size_t>(number - 1));
    if (row.type == VXT_CHAINE) {
      auto* s = static_cast<CVXDSTR*>(address);
      lua_pushlstring(L_, s->pszGet(), s->nGetLength());
    } else {
      lua_pushinteger(L_, *static_cast<std::int32_t*>(address));
    }
    return 1;
  } catch (const std::exception& e) {
    lua_pushstring(L_, e.what());
    return -1;
  }
}

int Script::writeVariable(int number) {
  try {
    STVXAppel context{&host_.vm(), 8, static_cast<DWORD>(number), nullptr, 0};
    void* address = host_.component()->pRecupereAdresseVariable(&context);
    if (address == nullptr) {
      lua_pushfstring(L_, "kv: variable %d has no storage on this platform", number);
      return -1;
    }
    const auto& row = host_.catalog().variables().at(static_cast<std::size_t>(number - 1));
    if (row.type == VXT_CHAINE) {
      std::size_t n = 0;
      const char* text = lua_tolstring(L_, 3, &n);
      if (text == nullptr) {
        lua_pushstring(L_, "kv: a string variable takes a string");
        return -1;
      }
      static_cast<CVXDSTR*>(address)->nAssign(text, static_cast<DWORD>(n));
    } else {
      int isInteger = 0;
      lua_Integer v = lua_tointegerx(L_, 3, &isInteger);
      if (!isInteger) {
        lua_pushstring(L_, "kv: an integer variable takes an integer");
        return -1;
      }
      *static_cast<std::int32_t*>(address) = static_cast<std::int32_t>(v);
    }
    context.pValeur = address;
    host_.component()->bSignaleEcritureVariable(&context);
    return 0;
  } catch (const std::exception& e) {
    lua_pushstring(L_, e.what());
    return -1;
  }
}

namespace {

int traceback(lua_State* L) {
  const char* message = lua_tostring(L, 1);
  luaL_traceback(L, L, message != nullptr ? message : "(error object is not a string)", 1);
  return 1;
}

}  // namespace

int Script::execute(int loadStatus) {
  if (loadStatus != LUA_OK) {
    std::fprintf(stderr, "kvrun: %s\n", lua_tostring(L_, -1));
    lua_pop(L_, 1);
    return 1;
  }
  int base = lua_gettop(L_);
  lua_pushcfunction(L_, traceback);
  lua_insert(L_, base);
  int status = lua_pcall(L_, 0, 0, base);
  lua_remove(L_, base);
  if (status != LUA_OK) {
    std::fprintf(stderr, "kvrun: %s\n", lua_tostring(L_, -1));
    lua_pop(L_, 1);
    return 1;
  }
  return 0;
}

int Script::runFile(const std::string& path, const std::vector<std::string>& args) {
  lua_createtable(L_, static_cast<int>(args.size()), 1);
  lua_pushstring(L_, path.c_str());
  lua_rawseti(L_, -2, 0);
  for (std::size_t i = 0; i < args.size(); ++i) {
    lua_pushstring(L_, args[i].c_str());
    lua_rawseti(L_, -2, static_cast<lua_Integer>(i + 1));
  }
  lua_setglobal(L_, "arg");
  return execute(luaL_loadfile(L_, path.c_str()));
}

int Script::runCode(const std::string& code) { return execute(luaL_loadbuffer(L_, code.data(), code.size(), "=(command line)")); }

}  // namespace kvrun
