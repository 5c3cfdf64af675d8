// The stand-in VM's process-wide part: loading and starting the library,
// and the per-thread string recyclers of a multi-threaded VM.
#include "Runtime.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Conversions.h"
#include "ExchangeRates.h"
#include "StartupData.h"
#include "abi/Demarrage.h"
#include "core/Any.h"
#include "core/CodePage.h"
#include "core/StrMem.h"
#include "core/VXDSTR.h"
#include "core/XError.h"
#include "core/accesdllres.h"

namespace kvhost {

namespace {

// The message file the English loader reads (one per process, as the loader
// is a plain function).
std::string gMessageFile;

int loadEnglishMessage(unsigned id, char* buffer, int size) {
  if (gMessageFile.empty() || buffer == nullptr || size <= 0) return 0;
  if (!bRM_LoadMess(8, gMessageFile.c_str(), id, buffer, static_cast<unsigned>(size))) return 0;
  return static_cast<int>(std::strlen(buffer));
}

enum : unsigned { kParamRecyclerKey = 2005, kParamThreadFlag = 2006 };

}  // namespace

Runtime::Runtime(HostOptions options) : options_(std::move(options)), libShop_(options_.libraryPath) {
  // Under a file-size limit a write past it fails with EFBIG, which the
  // library reports and cleans up after, instead of the process being
  // killed half-way with its temporary files left behind.
  signal(SIGXFSZ, SIG_IGN);
  // The VM's own strings (the arguments it builds, the results it reads)
  // come from its string allocator: made now, before any VM thread, rather
  // than by whichever thread needs it first.
  CVXDSTRBase::bInit();
  library_ = std::make_unique<Library>(options_.libraryPath);
  resetExchangeRates();
  try {
    if (!library_->bInitLibrary(library_->handle())) throw HostError("bInitLibrary refused to start");
    lendConversions();
    startupData().libShop = &libShop_;
    startupData().language = options_.language == Language::English ? 1 : 0;
    STExecutionInit init{sizeof(STExecutionInit), dlopen(nullptr, RTLD_NOW), {4, 0}};
    bool started = library_->Execution(EXEC_INIT, &init) != 0;
    if (init.hModuleVM != nullptr) dlclose(init.hModuleVM);
    if (!started) throw HostError("the library refused the start-up command (Execution 3985)");
    executionStarted_ = true;
    // The VM's character set: {charset, character table} (the stand-in has
    // no table of its own). The VM's own conversions (wide strings) use the
    // same code page.
    std::intptr_t alphabet[2] = {static_cast<std::intptr_t>(options_.charset), 0};
    if (library_->Execution(EXEC_ALPHABET, alphabet) == 0) throw HostError("the library refused the character set");
    DWORD page = dwGetCodePageFromCharset(options_.charset);
    CP_SetPageCourante(page != 0 ? page : 1252);
    catalog_.emplace(library_->InfoComposante);
    installLanguage();
  } catch (...) {
    stop();
    throw;
  }
}

Runtime::~Runtime() { stop(); }

void Runtime::installLanguage() {
  using Command = std::intptr_t (*)(unsigned, void*);
  auto command = reinterpret_cast<Command>(library_->symbol("CommandeComposante"));
  if (command == nullptr) throw HostError("the library has no CommandeComposante");
  bool english = options_.language == Language::English;
  command(0, reinterpret_cast<void*>(static_cast<std::intptr_t>(english ? 1 : 0)));
  if (!english) {
    command(2, nullptr);
    return;
  }
  std::string file = options_.messageFile;
  if (file.empty()) file = options_.libraryPath.substr(0, options_.libraryPath.rfind('/') + 1) + "kv140std.en.msg";
  if (access(file.c_str(), R_OK) != 0) throw HostError("no English messages: cannot read " + file);
  gMessageFile = file;
  command(2, reinterpret_cast<void*>(&loadEnglishMessage));
}

void Runtime::lendConversions() {
  // The VM lends its conversion routines (exported by this program) to the
  // library and to its own dynamic values.
  void* self = dlopen(nullptr, RTLD_NOW);
  if (dlsym(self, "nConversionDepassement") != reinterpret_cast<void*>(&nConversionDepassement)) {
    if (self != nullptr) dlclose(self);
    throw HostError("this program does not export the VM's conversion routines");
  }
  using Init = BOOL (*)(void*, DWORD, DWORD);
  if (auto init = reinterpret_cast<Init>(library_->symbol("bInitVXConvFromVM")); init != nullptr) {
    if (!init(self, 2, 0)) throw HostError("the library refused the VM's conversion routines");
  }
  bInitVXConvFromVM(self, 2, 0);
  if (self != nullptr) dlclose(self);
}

std::string Runtime::errorMessage(DWORD userCode) const {
  unsigned id = CXError::nGetRessourceIdFromUserErrorCode(userCode);
  if (id == 0) return {};
  char buffer[1024] = {};
  if (options_.language == Language::English) {
    if (gMessageFile.empty() || !bRM_LoadMess(8, gMessageFile.c_str(), id, buffer, sizeof buffer)) return {};
  } else if (DLLRES_nLoadString(id, buffer, sizeof buffer) <= 0) {
    return {};
  }
  return buffer;
}

void Runtime::declareThreads() {
  if (multiThreading_ != 0) return;
  using Param = int (*)(unsigned, std::intptr_t);
  auto param = reinterpret_cast<Param>(library_->symbol("GeneralParam"));
  if (param == nullptr) throw HostError("the library has no GeneralParam");
  if (!recyclerKeyMade_) {
    if (pthread_key_create(&recyclerKey_, nullptr) != 0) throw HostError("no thread key for the string recyclers");
    recyclerKeyMade_ = true;
  }
  param(kParamRecyclerKey, static_cast<std::intptr_t>(recyclerKey_));
  param(kParamThreadFlag, reinterpret_cast<std::intptr_t>(&multiThreading_));
  // Set before any VM thread starts: the threads read it without a lock.
  multiThreading_ = 1;
}

void Runtime::stop() {
  if (!library_) return;
  if (executionStarted_) library_->Execution(EXEC_FIN, nullptr);
  executionStarted_ = false;
  library_->TermLibrary();
  if (startupData().libShop == &libShop_) startupData().libShop = nullptr;
  library_.reset();
  if (recyclerKeyMade_) pthread_key_delete(recyclerKey_);
  recyclerKeyMade_ = false;
}

// A thread's recycler keeps a few freed blocks of the two common sizes for
// the next allocations of the same thread; every block comes from malloc,
// so a block freed by another thread (or kept by the library's own cache)
// may go back to the C allocator.
struct Runtime::ThreadScope::Recycler final : IRecycleurStr {
  static constexpr std::size_t kKept = 64;
  std::vector<void*> small, medium;
  DWORD smallSize = STR_CAPACITE_PETITE + STR_TAILLE_SUPPLEMENT;
  DWORD mediumSize = STR_CAPACITE_MOYENNE + STR_TAILLE_SUPPLEMENT;

  std::vector<void*>* listFor(DWORD n) { return n == smallSize ? &small : n == mediumSize ? &medium : nullptr; }

  void* pDonneBloc(DWORD nOctets) override {
    std::vector<void*>* l = listFor(nOctets);
    if (l == nullptr || l->empty()) return nullptr;
    void* p = l->back();
    l->pop_back();
    return p;
  }
  BOOL bPrendBloc(void* pBloc, DWORD nOctets) override {
    std::vector<void*>* l = listFor(nOctets);
    if (l == nullptr || l->size() >= kKept) return 0;
    l->push_back(pBloc);
    return 1;
  }
  ~Recycler() {
    for (void* p : small) std::free(p);
    for (void* p : medium) std::free(p);
  }
  Recycler() {
    small.reserve(kKept);
    medium.reserve(kKept);
  }
};

Runtime::ThreadScope::ThreadScope(Runtime& runtime) : runtime_(runtime) {
  if (!runtime_.threaded()) return;
  recycler_ = std::make_unique<Recycler>();
  pthread_setspecific(runtime_.recyclerKey_, static_cast<IRecycleurStr*>(recycler_.get()));
}

Runtime::ThreadScope::~ThreadScope() {
  if (!recycler_) return;
  pthread_setspecific(runtime_.recyclerKey_, nullptr);
}

}  // namespace kvhost
