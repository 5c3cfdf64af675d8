// Start, stop and calls of the stand-in VM.
#include "Host.h"

#include <cstring>

#include "Chooser.h"
#include "Conversions.h"
#include "PageLibrary.h"
#include "abi/InterfacesVM.h"
#include "core/Any.h"
#include "core/VXDSTR.h"
#include "core/XError.h"

namespace kvhost {

namespace {

// Storage of one converted argument; the argument block points at these.
struct Slot {
  alignas(8) unsigned char raw[16] = {};
  std::string text;          // keeps the bytes a const char* slot points to
  const char* pointer = nullptr;
  CVXDSTR string;            // language string slots (VM-made blocks)
  CVXBIN buffer;
  STManipAUB manip{};
  CAny any;                  // any-value slots
  bool used = false;         // string, buffer or any-value given: emptied after the call
};

std::string nameOf(const FunctionInfo& f) { return f.french + " / " + f.english; }

// Empties the slots used by a call: the string blocks go back to the
// library's allocator before the library may stop.
void clearSlots(std::vector<Slot>& slots, std::size_t n) {
  for (std::size_t i = 0; i < n && i < slots.size(); ++i) {
    if (!slots[i].used) continue;
    slots[i].string.Vide();
    slots[i].buffer.Vide();
    slots[i].any.SetVide();
    slots[i].used = false;
  }
}

}  // namespace

// A value as the 10 bytes of a currency amount (none gives zero); false
// when it is not a number.
bool currencyBytes(const Value& v, unsigned char* out) {
  if (v.type == VXT_MONETAIRE && v.bytes.size() == 10) {
    std::memcpy(out, v.bytes.data(), 10);
    return true;
  }
  if (v.type == VXT_AUCUN) {
    std::memset(out, 0, 10);
    return true;
  }
  if (v.isText()) {
    const char* text = v.bytes.c_str();
    return nConversionDepassement(&text, VXT_PSZ, out, VXT_MONETAIRE) <= 1;
  }
  if (v.type == VXT_REEL) {
    double d = v.real;
    return nConversionDepassement(&d, VXT_REEL, out, VXT_MONETAIRE) <= 1;
  }
  std::int64_t n = v.integer;
  return v.isInteger() && nConversionDepassement(&n, VXT_ENTIER8, out, VXT_MONETAIRE) <= 1;
}

struct Host::Scratch {
  std::vector<Slot> slots;
  std::vector<void*> block;
};

bool accepts(DWORD code, const Value& v) {
  if (VXT_bParReference(code) && VXT_dwBase(code) == VXT_MONETAIRE) return v.variable != nullptr;
  switch (VXT_dwBase(code)) {
    case VXT_BOOLEEN:
    case VXT_UI1: case VXT_UI2: case VXT_UI4: case VXT_UI8:
    case VXT_I1: case VXT_I2: case VXT_ENTIER: case VXT_ENTIER8:
    case VXT_ENTIERSYS: case VXT_HWND:
      return v.isInteger();
    case VXT_DUREE:
      return v.isInteger() || v.type == VXT_DUREE;
    case VXT_REEL4: case VXT_REEL:
      return v.isInteger() || v.type == VXT_REEL;
    case VXT_MONETAIRE: case VXT_DECIMAL:
      return v.isInteger() || v.type == VXT_REEL || v.isText() || v.type == VXT_MONETAIRE;
    case VXT_PSZ: case VXT_CHAINE: case VXT_PROCEDURE: case VXT_OBJETCHAINE:
    case VXT_CHAINEUNICODE: case VXT_CARACTERE:
    case VXT_DATE: case VXT_HEURE: case VXT_DATEHEURE:
      return v.isText();
    case VXT_BINAIRE: case VXT_CHAINEOUBUFFER: case VXT_BUFFER:
      return v.isText() || v.type == VXT_BINAIRE;
    case VXT_ANY:
      return true;
    case VXT_OBJETAPCODE:
      return v.object != nullptr;
    default:
      return false;  // kinds a caller cannot give here
  }
}

Host::Host(HostOptions options) : Host(std::make_shared<Runtime>(std::move(options))) {}

Host::Host(std::shared_ptr<Runtime> runtime, bool mainThread) : runtime_(std::move(runtime)) {
  catalog_ = &runtime_->catalog();
  vm_.setElementDirectory(runtime_->options().elementDirectory);
  vm_.setEnglish(runtime_->options().language == Language::English);
  try {
    start(mainThread);
  } catch (...) {
    stop();
    throw;
  }
}

Host::~Host() {
  stop();
  scratch_.reset();
}

void Host::start(bool mainThread) {
  vm_.setThread(runtime_->threaded(), mainThread);
  component_ = static_cast<IVXLibrary*>(runtime_->library().pQueryProxy(60));
  if (component_ == nullptr) throw HostError("pQueryProxy(60) gave no component");
  component_->SetLibShop(&runtime_->libShop());
  component_->SetLanguage(runtime_->options().language == Language::English ? 1 : 0, nullptr);
  if (!component_->bFinInitVXL()) throw HostError("the component did not start (bFinInitVXL)");
}

void Host::stop() {
  if (component_ == nullptr) return;
  component_->TermVXL();
  component_->Release();
  component_ = nullptr;
}

const SyntaxInfo* Host::chooseSyntax(const FunctionInfo& f, const std::vector<Value>& args, std::string* why) const {
  std::vector<ArgKind> kinds;
  kinds.reserve(args.size());
  for (const auto& a : args) kinds.push_back(kindOf(a));
  const SyntaxInfo* ranked[kMaxSyntaxes];
  std::size_t n = rankSyntaxes(f, kinds.data(), kinds.size(), ranked, kMaxSyntaxes);
  for (std::size_t r = 0; r < n; ++r) {
    const SyntaxInfo& s = *ranked[r];
    bool takes = true;
    for (std::size_t i = 0; i < args.size() && takes; ++i)
      takes = accepts(s.params[i < s.params.size() ? i : s.params.size() - 1], args[i]);
    if (!takes) continue;
    if (s.entry != nullptr) return &s;
    if (why) *why = nameOf(f) + ": syntax " + std::to_string(s.index) + " is not available on this platform";
    return nullptr;
  }
  if (why) *why = f.syntaxes.empty() ? nameOf(f) + " has no syntax" : nameOf(f) + ": no syntax accepts these arguments";
  return nullptr;
}

CallResult Host::call(std::string_view name, const std::vector<Value>& args) {
  const FunctionInfo* f = catalog_->findFunction(name);
  if (f == nullptr) throw HostError("unknown function '" + std::string(name) + "'");
  std::string why;
  const SyntaxInfo* s = chooseSyntax(*f, args, &why);
  if (s == nullptr) throw HostError(why);
  return call(*f, *s, args);
}

CallResult Host::call(const FunctionInfo& f, const SyntaxInfo& s, const std::vector<Value>& args) {
  CallResult result;
  call(f, s, args, &result);
  return result;
}

void Host::call(const FunctionInfo& f, const SyntaxInfo& s, const std::vector<Value>& args, CallResult* out) {
  if (s.entry == nullptr) throw HostError(nameOf(f) + ": syntax " + std::to_string(s.index) + " is not available");
  std::size_t declared = s.params.size();
  if (args.size() < declared || (args.size() > declared && !s.repeatable) || args.size() > 0xFFFF)
    throw HostError(nameOf(f) + ": wrong number of arguments");

  // Convert the declared parameters to their slots; extra arguments of a
  // repeatable parameter are read by the library through the VM.
  if (!scratch_) scratch_ = std::make_unique<Scratch>();
  Scratch own;
  Scratch& scratch = depth_ == 0 ? *scratch_ : own;
  std::vector<Slot>& slots = scratch.slots;
  if (slots.size() < declared) slots.resize(declared);
  std::vector<void*>& block = scratch.block;
  block.assign(declared, nullptr);
  struct Depth {
    int& depth;
    std::vector<Slot>& slots;
    std::size_t n;
    Vm& vm;
    ~Depth() {
      clearSlots(slots, n);
      if (--depth == 0) vm.callEnded();
    }
  } depth{++depth_, slots, declared, vm_};
  for (std::size_t i = 0; i < declared; ++i) {
    DWORD code = s.params[i];
    // A variable given for a parameter passed by value gives its value.
    const Value& v = args[i].variable && !VXT_bParReference(code) ? *args[i].variable : args[i];
    Slot& slot = slots[i];
    if (!accepts(code, v)) throw HostError(nameOf(f) + ": argument " + std::to_string(i + 1) + " must be " + typeName(code));
    switch (VXT_dwBase(code)) {
      case VXT_BOOLEEN: {
        std::int32_t n = v.integer != 0;
        std::memcpy(slot.raw, &n, 4);
        break;
      }
      case VXT_HWND:
      case VXT_ENTIER: {
        if (v.integer < INT32_MIN || v.integer > UINT32_MAX)
          throw HostError(nameOf(f) + ": argument " + std::to_string(i + 1) + " is out of the 32-bit range");
        auto n = static_cast<std::int32_t>(static_cast<std::uint32_t>(v.integer));
        std::memcpy(slot.raw, &n, 4);
        break;
      }
      case VXT_ENTIER8:
        std::memcpy(slot.raw, &v.integer, 8);
        break;
      case VXT_REEL: {
        double d = v.type == VXT_REEL ? v.real : static_cast<double>(v.integer);
        std::memcpy(slot.raw, &d, 8);
        break;
      }
      case VXT_MONETAIRE: {
        // By reference, the slot holds the variable's value and the library
        // writes its result there.
        const Value& m = VXT_bParReference(code) && v.variable ? *v.variable : v;
        if (!currencyBytes(m, slot.raw))
          throw HostError(nameOf(f) + ": argument " + std::to_string(i + 1) + " is not a currency amount");
        break;
      }
      case VXT_DUREE:
        std::memcpy(slot.raw, &v.integer, 8);
        break;
      case VXT_DATEHEURE: {
        // The 17-digit text becomes the 8-byte value, as the VM converts it.
        const char* text = v.bytes.c_str();
        unsigned char scratch[32] = {};
        if (nConversionDepassement(&text, VXT_PSZ, scratch, VXT_DATEHEURE) > 99)
          throw HostError(nameOf(f) + ": argument " + std::to_string(i + 1) + " is not a date-time (AAAAMMJJHHMMSSLLL)");
        std::memcpy(slot.raw, scratch, 8);
        break;
      }
      case VXT_PSZ:
      case VXT_PROCEDURE:
        slot.text = v.bytes;
        slot.pointer = slot.text.c_str();
        std::memcpy(slot.raw, &slot.pointer, sizeof slot.pointer);
        break;
      case VXT_CHAINE:
      case VXT_OBJETCHAINE:
        slot.used = true;
        if (slot.string.nAssign(v.bytes.data(), static_cast<DWORD>(v.bytes.size())) != STR_OK)
          throw HostError(nameOf(f) + ": no memory for argument " + std::to_string(i + 1));
        block[i] = &slot.string;
        continue;
      case VXT_BINAIRE:
        slot.used = true;
        if (slot.buffer.nAssign(v.bytes.data(), static_cast<DWORD>(v.bytes.size())) != STR_OK)
          throw HostError(nameOf(f) + ": no memory for argument " + std::to_string(i + 1));
        block[i] = &slot.buffer;
        continue;
      case VXT_OBJETAPCODE: {
        IObjetAPCode* pi = v.object.get();
        std::memcpy(slot.raw, &pi, sizeof pi);
        break;
      }
      case VXT_ANY:
        slot.used = true;
        anyFromValue(v, &slot.any);
        block[i] = &slot.any;
        continue;
      case VXT_CHAINEOUBUFFER:
        // A string or a buffer, as the value came.
        slot.used = true;
        if (v.type == VXT_BINAIRE) {
          if (slot.buffer.nAssign(v.bytes.data(), static_cast<DWORD>(v.bytes.size())) != STR_OK)
            throw HostError(nameOf(f) + ": no memory for argument " + std::to_string(i + 1));
          slot.manip = {slot.buffer.pGetData(), static_cast<WORD>(VXT_BINAIRE)};
        } else {
          if (slot.string.nAssign(v.bytes.data(), static_cast<DWORD>(v.bytes.size())) != STR_OK)
            throw HostError(nameOf(f) + ": no memory for argument " + std::to_string(i + 1));
          slot.manip = {slot.string.pGetData(), static_cast<WORD>(VXT_CHAINE)};
        }
        block[i] = &slot.manip;
        continue;
      default:
        throw HostError(nameOf(f) + ": the stand-in VM cannot pass a " + typeName(code) + " yet");
    }
    block[i] = slot.raw;
  }

  CXError* error = component_->pclGetError();
  // A call made from inside another (from a procedure) must not disturb the
  // outer call's error: it is kept aside and put back afterwards.
  // (Held aside on the heap: only nested calls pay for it.)
  struct OuterError {
    CXError* error;
    std::unique_ptr<CXError> saved;
    ~OuterError() {
      if (!saved) return;
      error->RAZ();
      error->LightCopy(saved.get());
    }
  } outerError{error, nullptr};
  if (depth_ > 1) {
    outerError.saved = std::make_unique<CXError>();
    outerError.saved->LightCopy(error);
  }
  // Each call starts with no error (an object already clean is left alone).
  if (error->bIsError() || error->pszGetUserMessage() != nullptr || error->pszGetDebugMessage() != nullptr ||
      error->nNumInfo() > 0 || error->nGetNbSubError() > 0 || error->nNumErrorId() > 0)
    error->RAZ();
  STVXAppel context{&vm_, 8, static_cast<DWORD>(f.number), nullptr, static_cast<DWORD>(args.size())};
  STVXAppel* previous = component_->ChangeContexteAppel(&context);
  vm_.beginCall(&args, context.dwAppel);
  CallResult& result = *out;
  result.redirect.reset();
  try {
    result.returnCode = s.entry(&context, reinterpret_cast<CComposanteStandard*>(component_), block.data());
  } catch (...) {
    component_->ChangeContexteAppel(previous);
    vm_.endCall();
    throw HostError(nameOf(f) + ": an exception left the library (out of memory)");
  }
  component_->ChangeContexteAppel(previous);
  // Currency variables passed by reference take what the library wrote.
  for (std::size_t i = 0; i < declared; ++i) {
    if (VXT_bParReference(s.params[i]) && VXT_dwBase(s.params[i]) == VXT_MONETAIRE && args[i].variable) {
      args[i].variable->type = VXT_MONETAIRE;
      args[i].variable->bytes.assign(reinterpret_cast<const char*>(slots[i].raw), 10);
    }
  }
  if (!vm_.endCall(&result.value)) result.value = Value::none();
  readError(&result.error);
  if (result.returnCode == 1 && result.error.level == EL_REDIRECTION) {
    // The VM would hand the call to the named library; the stand-in has none
    // but reports where it would go.
    result.redirect = {static_cast<int>(context.nLibrairie), static_cast<int>(context.nFonction)};
    error->RAZ();
  }
}

ErrorInfo Host::readError() const {
  ErrorInfo info;
  readError(&info);
  return info;
}

void Host::readError(ErrorInfo* info) const {
  info->level = 1;
  info->code = 0;
  info->message.clear();
  info->debug.clear();
  info->systemCode = 0;
  info->systemMessage.clear();
  const CXError* e = component_->pclGetError();
  if (e == nullptr || (!e->bIsError() && e->pszGetUserMessage() == nullptr && e->pszGetDebugMessage() == nullptr))
    return;
  auto text = [](const char* p) { return p != nullptr ? std::string(p) : std::string(); };
  info->level = e->eGetErrorLevel();
  info->code = e->nGetUserErrorCode();
  info->message = text(e->pszGetUserMessage());
  info->debug = text(e->pszGetDebugMessage());
  info->systemCode = e->dwGetSystemErrorCode();
  info->systemMessage = text(e->pszGetSystemErrorMessage());
}

std::string Host::errorMessage(DWORD userCode) const { return runtime_->errorMessage(userCode); }

}  // namespace kvhost
