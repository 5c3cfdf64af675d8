// Start, stop and calls of the stand-in VM.
#include "Host.h"

#include <cstring>

#include "Chooser.h"
#include "Conversions.h"
#include "PageLibrary.h"
#include "Types.h"
#include "abi/InterfacesVM.h"
#include "core/Any.h"
#include "core/VXDSTR.h"
#include "core/XError.h"

namespace kvhost {

namespace {

std::string nameOf(const FunctionInfo& f) { return f.french + " / " + f.english; }

// Empties the slots used by a call: the string blocks go back to the
// library's allocator before the library may stop.
void clearSlots(std::vector<ArgSlot>& slots, std::size_t n) {
  for (std::size_t i = 0; i < n && i < slots.size(); ++i) {
    if (!slots[i].used) continue;
    slots[i].string.Vide();
    slots[i].buffer.Vide();
    slots[i].any.SetVide();
    slots[i].used = false;
  }
}

}  // namespace

struct Host::Scratch {
  std::vector<ArgSlot> slots;
  std::vector<void*> block;
};

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
  std::vector<ArgSlot>& slots = scratch.slots;
  if (slots.size() < declared) slots.resize(declared);
  std::vector<void*>& block = scratch.block;
  block.assign(declared, nullptr);
  struct Depth {
    int& depth;
    std::vector<ArgSlot>& slots;
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
    ArgSlot& slot = slots[i];
    if (!accepts(code, v)) throw HostError(nameOf(f) + ": argument " + std::to_string(i + 1) + " must be " + typeName(code));
    const TypeRow* row = typeRow(code);
    if (row == nullptr || row->toSlot == nullptr)
      throw HostError(nameOf(f) + ": the stand-in VM cannot pass a " + typeName(code) + " yet");
    const char* why = nullptr;
    block[i] = row->toSlot(v, code, slot, &why);
    if (block[i] == nullptr) {
      throw HostError(nameOf(f) + (why == kSlotNoMemory ? ": no memory for argument " + std::to_string(i + 1)
                                                        : ": argument " + std::to_string(i + 1) + " " + why));
    }
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
  vm_.beginCall(&args, context.dwAppel, &out->value);
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
