// Memory lists through the stand-in VM: names, adds, reads and navigation,
// sort and search, deletes, spill to a temporary file, errors, and the
// lists shared by every component of the process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Host.h"
#include "core/Any.h"
#include "core/XError.h"
#include "frame/ZoneMemoire.h"
#include "support/HostTest.h"

namespace {

using kvhost::Value;

class MemLists : public HostTest {};

TEST_F(MemLists, NamesAreCaseInsensitiveAndCutAt20) {
  EXPECT_EQ(call("MemCree", {T("Clients")}).integer, 1);
  EXPECT_EQ(call("MemAjoute", {T("CLIENTS"), T("k"), T("v")}).integer, 1);
  EXPECT_EQ(call("MemOccurrence", {T("clients")}).integer, 1);
  call("MemAjoute", {T("abcdefghijklmnopqrstUVW"), I(1), I(2)});
  EXPECT_EQ(call("MemOccurrence", {T("ABCDEFGHIJKLMNOPQRSTxyz")}).integer, 1) << "only 20 characters count";
  EXPECT_EQ(call("MemExiste", {T("Fournisseurs")}).integer, 0);
  EXPECT_EQ(call("MemOccurrence", {T("Fournisseurs")}).integer, -1);
  EXPECT_EQ(last.code, 80261u);
  EXPECT_EQ(call("MemCree", {T("Clients")}).integer, 1);
  EXPECT_EQ(call("MemOccurrence", {T("Clients")}).integer, 0) << "created anew";
}

TEST_F(MemLists, ReadsAndNavigation) {
  for (int i = 1; i <= 10; ++i) call("MemAjoute", {T("L"), I(i), T("v" + std::to_string(i))});
  EXPECT_EQ(call("MemRecupere", {T("L"), I(3)}).bytes, "v3");
  EXPECT_EQ(call("MemEnCours", {T("L")}).integer, 3);
  EXPECT_EQ(call("MemRecupere", {T("L"), I(11)}).bytes, "");
  EXPECT_EQ(call("MemEnDehors", {T("L")}).integer, 1);
  EXPECT_EQ(call("MemTrouve", {T("L")}).integer, 0);
  EXPECT_EQ(call("MemPremier", {T("L")}).bytes, "v1");
  EXPECT_EQ(call("MemSuivant", {T("L")}).bytes, "v2");
  EXPECT_EQ(call("MemDernier", {T("L")}).bytes, "v10");
  EXPECT_EQ(call("MemSuivant", {T("L")}).bytes, "");
  EXPECT_EQ(call("MemEnDehors", {T("L")}).integer, 1);
  EXPECT_EQ(call("MemPrecedent", {T("L")}).bytes, "v10") << "before the end: the last";
  EXPECT_EQ(call("MemPrecedent", {T("L")}).bytes, "v9");
  EXPECT_EQ(call("MemValCle", {T("L")}).integer, 9);
  EXPECT_EQ(call("MemPositionne", {T("L"), I(1)}).bytes, "v1");
  EXPECT_EQ(call("MemPrecedent", {T("L")}).bytes, "");
  EXPECT_EQ(call("MemEnDehors", {T("L")}).integer, 1);
  EXPECT_EQ(call("MemSuivant", {T("L")}).bytes, "v1") << "before the start: the first";
  // Values come back with their kinds.
  call("MemAjoute", {T("K"), T("r"), Value::realValue(2.5)});
  call("MemAjoute", {T("K"), T("b"), Value::boolean(true)});
  call("MemAjoute", {T("K"), T("g"), Value::integer64(1LL << 40)});
  EXPECT_EQ(call("MemRecupere", {T("K"), I(1)}).real, 2.5);
  EXPECT_EQ(call("MemRecupere", {T("K"), I(2)}).integer, 1);
  EXPECT_EQ(call("MemRecupere", {T("K"), I(3)}).real, static_cast<double>(1LL << 40)) << "an 8-byte integer is not cut";
  // Without a name: the default list, then the current one.
  call("MemAjoute", {T("only")});
  EXPECT_EQ(call("MemRecupere", {I(1)}).bytes, "only");
  EXPECT_EQ(call("MemOccurrence", {T("KVMEMDEF")}).integer, 1);
}

TEST_F(MemLists, SortAndSearch) {
  for (int k : {3, 2, 1, 2, 2}) call("MemAjoute", {T("S"), I(k), T("key" + std::to_string(k))});
  EXPECT_EQ(call("MemRecherche", {T("S"), I(2)}).bytes, "key2");
  EXPECT_EQ(call("MemEnCours", {T("S")}).integer, 2) << "unsorted: the first in order";
  EXPECT_EQ(call("MemTri", {T("S"), Value::boolean(true)}).integer, 1);
  EXPECT_EQ(call("MemPremier", {T("S")}).bytes, "key1");
  EXPECT_EQ(call("MemRecherche", {T("S"), I(2)}).bytes, "key2");
  EXPECT_EQ(call("MemEnCours", {T("S")}).integer, 2) << "sorted 1,2,2,2,3: the first 2";
  EXPECT_EQ(call("MemTri", {T("S"), Value::boolean(false)}).integer, 1);
  EXPECT_EQ(call("MemPremier", {T("S")}).bytes, "key3") << "reversed";
  EXPECT_EQ(call("MemRecherche", {T("S"), I(1)}).bytes, "key1");
  EXPECT_EQ(call("MemEnCours", {T("S")}).integer, 5);
  EXPECT_EQ(call("MemRecherche", {T("S"), I(9)}).bytes, "");
  EXPECT_EQ(call("MemTrouve", {T("S")}).integer, 0);
  EXPECT_EQ(call("MemRecherche", {T("S"), T("2")}).bytes, "") << "a string never equals a number";
  call("MemAjoute", {T("S"), I(0), T("key0")});
  EXPECT_EQ(call("MemRecherche", {T("S"), I(0)}).bytes, "key0") << "an add clears the sort: linear search";
  EXPECT_EQ(call("MemRecherche", {T("S"), T("key"), Value::boolean(false)}).integer, 1) << "by value";
  EXPECT_EQ(call("MemRecherche", {T("S"), T("nope"), Value::boolean(false)}).integer, -1);
  // Words sort byte by byte, shorter first.
  for (const char* w : {"pomme", "abricot", "poire", "pom"}) call("MemAjoute", {T("W"), T(w), T(w)});
  call("MemTrie", {T("W")});
  std::vector<std::string> order;
  for (int i = 1; i <= 4; ++i) order.push_back(call("MemRecupere", {T("W"), I(i)}).bytes);
  EXPECT_EQ(order, (std::vector<std::string>{"abricot", "poire", "pom", "pomme"}));
}

TEST_F(MemLists, DeletesAndModifies) {
  for (const char* v : {"a", "b", "c"}) call("MemAjoute", {T("D"), T(v), T(v)});
  EXPECT_EQ(call("MemSupprime", {T("D"), I(1)}).integer, 1);
  EXPECT_EQ(call("MemRecupere", {T("D"), I(1)}).bytes, "b");
  EXPECT_EQ(call("MemRecupere", {T("D"), I(2)}).bytes, "c");
  EXPECT_EQ(call("MemSupprime", {T("D"), I(5)}).integer, 0);
  EXPECT_EQ(call("MemModifie", {T("D"), T("z"), T("zz"), I(2)}).integer, 1);
  EXPECT_EQ(call("MemRecupere", {T("D"), I(2)}).bytes, "zz");
  EXPECT_EQ(call("MemOccurrence", {T("D")}).integer, 2);
  EXPECT_EQ(call("MemModifie", {T("D"), T("z"), T("zz"), I(0)}).integer, 0);
  EXPECT_EQ(call("MemSupprimeTout", {T("D")}).integer, 1);
  EXPECT_EQ(call("MemOccurrence", {T("D")}).integer, 0);
  EXPECT_EQ(call("MemSupprime", {T("D")}).integer, 1) << "the whole list";
  EXPECT_EQ(call("MemExiste", {T("D")}).integer, 0);
  call("MemCree", {T("X")});
  call("MemCree", {T("Y")});
  EXPECT_EQ(call("MemSupprime", {T("*")}).integer, 1);
  EXPECT_EQ(call("MemExiste", {T("X")}).integer + call("MemExiste", {T("Y")}).integer, 0);
}

TEST_F(MemLists, ErrorsAndLimits) {
  call("MemPremier", {T("absent")});
  EXPECT_EQ(last.code, 80261u);
  call("MemCree", {T("E")});
  call("MemValCle", {T("E")});
  EXPECT_EQ(last.code, 80262u);
  std::string big(65522, 'x');
  EXPECT_EQ(call("MemAjoute", {T("E"), T("k"), T(big)}).integer, 0);
  EXPECT_EQ(last.code, 80263u);
  EXPECT_NE(last.message.find("65522"), std::string::npos) << last.message;
  EXPECT_EQ(call("MemOccurrence", {T("E")}).integer, 0) << "nothing added";
}

// Past 64 extensions of its area a list goes on in a temporary file.
TEST_F(MemLists, SpillsToATemporaryFile) {
  std::string big(60000, 'a');
  const int count = 80;  // about 4.8 MB: more than 65 areas of 64 KiB
  for (int i = 0; i < count; ++i) {
    big[0] = static_cast<char>('A' + i % 26);
    big[1] = static_cast<char>('0' + i / 26);
    ASSERT_EQ(call("MemAjoute", {T("Big"), I(i), T(big)}).integer, 1) << i;
  }
  for (int i = 0; i < count; i += 7) {
    big[0] = static_cast<char>('A' + i % 26);
    big[1] = static_cast<char>('0' + i / 26);
    EXPECT_EQ(call("MemRecupere", {T("Big"), I(i + 1)}).bytes, big) << i;
  }
  EXPECT_EQ(call("MemRecherche", {T("Big"), I(count - 1)}).bytes.substr(0, 2),
            std::string(1, static_cast<char>('A' + (count - 1) % 26)) + std::string(1, static_cast<char>('0' + (count - 1) / 26)));
  call("MemTri", {T("Big"), Value::boolean(false)});
  EXPECT_EQ(call("MemValCle", {T("Big")}).type, 0x13u) << "no current element after a sort: an error";
  EXPECT_EQ(call("MemPremier", {T("Big")}).bytes.substr(0, 2), "B3");
}

// The lists belong to every component of the process: a second component
// stopping keeps them; the last one frees them.
TEST(MemListsShared, TwoComponentsOneStopped) {
  kvhost::Host host(testOptions());
  host.call("MemAjoute", {T("Shared"), T("k"), T("v")});
  auto* second = static_cast<IVXLibrary*>(host.library().pQueryProxy(60));
  ASSERT_NE(second, nullptr);
  second->SetLibShop(&host.libShop());
  ASSERT_TRUE(second->bFinInitVXL());
  // Through the memory zone of the second component.
  auto* zone = static_cast<IZoneMemoire*>(second->pQueryProxy(1));
  ASSERT_NE(zone, nullptr);
  CXError error;
  EXPECT_TRUE(zone->bMemExiste("shared", &error));
  EXPECT_EQ(zone->nMemOccurrence("Shared", &error), 1);
  EXPECT_EQ(zone->nMemOccurrence("absent", &error), -1);
  EXPECT_EQ(error.nGetUserErrorCode(), 80261u) << "the component's error, copied";
  EXPECT_EQ(zone->Release(), 0);
  second->TermVXL();
  second->Release();
  EXPECT_EQ(host.call("MemOccurrence", {T("Shared")}).value.integer, 1) << "still there";
}

}  // namespace
