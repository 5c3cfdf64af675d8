// Start-up data the stand-in VM gives through its exported Execution
// function (command 3053 with a sub-code).
#pragma once

#include <cstdint>

class ILibShop;

namespace kvhost {

struct StartupData {
  int executionProductCode = 1;   // sub-code 1
  int language = 0;               // sub-code 2: 0 French, 1 English
  const char* productName = "kvrun";  // sub-code 3
  std::uint32_t options = 0;      // sub-code 4
  int realProductCode = 1;        // sub-code 5
  bool dotNet = false;            // sub-code 6
  ILibShop* libShop = nullptr;    // sub-code 7
  std::uint32_t version = 589;    // sub-code 8
  void* globalFactory = nullptr;  // sub-code 9
  int abnormalEnds = 0;           // command 3052 received
};

// The process-wide data answered to every loaded library.
StartupData& startupData();

}  // namespace kvhost
