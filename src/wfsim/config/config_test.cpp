#include "wfsim/config/config.h"

#include <gtest/gtest.h>

namespace wfsim {
namespace {

const std::string kSettings =
    "[current]\nfilter = on\ncompression = off\npreallocation = on\nthreshold = 16\nprotected = C\n"
    "[next]\nfilter = off\ncompression = on\npreallocation = off\nthreshold = 1024\nprotected =\n";

Config Sample() {
  Config config;
  config.session = 7;
  config.release = FindRelease("wes7-x64");
  config.current = {true, false, true, 16, "CD", {{'C', "\\data"}, {'D', "\\with blank\\x.txt"}}, true};
  config.next = {false, true, false, 131072, "", {{'C', "\\caf\xC3\xA9"}, {'C', "\\Data"}}, false};
  config.capacities = {{'C', 4096}, {'Q', std::uint64_t{1} << 40}};
  return config;
}

TEST(Config, WhatIsWrittenParsesBackTheSame) {
  for (const Config& config : {Config{}, Sample()}) {
    Config parsed;
    ParseError error;
    ASSERT_TRUE(ParseConfig(FormatConfig(config), ParseScope::kAll, parsed, error)) << error.what;
    EXPECT_EQ(parsed, config);
  }
}

TEST(Config, HandEditsInTheirUsualFormsAreRead) {
  const std::string text =
      "\xEF\xBB\xBF# edited\r\n\r\n[current]\r\n  filter=on \r\ncompression = off\r\npreallocation = off\r\n"
      "threshold = 64\r\nprotected = d c\r\n[next]\nprotected = \nthreshold=100\nfilter = off\n"
      "compression = off\npreallocation = off\n[next exclusions]\nc \\Logs\\today.txt\n";
  Config config;
  ParseError error;
  ASSERT_TRUE(ParseConfig(text, ParseScope::kAll, config, error)) << error.what;
  EXPECT_TRUE(config.current.filter);
  EXPECT_EQ(config.current.protected_volumes, "CD");
  EXPECT_EQ(config.next.threshold, 100u);
  EXPECT_EQ(config.next.exclusions, (std::vector<Exclusion>{{'C', "\\Logs\\today.txt"}}));
}

struct BadConfig {
  std::string text;
  std::size_t line;
};

TEST(Config, MalformedTextIsRefusedWithItsLine) {
  const BadConfig cases[] = {
      {"filter = on\n" + kSettings, 1},
      {"[current]\nfilter = maybe\n", 2},
      {"[current]\nfilter = on\nfilter = off\n", 3},
      {"[current]\ncolour = blue\n", 2},
      {"[current]\nthreshold = 15\n", 2},
      {"[current]\nthreshold = 1025\n", 2},
      {"[current]\nthreshold = +64\n", 2},
      {"[current]\nprotected = C C\n", 2},
      {"[current]\nprotected = C1\n", 2},
      {"[current]\nfilter on\n", 2},
      {"[later]\n", 1},
      {"[next]\n", 1},
      {kSettings + "[current]\n", 13},
      {kSettings + "[next exclusions]\n[current exclusions]\n", 14},
      {kSettings + "[current exclusions]\nC \\a\\..\\..\\b\n", 14},
      {kSettings + "[current exclusions]\nC data\n", 14},
      {kSettings + "[current exclusions]\n1 \\data\n", 14},
      {kSettings + "[current exclusions]\nC\\data\n", 14},
      {kSettings + "[current exclusions]\nC \\caf\xE9\n", 14},
      {"[current]\nfilter = on\n[next]\n", 3},
      {"[machine]\nsession = -1\n" + kSettings, 2},
      {"[machine]\nsession = 1\nsession = 2\n" + kSettings, 3},
      {kSettings + "[machine]\n", 13},
      {"[machine]\nrelease = xp\n" + kSettings, 2},
      {"[machine]\nrelease = xpe\nrelease = xpe\n" + kSettings, 3},
      {"[machine]\ncapacity = C:0\n" + kSettings, 2},
      {"[machine]\ncapacity = C:1 C:2\n" + kSettings, 2},
      {"[machine]\ncapacity = C 1\n" + kSettings, 2},
      {"[machine]\ncapacity = C:18446744073709551616\n" + kSettings, 2},
      {"[machine]\ncapacity = C:1\ncapacity = D:1\n" + kSettings, 3},
      {"[current]\nsizedisplay = both\n", 2},
      {"[machine]\nrelease = we8-x86\n" + kSettings.substr(0, kSettings.size() - 29) +
           "threshold = 2048\nprotected =\n", 14},
      {"", 0},
  };
  for (const BadConfig& c : cases) {
    Config config;
    ParseError error;
    EXPECT_FALSE(ParseConfig(c.text, ParseScope::kAll, config, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_FALSE(error.what.empty()) << c.text;
  }
}

TEST(Config, AFolderWrittenBeforeReleasesAndSizesReadsAsXpeWithDefaultSizes) {
  Config config;
  ParseError error;
  ASSERT_TRUE(ParseConfig(kSettings, ParseScope::kAll, config, error)) << error.what;
  EXPECT_STREQ(config.release->name, "xpe");
  EXPECT_EQ(config.session, 0u);
  EXPECT_FALSE(config.current.virtual_size);
  EXPECT_EQ(config.Capacity('C'), std::uint64_t{8} << 30);
  EXPECT_EQ(config.Capacity('E'), std::uint64_t{2} << 30);
}

TEST(Config, ASettingsReadStopsBeforeTheExclusionLists) {
  const std::string text = kSettings + "[current exclusions]\nnot an exclusion\n";
  Config config;
  ParseError error;
  EXPECT_TRUE(ParseConfig(text, ParseScope::kSettings, config, error)) << error.what;
  EXPECT_EQ(config.current.threshold, 16u);
  EXPECT_FALSE(ParseConfig(text, ParseScope::kAll, config, error));
}

TEST(Config, ExclusionsAreFoundWhateverTheirCase) {
  const Config config = Sample();
  EXPECT_TRUE(ListsExclusion(config.next, 'C', "\\CAF\xC3\x89"));
  EXPECT_TRUE(ListsExclusion(config.next, 'C', "\\data"));
  EXPECT_FALSE(ListsExclusion(config.next, 'D', "\\data"));
  EXPECT_FALSE(ListsExclusion(config.next, 'C', "\\data\\x"));
}

// Before names folded as NTFS folds them, \Логи and \логи were two entries.
TEST(Config, EntriesThatNowFoldAlikeAreKeptAndRemovedTogether) {
  Config config;
  ParseError error;
  const std::string text = kSettings + "[next exclusions]\nC \\\xD0\x9B\xD0\xBE\xD0\xB3\xD0\xB8\n"
                           "C \\x\nc \\\xD0\xBB\xD0\xBE\xD0\xB3\xD0\xB8\n";
  ASSERT_TRUE(ParseConfig(text, ParseScope::kAll, config, error)) << error.what;
  ASSERT_EQ(config.next.exclusions.size(), 3u);
  EXPECT_EQ(RemoveExclusions(config.next, 'C', "\\\xD0\x9B\xD0\x9E\xD0\x93\xD0\x98"), 2u);
  EXPECT_EQ(config.next.exclusions, (std::vector<Exclusion>{{'C', "\\x"}}));
}

}  // namespace
}  // namespace wfsim
