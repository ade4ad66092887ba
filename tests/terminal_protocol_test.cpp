// The POSIX terminal's protocol, which the module writes and x9host reads: a line is Yes only
// as the rule says, and each icon has its own label.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "platform/terminal_protocol.h"
#include "ui/user_interface.h"

namespace {

namespace terminal = x9::platform::terminal;

struct TypedLine {
  const char* line;
  bool yes;
};

class TerminalAnswerTest : public ::testing::TestWithParam<TypedLine> {};

TEST_P(TerminalAnswerTest, OnlyYOrYesInAnyCaseIsYes) {
  EXPECT_EQ(terminal::IsYes(GetParam().line), GetParam().yes) << '"' << GetParam().line << '"';
}

INSTANTIATE_TEST_SUITE_P(TerminalProtocol, TerminalAnswerTest,
                         ::testing::Values(TypedLine{"y", true}, TypedLine{"Y\n", true},
                                           TypedLine{"yes\r\n", true}, TypedLine{"YeS", true},
                                           TypedLine{"", false}, TypedLine{"\n", false},
                                           TypedLine{"n", false}, TypedLine{"ye", false},
                                           TypedLine{"yes please", false}, TypedLine{" y", false},
                                           TypedLine{"yesy", false}, TypedLine{"y\nn", false}));

TEST(TerminalProtocol, EachIconHasItsOwnLabelAndTheQuestionStyleIsAQuestion) {
  const std::set<std::string_view> labels = {
      terminal::StyleLabel(x9::kStyleStop), terminal::StyleLabel(x9::kStyleQuestion),
      terminal::StyleLabel(x9::kStyleExclamation), terminal::StyleLabel(x9::kStyleInformation),
      terminal::StyleLabel(0)};
  EXPECT_EQ(labels.size(), 5u);
  EXPECT_EQ(terminal::StyleLabel(x9::kStyleQuestion), "[question]");
  EXPECT_EQ(terminal::StyleLabel(x9::kStyleStop), "[stop]");
  EXPECT_EQ(terminal::StyleLabel(x9::kStyleExclamation), "[warning]");
  EXPECT_EQ(terminal::StyleLabel(x9::kStyleInformation), "[information]");
}

struct BarCase {
  int position;
  const char* line;
};

class TerminalBarTest : public ::testing::TestWithParam<BarCase> {};

TEST_P(TerminalBarTest, TheBarIsDrawnAndReadBackByOneDescription) {
  const std::string line = terminal::BarText("Downloading", GetParam().position);
  EXPECT_EQ(line, GetParam().line);
  EXPECT_EQ(terminal::BarMessage(line), "Downloading");
  EXPECT_EQ(terminal::BarMessage(line + "\n"), "Downloading");  // a pipe's line
}

INSTANTIATE_TEST_SUITE_P(
    TerminalProtocol, TerminalBarTest,
    ::testing::Values(BarCase{0, "Downloading [..............................]   0%"},
                      BarCase{3, "Downloading [..............................]   3%"},
                      BarCase{4, "Downloading [#.............................]   4%"},
                      BarCase{50, "Downloading [###############...............]  50%"},
                      BarCase{100, "Downloading [##############################] 100%"},
                      // Out of range: the number as it is, the bar empty or full.
                      BarCase{-5, "Downloading [..............................]  -5%"},
                      BarCase{150, "Downloading [##############################] 150%"}));

TEST(TerminalProtocol, OnlyTheBarsShapeIsABar) {
  const char* const kNotBars[] = {
      "Downloading",
      "Downloading [",
      "Downloading [#############################]  50%",   // a cell short
      "Downloading [###############...............] 50",    // no percent sign
      "Downloading [###############..............x]  50%",  // not a cell
      "Downloading [###############...............]  5x%",
      "Downloading [###############...............]  50%\nmore",
  };
  for (const char* text : kNotBars)
    EXPECT_EQ(terminal::BarMessage(text), std::nullopt) << text;
  // A message with a bracket of its own is still read to the bar's own bracket.
  EXPECT_EQ(terminal::BarMessage(terminal::BarText("A [b] c", 10)), "A [b] c");
}

}  // namespace
