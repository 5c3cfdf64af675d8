// The stand-in VM's services during a call.
#include "Vm.h"

#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "Catalog.h"
#include "Types.h"
#include "abi/TypesBase.h"
#include "core/Any.h"
#include "core/VXDSTR.h"
#include "core/XError.h"

namespace kvhost {

namespace {

// A VM operation that cannot serve the request leaves an error of the
// second grade in the caller's error object.
BOOL refuse(CXError* error) {
  if (error != nullptr) error->SetErrorLevel(EL_ERREUR_GRAVE);
  return 0;
}

}  // namespace

void Vm::beginCall(const std::vector<Value>* arguments, DWORD callWord, Value* result) {
  if (inCall_) {
    std::optional<Value> outer;
    if (hasResult_ && target_ == &result_) outer = std::move(result_);
    outerCalls_.push_back({arguments_, callWord_, true, target_, hasResult_, std::move(outer)});
  }
  arguments_ = arguments;
  callWord_ = callWord;
  inCall_ = true;
  target_ = result != nullptr ? result : &result_;
  hasResult_ = false;
}

bool Vm::endCall(Value* out) {
  bool had = hasResult_;
  if (had && out != target_) {
    // Field by field: each side keeps storage for the next call.
    Value& r = *target_;
    out->type = r.type;
    out->integer = r.integer;
    out->real = r.real;
    out->bytes.swap(r.bytes);
    if (out->variable || r.variable) out->variable.swap(r.variable);
    if (out->object || r.object) out->object.swap(r.object);
  }
  hasResult_ = false;
  inCall_ = false;
  arguments_ = nullptr;
  target_ = &result_;
  if (!outerCalls_.empty()) {
    CallState& outer = outerCalls_.back();
    arguments_ = outer.arguments;
    callWord_ = outer.callWord;
    inCall_ = outer.inCall;
    target_ = outer.target;
    hasResult_ = outer.hasResult;
    if (outer.result) result_ = std::move(*outer.result);
    outerCalls_.pop_back();
  }
  return had;
}

std::optional<Value> Vm::endCall() {
  Value v;
  if (!endCall(&v)) return std::nullopt;
  return v;
}

const Value* Vm::argument(int n, DWORD callWord) const {
  if (!inCall_ || arguments_ == nullptr || callWord != callWord_) return nullptr;
  if (n < 1 || n > nNbArgumentAppel(callWord) || static_cast<std::size_t>(n) > arguments_->size()) return nullptr;
  return &(*arguments_)[static_cast<std::size_t>(n - 1)];
}

void Vm::RenvoieValeur(DWORD dwAppel, const void* pValeur, DWORD dwType) {
  if (!inCall_ || dwAppel != callWord_) return;  // not the call being made
  // Written in place: the string keeps its storage from call to call.
  Value& v = *target_;
  hasResult_ = true;
  v.type = VXT_dwBase(dwType);
  v.integer = 0;
  v.real = 0;
  v.bytes.clear();
  if (v.variable) v.variable.reset();
  if (v.object) v.object.reset();
  if (pValeur == nullptr && v.type != VXT_AUCUN) {
    v.type = VXT_AUCUN;
    return;
  }
  // Kinds without a reader keep their code, with no value.
  const TypeRow* row = typeRow(v.type);
  if (row != nullptr && row->fromResult != nullptr) row->fromResult(pValeur, &v);
}

void Vm::callEnded() {
  if (!progressShown_) return;
  progressShown_ = false;
  if (progressListener_) progressListener_(nullptr);
}

std::intptr_t Vm::InfoVM(int nCode, int nSousCode, void* pArgument) {
  switch (nCode) {
    case INFOVM_PROGRESSION: {
      auto* p = static_cast<const STProgression*>(pArgument);
      if (p == nullptr || p->dwTaille < sizeof(STProgression) || !progressListener_) return 0;
      progressShown_ = true;
      progressListener_(p);
      return 1;
    }
    case 13:  // running process
      switch (nSousCode) {
        case 1:
        case 2:
        case 4: return reinterpret_cast<std::intptr_t>(processName_.c_str());
        default: return 0;
      }
    case 9: {  // the clock as a SYSTEMTIME
      auto* st = static_cast<SYSTEMTIME*>(pArgument);
      if (st == nullptr) return 0;
      timeval tv{};
      gettimeofday(&tv, nullptr);
      tm t{};
      localtime_r(&tv.tv_sec, &t);
      st->wYear = static_cast<WORD>(t.tm_year + 1900);
      st->wMonth = static_cast<WORD>(t.tm_mon + 1);
      st->wDayOfWeek = static_cast<WORD>(t.tm_wday);
      st->wDay = static_cast<WORD>(t.tm_mday);
      st->wHour = static_cast<WORD>(t.tm_hour);
      st->wMinute = static_cast<WORD>(t.tm_min);
      st->wSecond = static_cast<WORD>(t.tm_sec);
      st->wMilliseconds = static_cast<WORD>(tv.tv_usec / 1000);
      return 1;
    }
    default: return 0;  // not a mobile simulator, not a microcontroller
  }
}

int Vm::ChangeMode(int nMode) {
  int previous = mode_;
  mode_ = nMode;
  return previous;
}

BOOL Vm::bParamNull(int nParametre, DWORD dwAppel) {
  const Value* v = argument(nParametre, dwAppel);
  return v == nullptr || v->isNone();
}

BOOL Vm::bChaineUnicode(int nParametre, DWORD dwAppel) {
  const Value* v = argument(nParametre, dwAppel);
  return v != nullptr && v->type == VXT_CHAINEUNICODE;
}

// A variable of the caller, passed by reference.
class HostVariable final : public IVXVariable {
public:
  explicit HostVariable(std::shared_ptr<Value> target) : target_(std::move(target)) {}
  int Release() override {
    delete this;
    return 0;
  }
  DWORD dwGetType() override { return target_->type; }
  BOOL bGetValeur(CAny* pclValeur, CXError* pclErreur) override {
    if (pclValeur == nullptr) return refuse(pclErreur);
    anyFromValue(*target_, pclValeur);
    return 1;
  }
  BOOL bAffecte(const CAny* pclValeur, CXError* pclErreur) override {
    if (pclValeur == nullptr) return refuse(pclErreur);
    *target_ = valueFromAny(*pclValeur);
    return 1;
  }

private:
  ~HostVariable() = default;
  std::shared_ptr<Value> target_;
};

void Vm::defineProcedure(const std::string& name, Procedure procedure) {
  for (auto& p : procedures_) {
    if (foldName(p.name) == foldName(name)) {
      p.call = std::move(procedure);
      return;
    }
  }
  procedures_.push_back({name, std::move(procedure)});
}

void Vm::removeProcedure(const std::string& name) {
  for (auto p = procedures_.begin(); p != procedures_.end(); ++p) {
    if (p->name == name) {
      procedures_.erase(p);
      return;
    }
  }
}

BOOL Vm::bRechercheProcedure(const char* pszNom, int, void** ppProcedure, CXError* pclErreur) {
  if (pszNom != nullptr && ppProcedure != nullptr) {
    for (auto& p : procedures_) {
      if (foldName(p.name) == foldName(pszNom)) {
        *ppProcedure = &p;
        return 1;
      }
    }
  }
  // As the VM would: the error names the procedure it could not find.
  if (pclErreur != nullptr) {
    std::string message = "Unknown procedure <" + std::string(pszNom != nullptr ? pszNom : "") + ">.";
    pclErreur->AddUserMessage(message.c_str());
  }
  return refuse(pclErreur);
}

BOOL Vm::bEmpileValeur(CAny* pclValeur, DWORD) {
  if (pclValeur == nullptr) return 0;
  pushed_.push_back(valueFromAny(*pclValeur));
  return 1;
}

void Vm::PrepareAppel() {
  pushed_.clear();
  procedureResult_.reset();
  resultTarget_ = nullptr;
}

BOOL Vm::bAppelleProcedure(void* pProcedure, DWORD, int nNbArgument, int) {
  auto* procedure = static_cast<NamedProcedure*>(pProcedure);
  if (procedure == nullptr || nNbArgument < 0 || static_cast<std::size_t>(nNbArgument) > pushed_.size()) return 0;
  std::vector<Value> args(pushed_.end() - nNbArgument, pushed_.end());
  pushed_.clear();
  // The procedure may call the library, which may call procedures in turn:
  // what this call needs after it is kept here.
  CAny* target = resultTarget_;
  Value result = procedure->call(args);
  procedureResult_ = std::move(result);
  resultTarget_ = target;
  if (resultTarget_ != nullptr) anyFromValue(*procedureResult_, resultTarget_);
  return 1;
}

void Vm::SetValeurRetour(CAny* pclValeur) {
  if (pclValeur == nullptr) return;
  if (procedureResult_) {
    anyFromValue(*procedureResult_, pclValeur);
  } else {
    resultTarget_ = pclValeur;
  }
}

BOOL Vm::bGetParamAny(int nParametre, DWORD dwAppel, CAny* pclValeur, CXError* pclErreur) {
  const Value* v = argument(nParametre, dwAppel);
  if (v == nullptr || pclValeur == nullptr) return refuse(pclErreur);
  anyFromValue(*v, pclValeur);
  return 1;
}

BOOL Vm::bGetParamAnyNULL(int nParametre, DWORD dwAppel, CAny* pclValeur, CXError* pclErreur) {
  const Value* v = argument(nParametre, dwAppel);
  if (pclValeur == nullptr) return refuse(pclErreur);
  if (v == nullptr) {
    pclValeur->SetVide();
    return 1;
  }
  anyFromValue(*v, pclValeur);
  return 1;
}

void* Vm::pGetParametre(int, DWORD, DWORD, CXError* pclErreur) {
  refuse(pclErreur);
  return nullptr;
}

BOOL Vm::bGetParamIVariable(int nParametre, DWORD dwAppel, IVXVariable** ppiVariable, CXError* pclErreur) {
  const Value* v = argument(nParametre, dwAppel);
  if (v == nullptr || !v->variable || ppiVariable == nullptr) return refuse(pclErreur);
  *ppiVariable = new HostVariable(v->variable);
  return 1;
}

BOOL Vm::bGetObjetAPCodeParametre(int, DWORD, IObjetAPCode**, CXError* pclErreur) { return refuse(pclErreur); }

// Elements of the application's own library: files of the element
// directory, by their relative name.
CXError* Vm::pclChargeElement(STDemandeElement* pstDemande) {
  auto failure = [](int code) {
    auto* error = new CXError;
    error->SetErrorLevel(EL_ERREUR_GRAVE);
    error->SetSystemError(static_cast<DWORD>(code));
    return error;
  };
  if (pstDemande == nullptr || pstDemande->dwTaille != sizeof(STDemandeElement) || pstDemande->pszNom == nullptr ||
      pstDemande->pclBuffer == nullptr)
    return failure(EINVAL);
  std::string name = pstDemande->pszNom;
  for (auto& c : name) {
    if (c == '\\') c = '/';
  }
  if (elementDirectory_.empty() || name.empty() || name[0] == '/' || name.find("..") != std::string::npos)
    return failure(ENOENT);
  std::ifstream in(elementDirectory_ + "/" + name, std::ios::binary);
  if (!in) return failure(ENOENT);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::string data = bytes.str();
  auto* buffer = static_cast<CVXBIN*>(pstDemande->pclBuffer);
  if (buffer->nAssign(data.data(), static_cast<DWORD>(data.size())) != STR_OK) return failure(ENOMEM);
  return nullptr;
}

}  // namespace kvhost
