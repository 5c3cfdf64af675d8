// Language strings and buffers: block format, allocator classes and growth,
// caches, copy-on-write, the string operations and code-page conversions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/CodePage.h"
#include "core/StrMem.h"
#include "core/VXDSTR.h"

namespace {

std::string text(const CVXDSTRBase& s) { return std::string(s.pszGet(), s.nGetLength()); }

TEST(StrAllocator, CapacityClassesAndGrowth) {
  struct Case {
    DWORD request, capacity;
  };
  for (auto c : {Case{0, 104}, Case{10, 104}, Case{104, 104}, Case{105, 1000}, Case{1000, 1000}, Case{1001, 2002}})
    EXPECT_EQ(STR_nCapaciteInitiale(c.request), c.capacity) << c.request;
  struct Growth {
    DWORD old, wanted, capacity;
  };
  for (auto g : {Growth{2000, 2100, 2400}, Growth{2000, 2300, 3000}, Growth{2000, 2900, 4000},
                 Growth{2000, 5000, 10000}, Growth{104, 110, 124}, Growth{104, 500, 1000}})
    EXPECT_EQ(STR_nCapaciteCroissance(g.old, g.wanted), g.capacity) << g.old << "->" << g.wanted;
  // Whatever the step, the new capacity holds the request.
  for (DWORD old = 100; old < 5000; old += 97)
    for (DWORD wanted = old + 1; wanted < 3 * old; wanted += 131) EXPECT_GE(STR_nCapaciteCroissance(old, wanted), wanted);
}

TEST(StrAllocator, BlockFormat) {
  CVXDSTR s("hello");
  STBlocStr* b = pstGetBloc(s.pGetData());
  EXPECT_EQ(b->pclProprietaire, CVXDSTRBase::s_pclGetAllocateur());
  EXPECT_EQ(b->dwFlags & BLOC_MASQUE_GENRE, static_cast<DWORD>(BLOC_CHAINE));
  EXPECT_EQ(b->dwRef, 1u);
  EXPECT_EQ(b->dwCapacite, 104u);
  EXPECT_EQ(b->dwLongueur, 5u);
  DWORD zero;
  std::memcpy(&zero, s.pGetData() + 5, 4);
  EXPECT_EQ(zero, 0u) << "a zero word follows the used part";
  std::memcpy(&zero, s.pGetData() + 104, 4);
  EXPECT_EQ(zero, 0u) << "and the capacity";
  EXPECT_EQ(CVXDSTRBase::s_nGetTypeAUB(s.pGetData()), 0x13u);
  EXPECT_EQ(CVXDSTRBase::s_nGetTypeAUB(nullptr), 0x13u);
  CVXBIN bin("\0\1", 2);
  EXPECT_EQ(CVXDSTRBase::s_nGetTypeAUB(bin.pGetData()), 0x1cu);
  CVXDSTRBase::s_VerifieTypeAUB(s.pGetData(), 0x10);
  EXPECT_EQ(CVXDSTRBase::s_nGetTypeAUB(s.pGetData()), 0x10u);
}

TEST(StrAllocator, CachesKeepTwentyBlocksOfEachClass) {
  CStrMemAlloc alloc;
  std::vector<STBlocStr*> small, medium;
  for (int i = 0; i < 25; ++i) {
    small.push_back(alloc.pstAlloue(10, BLOC_CHAINE));
    medium.push_back(alloc.pstAlloue(500, BLOC_CHAINE));
  }
  for (auto* b : small) alloc.Libere(b);
  for (auto* b : medium) alloc.Libere(b);
  EXPECT_EQ(alloc.nNbCache(104), 20);
  EXPECT_EQ(alloc.nNbCache(1000), 20);
  // A cached block is given again, fresh.
  STBlocStr* again = alloc.pstAlloue(50, BLOC_BINAIRE);
  EXPECT_EQ(again, small[19]) << "the last block cached (the 21st to 25th were freed)";
  EXPECT_EQ(again->dwRef, 1u);
  EXPECT_EQ(again->dwLongueur, 0u);
  EXPECT_EQ(again->dwFlags, static_cast<DWORD>(BLOC_BINAIRE));
  EXPECT_EQ(alloc.nNbCache(104), 19);
  alloc.Libere(again);
  // Other sizes are not cached.
  alloc.Libere(alloc.pstAlloue(5000, BLOC_CHAINE));
  EXPECT_EQ(alloc.nNbCache(10000), 0);
}

TEST(Strings, CopiesShareUntilOneIsChanged) {
  CVXDSTR a("abc");
  CVXDSTR b = a;
  EXPECT_EQ(a.pGetData(), b.pGetData());
  EXPECT_EQ(a.nGetRef(), 2u);
  EXPECT_EQ(b.nConcat("def"), STR_OK);
  EXPECT_EQ(text(a), "abc");
  EXPECT_EQ(text(b), "abcdef");
  EXPECT_EQ(a.nGetRef(), 1u);
  CVXDSTR c = a;
  c.Tronque(1);
  EXPECT_EQ(text(a), "abc");
  EXPECT_EQ(text(c), "a");
  CVXDSTR d;
  d.Assign(a, 2);
  EXPECT_EQ(text(d), "ab");
  EXPECT_EQ(text(a), "abc");
  // A shared block is never written over by an assignment to one holder.
  CVXDSTR e = a;
  EXPECT_EQ(e.nAssign("zz"), STR_OK);
  EXPECT_EQ(text(a), "abc");
  EXPECT_EQ(text(e), "zz");
  EXPECT_EQ(a.nGetRef(), 1u);
}

TEST(Strings, AssignAndEmpty) {
  CVXDSTR s;
  EXPECT_EQ(s.pGetData(), nullptr);
  EXPECT_STREQ(s.pszGet(), "");
  EXPECT_EQ(s.nAssign("xyz"), STR_OK);
  const char* before = s.pGetData();
  EXPECT_EQ(s.nAssign("uv"), STR_OK);
  EXPECT_EQ(s.pGetData(), before) << "an own block is reused";
  EXPECT_EQ(s.nAssign(nullptr, 0), STR_OK);
  EXPECT_EQ(s.pGetData(), nullptr);
  EXPECT_EQ(s.nAssign("a", 0x7FFFFF00u), STR_ERR_LONGUEUR);
  EXPECT_EQ(s.pGetData(), nullptr);
  // Assigning a part of itself.
  s.nAssign("hello world");
  s.nAssign(s.pGetData() + 6, 5);
  EXPECT_EQ(text(s), "world");
  s.nConcat(s.pGetData(), 5);
  EXPECT_EQ(text(s), "worldworld");
  // Assigned again in place, at every short length and a few long ones:
  // every byte arrives, the terminator follows.
  {
    CVXDSTR r;
    std::string src(700, '\0');
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<char>(i * 7 + 1);
    r.nAssign(src.data(), 600);
    for (DWORD len : {0u, 1u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 100u, 255u, 256u, 257u, 599u}) {
      for (DWORD from : {0u, 1u, 3u}) {
        ASSERT_EQ(r.nAssign(src.data() + from, len), STR_OK);
        ASSERT_EQ(text(r), src.substr(from, len)) << len << " from " << from;
        if (len > 0) {
          ASSERT_EQ(r.pGetData()[len], '\0');
        }
      }
    }
  }
  // Growing past a class rewrites the block by the growth rule.
  std::string big(2000, 'x');
  s.nAssign(big.data(), 1001);
  EXPECT_EQ(s.nGetCapacity(), 2002u);
  s.nConcat(big.data(), 1100);
  EXPECT_EQ(s.nGetCapacity(), 2402u);  // 2101 - 2002 < 2002 / 10: one fifth more
  EXPECT_EQ(s.nGetLength(), 2101u);
}

TEST(Strings, TakeAndRecover) {
  CVXDSTR a("abc"), b;
  b.Take(a);
  EXPECT_EQ(a.pGetData(), nullptr);
  EXPECT_EQ(text(b), "abc");
  CVXBIN buf("\x01\x02", 2);
  CVXDSTR s;
  s.nRecupereInit(&buf);
  EXPECT_EQ(buf.pGetData(), nullptr);
  EXPECT_EQ(s.nGetLength(), 2u);
  EXPECT_EQ(CVXDSTRBase::s_nGetTypeAUB(s.pGetData()), 0x13u);
}

TEST(Strings, EditingOperations) {
  CVXDSTR s("  a b  ");
  s.Trim();
  EXPECT_EQ(text(s), "a b");
  s.nAssign("xxabxx");
  s.Trim('x');
  EXPECT_EQ(text(s), "ab");
  s.nAssign("\t ab \r\n");
  s.SansEspace();
  EXPECT_EQ(text(s), "ab");
  s.nComplete(5, '.');
  EXPECT_EQ(text(s), "ab...");
  s.nComplete(1, '.');
  EXPECT_EQ(text(s), "a");
  s.nComplete(3, 2, '-');
  EXPECT_EQ(text(s), "a  --");
  CVXDSTR a("left"), b("right"), e, r;
  r.nConcatSeparateur(a, b, ", ");
  EXPECT_EQ(text(r), "left, right");
  r.nConcatSeparateur(a, e, ", ");
  EXPECT_EQ(text(r), "left");
  r.nConcatInit(a, "xyz", 2);
  EXPECT_EQ(text(r), "leftxy");
  s.nAssign("abcabcab");
  EXPECT_EQ(s.nNbOcc("ab"), 3);
  EXPECT_EQ(s.nPos("ca"), 2);
  EXPECT_EQ(s.nPos("ca", 3), 5);
  EXPECT_EQ(s.nPos("zz"), -1);
  EXPECT_EQ(s.nPosFin("ab"), 6);
  EXPECT_EQ(text(s.clMilieu(2, 3)), "cab");
  EXPECT_EQ(text(s.clMilieu(6)), "ab");
  EXPECT_EQ(text(s.clMilieu(20, 3)), "");
  EXPECT_TRUE(CVXDSTRBase::bCommencePar(s, "abca"));
  EXPECT_FALSE(CVXDSTRBase::bCommencePar(s, "b"));
  s.nSetLength(10);
  EXPECT_EQ(s.nGetLength(), 10u);
  EXPECT_EQ(s.pGetData()[9], '\0');
}

TEST(Strings, Comparisons) {
  CVXDSTR a("\xC9t\xE9"), b("ete"), c("e-t e");
  EXPECT_NE(CVXDSTRBase::nCompare(a, b), 0);
  EXPECT_EQ(CVXDSTRBase::nCompareSouple(a, b), 0);
  EXPECT_NE(CVXDSTRBase::nCompareSouple(b, c), 0);
  EXPECT_EQ(CVXDSTRBase::nCompareTresSouple(a, c), 0);
  EXPECT_LT(CVXDSTR("ab").nCompareTo("abc"), 0);
  EXPECT_EQ(CVXDSTR().nCompareTo(nullptr), 0);
}

TEST(Strings, CodePageConversions) {
  EXPECT_STREQ(CP_pszNomIconv(437), "CP1252");
  EXPECT_STREQ(CP_pszNomIconv(1251), "CP1251");
  EXPECT_STREQ(CP_pszNomIconv(65001), "UTF-8");
  CVXDSTR w;
  ASSERT_EQ(w.nAffecteToUNICODE("\xE9\x80", -1, 1252), STR_OK);  // é and the euro sign
  ASSERT_EQ(w.nGetLength(), 2 * sizeof(wchar_t));
  EXPECT_EQ(CVXDSTRBase::s_nGetTypeAUB(w.pGetData()), 0x10u);
  auto* pw = reinterpret_cast<const wchar_t*>(w.pGetData());
  EXPECT_EQ(pw[0], L'\u00E9');
  EXPECT_EQ(pw[1], L'\u20AC');
  CVXDSTR back;
  ASSERT_EQ(back.nAffecteToANSI(&w, 1252), STR_OK);
  EXPECT_EQ(text(back), "\xE9\x80");
  ASSERT_EQ(back.nAffecteToANSI(&w, 437), STR_OK) << "code page 437 goes through CP1252";
  EXPECT_EQ(text(back), "\xE9\x80");
  // A character the code page lacks becomes the default character.
  const wchar_t han[] = L"a\u4E2Db";
  BOOL used = 0;
  ASSERT_EQ(back.nAffecteToANSI(han, -1, 1252, 0, '?', &used), STR_OK);
  EXPECT_EQ(text(back), "a?b");
  EXPECT_TRUE(used);
  CVXDSTR u;
  ASSERT_EQ(u.nAffecteToUTF8("caf\xE9", -1, 1252), STR_OK);
  EXPECT_EQ(text(u), "caf\xC3\xA9");
  const WORD utf16[] = {0x0041, 0xD83D, 0xDE00, 0};
  ASSERT_EQ(w.nAssignUNICODE_UTF16(utf16, -1), STR_OK);
  EXPECT_EQ(w.nGetLength(), 2 * sizeof(wchar_t));
  EXPECT_EQ(reinterpret_cast<const wchar_t*>(w.pGetData())[1], 0x1F600);
  EXPECT_EQ(UTF8Len("caf\xC3\xA9!"), 5);
}

TEST(Strings, Buffers) {
  CVXBIN a("\x00\x01\x02", 3), b = a;
  EXPECT_EQ(a.pGetData(), b.pGetData());
  b.nConcat("\x03", 1);
  EXPECT_EQ(a.nGetSize(), 3u);
  EXPECT_EQ(b.nGetSize(), 4u);
  EXPECT_LT(CVXBINBase::nCompare(a, b), 0);
  EXPECT_EQ(CVXBINBase::nCompare(a, b, 3), 0);
  EXPECT_EQ(b.nPos("\x02\x03", 2), 2);
  EXPECT_EQ(b.clMilieu(1, 2).nGetSize(), 2u);
  b.nSetMemorySize(5000);
  EXPECT_EQ(b.nGetSize(), 4u);
  EXPECT_GE(b.nGetCapacity(), 5000u);
  b.nSetSize(6);
  EXPECT_EQ(b.pbGet()[5], 0);
}

}  // namespace
