// The exchange-rate table of the stand-in object library, laid out as the
// component reads it: rates (units per euro, in millionths), 8-byte names,
// then the count and the display and memory default currencies.
#include "ExchangeRates.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

struct Currency {
  const char* name;
  std::uint32_t rate;
};

// The euro first, at 1; then the fixed conversion rates of 1999-2001.
constexpr std::array<Currency, 13> kCurrencies{{
    {"EUR", 1000000},    {"FRF", 6559570},    {"DEM", 1955830},   {"ITL", 1936270000}, {"ESP", 166386000},
    {"BEF", 40339900},   {"NLG", 2203710},    {"ATS", 13760300},  {"PTE", 200482000},  {"FIM", 5945730},
    {"IEP", 787564},     {"LUF", 40339900},   {"GRD", 340750000},
}};

struct ExchangeTable {
  std::uint32_t* rates;
  char (*names)[8];
  std::uint16_t count;
  std::uint16_t displayDefault;
  std::uint16_t memoryDefault;
  bool owned;  // never: the arrays below are static
};

std::uint32_t gRates[kCurrencies.size()];
char gNames[kCurrencies.size()][8];
ExchangeTable gTable{gRates, gNames, static_cast<std::uint16_t>(kCurrencies.size()), 1, 0, false};

}  // namespace

namespace kvhost {

void resetExchangeRates() {
  for (std::size_t i = 0; i < kCurrencies.size(); ++i) {
    gRates[i] = kCurrencies[i].rate;
    std::memset(gNames[i], 0, sizeof gNames[i]);
    std::strncpy(gNames[i], kCurrencies[i].name, 7);
  }
  gTable = {gRates, gNames, static_cast<std::uint16_t>(kCurrencies.size()), 1, 0, false};
}

}  // namespace kvhost

extern "C" __attribute__((visibility("default"))) void* OBJ_pclGetTauxDeChange() { return &gTable; }
