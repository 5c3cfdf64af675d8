// The host's type table against the descriptor tables and the conversion
// routines: every code an available syntax declares has a row that can pass
// it, and the rows' storage readers and writers agree with each other.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "Conversions.h"
#include "Types.h"
#include "support/TestHost.h"

namespace {

TEST(TypeTable, EveryDeclaredCodeIsKnown) {
  kvhost::Host host{testOptions()};
  std::set<DWORD> params, results;
  for (const auto& f : host.catalog().functions())
    for (const auto& s : f.syntaxes) {
      if (s.entry == nullptr) continue;
      for (DWORD p : s.params) params.insert(VXT_dwBase(p));
      results.insert(VXT_dwBase(s.result));
    }
  ASSERT_GT(params.size(), 10u);
  for (DWORD c : params) {
    const kvhost::TypeRow* r = kvhost::typeRow(c);
    ASSERT_NE(r, nullptr) << "parameter code 0x" << std::hex << c;
    EXPECT_NE(r->toSlot, nullptr) << r->name;
    EXPECT_NE(r->takes, kvhost::TypeClass::None) << r->name;
    EXPECT_EQ(kvhost::typeName(c), r->name);
  }
  for (DWORD c : results) {
    const kvhost::TypeRow* r = kvhost::typeRow(c);
    ASSERT_NE(r, nullptr) << "result code 0x" << std::hex << c;
    EXPECT_NE(r->name, nullptr);
  }
  // Codes are unique and each row is found by its own code.
  std::size_t n = 0;
  const kvhost::TypeRow* rows = kvhost::typeRows(&n);
  for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(kvhost::typeRow(rows[i].code), &rows[i]);
  EXPECT_EQ(kvhost::typeRow(0x2c), nullptr);
  EXPECT_EQ(kvhost::typeName(0x2c), "type 0x2c");
  EXPECT_EQ(kvhost::typeName(VXT_PARREFERENCE | VXT_MONETAIRE), "currency variable");
}

// Every row that both reads and writes storage gives back what it was
// given, through the 8-byte integer and through text.
TEST(TypeTable, StorageRoundTrips) {
  std::size_t n = 0;
  const kvhost::TypeRow* rows = kvhost::typeRows(&n);
  int checked = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const kvhost::TypeRow& r = rows[i];
    if (r.toPlain == nullptr || r.fromPlain == nullptr) continue;
    // A value every such type holds: 1 (a truth, a count), a date, a time, one day.
    const char* text = r.code == VXT_DATE ? "20261210" : r.code == VXT_HEURE ? "123456789"
                       : r.code == VXT_DATEHEURE ? "20261210123456789" : r.code == VXT_DUREE ? "1000000000" : "1";
    alignas(8) unsigned char storage[32] = {};
    const char* p = text;
    ASSERT_LE(nConversionDepassement(&p, VXT_PSZ, storage, static_cast<WORD>(r.code)), 1) << r.name;
    char* back = nullptr;
    ASSERT_EQ(nConversionDepassement(storage, static_cast<WORD>(r.code), &back, VXT_PSZ), 0) << r.name;
    EXPECT_STREQ(back, text) << r.name << " 0x" << std::hex << r.code;
    FinConversion(&back, VXT_PSZ);
    FinConversion(storage, static_cast<WORD>(r.code));
    ++checked;
  }
  EXPECT_GE(checked, 15);
}

}  // namespace
