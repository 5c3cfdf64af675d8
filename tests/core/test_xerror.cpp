// Level rules and reset of the error object.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/TString.h"
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

namespace {

std::string str(const char* p) { return p != nullptr ? p : ""; }

TEST(XErrorMessages, UserErrorsFromTheTable) {
  CXError e;
  e.SetUserError(80160);  // a row of level 1: its message, no error
  EXPECT_EQ(e.eGetErrorLevel(), 1u);
  EXPECT_FALSE(str(e.pszGetUserMessage()).empty());
  EXPECT_EQ(e.nGetUserErrorCode(), 80160u);
  e.SetUserError(80260);  // listed twice: the first row (level 2) wins
  EXPECT_EQ(e.eGetErrorLevel(), 2u);
  EXPECT_EQ(e.nGetErrorId(0), 2224u);
  e.SetUserError(80003, "/lib/absent.so");
  EXPECT_EQ(e.eGetErrorLevel(), 3u);
  EXPECT_NE(str(e.pszGetUserMessage()).find("/lib/absent.so"), std::string::npos);
  EXPECT_STREQ(e.pszGetModName(), "kv140std.so");
  EXPECT_STREQ(e.pszGetModVersion(), "14.00Cpe");
  e.SetUserError(80022);
  EXPECT_EQ(e.nGetDetailId(), 1u);
  // A code absent from the table: level 3, no user message, a debug message naming it.
  e.SetUserError(99999);
  EXPECT_EQ(e.eGetErrorLevel(), 3u);
  EXPECT_EQ(e.pszGetUserMessage(), nullptr);
  EXPECT_NE(str(e.pszGetDebugMessage()).find("<99999>"), std::string::npos) << str(e.pszGetDebugMessage());
  EXPECT_EQ(CXError::nGetRessourceIdFromUserErrorCode(80003), 28308u);
  EXPECT_EQ(CXError::nGetRessourceIdFromUserErrorCode(1), 0u);
}

TEST(XErrorMessages, MessagesAreJoinedInOrder) {
  CXError e;
  e.AddUserMessage(28204);  // lundi
  e.AddUserMessage(28205);  // mardi
  EXPECT_EQ(str(e.pszGetUserMessage()), "lundi\r\nmardi");
  e.AddUserMessageFirst(28210);
  EXPECT_EQ(str(e.pszGetUserMessage()), "dimanche\r\nlundi\r\nmardi");
  EXPECT_EQ(e.nNumErrorId(), 3);
  e.AddUserMessage(1);  // no such resource: said in the debug message
  EXPECT_NE(str(e.pszGetDebugMessage()).find("Ressource <1>"), std::string::npos);
  e.AddDebugMessage("count <%1$d>", 3);
  EXPECT_NE(str(e.pszGetDebugMessage()).find("count <3>"), std::string::npos);
  e.SetErrorLevel(3);
  e.SetErrorLevel(1);
  EXPECT_EQ(e.pszGetUserMessage(), nullptr);
  EXPECT_EQ(e.pszGetDebugMessage(), nullptr);
  EXPECT_EQ(e.nNumErrorId(), 0);
}

TEST(XErrorMessages, SystemErrorsAndNoMemory) {
  CXError e;
  errno = 0;
  e.SetSystemError(ENOENT);
  EXPECT_EQ(e.dwGetSystemErrorCode(), static_cast<DWORD>(ENOENT));
  EXPECT_EQ(str(e.pszGetSystemErrorMessage()), std::strerror(ENOENT)) << "the text of the code given";
  e.SetSystemError(0);
  EXPECT_EQ(e.pszGetSystemErrorMessage(), nullptr);
  e.SetErrorNoMemory();
  EXPECT_TRUE(e.bIsError()) << "out of memory is an error";
  EXPECT_EQ(e.dwGetSystemErrorCode(), 12u);
  EXPECT_EQ(e.nGetErrorId(0), 25193u);
}

TEST(XErrorMessages, InformationItems) {
  CXError e;
  e.AddInfo(EIT_SRCFILE, "a.txt");
  e.AddInfo(EIT_SRCFILE, "b.txt");
  EXPECT_EQ(e.nNumInfo(), 1);
  EXPECT_STREQ(e.pszGetInfo(EIT_SRCFILE), "b.txt");
  e.AddInfo(EIT_RECNUM, 1LL << 40);
  e.AddInfo(EIT_PILEC, "frame 1\r\nframe 2");
  CTString dump;
  const _stERRORINFO* item = nullptr;
  ASSERT_TRUE(e.bGetInfo(EIT_SRCFILE, &item));
  CXError::DumpInfo(EIT_SRCFILE, item, &dump);
  ASSERT_TRUE(e.bGetInfo(EIT_RECNUM, &item));
  CXError::DumpInfo(EIT_RECNUM, item, &dump);
  ASSERT_TRUE(e.bGetInfo(EIT_PILEC, &item));
  CXError::DumpInfo(EIT_PILEC, item, &dump);
  EXPECT_EQ(str(dump.pszGet()), "EIT_SRCFILE : <b.txt>EIT_RECNUM : <1099511627776>EIT_PILEC :\r\nframe 1\r\nframe 2");
  e.SetErreurDroit();
  e.SansTraitementAutomatique();
  EXPECT_TRUE(e.bErreurDroit());
  ASSERT_TRUE(e.bGetInfo(EIT_XINFO, &item));
  EXPECT_EQ(item->dwValeur, 3u);
  e.DeleteInfo(EIT_SRCFILE);
  EXPECT_EQ(e.pszGetInfo(EIT_SRCFILE), nullptr);
  // A counted object is held while the item lives.
  auto* object = new CXError;
  object->dwAddRef();
  e.AddInfo(EIT_DATAACCESS, static_cast<CKVUnknown*>(object));
  EXPECT_EQ(object->dwGetRef(), 2u);
  e.RAZ();
  EXPECT_EQ(object->dwGetRef(), 1u);
  object->dwRelease();
}

TEST(XErrorMessages, CopiesAndSubErrors) {
  CXError source;
  source.SetUserError(80003, "x.so");
  source.AddInfo(EIT_SRCFILE, "x.so");
  source.SetSystemError(ENOENT);
  CXError deep;
  deep.Copy(&source);
  EXPECT_EQ(str(deep.pszGetUserMessage()), str(source.pszGetUserMessage()));
  EXPECT_NE(deep.pszGetUserMessage(), source.pszGetUserMessage());
  EXPECT_STREQ(deep.pszGetInfo(EIT_SRCFILE), "x.so");
  EXPECT_TRUE(source.bIsError());
  CXError moved;
  moved.LightCopy(&source);
  EXPECT_FALSE(source.bIsError()) << "LightCopy leaves the source reset";
  EXPECT_EQ(source.pszGetUserMessage(), nullptr);
  EXPECT_EQ(moved.nGetUserErrorCode(), 80003u);
  EXPECT_EQ(moved.dwGetSystemErrorCode(), static_cast<DWORD>(ENOENT));
  // Sub-errors: the first one's user message joins this one's.
  CXError outer;
  outer.SetUserError(80003, "outer.so");
  outer.AddSubError(&moved);
  outer.AddSubError(&deep);
  EXPECT_EQ(outer.nGetNbSubError(), 2);
  EXPECT_TRUE(moved.bIsError()) << "a plain copy leaves the source";
  std::string joined = str(outer.pszGetUserMessage());
  EXPECT_NE(joined.find("outer.so"), std::string::npos);
  EXPECT_NE(joined.find("x.so"), std::string::npos);
  EXPECT_EQ(joined.find("x.so"), joined.rfind("x.so")) << "only the first sub-error's message";
  CXError light;
  light.AddSubErrorLightNoUserMessage(&moved);
  EXPECT_FALSE(moved.bIsError());
  EXPECT_EQ(light.pszGetUserMessage(), nullptr);
  EXPECT_EQ(light.pclGetSubError(0)->nGetUserErrorCode(), 80003u);
  CXError copy(outer);
  EXPECT_EQ(copy.nGetNbSubError(), 2);
}

}  // namespace
