// Module hook of the euro functions: binds the runtime object library.
#pragma once

class CComposanteStandard;

// Clears the euro context and takes the module handle of library 0 from the
// library manager; true when the handle is not null.
bool _EURO_bInitModule(CComposanteStandard* pclCompo);
