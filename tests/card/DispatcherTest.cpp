// The dispatcher: routing, result codes, the operation lock, the output
// buffer and its Base64 answer.

#include "base/system/ExePath.h"
#include "base/system/NamedLock.h"
#include "card/CardLibrary.h"
#include "card/CardLifecycle.h"
#include "card/NamedEventLock.h"
#include "tests/card/CardTestSupport.h"

#include <climits>
#include <string>

using Dispatcher = CardDoubleTest;

namespace {
const RequestParams kRandom4 = {{"Fun", "advGenRandom"}, {"length", "4"}};
}  // namespace

TEST_F(Dispatcher, RoutingAndPlainResults) {
  RequestParams result;
  EXPECT_EQ(API_MISSING_PARAM, pasApiHandler({{"fun", "advInit"}, {"length", "1"}}, result));
  EXPECT_TRUE(result.empty());
  // advInit and advEnd answer 0 without touching the library.
  for (const char* szFun : {"advInit", "advEnd"}) {
    EXPECT_EQ((RequestParams{{"return", "0"}}), Call({{"Fun", szFun}})) << szFun;
  }
  // A card-side name, and one that holds "cloud" further on, take the card
  // route; a name beginning with "cloud" the cloud route. None has output.
  const int nCardLines = CountLogLines("Get a unknow call : xcloudMakeQr");
  const int nCloudLines = CountLogLines("Get a unknow call : cloudNoSuch");
  for (const char* szFun : {"xcloudMakeQr", "cloudmakeqr", "cloudNoSuch"}) {
    EXPECT_EQ((RequestParams{{"return", "-10000"}}), Call({{"Fun", szFun}})) << szFun;
  }
  // Only the card side logs an unknown name.
  EXPECT_EQ(nCardLines + 1, CountLogLines("Get a unknow call : xcloudMakeQr"));
  EXPECT_EQ(nCloudLines, CountLogLines("Get a unknow call : cloudNoSuch"));
  EXPECT_EQ("", Calls());
  EXPECT_TRUE(CardCallsAnswered());
}

// Busy: no card call runs; cloud names take no lock. A signature made while
// the library was closed is not answered.
TEST_F(Dispatcher, BusyRunsNothingButCloudCalls) {
  CNamedLock funcLock(FUNC_LOCK_NAME, 0);
  ASSERT_TRUE(funcLock.IsHeld());
  EXPECT_EQ((RequestParams{{"return", "-100"}}), Call(kRandom4));
  EXPECT_EQ("-10001", Call({{"Fun", "cloudVerifyData"}})["return"]);
  EXPECT_EQ("", Calls());
  funcLock.Release();
  // The key watch finds the key gone while the signature is being made.
  Switch("pkiGetSignature", 0, false, [] { EXPECT_EQ(1, myEnd()); });
  RequestParams result = Call({{"Fun", "advSignData"}, {"label", "L"}, {"keyPasswd", "1234"},
                               {"digestAlgo", "2"}, {"signType", "1"}, {"clearText", "data"}});
  EXPECT_EQ((RequestParams{{"return", "-101"}}), result);
  EXPECT_FALSE(CardCallsAnswered());
}

TEST_F(Dispatcher, OutputBeyondTheBufferIsRefused) {
  // The encoder's failure (here the longest code there is) is answered whole, not an empty outData.
  Switch("pkiBase64Encode", INT_MIN);
  EXPECT_EQ((RequestParams{{"return", "-2147483648"}}), Call(kRandom4));
  Switch("pkiBase64Encode", 0);
  // 4,096 bytes fit the output buffer; one more does not.
  EXPECT_EQ("0", Call({{"Fun", "advGenRandom"}, {"length", "4096"}})["return"]);
  EXPECT_EQ(std::to_string(DBL_ERR_BUFFER_TOO_SMALL),
            Call({{"Fun", "advGenRandom"}, {"length", "4097"}})["return"]);
  // A length reported beyond the buffer (or, for the decoder's size query,
  // nearly 4 GiB) is refused before anything is read from it.
  const std::pair<const char*, RequestParams> kCases[] = {
      {"pkiGenerateRandom", kRandom4},
      {"pkiReadLabel", {{"Fun", "advGetCert"}, {"dwStoreType", "0"}, {"CertType", "2"}}},
      {"pkiBase64Decode",
       {{"Fun", "advSealEnvelope"}, {"encCert64", ToBase64("CERT:")}, {"symmAlgo", "1"}, {"clearText", "a"}}},
  };
  for (const auto& c : kCases) {
    ASSERT_EQ(0, pasInit());
    Switch(c.first, 0, true);
    Calls(true);
    EXPECT_EQ((RequestParams{{"return", std::to_string(API_BAD_LIBRARY_OUTPUT)}}), Call(c.second)) << c.first;
    EXPECT_EQ(std::string::npos, Calls().find("pkiBase64Encode")) << c.first;
    EXPECT_EQ(std::string::npos, Calls().find("pkiSealEnvelope")) << c.first;
  }
}

// A missing library, or one that lacks a function, leaves card calls
// unanswered; one log line names what is missing, however often it is needed.
TEST(CardLibraryLoad, MissingLibraryOrFunctionLeavesCardCallsUnanswered) {
  CTempDir emptyDir;
  const std::string strFile = CLibraryLoader::FileName("pkiCard");
  const int nFileLines = CountLogLines(strFile);
  const int nFunctionLines = CountLogLines("pkiHashData");
  const std::string strPartial = JoinPath(GetExeDir(), "carddouble_partial");
  for (const std::string& strDir : {emptyDir.Str(), strPartial}) {
    myEnd();
    EXPECT_FALSE(LoadCardLibrary(strDir));
    EXPECT_EQ(nullptr, GetCardFunctions());
    EXPECT_NE(std::string::npos, GetCardLibraryPath().find(strDir));
    EXPECT_EQ(API_NOT_INITIALISED, pasInit());
    EXPECT_EQ("-101", Call({{"Fun", "advInit"}})["return"]);
    EXPECT_EQ("-101", Call(kRandom4)["return"]);
  }
  EXPECT_EQ(1, CountLogLines(JoinPath(emptyDir.Str(), strFile)));
  EXPECT_EQ(nFunctionLines + 1, CountLogLines("pkiHashData"));
  EXPECT_EQ(1, CountLogLines("carddouble_partial"));
  EXPECT_EQ(nFileLines + 2, CountLogLines(strFile));
  // The complete library next to it is usable.
  EXPECT_TRUE(LoadCardLibrary(JoinPath(GetExeDir(), "carddouble")));
  EXPECT_NE(nullptr, GetCardFunctions());
  UnloadCardLibrary();
}
