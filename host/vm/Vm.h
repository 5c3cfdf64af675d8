// The stand-in VM's IVM: the services the component asks of the VM during a
// call (results, arguments, execution state, call information).
#pragma once

#include <csignal>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "InfoLangue.h"
#include "Value.h"
#include "abi/InterfacesVM.h"
#include "core/Progression.h"

namespace kvhost {

class Vm final : public IVM {
public:
  Vm() = default;
  Vm(const Vm&) = delete;
  Vm& operator=(const Vm&) = delete;
  ~Vm() = default;

  // The call being made: its arguments (numbered from 1), its call word. A
  // call made from inside another (from a procedure) keeps the outer call's
  // state aside; endCall gives it back.
  // `result`, when given, is where the value handed back is written (the
  // same pointer given to endCall then costs no copy).
  void beginCall(const std::vector<Value>* arguments, DWORD callWord, Value* result = nullptr);
  // The value handed to RenvoieValeur during the call, if any.
  std::optional<Value> endCall();
  // The same, swapped into *out (whose storage the next call reuses): false
  // when the library handed back nothing, and *out is then left as it was.
  bool endCall(Value* out);

  // The user's request to interrupt, as answered by nEtatExecution; a flag
  // that a signal handler sets may be watched too.
  void setInterrupted(bool interrupted) { interrupted_ = interrupted; }
  void watchInterrupt(const volatile std::sig_atomic_t* flag) { interruptFlag_ = flag; }
  // Progress points of the library's long work (InfoVM code 40), and null
  // when the outermost call that saw some has ended.
  using ProgressListener = std::function<void(const STProgression*)>;
  void setProgressListener(ProgressListener listener) { progressListener_ = std::move(listener); }
  void callEnded();
  // Directory serving the application's own library ("KVL:" names).
  void setElementDirectory(std::string dir) { elementDirectory_ = std::move(dir); }
  const std::string& elementDirectory() const { return elementDirectory_; }
  void setProcessName(std::string name) { processName_ = std::move(name); }
  void setEnglish(bool english) { infoLangue_.setEnglish(english); }
  // The VM thread this Vm serves: whether the VM runs several threads, and
  // whether this one is its main thread.
  void setThread(bool multiThreading, bool mainThread) {
    threadData_.multiThreading = multiThreading;
    threadData_.mainThread = mainThread;
  }

  // Language procedures the library may call back (listings): found by
  // name, any case; they receive the pushed values and return one.
  using Procedure = std::function<Value(const std::vector<Value>&)>;
  void defineProcedure(const std::string& name, Procedure procedure);
  // Each caller removes only the procedures it defined: an outer call may be
  // running one of its own meanwhile.
  void removeProcedure(const std::string& name);
  void removeProcedures() { procedures_.clear(); }

  // IVM
  CXError* pclChargeElement(STDemandeElement* pstDemande) override;
  int nGetModeExecution() override { return mode_; }
  std::intptr_t InfoVM(int nCode, int nSousCode, void* pArgument) override;
  int ChangeMode(int nMode) override;
  BOOL bEmpileValeur(CAny* pclValeur, DWORD dwAppel) override;
  void PrepareAppel() override;
  void SetValeurRetour(CAny* pclValeur) override;
  int nEtatExecution() override { return interrupted_ || (interruptFlag_ != nullptr && *interruptFlag_ != 0) ? 10 : 0; }
  BOOL bRechercheProcedure(const char* pszNom, int nReserve, void** ppProcedure, CXError* pclErreur) override;
  BOOL bAppelleProcedure(void* pProcedure, DWORD dwAppel, int nNbArgument, int nReserve) override;
  void* GestionMT() override { return &threadData_; }
  HWND hGetFenetreDialogue() override { return 0; }
  IInfoLangue* piGetInfoLangue(int, int) override { return &infoLangue_; }
  BOOL bMTEnCours() override { return threadData_.multiThreading; }
  BOOL bThreadPrincipal() override { return threadData_.mainThread; }
  unsigned uGetMessageMT() override { return 0; }
  void* piGetVMData() override { return &threadData_; }
  IObjetAPCode* pGetCallingObject() override { return nullptr; }
  HANDLE_VX hGetObjetCourant() override { return 0; }
  HWND hGetFenetreCourant() override { return 0; }
  BOOL bParamNull(int nParametre, DWORD dwAppel) override;
  BOOL bChaineUnicode(int nParametre, DWORD dwAppel) override;
  BOOL bGetParamAny(int nParametre, DWORD dwAppel, CAny* pclValeur, CXError* pclErreur) override;
  void* pGetParametre(int nParametre, DWORD dwAppel, DWORD dwType, CXError* pclErreur) override;
  BOOL bGetParamAnyNULL(int nParametre, DWORD dwAppel, CAny* pclValeur, CXError* pclErreur) override;
  BOOL bGetParamIVariable(int nParametre, DWORD dwAppel, IVXVariable** ppiVariable, CXError* pclErreur) override;
  int nGetDSTR_ID(int, DWORD) override { return 0; }
  BOOL bRepushParam(int, DWORD, IVM*) override { return 0; }
  void RenvoieValeur(DWORD dwAppel, const void* pValeur, DWORD dwType) override;
  BOOL bGetValeurParametre(int, DWORD, void*, CXError*) override { return 0; }
  BOOL bGetParamIVariableNom(int, DWORD, void*, CXError*) override { return 0; }
  BOOL bGetNomVariable(int, DWORD, void*, CXError*) override { return 0; }
  int nEmpileParametre(int, DWORD, void*, CXError*) override { return 0; }
  BOOL bGetObjetAPCodeParametre(int, DWORD, IObjetAPCode** ppiObjet, CXError*) override;
  BOOL bForceValeur(int, DWORD, void*, CXError*) override { return 0; }
  BOOL bGetParamIVariableOuValeur(int, DWORD, void*, CXError*) override { return 0; }
  void* piGetDBContext(int, DWORD, void*, CXError*) override { return nullptr; }
  BOOL bGetAdresseObjetComposante(int, DWORD, void*, CXError*) override { return 0; }

private:
  // The argument numbered `n` (from 1) of the call whose word is `callWord`.
  const Value* argument(int n, DWORD callWord) const;

  struct NamedProcedure {
    std::string name;
    Procedure call;
  };
  std::list<NamedProcedure> procedures_;  // stable addresses: handed to the library
  std::vector<Value> pushed_;
  std::optional<Value> procedureResult_;
  CAny* resultTarget_ = nullptr;

  struct CallState {
    const std::vector<Value>* arguments = nullptr;
    DWORD callWord = 0;
    bool inCall = false;
    Value* target = nullptr;
    bool hasResult = false;
    std::optional<Value> result;  // the outer call's own result, when it had no target
  };
  std::vector<CallState> outerCalls_;  // calls interrupted by a nested one

  const std::vector<Value>* arguments_ = nullptr;
  DWORD callWord_ = 0;
  bool inCall_ = false;
  Value result_;             // the result when the caller gave no target; storage reused
  Value* target_ = &result_; // where RenvoieValeur writes
  bool hasResult_ = false;
  bool interrupted_ = false;
  const volatile std::sig_atomic_t* interruptFlag_ = nullptr;
  ProgressListener progressListener_;
  bool progressShown_ = false;
  int mode_ = 0;
  std::string elementDirectory_;
  std::string processName_ = "kvrun";
  InfoLangue infoLangue_{false};
  // The data of this VM thread (what GestionMT and piGetVMData answer).
  struct ThreadData {
    bool multiThreading = false;
    bool mainThread = true;
  } threadData_;
};

}  // namespace kvhost
