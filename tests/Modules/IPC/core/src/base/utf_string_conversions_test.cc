// UTF-16 and UTF-8 conversions of the launcher's and the broker's text.
#include "base/utf_string_conversions.h"

#include <gtest/gtest.h>

namespace {

TEST(UtfStringConversionsTest, RoundTripKeepsSurrogatePairsAndEmbeddedNuls) {
  const std::wstring wide(L"Veskgame-\u542f\u52a8-\U0001F600\0end", 18);
  const std::string utf8("Veskgame-\xe5\x90\xaf\xe5\x8a\xa8-\xf0\x9f\x98\x80\0end", 24);
  EXPECT_EQ(utf8, base::WideToUTF8(wide));
  EXPECT_EQ(wide, base::UTF8ToWide(utf8));
}

TEST(UtfStringConversionsTest, EmptyTextStaysEmpty) {
  EXPECT_EQ("", base::WideToUTF8(L""));
  EXPECT_EQ(L"", base::UTF8ToWide(""));
}

TEST(UtfStringConversionsTest, IllFormedBytesBecomeReplacementCharacters) {
  const std::wstring wide = base::UTF8ToWide("a\xff" "b");
  ASSERT_EQ(3u, wide.size());
  EXPECT_EQ(L'a', wide[0]);
  EXPECT_EQ(L'\xfffd', wide[1]);
  EXPECT_EQ(L'b', wide[2]);
}

}  // namespace
