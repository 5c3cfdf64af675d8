// Level rules and reset of the error object.
#include <gtest/gtest.h>

#include "core/XError.h"

namespace {

TEST(XError, StartsWithoutError) {
  CXError e;
  EXPECT_EQ(e.eGetErrorLevel(), 1u);
  EXPECT_FALSE(e.bIsError());
  EXPECT_STREQ(e.pszGetUserMessage(), nullptr);
  EXPECT_EQ(e.dwGetRef(), 0u);
}

TEST(XError, LevelOneResetsEverything) {
  CXError e;
  e.SetErrorLevel(3);
  EXPECT_TRUE(e.bIsError());
  EXPECT_EQ(e.eGetErrorLevel(), 3u);
  e.SetErrorLevel(0x40000010);
  EXPECT_EQ(e.eGetErrorLevel(), 0x40000010u);
  e.SetErrorLevel(1);
  EXPECT_FALSE(e.bIsError());
}

TEST(XError, HeapStrings) {
  CXError e;
  char* p = nullptr;
  e.__vpszConcatString(&p, "ab");  // onto null: a copy
  EXPECT_STREQ(p, "ab");
  e.__vpszConcatString(&p, "cd");
  EXPECT_STREQ(p, "abcd");
  e.__vpszReallocString(&p, "x");
  EXPECT_STREQ(p, "x");
  e.__vDeleteString(&p);
  EXPECT_EQ(p, nullptr);
}

TEST(XError, ReleaseDestroysAtTheLastReference) {
  auto* e = new CXError;
  e->dwAddRef();
  e->dwAddRef();
  EXPECT_EQ(e->dwRelease(), 1u);
  EXPECT_EQ(e->dwRelease(), 0u);  // destroyed (the sanitizer build checks no leak)
}

}  // namespace
