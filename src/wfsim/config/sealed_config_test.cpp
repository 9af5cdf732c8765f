#include "wfsim/config/sealed_config.h"

#include "wfsim/base/text.h"
#include "wfsim/config/config.h"

#include <gtest/gtest.h>

#include <string>

namespace wfsim {
namespace {

TEST(ContentHash, TheSplitIntoPiecesDoesNotChangeTheValue) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('a' + i % 26);
  ContentHash whole;
  whole.Add(text);
  for (std::size_t a : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 100u}) {
    for (std::size_t b : {a, a + 3, a + 8, a + 24}) {
      ContentHash split;
      split.Add(std::string_view(text).substr(0, a));
      split.Add(std::string_view(text).substr(a, b - a));
      split.Add(std::string_view(text).substr(b));
      EXPECT_EQ(split.Value(), whole.Value()) << a << " " << b;
    }
  }
  std::string edited = text;
  edited[150] = 'A';
  ContentHash other;
  other.Add(edited);
  EXPECT_NE(other.Value(), whole.Value());
}

}  // namespace
}  // namespace wfsim

namespace wfsim {
namespace {

// The lines a removal finds: equal when folded, compared eight bytes at a
// time from the end while ASCII, shared endings and all.
TEST(SealedLines, APathIsFoundInAnyCaseAmongLinesThatShareItsEnding) {
  Config config;
  config.next.filter = true;
  config.next.protected_volumes = "C";
  const std::vector<std::string> paths = {
      "\\dir000001\\sub folder\\file000001.log", "\\DIR000002\\Sub Folder\\File000002.LOG",
      "\\x\\dir000002\\sub folder\\file000002.log", "\\dir000002\\sub folder\\file000002.log.old",
      "\\Stra\xC3\x9F" "e\\dir000002\\sub folder\\file000002.log", "\\a", "\\app.log"};
  for (const std::string& path : paths) config.next.exclusions.push_back({'C', path});
  const std::string text = FormatConfig(config);
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"\\dir000002\\sub folder\\file000002.log", {"\\DIR000002\\Sub Folder\\File000002.LOG"}},
      {"\\DIR000001\\SUB FOLDER\\FILE000001.LOG", {"\\dir000001\\sub folder\\file000001.log"}},
      {"\\stra\xC3\x9F" "e\\DIR000002\\sub folder\\file000002.LOG", {"\\Stra\xC3\x9F" "e\\dir000002\\sub folder\\file000002.log"}},
      {"\\A", {"\\a"}},
      {"\\APP.LOG", {"\\app.log"}},
      {"\\sub folder\\file000002.log", {}},
      {"\\ir000002\\sub folder\\file000002.log", {}},
  };
  for (const auto& [wanted, expected] : cases) {
    const std::optional<SealedText> sealed = OpenSealed(text, 'C', FoldCaseUtf8(wanted));
    ASSERT_TRUE(sealed.has_value());
    std::vector<std::string> found;
    for (const SealedText::Line& line : sealed->lines) found.push_back(text.substr(line.start + 2, line.end - line.start - 3));
    EXPECT_EQ(found, expected) << wanted;
  }
}

}  // namespace
}  // namespace wfsim
