// The dispatcher: routing, result codes, the operation lock, the output
// buffer and its Base64 answer.

#include "base/system/NamedLock.h"
#include "base/system/Process.h"
#include "card/CardLibrary.h"
#include "card/CardLifecycle.h"
#include "card/NamedEventLock.h"
#include "tests/card/CardTestSupport.h"

#include <climits>
#include <string>

namespace {

std::string RandomBytes(int nCount) {
  std::string str;
  for (int i = 0; i < nCount; ++i) str += static_cast<char>((i * 37 + 11) & 0xFF);
  return str;
}

}  // namespace

using Dispatcher = CardDoubleTest;

TEST_F(Dispatcher, MissingFunAnswersMissingAndLeavesResultEmpty) {
  RequestParams result;
  EXPECT_EQ(API_MISSING_PARAM, pasApiHandler({{"fun", "advInit"}, {"length", "1"}}, result));
  EXPECT_TRUE(result.empty());
  EXPECT_EQ("", Calls());
}

TEST_F(Dispatcher, AdvInitAndAdvEndAnswerZeroWithoutOutData) {
  for (const char* szFun : {"advInit", "advEnd"}) {
    RequestParams result = Call({{"Fun", szFun}});
    EXPECT_EQ((RequestParams{{"return", "0"}}), result) << szFun;
  }
  // Neither touches the library: opening and closing it is the agent's own.
  EXPECT_EQ("", Calls());
  EXPECT_TRUE(CardCallsAnswered());
}

TEST_F(Dispatcher, NotInitialisedBeforePasInitAndAfterMyEnd) {
  ASSERT_EQ(1, myEnd());
  for (const char* szFun : {"advInit", "advEnd", "advGenRandom", "advNoSuchCall"}) {
    RequestParams result = Call({{"Fun", szFun}, {"length", "4"}});
    EXPECT_EQ((RequestParams{{"return", "-101"}}), result) << szFun;
  }
  EXPECT_EQ("", Calls());  // the operation is not run

  ASSERT_EQ(0, pasInit());
  EXPECT_EQ("0", Call({{"Fun", "advGenRandom"}, {"length", "4"}})["return"]);

  // A library loaded afresh is not initialised until pasInit runs.
  ASSERT_TRUE(LoadCardLibrary(TestPath(TestExeDir(), "carddouble")));
  EXPECT_EQ("-101", Call({{"Fun", "advInit"}})["return"]);
  ASSERT_EQ(0, pasInit());
  EXPECT_EQ("0", Call({{"Fun", "advInit"}})["return"]);
}

TEST_F(Dispatcher, GenRandomAnswersBase64OfTheLibrarysBytes) {
  RequestParams result = Call({{"Fun", "advGenRandom"}, {"length", "16"}});
  EXPECT_EQ("0", result["return"]);
  EXPECT_EQ(ToBase64(RandomBytes(16)), result["outData"]);
  EXPECT_EQ(2u, result.size());
  // Two-call protocol of the encoder: a size query, then the real call.
  EXPECT_NE(std::string::npos,
            Calls().find("pkiGenerateRandom 16\npkiBase64Encode size\npkiBase64Encode\n"));
}

TEST_F(Dispatcher, GenRandomWithUnreadableLengthAsksForNoBytes) {
  RequestParams result = Call({{"Fun", "advGenRandom"}, {"length", "abc"}});
  EXPECT_EQ("0", result["return"]);
  EXPECT_EQ("", result["outData"]);
  EXPECT_NE(std::string::npos, Calls().find("pkiGenerateRandom 0\n"));
}

TEST_F(Dispatcher, UnknownNamesAnswerUnknown) {
  // A card-side name, and one that holds "cloud" further on, take the card
  // route; a name beginning with "cloud" the cloud route. None has output.
  for (const char* szFun : {"advNoSuchCall", "xcloudMakeQr", "", "cloudMakeQr", "cloudNoSuch"}) {
    RequestParams result = Call({{"Fun", szFun}});
    EXPECT_EQ((RequestParams{{"return", "-10000"}}), result) << szFun;
  }
}

TEST_F(Dispatcher, CloudNamesTakeNeitherLockNorInitialisationTest) {
  ASSERT_EQ(1, myEnd());
  CNamedLock funcLock(FUNC_LOCK_NAME, 0);
  CNamedLock initLock(INIT_LOCK_NAME, 0);
  ASSERT_TRUE(funcLock.IsHeld() && initLock.IsHeld());
  EXPECT_EQ("-10000", Call({{"Fun", "cloudGetState"}})["return"]);
  // The card route, by contrast, cannot run the initialisation test.
  EXPECT_EQ("-101", Call({{"Fun", "advInit"}})["return"]);
}

TEST_F(Dispatcher, OperationLockHeldInThisProcessAnswersBusy) {
  CNamedLock funcLock(FUNC_LOCK_NAME, 0);
  ASSERT_TRUE(funcLock.IsHeld());
  EXPECT_EQ((RequestParams{{"return", "-100"}}), Call({{"Fun", "advGenRandom"}, {"length", "8"}}));
  EXPECT_EQ("", Calls());
  funcLock.Release();
  EXPECT_EQ("0", Call({{"Fun", "advGenRandom"}, {"length", "8"}})["return"]);
}

TEST_F(Dispatcher, OperationLockHeldByAnotherProcessAnswersBusy) {
  CProcess child;
  std::string strExe = TestExePath();
  ASSERT_TRUE(child.Start(strExe.c_str(), {strExe, "--hold-named-lock", FUNC_LOCK_NAME}, nullptr,
                          CProcess::emPipeStdin | CProcess::emPipeStdout));
  std::string strLine;
  ASSERT_TRUE(child.ReadOutputLine(strLine));
  ASSERT_EQ("held", strLine);

  EXPECT_EQ((RequestParams{{"return", "-100"}}), Call({{"Fun", "advGenRandom"}, {"length", "8"}}));
  EXPECT_EQ("", Calls());

  child.CloseInput();
  ASSERT_TRUE(child.Wait(30000));
  unsigned long dwExit = 99;
  ASSERT_TRUE(child.GetExitCode(dwExit));
  EXPECT_EQ(0u, dwExit);
  EXPECT_EQ("0", Call({{"Fun", "advGenRandom"}, {"length", "8"}})["return"]);
}

TEST_F(Dispatcher, LibraryFailureCodeIsAnsweredUnchangedWithoutOutData) {
  FailWith("pkiHashData", 12345);
  EXPECT_EQ((RequestParams{{"return", "12345"}}),
            Call({{"Fun", "advHashData"}, {"hashAlgo", "2"}, {"clearText", "abc"}}));
}

TEST_F(Dispatcher, ReturnHoldsCodesOfAnyLength) {
  // Longer than the nine characters a 10-byte buffer would hold.
  FailWith("pkiGenerateRandom", INT_MIN);
  EXPECT_EQ("-2147483648", Call({{"Fun", "advGenRandom"}, {"length", "1"}})["return"]);
  ASSERT_EQ(0, pasInit());
  FailWith("pkiGenerateRandom", 1234567890);
  EXPECT_EQ("1234567890", Call({{"Fun", "advGenRandom"}, {"length", "1"}})["return"]);
}

TEST_F(Dispatcher, OutputReportedBeyondTheBufferIsRefused) {
  Overreport("pkiGenerateRandom");
  EXPECT_EQ((RequestParams{{"return", std::to_string(API_BAD_LIBRARY_OUTPUT)}}),
            Call({{"Fun", "advGenRandom"}, {"length", "16"}}));
  // Nothing of the buffer was encoded.
  EXPECT_EQ(std::string::npos, Calls().find("pkiBase64Encode"));
}

TEST_F(Dispatcher, OutputLargerThanTheBufferIsTheLibrarysFailure) {
  // 4,096 bytes fit the output buffer; one more does not.
  EXPECT_EQ("0", Call({{"Fun", "advGenRandom"}, {"length", "4096"}})["return"]);
  EXPECT_EQ(std::to_string(DBL_ERR_BUFFER_TOO_SMALL),
            Call({{"Fun", "advGenRandom"}, {"length", "4097"}})["return"]);
}

TEST_F(Dispatcher, EncoderFailureIsAnsweredInsteadOfEmptyOutData) {
  FailWith("pkiBase64Encode", 777);
  EXPECT_EQ((RequestParams{{"return", "777"}}), Call({{"Fun", "advGenRandom"}, {"length", "3"}}));
}

TEST_F(Dispatcher, SignatureIsDroppedWhenTheLibraryIsClosedDuringTheCall) {
  // The key watch finds the key gone while the signature is being made.
  OnCall("pkiGetSignature", [](void*) { EXPECT_EQ(1, myEnd()); }, nullptr);
  RequestParams result = Call({{"Fun", "advSignData"}, {"label", "L"}, {"keyPasswd", "1234"},
                               {"digestAlgo", "2"}, {"signType", "1"}, {"clearText", "data"}});
  EXPECT_EQ((RequestParams{{"return", "-101"}}), result);
  EXPECT_FALSE(CardCallsAnswered());
}

TEST(CardLibraryLoad, MissingLibraryLeavesCardCallsUnanswered) {
  CTempDir emptyDir;
  std::string strFile = CLibraryLoader::FileName("pkiCard");
  int nLinesBefore = CountLogLines(strFile);
  EXPECT_FALSE(LoadCardLibrary(emptyDir.Str()));
  EXPECT_EQ(nullptr, GetCardFunctions());
  EXPECT_NE(std::string::npos, GetCardLibraryPath().find(emptyDir.Str()));
  EXPECT_EQ(API_NOT_INITIALISED, pasInit());
  EXPECT_EQ("-101", Call({{"Fun", "advInit"}})["return"]);
  EXPECT_EQ("-101", Call({{"Fun", "advGenRandom"}, {"length", "4"}})["return"]);
  // One line names the file that is missing, however often it is needed.
  EXPECT_EQ(nLinesBefore + 1, CountLogLines(strFile));
  EXPECT_EQ(1, CountLogLines(TestPath(emptyDir.Str(), strFile)));
  UnloadCardLibrary();
}

TEST(CardLibraryLoad, MissingFunctionLeavesCardCallsUnanswered) {
  int nLinesBefore = CountLogLines("pkiHashData");
  EXPECT_FALSE(LoadCardLibrary(TestPath(TestExeDir(), "carddouble_partial")));
  EXPECT_EQ(nullptr, GetCardFunctions());
  EXPECT_EQ(API_NOT_INITIALISED, pasInit());
  EXPECT_EQ("-101", Call({{"Fun", "advGenRandom"}, {"length", "4"}})["return"]);
  EXPECT_EQ(nLinesBefore + 1, CountLogLines("pkiHashData"));
  EXPECT_EQ(1, CountLogLines("carddouble_partial"));
  // The complete library next to it is usable.
  EXPECT_TRUE(LoadCardLibrary(TestPath(TestExeDir(), "carddouble")));
  EXPECT_NE(nullptr, GetCardFunctions());
  UnloadCardLibrary();
}
