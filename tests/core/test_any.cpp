// Dynamic values: kinds replaced in place, initial values, flags, copies,
// typed texts and conversions through the VM's routines.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Conversions.h"
#include "core/Any.h"
#include "core/CodePage.h"
#include "core/VXDSTR.h"

namespace {

std::string text(const CAny& a) {
  const char* p = nullptr;
  unsigned long n = 0;
  if (a.nGetPCXSTR(&p) != 0) return "<no text>";
  a.nGetSTRLEN(&n);
  return std::string(p, n);
}

// The test program exports the stand-in VM's conversion routines.
class Any : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    void* self = dlopen(nullptr, RTLD_NOW);
    ASSERT_EQ(dlsym(self, "nConversionDepassement"), reinterpret_cast<void*>(&nConversionDepassement));
    ASSERT_TRUE(bInitVXConvFromVM(self, 2, 0));
    dlclose(self);
  }
};

TEST_F(Any, InitialValuesOfTheKinds) {
  CAny a;
  EXPECT_EQ(a.wGetType(), 0);
  a.__SetType(24);
  EXPECT_EQ(text(a), "") << "an empty date";
  a.__SetType(25);
  EXPECT_EQ(text(a), "000000000") << "a time of nine 0 characters";
  a.__SetType(27);
  long long d = -1;
  std::memcpy(&d, a.pclGetGenre()->m_abValeur, 8);
  EXPECT_EQ(d, 0);
  a.__SetType(0x77);
  EXPECT_EQ(a.wGetType(), 0) << "an unknown code makes the value empty";
#if defined(__i386__)
  EXPECT_EQ(sizeof(CAny), 20u);
#else
  EXPECT_EQ(sizeof(CAny), 32u) << "a header word, then the kind object 8-byte aligned";
#endif
}

// A system integer (0x0e) holds a whole pointer-sized word: an address
// survives a copy, and is never cut to an int.
TEST_F(Any, SystemIntegersArePointerSized) {
  CAny a;
  a.__SetType(0x0e);
  const std::uintptr_t adresse = reinterpret_cast<std::uintptr_t>(&a);
  a.SetValue(&adresse);
  CAny b(a);
  std::uintptr_t lu = 0;
  std::memcpy(&lu, b.pclGetGenre()->m_abValeur, sizeof lu);
  EXPECT_EQ(lu, adresse);
  int n = 7;
  if (adresse > 0xFFFFFFFFu) {
    EXPECT_EQ(b.nGetINT(&n), 105) << "an address wider than 32 bits is not cut to an int";
    EXPECT_EQ(n, 0);
  } else {
    EXPECT_EQ(b.nGetINT(&n), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(n), adresse);
  }
}

TEST_F(Any, ScalarAccessors) {
  CAny a;
  int n = 7;
  double r = 7;
  a.SetReel(2.5);
  EXPECT_EQ(a.nGetINT(&n), 105);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(a.nGetREAL(&r), 0);
  EXPECT_EQ(r, 2.5);
  a.SetEntier(-4);
  EXPECT_EQ(a.nGetINT(&n), 0);
  EXPECT_EQ(n, -4);
  EXPECT_FALSE(a.bIsPositive());
  EXPECT_EQ(a.nIncremente(), 0);
  a.nGetINT(&n);
  EXPECT_EQ(n, -3);
  EXPECT_EQ(a.nGetREAL(&r), 105);
  a.SetBooleen(true);
  EXPECT_EQ(a.nGetINT(&n), 0);
  EXPECT_EQ(n, 1);
  a.bSetChaine("abc");
  EXPECT_EQ(a.nIncremente(), 102);
  STManipAUB m{};
  EXPECT_EQ(a.nGetManipAUB(&m), 0);
  EXPECT_EQ(m.wType, 0x13);
  EXPECT_EQ(std::string(m.pData, 3), "abc");
}

TEST_F(Any, CopiesShareStringsAndCarryFlags) {
  CAny a;
  a.bSetChaine("shared");
  a.SetFlags(ANY_FLAG_400);
  CAny b(a);
  EXPECT_EQ(text(b), "shared");
  EXPECT_EQ(b.wGetFlags(), ANY_FLAG_400);
  STManipAUB ma{}, mb{};
  a.nGetManipAUB(&ma);
  b.nGetManipAUB(&mb);
  EXPECT_EQ(ma.pData, mb.pData);
  EXPECT_EQ(pstGetBloc(ma.pData)->dwRef, 2u);
  a.SetEntier(1);  // releases its share
  EXPECT_EQ(pstGetBloc(mb.pData)->dwRef, 1u);
  // An empty value carrying 0x100 copies as empty with 0x100.
  CAny vide, cible;
  vide.SetFlags(ANY_FLAG_100);
  cible.SetEntier(5);
  EXPECT_EQ(cible.nCopy(&vide), 0);
  EXPECT_EQ(cible.wGetType(), 0);
  EXPECT_EQ(cible.wGetFlags(), ANY_FLAG_100);
  // Owned C strings are copied, not shared.
  CAny c;
  c.__SetType(0x12);
  c.SetValueFromANSI("c-text");
  CAny d(c);
  const char *pc = nullptr, *pd = nullptr;
  c.nGetPCXSTR(&pc);
  d.nGetPCXSTR(&pd);
  EXPECT_STREQ(pd, "c-text");
  EXPECT_NE(pc, pd);
}

TEST_F(Any, ConversionsThroughTheVM) {
  CAny a;
  a.SetEntier(42);
  EXPECT_EQ(a.nCastTo(0x08), 0) << "same type: no conversion";
  EXPECT_EQ(a.nCastTo(0x13), 0);
  EXPECT_EQ(a.wGetType(), 0x13);
  EXPECT_EQ(text(a), "42");
  EXPECT_EQ(a.nCastTo(0x0c), 0);
  double r = 0;
  a.nGetREAL(&r);
  EXPECT_EQ(r, 42.0);
  a.bSetChaine("not a number");
  EXPECT_GT(a.nCastTo(0x08), 99);
  EXPECT_EQ(a.wGetType(), 0x13) << "a failed conversion leaves the value";
  CAny f;
  f.SetReel(2.75);
  f.SetFlags(ANY_FLAG_400);
  EXPECT_EQ(f.nCastTo(0x08), 1) << "truncated: a success status above 0";
  int n = 0;
  f.nGetINT(&n);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(f.wGetFlags(), ANY_FLAG_400) << "flags survive a conversion";
  CAny target;
  target.SetEntier(0);
  CAny source;
  source.bSetChaine("17");
  EXPECT_EQ(target.nCopy(&source), 0);
  target.nGetINT(&n);
  EXPECT_EQ(n, 17);
}

TEST_F(Any, TypedTexts) {
  CAny a;
  int n = 0;
  EXPECT_EQ(CAny::s_wConstruitValeurCAny("vxEntier_4:123", &a), 8);
  a.nGetINT(&n);
  EXPECT_EQ(n, 123);
  EXPECT_EQ(CAny::s_wConstruitValeurCAny("VXBOOLEAN=vrai", &a), 1);
  a.nGetINT(&n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(CAny::s_wConstruitValeurCAny("vxBool\xE9" "en FAUX", &a), 1);
  a.nGetINT(&n);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(CAny::s_wConstruitValeurCAny("vxDur\xE9" "e:1500", &a), 27);
  EXPECT_EQ(CAny::s_wConstruitValeurCAny("vxCurrency:1.5", &a), 10);
  EXPECT_EQ(a.wGetType(), 10);
  EXPECT_EQ(CAny::s_wConstruitValeurCAny("vxNothing:1", &a), 0);
  // In UTF-8 the French names are read in UTF-8.
  CP_SetPageCourante(CP_UTF8);
  EXPECT_EQ(CAny::s_wConstruitValeurCAny("VXDURÉE:1500", &a), 27);
  EXPECT_EQ(CAny::s_wConstruitValeurCAny("vxChaîne", &a), 18);
  EXPECT_EQ(CAny::s_wConstruitValeurCAny("vxCha\xEEne", &a), 0) << "Windows-1252 bytes are not UTF-8 text";
  CP_SetPageCourante(1252);
}

}  // namespace
