#include "wfsim/state/paths.h"

#include <gtest/gtest.h>

#include "wfsim/state/text.h"

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
