// Real message boxes under Windows (or wine), answered through a WH_CBT hook the way a person
// would click them.
//
// Locale: any. By default wine runs with an English system code page (1252), which is the case
// that matters: the Shift-JIS texts must still read correctly because they are converted from
// code page 932, not from the system's. Under LANG=ja_JP.UTF-8 (code page 932) they read the
// same. Button labels are the system's and are not looked at.
#include <gtest/gtest.h>

#include <memory>

#include "cbt_answerer.h"
#include "platform/platform.h"
#include "platform/win32/windows_support.h"
#include "ui/user_interface.h"
#include "window_probe.h"

namespace x9test {
namespace {

// The caption is the program's base name: this test program is win32_ui_tests.exe.
constexpr wchar_t kProgramName[] = L"win32_ui_tests";

// メモリが足りません.
constexpr char kOutOfMemory[] =
    "\x83\x81\x83\x82\x83\x8a\x82\xaa\x91\xab\x82\xe8\x82\xdc\x82\xb9\x82\xf1.";
// この機能はこのGPSでは使えません.\n ("能" ends in 0x5C, the byte of '\')
constexpr char kNotForThisGps[] =
    "\x82\xb1\x82\xcc\x8b@\x94\x5c\x82\xcd\x82\xb1\x82\xcc"
    "GPS\x82\xc5\x82\xcd\x8eg\x82\xa6"
    "\x82\xdc\x82\xb9\x82\xf1.\n";
// GPSにある全てのウェイポイントを削除してからアップロードしますか？
constexpr char kDeleteAllFirst[] =
    "GPS\x82\xc9\x82\xa0\x82\xe9\x91S\x82\xc4\x82\xcc\x83"
    "E\x83"
    "F\x83"
    "C\x83|\x83"
    "C\x83\x93"
    "\x83g\x82\xf0\x8d\xed\x8f\x9c\x82\xb5\x82\xc4\x82\xa9\x82\xe7\x83"
    "A\x83"
    "b\x83v\x83\x8d"
    "\x81[\x83h\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81H";

int Show(const char* text, unsigned style, HWND owner = nullptr) {
  return x9::platform::ShowMessageBox(owner, text, style);
}

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { PumpMessages(); }
  void TearDown() override { PumpMessages(); }
};

TEST_F(MessageBoxTest, ShowsTheShiftJisTextUnderTheProgramsName) {
  SCOPED_TRACE(::testing::Message() << "system code page " << GetACP());
  CbtAnswerer answerer{IDOK};
  EXPECT_EQ(Show(kOutOfMemory, x9::kStyleExclamation), x9::kAnswerOk);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  const AnsweredBox& box = answerer.Boxes()[0];
  EXPECT_EQ(box.text, L"メモリが足りません.") << Utf8(box.text);
  EXPECT_EQ(box.caption, kProgramName) << Utf8(box.caption);
  EXPECT_EQ(box.Style(), static_cast<unsigned>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(box.owner, nullptr);
}

TEST_F(MessageBoxTest, ReadsTrailBytesThatLookLikeABackslash) {
  CbtAnswerer answerer{IDOK};
  EXPECT_EQ(Show(kNotForThisGps, x9::kStyleInformation), x9::kAnswerOk);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(answerer.Boxes()[0].text, L"この機能はこのGPSでは使えません.\n")
      << Utf8(answerer.Boxes()[0].text);
  EXPECT_EQ(answerer.Boxes()[0].Style(), static_cast<unsigned>(MB_OK | MB_ICONASTERISK));
}

TEST_F(MessageBoxTest, ReadsHalfWidthKatakana) {
  CbtAnswerer answerer{IDOK};
  EXPECT_EQ(Show("\xb1\xb2\xb3 X9", x9::kStyleStop), x9::kAnswerOk);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(answerer.Boxes()[0].text, L"ｱｲｳ X9") << Utf8(answerer.Boxes()[0].text);
  EXPECT_EQ(answerer.Boxes()[0].Style(), static_cast<unsigned>(MB_OK | MB_ICONHAND));
}

TEST_F(MessageBoxTest, QuestionAnsweredYes) {
  CbtAnswerer answerer{IDYES};
  EXPECT_EQ(Show(kDeleteAllFirst, x9::kStyleQuestion), x9::kAnswerYes);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  const AnsweredBox& box = answerer.Boxes()[0];
  EXPECT_EQ(box.text, L"GPSにある全てのウェイポイントを削除してからアップロードしますか？")
      << Utf8(box.text);
  EXPECT_EQ(box.Style(), x9::kStyleQuestion);  // MB_YESNO | MB_ICONQUESTION
  EXPECT_EQ(box.pressed, IDYES);
}

TEST_F(MessageBoxTest, QuestionAnsweredNo) {
  CbtAnswerer answerer{IDNO};
  EXPECT_EQ(Show(kDeleteAllFirst, x9::kStyleQuestion), x9::kAnswerNo);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(answerer.Boxes()[0].pressed, IDNO);
}

TEST_F(MessageBoxTest, SeveralBoxesFollowTheScript) {
  CbtAnswerer answerer{IDNO, IDYES, IDOK};
  EXPECT_EQ(Show(kDeleteAllFirst, x9::kStyleQuestion), x9::kAnswerNo);
  EXPECT_EQ(Show(kDeleteAllFirst, x9::kStyleQuestion), x9::kAnswerYes);
  EXPECT_EQ(Show(kOutOfMemory, x9::kStyleExclamation), x9::kAnswerOk);
  EXPECT_EQ(answerer.Boxes().size(), 3u);
  EXPECT_EQ(answerer.AnswersLeft(), 0u);
}

TEST_F(MessageBoxTest, OwnedByTheGivenWindow) {
  OwnerWindow owner;
  ASSERT_NE(owner.Get(), nullptr);
  CbtAnswerer answerer{IDOK};
  EXPECT_EQ(Show(kOutOfMemory, x9::kStyleExclamation, owner.Get()), x9::kAnswerOk);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(answerer.Boxes()[0].owner, owner.Get());
  EXPECT_TRUE(IsWindowEnabled(owner.Get()));  // the box gave its owner back
}

// A handle the host no longer has would make MessageBoxW fail and read as "No"; the box is
// shown without an owner instead.
TEST_F(MessageBoxTest, AStaleOwnerStillGivesABox) {
  HWND stale = nullptr;
  {
    OwnerWindow owner;
    stale = owner.Get();
  }
  ASSERT_FALSE(IsWindow(stale));
  CbtAnswerer answerer{IDYES};
  EXPECT_EQ(Show(kDeleteAllFirst, x9::kStyleQuestion, stale), x9::kAnswerYes);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(answerer.Boxes()[0].owner, nullptr);
}

// The transfers show boxes while their progress window is open; the answerer leaves that
// dialog alone and answers the box.
TEST_F(MessageBoxTest, AnsweredWhileAProgressWindowIsOpen) {
  OwnerWindow owner;
  int abortFlag = 0;
  CbtAnswerer answerer{IDOK};
  auto window = x9::platform::CreateProgressWindow(owner.Get(), kOutOfMemory, true, &abortFlag);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Show(kOutOfMemory, x9::kStyleExclamation, owner.Get()), x9::kAnswerOk);
  ASSERT_EQ(answerer.Boxes().size(), 1u);
  EXPECT_EQ(answerer.Boxes()[0].text, L"メモリが足りません.");
  EXPECT_EQ(abortFlag, 0);
  window.reset();
}

}  // namespace
}  // namespace x9test
