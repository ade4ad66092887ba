#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>

#include <cstdio>
#if defined(__GLIBC__)
#include <stdio_ext.h>
#endif
#endif

#include "platform/platform.h"
#include "support/named_values.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace {

using x9::MessageText;

TEST(Catalogue, EveryTextHasItsByteCount) {
  constexpr size_t kBytes[x9::kMessageCount] = {19,  33, 25,  27, 33, 25, 27, 62, 66,
                                                56,  75, 106, 33, 27, 65, 61, 26, 62,
                                                155, 19, 76,  54, 36, 38, 36, 63, 65};
  for (x9::MessageId id = 0; id < x9::kMessageCount; ++id) {
    EXPECT_EQ(std::strlen(MessageText(id)), kBytes[id]) << "message " << id;
  }
}

TEST(Catalogue, TextsAreShiftJisBytes) {
  // "メモリが足りません."
  EXPECT_STREQ(MessageText(x9::kMsgOutOfMemory),
               "\x83\x81\x83\x82\x83\x8a\x82\xaa\x91\xab\x82\xe8\x82\xdc\x82\xb9\x82\xf1.");
  // "必要なDLLが見つかりません."
  EXPECT_STREQ(MessageText(x9::kMsgDllMissing),
               "\x95\x4b\x97\x76\x82\xc8"
               "DLL"
               "\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1.");
  // Kept as the watch maker spells it here.
  EXPECT_NE(std::strstr(MessageText(x9::kMsgNoWatch), " SUNNTO "), nullptr);
  EXPECT_EQ(std::string(MessageText(x9::kMsgConnectionLost)).rfind("SUUNTO ", 0), 0u);
  EXPECT_NE(std::strstr(MessageText(x9::kMsgStartWaypointDownload), "(MyPoints)"), nullptr);
}

TEST(Catalogue, LineStructure) {
  const std::string watchFull = MessageText(x9test::kMsgWatchFull);
  const std::string notForThisGps = MessageText(x9::kMsgNotForThisGps);
  const std::string connectionLost = MessageText(x9::kMsgConnectionLost);
  EXPECT_EQ(watchFull.back(), '\n');
  EXPECT_EQ(notForThisGps.back(), '\n');
  EXPECT_NE(connectionLost.find("\n\n"), std::string::npos);
  EXPECT_EQ(std::string(MessageText(x9test::kMsgTooManyRoutePoints)).substr(72), "\n%s");
  EXPECT_NE(std::string(MessageText(x9::kMsgCannotUploadMyPoints)).find('\n'), std::string::npos);
}

TEST(Catalogue, LargerValuesAreTheCallersOwnText) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(MessageText(x9::kMessageCount)), x9::kMessageCount);
  static const char own[] = "own text";
  EXPECT_EQ(MessageText(reinterpret_cast<x9::MessageId>(own)), own);
  EXPECT_NE(MessageText(x9::kMsgNotImplemented), nullptr);
  EXPECT_EQ(std::strlen(MessageText(x9::kMsgNotImplemented)), 65u);
}

TEST(Catalogue, TooOldHostText) {
  EXPECT_EQ(std::strlen(x9::kTooOldHostText), 78u);
  EXPECT_EQ(std::string(x9::kTooOldHostText).substr(0, 7), "SUUNTO ");
  EXPECT_NE(std::string(x9::kTooOldHostText).find("\nTirvane"), std::string::npos);
}

#if !defined(_WIN32)
// The terminal's questions: each reads one whole line of standard input, however long, so that
// no part of one answer is taken for the next.
struct TerminalAnswers {
  std::string input;
  std::vector<int> answers;  // of three questions in a row
};

class TerminalQuestionTest : public ::testing::TestWithParam<TerminalAnswers> {};

TEST_P(TerminalQuestionTest, EachQuestionReadsOneWholeLine) {
  const int savedIn = dup(STDIN_FILENO);
  const int savedErr = dup(STDERR_FILENO);
  std::FILE* typed = std::tmpfile();
  std::FILE* shown = std::tmpfile();
  ASSERT_NE(typed, nullptr);
  ASSERT_NE(shown, nullptr);
  std::fputs(GetParam().input.c_str(), typed);
  std::fflush(typed);
  std::rewind(typed);
  std::fflush(stderr);
  dup2(fileno(typed), STDIN_FILENO);
  dup2(fileno(shown), STDERR_FILENO);
  clearerr(stdin);
  std::vector<int> answers;
  for (int i = 0; i < 3; ++i)
    answers.push_back(x9::platform::ShowMessageBox(nullptr, "?", x9::kStyleQuestion));
  std::fflush(stderr);
#if defined(__GLIBC__)
  __fpurge(stdin);
#endif
  dup2(savedIn, STDIN_FILENO);
  dup2(savedErr, STDERR_FILENO);
  close(savedIn);
  close(savedErr);
  clearerr(stdin);
  std::fclose(typed);
  std::fclose(shown);
  EXPECT_EQ(answers, GetParam().answers);
}

const std::string kLong63(63, 'x');
const std::string kLong200(200, 'x');

INSTANTIATE_TEST_SUITE_P(
    Terminal, TerminalQuestionTest,
    ::testing::Values(
        TerminalAnswers{"y\nYES\nno\n", {x9::kAnswerYes, x9::kAnswerYes, x9::kAnswerNo}},
        // A line of 64 bytes and more, ending in "y": one No, then the lines that follow.
        TerminalAnswers{kLong63 + "y\nn\ny\n", {x9::kAnswerNo, x9::kAnswerNo, x9::kAnswerYes}},
        TerminalAnswers{kLong200 + "yes\ny\n", {x9::kAnswerNo, x9::kAnswerYes, x9::kAnswerNo}},
        // End of input without a line feed, then nothing: No.
        TerminalAnswers{"y", {x9::kAnswerYes, x9::kAnswerNo, x9::kAnswerNo}}),
    [](const ::testing::TestParamInfo<TerminalAnswers>& info) {
      return "Case" + std::to_string(info.index);
    });
#endif

}  // namespace
