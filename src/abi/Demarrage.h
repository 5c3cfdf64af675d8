// Start-up exchange with the VM: the Execution command function both sides
// export, its commands and the data of the initialise command.
#pragma once

#include "abi/TypesBase.h"

// Execution(command, data) as exported by the VM and by this library.
extern "C" {
using PFEXECUTION = std::intptr_t (*)(unsigned nCommande, void* pDonnees);
}

// Commands of Execution.
enum : unsigned {
  EXEC_FIN_ANORMALE = 3052,   // to the VM: the library ends without the VM's end command
  EXEC_INFO = 3053,           // to the VM: start-up datum by sub-code (data = sub-code)
  EXEC_INIT = 3985,           // from the VM: initialise (data = {size, VM module, word, word})
  EXEC_FIN = 4875,            // from the VM: normal end
  EXEC_ALPHABET = 4876,       // change alphabet {alphabet, table}
  EXEC_ALPHABET_INFO = 4877,  // same, and the alphabet information object
  EXEC_TYPES_ETENDUS = 4963,  // initialise the extended types with the global factory
};

// Data of EXEC_INIT: four words (16 bytes on i386; 24 on x86-64, where the
// module handle is pointer-sized).
struct STExecutionInit {
  DWORD dwTaille;       // sizeof(STExecutionInit)
  HMODULE hModuleVM;    // module holding the VM's Execution (null: global scope)
  DWORD adwMot[2];      // passed to the execution object
};
static_assert(sizeof(STExecutionInit) == nSelonEdition(16, 24));
static_assert(offsetof(STExecutionInit, adwMot) == nSelonEdition(8, 16));
