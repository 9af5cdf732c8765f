#include "text/unicode.h"

#include <gtest/gtest.h>

#include "text/utf8.h"

namespace text {
namespace {

struct Encoded {
  char32_t c;
  std::string bytes;
};

// Each length's first and last scalar value: a shift or mask off by one
// shows at these edges.
TEST(Utf8, EachCharacterEncodesInTheFewestBytes) {
  const Encoded cases[] = {
      {0x00, std::string(1, '\0')}, {0x7F, "\x7F"},          {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},          {0x800, "\xE0\xA0\x80"}, {0xFFFD, "\xEF\xBF\xBD"},
      {0xFFFF, "\xEF\xBF\xBF"},     {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const Encoded& e : cases) {
    unsigned char out[4];
    const std::size_t n = EncodeUtf8(e.c, out);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), n), e.bytes) << static_cast<unsigned long>(e.c);
    std::size_t length = 0;
    EXPECT_EQ(DecodeUtf8(reinterpret_cast<const unsigned char*>(e.bytes.data()), e.bytes.size(), length), e.c);
    EXPECT_EQ(length, e.bytes.size());
  }
}

TEST(Utf8, SixteenBitTextsConvertBothWaysAndAnUnpairedSurrogateIsNoText) {
  const std::u16string text = u"\\\u0416\U0001F600\u20AC";
  EXPECT_EQ(ToUtf8(text), "\\\xD0\x96\xF0\x9F\x98\x80\xE2\x82\xAC");
  EXPECT_EQ(FromUtf8(*ToUtf8(text)), text);
  const std::u16string lone_lead = {u'a', 0xD83D, u'b'}, lone_trail = {0xDE00};
  EXPECT_EQ(ToUtf8(lone_lead), std::nullopt);
  EXPECT_EQ(ToUtf8(lone_trail), std::nullopt);
  EXPECT_EQ(ToUtf8Shown(lone_lead), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(ToUtf8Shown(std::u16string{0xD83D, 0xDE00, 0xDE00}), "\xF0\x9F\x98\x80\xEF\xBF\xBD");
  // Overlong forms, encoded surrogates and bytes past U+10FFFF are not UTF-8.
  for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xE2\x82"}) {
    EXPECT_EQ(FromUtf8(bad), std::nullopt) << bad;
  }
}

TEST(Utf8, OperandsKeepEveryByteThatIsNotUtf8AsItsOwnUnit) {
  EXPECT_EQ(OperandUnits("caf\xE9\xC3\xA9"), (std::u16string{u'c', u'a', u'f', 0xE9, 0xE9}));
  EXPECT_EQ(OperandUnits("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
}

TEST(Utf8, NamesFoldAsNtfsFoldsThemUnitByUnit) {
  EXPECT_EQ(FoldCase(u"\u0436a\u00DF\U0001F600"), (std::u16string{0x0416, u'A', 0x00DF, 0xD83D, 0xDE00}));
  EXPECT_TRUE(EqualFolded("\\\xD0\xB6urnal", FoldCaseUtf8("\\\xD0\x96URNAL")));
  EXPECT_TRUE(SameAscii("Logs", "LOGS"));
  EXPECT_FALSE(SameAscii("\xD0\xB6", "\xD0\x96"));
}

}  // namespace
}  // namespace text
