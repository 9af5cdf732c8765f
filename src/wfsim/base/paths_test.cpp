#include "wfsim/base/paths.h"

#include <gtest/gtest.h>

#include "wfsim/base/text.h"

namespace wfsim {
namespace {

TEST(Paths, AcceptOnlyNamesInsideTheVolume) {
  const std::u16string long_name = u"\\" + std::u16string(256, u'n');
  const std::u16string lone_surrogate = u"\\a\xD800z";
  const std::u16string refused[] = {
      u"", u"a", u"data\\x", u"\\", u"\\\\a", u"\\a\\", u"\\a\\\\b", u"\\.", u"\\..",
      u"\\a\\..\\b", u"\\a\\.\\b", u"\\..\\..\\etc\\passwd", u"\\a:b", u"\\C:\\x",
      u"\\\\server\\share", u"\\a/b", u"\\a*", u"\\a?", u"\\a<b", u"\\a|b", u"\\a\"b",
      u"\\con", u"\\NUL.txt", u"\\dir\\Lpt1", u"\\com9.log", u"\\aux", u"\\a.", u"\\a ",
      u"\\dir.\\x", u"\\COM0", u"\\lpt0.txt", u"\\COM\u00B9", u"\\lpt\u00B2", u"\\Com\u00B3.log",
      u"\\CONIN$", u"\\conout$.txt", u"\\nul .txt", u"\\aux  .x.y", u"\\a\x01", u"\\a\tb", u"\\a\nb", long_name, lone_surrogate,
  };
  for (const std::u16string& path : refused) {
    EXPECT_FALSE(ParsePath(path).has_value()) << std::string(path.begin(), path.end());
    if (const auto utf8 = ToUtf8(path)) {
      EXPECT_FALSE(IsValidPath(*utf8)) << *utf8;
    }
  }
  const std::u16string accepted[] = {
      u"\\a", u"\\a\\b c\\d.txt", u"\\caf\u00E9", u"\\CONSOLE", u"\\COM10", u"\\COM\u00B4", u"\\CONIN", u"\\ nul", u"\\nul_x",
      u"\\.hidden", u"\\a..b", u"\\" + std::u16string(255, u'n'), u"\\\xD83D\xDE00",
      // 255 units however many bytes of UTF-8 they take: 765 here.
      u"\\" + std::u16string(255, u'\u65E5'),
  };
  for (const std::u16string& path : accepted) {
    EXPECT_TRUE(ParsePath(path).has_value()) << std::string(path.begin(), path.end());
    EXPECT_TRUE(IsValidPath(*ToUtf8(path))) << *ToUtf8(path);
  }
}

TEST(Paths, NamesComeBackInUtf8AndJoinAsGiven) {
  const auto names = ParsePath(u"\\Caf\u00E9\\\xD83D\xDE00.txt");
  ASSERT_TRUE(names.has_value());
  EXPECT_EQ(*names, (std::vector<std::string>{"Caf\xC3\xA9", "\xF0\x9F\x98\x80.txt"}));
  EXPECT_EQ(JoinPath(*names), "\\Caf\xC3\xA9\\\xF0\x9F\x98\x80.txt");
  EXPECT_EQ(PathKey(JoinPath(*names)), "\\CAF\xC3\x89\\\xF0\x9F\x98\x80.TXT");
}

TEST(Paths, VolumesAreOneLetterAndAColonInEitherCase) {
  EXPECT_EQ(ParseVolume(u"C:"), 'C');
  EXPECT_EQ(ParseVolume(u"c:"), 'C');
  EXPECT_EQ(ParseVolume(u"z:"), 'Z');
  for (const std::u16string_view volume : {u"", u"C", u"C:\\", u"CC:", u"1:", u"\u00E9:", u":C", u"C;"}) {
    EXPECT_FALSE(ParseVolume(volume).has_value()) << std::string(volume.begin(), volume.end());
  }
}

TEST(Paths, AnExclusionCoversItselfAndWhatIsBelowIt) {
  EXPECT_TRUE(Covers("\\DATA", "\\DATA"));
  EXPECT_TRUE(Covers("\\DATA", "\\DATA\\X\\Y"));
  EXPECT_FALSE(Covers("\\DATA", "\\DATABASE"));
  EXPECT_FALSE(Covers("\\DATA\\X", "\\DATA"));
}

TEST(Paths, ARefusalSaysWhichRuleTheNameBreaks) {
  const std::pair<std::u16string, const char*> cases[] = {
      {u"data", "does not start at the volume's root"},
      {u"\\a\\\\b", "an empty name"},
      {u"\\" + std::u16string(256, u'n'), "longer than 255 characters"},
      {u"\\" + std::u16string(256, u'\u65E5'), "longer than 255 characters"},
      {u"\\dir.\\x", "ending in a dot or a blank"},
      {u"\\a|b", "a character names can't hold"},
      {u"\\x\\nul .txt", "a device name"},
      {u"\\a\xD800", "an unpaired surrogate"},
  };
  for (const auto& [path, words] : cases) {
    EXPECT_NE(PathProblem(path).find(words), std::string::npos) << PathProblem(path);
  }
}

}  // namespace
}  // namespace wfsim

namespace wfsim {
namespace {

// Names compare as NTFS compares them: each unit of the Basic Multilingual
// Plane through its simple upper case, surrogates as they are.
TEST(CaseFolding, EveryScriptWithCaseFoldsToItsSimpleUpperCase) {
  const std::pair<char16_t, char16_t> pairs[] = {
      {u'a', u'A'},           {u'\u00e9', u'\u00c9'}, {u'\u00ff', u'\u0178'},  // Latin
      {u'\u0131', u'I'},      {u'\u017f', u'S'},                               // dotless i, long s
      {u'\u043b', u'\u041b'}, {u'\u0451', u'\u0401'},                          // Cyrillic
      {u'\u03c3', u'\u03a3'}, {u'\u03c2', u'\u03a3'},                          // Greek sigmas
      {u'\u0561', u'\u0531'}, {u'\u10d0', u'\u1c90'},                          // Armenian, Georgian
      {u'\uff41', u'\uff21'}, {u'\u24d0', u'\u24b6'},                          // fullwidth, circled
  };
  for (const auto& [lower, upper] : pairs) {
    EXPECT_EQ(FoldCase(lower), upper) << static_cast<int>(lower);
    EXPECT_EQ(FoldCase(upper), upper) << static_cast<int>(upper);
  }
  // No simple upper case of one unit: they stay.
  for (const char16_t kept : {u'\u00df', u'\u0149', u'1', u'\u212a', u'\u4e00'}) EXPECT_EQ(FoldCase(kept), kept);
  // Surrogates, paired (U+10428 DESERET SMALL LONG I) or not, are not folded.
  EXPECT_EQ(FoldCase(u"\xd801\xdc28\xdc00x"), u"\xd801\xdc28\xdc00X");
}

TEST(CaseFolding, Utf8KeysMayChangeLengthAndStillCompareEqual) {
  EXPECT_EQ(PathKey("\\f\xc4\xb1le"), "\\FILE");  // \fıle, 2 bytes folding to 1
  EXPECT_TRUE(EqualFolded("\\f\xc4\xb1le", "\\FILE"));
  EXPECT_TRUE(EqualFolded("\\\xd0\xbb\xd0\xbe\xd0\xb3\xd0\xb8", PathKey("\\\xd0\x9b\xd0\x9e\xd0\x93\xd0\x98")));
  EXPECT_FALSE(EqualFolded("\\file", "\\FILES"));
  EXPECT_FALSE(EqualFolded("\\files", "\\FILE"));
  EXPECT_TRUE(Covers(PathKey("\\\xd0\x9b\xd0\xbe\xd0\xb3\xd0\xb8"), PathKey("\\\xd0\xbb\xd0\xbe\xd0\xb3\xd0\xb8\\app.log")));
  // Bytes that are not UTF-8 keep all but their ASCII letters.
  EXPECT_EQ(FoldCaseUtf8("a\xe9z"), "A\xe9Z");
}

}  // namespace
}  // namespace wfsim
