// The POSIX terminal's protocol, which the module writes and x9host reads: a line is Yes only
// as the rule says, and each icon has its own label.
#include <gtest/gtest.h>

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

}  // namespace
