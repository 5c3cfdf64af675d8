// The euro functions through the stand-in VM, whose object library holds
// the euro and the twelve currencies it replaced (FRF is currency 1).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "numbers/Monetaire.h"
#include "support/HostTest.h"

namespace {

using kvhost::Value;

Value Money(const char* text) {
  CMoney c{};
  pstChaineVersMonetaire(&c, text);
  Value v;
  v.type = VXT_MONETAIRE;
  v.bytes.assign(reinterpret_cast<const char*>(&c), 10);
  return v;
}

std::string Text(const Value& v) {
  EXPECT_EQ(v.type, static_cast<DWORD>(VXT_MONETAIRE));
  CMoney c{};
  if (v.bytes.size() == 10) std::memcpy(&c, v.bytes.data(), 10);
  char sz[40];
  return pszMonetaireVersChaineC(sz, &c);
}

class Euro : public HostTest {};

TEST_F(Euro, ConversionsWithTheirRoundingDifference) {
  Value difference = Value::byReference(Value::none());
  EXPECT_EQ(Text(call("eVersEuro", {Money("100"), I(1), I(2), difference})), "15.24");
  EXPECT_EQ(Text(*difference.variable), "0.03") << "100 - 15.24 x 6.55957, rounded";
  EXPECT_EQ(Text(call("eVersEuro", {Money("100")})), "15.24") << "FRF and 2 decimals by default";
  EXPECT_EQ(Text(call("eVersEuro", {Money("100"), I(1), I(6)})), "15.244901");
  EXPECT_EQ(Text(call("eVersEuro", {Money("-100"), I(1), I(0)})), "-15");
  EXPECT_EQ(Text(call("eVersEuro", {Money("12.5"), I(0)})), "12.5") << "the euro itself";
  EXPECT_EQ(Text(call("eVersDevise", {Money("15.24"), I(1), I(2), difference})), "99.97");
  EXPECT_EQ(Text(*difference.variable), "0");
  // Through the euro without rounding on the way, then rounded.
  EXPECT_EQ(Text(call("eChangeDevise", {Money("100"), I(1), I(2), I(3), difference})), "29.816");
  EXPECT_EQ(Text(*difference.variable), "0.001") << "29.816 DEM back is 99.998532 FRF";
  EXPECT_EQ(Text(call("eChangeDevise", {Money("1000"), I(3), I(1)})), "3.39") << "ITL to FRF";
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(Text(call("eChangeDevise", {Money("1"), I(1), I(99)})), "0");
  EXPECT_EQ(last.code, 80191u);
  EXPECT_EQ(Text(call("eVersEuro", {Money("1"), I(13)})), "0");
  EXPECT_EQ(last.code, 80191u);
  // An amount the conversion cannot hold: an error, never a wrapped value.
  EXPECT_EQ(Text(call("eVersDevise", {Money("604462909807314587"), I(3)})), "0");
  EXPECT_TRUE(last.isError());
}

TEST_F(Euro, RatesNamesAndDefaults) {
  EXPECT_DOUBLE_EQ(call("eTauxDeChange").real, 6.55957);
  EXPECT_DOUBLE_EQ(call("eTauxDeChange", {I(0)}).real, 1);
  EXPECT_DOUBLE_EQ(call("eTauxDeChange", {I(99)}).real, -1);
  EXPECT_EQ(last.code, 80191u);
  EXPECT_EQ(call("eNomDevise").bytes, "FRF");
  EXPECT_EQ(call("eNomDevise", {I(2)}).bytes, "DEM");
  EXPECT_EQ(call("eNomDevise", {I(13)}).bytes, "");
  EXPECT_EQ(last.code, 80191u);

  EXPECT_EQ(call("eDeviseAffParD\xE9" "faut").integer, 1);
  EXPECT_EQ(call("eDeviseAffParD\xE9" "faut", {I(-1)}).integer, 1) << "a query changes nothing";
  EXPECT_EQ(call("eDeviseAffParD\xE9" "faut", {I(2)}).integer, 1) << "the default found";
  EXPECT_EQ(call("eDeviseAffParD\xE9" "faut", {I(-1)}).integer, 2);
  EXPECT_EQ(call("eNomDevise", {I(-1)}).bytes, "DEM") << "-1 is the default currency";
  EXPECT_EQ(call("eDeviseMemParD\xE9" "faut").integer, 0);
  EXPECT_EQ(call("eDeviseMemParD\xE9" "faut", {I(13)}).integer, -1);
  EXPECT_EQ(last.code, 80191u);
  EXPECT_EQ(call("eDeviseMemParD\xE9" "faut").integer, 0);
}

TEST_F(Euro, InitCurrency) {
  call("eInitDevise", {I(3), T("LIRETTA_X"), Money("2.5")});
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(call("eNomDevise", {I(3)}).bytes, "LIRETTA");
  EXPECT_DOUBLE_EQ(call("eTauxDeChange", {I(3)}).real, 2.5);
  EXPECT_EQ(Text(call("eVersEuro", {Money("10"), I(3)})), "4");
  call("eInitDevise", {I(3), T("X"), Money("2147.999999")});
  EXPECT_FALSE(last.isError());
  struct Bad {
    int currency;
    const char* rate;
    DWORD code;
  } bad[] = {{3, "2148", 80192}, {0, "2", 80191}, {13, "1", 80191}, {-1, "1", 80191}, {3, "0", 80191},
             {3, "-2", 80191}};
  for (const auto& b : bad) {
    call("eInitDevise", {I(b.currency), T("Y"), Money(b.rate)});
    EXPECT_EQ(last.code, b.code) << b.currency << " at " << b.rate;
  }
  call("eInitDevise", {I(3), T("Y"), Money("2148")});
  EXPECT_NE(last.message.find("2147"), std::string::npos) << last.message;
  call("eInitDevise", {I(0), T("Euro"), Money("1")});
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(call("eNomDevise", {I(0)}).bytes, "Euro");
  EXPECT_EQ(Text(call("eDiff\xE9" "renceArrondi", {I(0)})), "0");
}

}  // namespace
