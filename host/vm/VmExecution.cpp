// The VM's exported command function, which the component finds by name in
// the VM's module to read its start-up data and to report an abnormal end.
#include <cstdint>

#include "StartupData.h"
#include "abi/Demarrage.h"

namespace kvhost {

StartupData& startupData() {
  static StartupData data;
  return data;
}

}  // namespace kvhost

extern "C" __attribute__((visibility("default"))) std::intptr_t Execution(unsigned command, void* data) {
  auto& d = kvhost::startupData();
  if (command == EXEC_FIN_ANORMALE) {
    ++d.abnormalEnds;
    return 1;
  }
  if (command != EXEC_INFO) return 0;
  switch (reinterpret_cast<std::intptr_t>(data)) {
    case 1: return d.executionProductCode;
    case 2: return d.language;
    case 3: return reinterpret_cast<std::intptr_t>(d.productName);
    case 4: return static_cast<std::intptr_t>(d.options);
    case 5: return d.realProductCode;
    case 6: return d.dotNet;
    case 7: return reinterpret_cast<std::intptr_t>(d.libShop);
    case 8: return static_cast<std::intptr_t>(d.version);
    case 9: return reinterpret_cast<std::intptr_t>(d.globalFactory);
    default: return 0;
  }
}
