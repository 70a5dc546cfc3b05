// The option store: splitting, pairs, defaults, normalisation and the client argument line.
#include "launcher/launch_options.h"

#include <random>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using testing::Pair;

LaunchOptions Parsed(const std::wstring& commandLine) {
  LaunchOptions options;
  options.Parse(commandLine);
  return options;
}

std::wstring FromValue(const std::wstring& from) {
  return Parsed(L"Launcher.exe -scmd g " + from + L" s").GetValue(L"-from");
}

TEST(LaunchOptionsTest, ProcessWideStoreIsOneObjectAndStartsEmpty) {
  EXPECT_EQ(&GetLaunchOptions(), &GetLaunchOptions());
  EXPECT_TRUE(GetLaunchOptions().Values().empty());
  EXPECT_TRUE(GetLaunchOptions().GameIds().empty());
}

TEST(LaunchOptionsTest, WithoutMarkerEveryOptionIsIgnoredAndDefaultsApply) {
  for (const wchar_t* commandLine :
       {L"Launcher.exe -uid 42 -oemid 7 -gameid 9", L"\"C:\\Program Files\\Launcher.exe\""}) {
    const LaunchOptions options = Parsed(commandLine);
    EXPECT_THAT(options.Values(),
                ElementsAre(Pair(L"-gameid", L"default"), Pair(L"-oemid", L"1101")))
        << commandLine;
    EXPECT_TRUE(options.GameIds().empty());
    EXPECT_EQ(L"", options.GetValue(L"-uid"));
    EXPECT_EQ(LR"( "-scmd" "default" "" "" "-uid" "" "-oemid" "1101")",
              options.BuildClientArguments());
  }
}

TEST(LaunchOptionsTest, MarkerMatchesIgnoringCaseFromTheFirstArgumentOn) {
  EXPECT_EQ(L"g", Parsed(L"Launcher.exe -SCMD g f s").GetValue(L"-gameid"));
  EXPECT_EQ(L"g", Parsed(L"Launcher.exe -ScMd g f s").GetValue(L"-gameid"));
  // The search starts at the program path itself.
  EXPECT_EQ(L"g", Parsed(L"-scmd g f s").GetValue(L"-gameid"));
  // Arguments before the marker are not options.
  const LaunchOptions options = Parsed(L"Launcher.exe -uid 1 x -scmd g f s -uid 2");
  EXPECT_EQ(L"2", options.GetValue(L"-uid"));
  EXPECT_FALSE(options.HasValue(L"x"));
}

TEST(LaunchOptionsTest, KeysAreLoweredInAsciiOnly) {
  const LaunchOptions options =
      Parsed(L"Launcher.exe -scmd g f s -UID 42 -\u00C4Key v -\u0130D w");
  EXPECT_EQ(L"42", options.GetValue(L"-uid"));
  EXPECT_TRUE(options.HasValue(L"-\u00C4key"));
  EXPECT_TRUE(options.HasValue(L"-\u0130d"));
  EXPECT_FALSE(options.HasValue(L"-\u00E4key"));
}

TEST(LaunchOptionsTest, IncompleteHeadStoresWhatIsThereAndReadsNoPairs) {
  LaunchOptions options = Parsed(L"Launcher.exe -scmd");
  EXPECT_THAT(options.Values(),
              ElementsAre(Pair(L"-gameid", L"default"), Pair(L"-oemid", L"1101")));

  options = Parsed(L"Launcher.exe -scmd g");
  EXPECT_EQ(L"g", options.GetValue(L"-gameid"));
  EXPECT_THAT(options.GameIds(), ElementsAre(L"g"));
  EXPECT_FALSE(options.HasValue(L"-from"));

  // With two values after the marker, "-uid" is the "from" value, not a key.
  options = Parsed(L"Launcher.exe -scmd g -uid");
  EXPECT_EQ(L"-uid", options.GetValue(L"-from"));
  EXPECT_FALSE(options.HasValue(L"-sdkstart"));
  EXPECT_FALSE(options.HasValue(L"-uid"));

  options = Parsed(L"Launcher.exe -scmd g -uid 42");
  EXPECT_EQ(L"42", options.GetValue(L"-sdkstart"));
  EXPECT_FALSE(options.HasValue(L"-uid"));
}

TEST(LaunchOptionsTest, ExactlyThreeValuesAfterMarkerAreAllPositional) {
  EXPECT_THAT(Parsed(L"Launcher.exe -scmd g f s").Values(),
              ElementsAre(Pair(L"-from", L"f"), Pair(L"-gameid", L"g"), Pair(L"-oemid", L"1101"),
                          Pair(L"-sdkstart", L"s")));
}

TEST(LaunchOptionsTest, FirstPairWinsAndPairsNeverReplacePositionalValues) {
  const LaunchOptions options =
      Parsed(L"Launcher.exe -scmd g f s -uid a -UID b -from x -sdkstart y -oemid 5 -oemid 6");
  EXPECT_EQ(L"a", options.GetValue(L"-uid"));
  EXPECT_EQ(L"f", options.GetValue(L"-from"));
  EXPECT_EQ(L"s", options.GetValue(L"-sdkstart"));
  EXPECT_EQ(L"5", options.GetValue(L"-oemid"));
}

TEST(LaunchOptionsTest, AnOddLastArgumentIsIgnored) {
  const LaunchOptions options = Parsed(L"Launcher.exe -scmd g f s -uid 42 -msg");
  EXPECT_EQ(L"42", options.GetValue(L"-uid"));
  EXPECT_FALSE(options.HasValue(L"-msg"));
}

TEST(LaunchOptionsTest, WhateverStandsInAKeyPositionIsAKey) {
  const LaunchOptions options = Parsed(L"Launcher.exe -scmd g f s Name v");
  EXPECT_EQ(L"v", options.GetValue(L"name"));
  EXPECT_EQ(LR"( "-scmd" "g" "f" "s" "-uid" "" "-oemid" "1101" "name" "v")",
            options.BuildClientArguments());
}

TEST(LaunchOptionsTest, GameIdPairsAddFurtherIdsWrittenAsPairs) {
  const LaunchOptions options = Parsed(L"Launcher.exe -scmd g f s -gameid h -GAMEID k");
  EXPECT_THAT(options.GameIds(), ElementsAre(L"g", L"h", L"k"));
  EXPECT_EQ(L"g", options.GetValue(L"-gameid"));
  EXPECT_EQ(LR"( "-scmd" "g" "f" "s" "-gameid" "h" "-gameid" "k" "-uid" "" "-oemid" "1101")",
            options.BuildClientArguments());
}

TEST(LaunchOptionsTest, AnEmptyPositionalGameIdStaysEmpty) {
  const LaunchOptions options = Parsed(L"Launcher.exe -scmd \"\" f s -gameid h");
  EXPECT_TRUE(options.HasValue(L"-gameid"));
  EXPECT_EQ(L"", options.GetValue(L"-gameid"));
  EXPECT_THAT(options.GameIds(), ElementsAre(L"", L"h"));
  EXPECT_EQ(LR"( "-scmd" "" "f" "s" "-gameid" "h" "-uid" "" "-oemid" "1101")",
            options.BuildClientArguments());
}

TEST(LaunchOptionsTest, AnEmptyOemIdBecomesTheDefault) {
  EXPECT_EQ(L"1101", Parsed(L"Launcher.exe -scmd g f s -oemid \"\"").GetValue(L"-oemid"));
}

TEST(LaunchOptionsTest, FromIsPercentDecodedOverUtf8Bytes) {
  EXPECT_EQ(L"a/b%zz%4", FromValue(L"a%2Fb%zz%4"));
  EXPECT_EQ(L"\u4E2D", FromValue(L"%E4%B8%AD"));
  EXPECT_EQ(L"ab", FromValue(L"ab%00cd"));
  EXPECT_EQ(L"a+b/A%", FromValue(L"a+b%2f%41%"));
  EXPECT_EQ(L"%4", FromValue(L"%4"));
  // Text that is not ASCII survives the round trip through UTF-8.
  EXPECT_EQ(L"\u4E2D x", FromValue(L"\u4E2D%20x"));
  // Bytes that decode to malformed UTF-8 become U+FFFD.
  EXPECT_EQ(L"a\uFFFDb", FromValue(L"a%FFb"));
  EXPECT_EQ(L"", Parsed(L"Launcher.exe -scmd g \"\" s").GetValue(L"-from"));
}

TEST(LaunchOptionsTest, CookieSeparatorsAreRewritten) {
  const LaunchOptions options = Parsed(L"Launcher.exe -scmd g f s -cookie a:1&b:2");
  EXPECT_EQ(L"a=1;b=2", options.GetValue(L"-cookie"));
  EXPECT_EQ(LR"( "-scmd" "g" "f" "s" "-uid" "" "-cookie" "a=1;b=2" "-oemid" "1101")",
            options.BuildClientArguments());
}

TEST(LaunchOptionsTest, ArgumentLineQuotesEveryTokenAndHoldsNoProgramName) {
  EXPECT_EQ(LR"( "-scmd" "123" "web" "0" "-uid" "42" "-oemid" "2001")",
            Parsed(L"C:\\games\\Launcher.exe -scmd 123 web 0 -uid 42 -oemid 2001")
                .BuildClientArguments());
}

// Quotes and the backslashes before them are escaped in every token, so the client's
// command-line splitting gives each value back; other backslashes stay single.
TEST(LaunchOptionsTest, EveryTokenIsEscapedToSplitBackIntoItsValue) {
  const LaunchOptions options = Parsed(
      LR"(Launcher.exe -scmd "g\"1" "f\"2" s -uid "u\"3" -msg "say \"hi\"" -path C:\a\b\ -q a\\\"b)");
  EXPECT_EQ(LR"( "-scmd" "g\"1" "f\"2" "s" "-uid" "u\"3" "-msg" "say \"hi\"" "-oemid" "1101")"
            LR"( "-path" "C:\a\b\\" "-q" "a\\\"b")",
            options.BuildClientArguments());
  EXPECT_EQ(L"C:\\a\\b\\", options.GetValue(L"-path"));
  EXPECT_EQ(L"a\\\"b", options.GetValue(L"-q"));
}

// The values that reach the argument line: empty ones are left out.
LaunchOptions::ValueMap NonEmptyValues(const LaunchOptions& options) {
  LaunchOptions::ValueMap values;
  for (const LaunchOptions::ValueMap::value_type& pair : options.Values()) {
    if (!pair.second.empty())
      values.insert(pair);
  }
  return values;
}

// The client splits its command line with the platform's rules; whatever the values hold,
// it must find the store's values again.
TEST(LaunchOptionsTest, ArgumentLineSplitsBackIntoTheSameOptions) {
  const wchar_t kAlphabet[] = L"ab \t\"\\-:&\u4E2D";
  std::mt19937 random(12);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::wstring> arguments = {L"Launcher.exe", L"-scmd"};
    for (int i = 0; i < 3 + 2 * static_cast<int>(random() % 4); ++i) {
      std::wstring argument(random() % 6, L' ');
      for (wchar_t& c : argument)
        c = kAlphabet[random() % (std::size(kAlphabet) - 1)];
      arguments.push_back(argument);
    }
    LaunchOptions options;
    options.ParseArguments(arguments);
    const std::wstring line = options.BuildClientArguments();
    const LaunchOptions reparsed = Parsed(L"VeskGame.exe" + line);
    EXPECT_EQ(NonEmptyValues(options), NonEmptyValues(reparsed)) << line;
    EXPECT_EQ(options.GameIds(), reparsed.GameIds()) << line;
  }
}

TEST(LaunchOptionsTest, EmptyValuesAreStoredButLeftOutOfTheLine) {
  const LaunchOptions options = Parsed(L"Launcher.exe -scmd g f s -msg \"\" -cookie \"\"");
  EXPECT_TRUE(options.HasValue(L"-msg"));
  EXPECT_EQ(L"", options.GetValue(L"-msg"));
  EXPECT_EQ(LR"( "-scmd" "g" "f" "s" "-uid" "" "-oemid" "1101")", options.BuildClientArguments());
}

TEST(LaunchOptionsTest, PassedOnPairsFollowOrdinalKeyOrder) {
  const LaunchOptions options = Parsed(
      L"Launcher.exe -scmd g f s -\u00E9 e -oemid 5 -msg m -Zeta z -cookie c -B b -alpha a");
  EXPECT_EQ(
      L" \"-scmd\" \"g\" \"f\" \"s\" \"-uid\" \"\" \"-alpha\" \"a\" \"-b\" \"b\" \"-cookie\" \"c\""
      L" \"-msg\" \"m\" \"-oemid\" \"5\" \"-zeta\" \"z\" \"-\u00E9\" \"e\"",
      options.BuildClientArguments());
}

}  // namespace
