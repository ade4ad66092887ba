// The module's terminal output as x9host passes it on: a message shown while the progress bar
// is up starts on a line of its own and the bar comes back after it, each of the module's
// texts gets its English (not under a Japanese locale, where the labels and the hint are
// Japanese), answers typed in either language count, and every box is recorded with its
// answer. First with the module's bytes made up here, then with the real module on a
// pseudo-terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/terminal_protocol.h"
#include "session/console_posix.h"
#include "session/glossary.h"
#include "x9host_support.h"

namespace {

using namespace x9host;
using namespace x9host_test;

std::string Text(x9::MessageId id) { return CatalogueText(id); }
std::string English(x9::MessageId id) { return std::string("  ") + EnglishText(id) + "\n"; }

// The module's bar, as its terminal draws it.
std::string Bar(x9::MessageId id, int percent) {
  return x9::platform::terminal::BarText(Text(id), percent);
}

struct Console {
  Console(bool terminal, bool typedAnswersShown, bool gloss)
      : console([this](std::string_view text) { shown += text; }, terminal, typedAnswersShown,
                gloss) {}
  std::string shown;
  ModuleConsole console;
};

TEST(X9hostConsole, AMessageWhileTheBarIsUpGetsALineOfItsOwnAndTheBarComesBack) {
  Console c(true, true, true);
  c.console.Write("\r" + Bar(x9::kMsgDownloadingTracks, 0));
  c.console.Write("\r" + Bar(x9::kMsgDownloadingTracks, 40));
  c.console.Write("[warning] " + Text(x9::kMsgConnectionLost) + "\n");
  c.console.Write("\n");  // the progress window goes
  c.console.Finish();
  EXPECT_EQ(c.shown, "\r" + Bar(x9::kMsgDownloadingTracks, 0) + "\r" +
                         Bar(x9::kMsgDownloadingTracks, 40) + "\n" + "[warning] " +
                         Text(x9::kMsgConnectionLost) + "\n" + English(x9::kMsgConnectionLost) +
                         "\r" + Bar(x9::kMsgDownloadingTracks, 40) + "\n" +
                         English(x9::kMsgDownloadingTracks));
  ASSERT_EQ(c.console.Boxes().size(), 1u);
  EXPECT_EQ(c.console.Boxes()[0].message, x9::kMsgConnectionLost);
  EXPECT_EQ(c.console.Boxes()[0].answer, Answer::kOk);
}

TEST(X9hostConsole, AQuestionDuringTheBarIsAnsweredThenTheBarComesBack) {
  const std::string question = "[question] " + Text(x9::kMsgSameNameOnWatch) + "\n多摩川ラン\n";
  {
    // --yes on a terminal: the module shows no answer, so x9host does.
    Console c(true, true, true);
    c.console.Write("\r" + Bar(x9::kMsgUploadingRoutes, 1));
    c.console.Write(question);
    c.console.Write("(y/N) ");
    c.console.Answered(std::string("y\n"), true);
    c.console.Write("\r" + Bar(x9::kMsgUploadingRoutes, 50));
    c.console.Write("\n");
    c.console.Finish();
    EXPECT_EQ(c.shown, "\r" + Bar(x9::kMsgUploadingRoutes, 1) + "\n" + question +
                           English(x9::kMsgSameNameOnWatch) + "(y/N) y\n\r" +
                           Bar(x9::kMsgUploadingRoutes, 1) + "\r" +
                           Bar(x9::kMsgUploadingRoutes, 50) + "\n" +
                           English(x9::kMsgUploadingRoutes));
    ASSERT_EQ(c.console.Boxes().size(), 1u);
    EXPECT_EQ(c.console.Boxes()[0].message, x9::kMsgSameNameOnWatch);
    EXPECT_EQ(c.console.Boxes()[0].text, Text(x9::kMsgSameNameOnWatch) + "\n多摩川ラン");
    EXPECT_EQ(c.console.Boxes()[0].answer, Answer::kYes);
  }
  {
    // Answers from a file: the module shows what it read (here: nothing, the input had
    // ended), and that line is not the bar going away.
    Console c(true, false, true);
    c.console.Write("\r" + Bar(x9::kMsgUploadingRoutes, 1));
    c.console.Write(question);
    c.console.Write("(y/N) ");
    c.console.Answered(std::nullopt, false);
    c.console.Write("\n");  // the module's echo of the empty answer
    c.console.Write("\n");  // the bar goes
    c.console.Finish();
    EXPECT_EQ(c.shown, "\r" + Bar(x9::kMsgUploadingRoutes, 1) + "\n" + question +
                           English(x9::kMsgSameNameOnWatch) + "(y/N) \n\r" +
                           Bar(x9::kMsgUploadingRoutes, 1) + "\n" +
                           English(x9::kMsgUploadingRoutes));
    EXPECT_EQ(c.console.Boxes()[0].answer, Answer::kNoAnswer);
  }
}

TEST(X9hostConsole, InAPipeTheBarIsLinesAndTheEnglishFollowsIt) {
  Console c(false, false, true);
  c.console.Write("[question] " + Text(x9::kMsgStartWaypointDownload) + "\n");
  c.console.Write("(y/N) ");
  c.console.Answered(std::string("YES\n"), false);
  c.console.Write("YES\n");
  c.console.Write(Bar(x9::kMsgDownloadingWaypoints, 0) + "\n");
  c.console.Write("[stop] " + Text(x9::kMsgDllMissing) + "\n");
  c.console.Write(Bar(x9::kMsgDownloadingWaypoints, 100) + "\n");
  c.console.Write("\n");
  c.console.Finish();
  EXPECT_EQ(c.shown, "[question] " + Text(x9::kMsgStartWaypointDownload) + "\n" +
                         English(x9::kMsgStartWaypointDownload) + "(y/N) YES\n" +
                         Bar(x9::kMsgDownloadingWaypoints, 0) + "\n[stop] " +
                         Text(x9::kMsgDllMissing) + "\n" + English(x9::kMsgDllMissing) +
                         Bar(x9::kMsgDownloadingWaypoints, 100) + "\n" +
                         English(x9::kMsgDownloadingWaypoints));  // no blank line, as at a terminal
  ASSERT_EQ(c.console.Boxes().size(), 2u);
  EXPECT_EQ(c.console.Boxes()[0].answer, Answer::kYes);
  EXPECT_TRUE(c.console.Boxes()[0].question);
  EXPECT_EQ(c.console.Boxes()[1].message, x9::kMsgDllMissing);
}

TEST(X9hostConsole, PiecesCutAnywhereStillMakeWholeBoxes) {
  const std::string module = "[question] " + Text(x9::kMsgStartTrackDownload) + "\n(y/N) " +
                             "[warning] " + Text(x9::kMsgConnectionLost) + "\n" +
                             "[information] SUUNTO Protocol Plugin\nline two\n" + "[question] " +
                             Text(x9::kMsgSameNameOnWatch) + "\nRoute A\n";
  for (size_t piece : {1, 2, 5, 7, 13}) {
    Console c(false, true, false);
    for (size_t at = 0; at < module.size(); at += piece)
      c.console.Write(module.substr(at, piece));
    c.console.Finish();
    SCOPED_TRACE(piece);
    EXPECT_EQ(c.shown.find("  "), std::string::npos) << "no English without gloss";
    ASSERT_EQ(c.console.Boxes().size(), 4u) << c.shown;
    EXPECT_EQ(c.console.Boxes()[0].message, x9::kMsgStartTrackDownload);
    EXPECT_EQ(c.console.Boxes()[0].answer, Answer::kNoAnswer);  // never read
    EXPECT_EQ(c.console.Boxes()[1].message, x9::kMsgConnectionLost);
    EXPECT_EQ(c.console.Boxes()[2].message, std::nullopt);
    EXPECT_EQ(c.console.Boxes()[3].text, Text(x9::kMsgSameNameOnWatch) + "\nRoute A");
  }
}

// What a person types, in either language, as x9host reads it, as the module then reads it, and
// as the log shows it when answers come from a file (the module echoes what it read).
TEST(X9hostConsole, AnAnswerIsReadTheSameWhicheverLanguageItIsTypedIn) {
  const struct {
    const char* typed;
    bool yes;
  } answers[] = {
      {"y\n", true},
      {"YES\r\n", true},
      {"はい\n", true},
      {"ｙ\n", true},
      {"Ｙｅｓ", true},
      {"yeS\n", true},
      {"n\n", false},
      {"no\n", false},
      {"いいえ\n", false},
      {"ｎ\n", false},
      {"\n", false},
      {"yess\n", false},
      {"はい。\n", false},
      {"\xff\n", false},
      {"ｙ ｅ ｓ\n", false},
      // Spaces around an answer, ASCII or full-width (an input method's), are not part of it.
      {" y\n", true},
      {"y \t\n", true},
      {"はい\u3000\n", true},
      {"\u3000ｙ\n", true},
      {" \u3000 \n", false},
  };
  for (const auto& a : answers) {
    SCOPED_TRACE(a.typed);
    EXPECT_EQ(TypedYes(a.typed), a.yes);
    const std::string forModule = LineForModule(a.typed);
    EXPECT_EQ(x9::platform::terminal::IsYes(forModule), a.yes) << forModule;
    Console c(false, false, true);
    c.console.Write("[question] " + Text(x9::kMsgStartRouteDownload) + "\n(y/N) ");
    c.console.Answered(std::string(a.typed), false);
    std::string echo = forModule;  // the module's echo: what it read, its line end aside
    while (!echo.empty() && (echo.back() == '\n' || echo.back() == '\r'))
      echo.pop_back();
    c.console.Write(echo + "\n");
    c.console.Finish();
    std::string typed = a.typed;
    while (!typed.empty() && (typed.back() == '\n' || typed.back() == '\r'))
      typed.pop_back();
    EXPECT_EQ(c.shown, "[question] " + Text(x9::kMsgStartRouteDownload) + "\n" +
                           English(x9::kMsgStartRouteDownload) + "(y/N) " + typed + "\n");
    ASSERT_EQ(c.console.Boxes().size(), 1u);
    EXPECT_EQ(c.console.Boxes()[0].answer, a.yes ? Answer::kYes : Answer::kNo);
  }
}

TEST(X9hostConsole, EveryTextOfTheModuleIsKnownWithItsEnglish) {
  for (x9::MessageId id = 0; id <= kTooOldHostMessage; ++id) {
    EXPECT_EQ(MessageOf(Text(id)), id) << id;
    EXPECT_GT(std::string(EnglishText(id)).size(), 10u) << id;
  }
  EXPECT_EQ(MessageOf(Text(x9::kMsgCannotUploadMyPoints) + "\nMYPOINTS"),
            x9::kMsgCannotUploadMyPoints);
  EXPECT_EQ(MessageOf(Text(x9::kMsgSameNameOnWatch) + "Route"), std::nullopt);
  EXPECT_EQ(MessageOf("SUUNTO Protocol Plugin [Ver 0.1.0]"), std::nullopt);
}

// --- The real module on a terminal ---------------------------------------------------------------

// The terminal turns each line feed into a carriage return and a line feed.
std::string Lines(std::string text) {
  for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;)
    text.erase(at, 1);
  return text;
}

TEST_F(X9hostProgram, OnATerminalAQuestionDuringTheBarHasALineOfItsOwn) {
  WriteText(Path("watch.gpx"),
            std::string(kGpxHead) +
                "<rte><name>多摩川ラン</name><rtept lat=\"35\" lon=\"139\"/></rte></gpx>\n");
  WriteText(Path("routes.gpx"),
            std::string(kGpxHead) +
                "<rte><name>多摩川ラン</name><rtept lat=\"36\" lon=\"139\"/></rte></gpx>\n");
  Launch launch;
  launch.terminal = true;
  const std::vector<std::string> args = {"upload-routes", "--yes",
                                         "--watch",       Path("watch.gpx").string(),
                                         "--list",        Path("routes.gpx").string()};
  const Outcome outcome = Run(args, launch);
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string shown = Lines(outcome.err);
  const std::string bar = Text(x9::kMsgUploadingRoutes) + " [";
  // The bar, then the question on a line of its own, its English, the answer, the bar again.
  const size_t question =
      shown.find("%\n[question] " + Text(x9::kMsgSameNameOnWatch) + "\n多摩川ラン\n" +
                 English(x9::kMsgSameNameOnWatch) + "(y/N) y\n\r" + bar);
  EXPECT_NE(question, std::string::npos) << shown;
  EXPECT_NE(shown.find(English(x9::kMsgStartRouteUpload)), std::string::npos) << shown;

  // Under a Japanese locale the module's own texts alone, the label and the hint in Japanese.
  launch.language = "ja_JP.UTF-8";
  const Outcome japanese = Run(args, launch);
  ASSERT_EQ(japanese.status, 0) << japanese.err;
  const std::string jaShown = Lines(japanese.err);
  EXPECT_NE(jaShown.find("%\n[質問] " + Text(x9::kMsgSameNameOnWatch) +
                         "\n多摩川ラン\n(はい=y / いいえ=N) y\n\r" + bar),
            std::string::npos)
      << jaShown;
  EXPECT_EQ(jaShown.find(EnglishText(x9::kMsgStartRouteUpload)), std::string::npos);
}

TEST_F(X9hostProgram, OnATerminalAPersonAnswers) {
  const struct {
    const char* language;
    const char* typed;
    int status;
    const char* line;
  } answers[] = {
      {"C.UTF-8", "n\n", 3, "x9host: nothing moved: the question was declined\n"},
      {"C.UTF-8", "ｙ\n", 0, "x9host: done: "},
      {"ja_JP.UTF-8", "はい\n", 0, "x9host: 完了しました: 転送リストに "},
      {"ja_JP.UTF-8", "いいえ\n", 3,
       "x9host: 何も転送されませんでした: 質問に「いいえ」と答えました\n"},
  };
  for (const auto& a : answers) {
    SCOPED_TRACE(std::string(a.language) + " " + a.typed);
    fs::remove(Path("routes.gpx"));
    Launch launch;
    launch.terminal = true;
    launch.language = a.language;
    launch.input = a.typed;
    const Outcome outcome = Run({"download-routes", "--out", Path("routes.gpx").string()}, launch);
    EXPECT_EQ(outcome.status, a.status) << outcome.err;
    EXPECT_NE(Lines(outcome.err).find(a.line), std::string::npos) << outcome.err;
    EXPECT_EQ(fs::exists(Path("routes.gpx")), a.status == 0);
  }
}

}  // namespace
