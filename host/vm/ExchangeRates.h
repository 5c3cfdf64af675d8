// The runtime object library's exchange-rate table, as the stand-in plays
// it: the euro and the twelve currencies it replaced, at their fixed rates.
// The component finds it through the exported OBJ_pclGetTauxDeChange.
#pragma once

namespace kvhost {

// Puts every rate, name and default back to the table's start.
void resetExchangeRates();

}  // namespace kvhost
