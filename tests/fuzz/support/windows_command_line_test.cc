// The command-line splitting rules against the platform's documented examples.
#include "fuzz/support/windows_command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using test::SplitWindowsCommandLine;

TEST(WindowsCommandLineTest, ProgramNameHasNoEscapes) {
  EXPECT_THAT(SplitWindowsCommandLine(LR"("C:\a b\x.exe" y)"), ElementsAre(LR"(C:\a b\x.exe)", L"y"));
  EXPECT_THAT(SplitWindowsCommandLine(LR"(C:\x\"y z)"), ElementsAre(LR"(C:\x\"y)", L"z"));
  // A line that begins with a blank has an empty program name.
  EXPECT_THAT(SplitWindowsCommandLine(LR"( "-scmd" "")"), ElementsAre(L"", L"-scmd", L""));
}

TEST(WindowsCommandLineTest, BackslashesCountOnlyBeforeAQuote) {
  EXPECT_THAT(SplitWindowsCommandLine(LR"(p "abc" d e)"), ElementsAre(L"p", L"abc", L"d", L"e"));
  EXPECT_THAT(SplitWindowsCommandLine(LR"(p a\\\b d"e f"g h)"),
              ElementsAre(L"p", LR"(a\\\b)", L"de fg", L"h"));
  EXPECT_THAT(SplitWindowsCommandLine(LR"(p a\\\"b c d)"), ElementsAre(L"p", LR"(a\"b)", L"c", L"d"));
  EXPECT_THAT(SplitWindowsCommandLine(LR"(p a\\\\"b c" d e)"),
              ElementsAre(L"p", LR"(a\\b c)", L"d", L"e"));
  EXPECT_THAT(SplitWindowsCommandLine(LR"(p "C:\a\b\\")"), ElementsAre(L"p", LR"(C:\a\b\)"));
}

TEST(WindowsCommandLineTest, QuoteRunsAndBlanks) {
  EXPECT_THAT(SplitWindowsCommandLine(LR"(p a"b"" c d)"), ElementsAre(L"p", LR"(ab")", L"c", L"d"));
  EXPECT_THAT(SplitWindowsCommandLine(L"p \"\" \t x  "), ElementsAre(L"p", L"", L"x"));
  EXPECT_THAT(SplitWindowsCommandLine(std::wstring(L"p a\0b", 5)), ElementsAre(L"p", L"a"));
}

}  // namespace
