#include "vorlenctl/plugin_range.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

constexpr std::uint64_t k64MiB = 64u << 20;

PluginRange Range(const char* text) {
  const std::optional<PluginRange> range = ParseRange(text);
  EXPECT_TRUE(range.has_value()) << text;
  return range.value_or(PluginRange{});
}

TEST(PluginRange, ReadsTheGuidelinesFormsAndNamesNothingElseARange) {
  const char* const ranges[] = {"85", "10:", "~:90", "@80:90", "10:20", "48MB", "512KB", "1GB", "4096B",
                                "80.5", "80.25%", "-5:10", "0:", "@~:10MB"};
  for (const char* text : ranges) EXPECT_TRUE(ParseRange(text).has_value()) << text;
  const char* const not_ranges[] = {"", "80x", "80,5", "20:10", "1.5MB", "80.125", "~", "@", ":10", "80.",
                                    "--5", "+5", "-48MB", "10:20:30", "99999999999999999999"};
  for (const char* text : not_ranges) EXPECT_FALSE(ParseRange(text).has_value()) << text;
}

TEST(PluginRange, AlertsOutsideItOrInsideWithAtEachEndItselfInside) {
  struct Case {
    const char* range;
    std::uint64_t used;  // of 64 MiB
    bool alerts;
  };
  const Case cases[] = {
      {"80", 53687091, false},  {"80", 53687092, true},       // the level is 53687091.2 bytes
      {"10:", 6710886, true},   {"10:", 6710887, false},      // below 6710886.4
      {"~:90", 0, false},       {"~:90", 60397978, true},
      {"@80:90", 53687091, false}, {"@80:90", 53687092, true}, {"@80:90", 60397977, true}, {"@80:90", 60397978, false},
      {"48MB", 50331648, false}, {"48MB", 50331649, true},
      {"10:20", 0, true},       {"-5:10", 0, false},           {"0", 0, false},
  };
  for (const Case& c : cases) EXPECT_EQ(Alerts(Range(c.range), c.used, k64MiB), c.alerts) << c.range << " " << c.used;
}

TEST(PluginRange, PerformanceDataGivesTheEndsInBytesAndInPercent) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"80", "53687091.2", "80"},
      {"10:", "6710886.4:", "10:"},
      {"~:90", "~:60397977.6", "~:90"},
      {"@80:90", "@53687091.2:60397977.6", "@80:90"},
      {"48MB", "50331648", "75"},
      {"512KB", "524288", "0.78125"},
      {"-5:10", "-3355443.2:6710886.4", "-5:10"},
      {"0:", "0:", "0:"},
  };
  for (const auto& [range, bytes, percent] : cases) {
    EXPECT_EQ(RangePerfdata(Range(range), k64MiB, false), bytes) << range;
    EXPECT_EQ(RangePerfdata(Range(range), k64MiB, true), percent) << range;
  }
}

TEST(PluginRange, AUseIsShownWithTheDigitsThatKeepItOnItsSideOfEachRange) {
  struct Case {
    std::uint64_t used, threshold;
    std::vector<const char*> ranges;
    const char* percent;
    const char* mebibytes;
  };
  const Case cases[] = {
      {53687091, k64MiB, {"80", "90"}, "79.9", "51.1"},              // cut, never rounded up to the level
      {53687092, k64MiB, {"80", "90"}, "80.000001", "51.200000"},  // a byte above it
      {50331649, k64MiB, {"48MB"}, "75.0000014", "48.0000009"},
      {60397977, k64MiB, {"@80:90"}, "89.9", "57.5"},
      {8055, 10000, {"@80.55:"}, "80.55", "0.00"},                  // exactly at an end that is inside
      {4206, 16u << 20, {"0"}, "0.02", "0.00"},
      {4206, 16u << 20, {"80"}, "0.0", "0.0"},
      {0, 0, {"80"}, "0.0", "0.0"},
  };
  for (const Case& c : cases) {
    std::vector<PluginRange> ranges;
    for (const char* text : c.ranges) ranges.push_back(Range(text));
    const ShownUse shown = ShowUse(c.used, c.threshold, ranges);
    EXPECT_EQ(shown.percent, c.percent) << c.used;
    EXPECT_EQ(shown.mebibytes, c.mebibytes) << c.used;
  }
}

}  // namespace
}  // namespace ctl
