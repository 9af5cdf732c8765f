#include "vorlenctl/guard_levels.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include "vorlenctl/guard_record.h"
#include "vorlenctl/guard_system.h"

namespace ctl {
namespace {

constexpr std::uint64_t kMiB = 1u << 20;
constexpr std::uint64_t k64MiB = 64 * kMiB;

TEST(GuardLevelText, SharesAndSizesAreReadAndWrittenBack) {
  struct Case {
    const char* text;
    bool percent;
    std::uint64_t value;
    const char* shown;
  };
  const Case cases[] = {
      {"85%", true, 8500, "85%"},       {"85", true, 8500, "85%"},        {"85.5%", true, 8550, "85.5%"},
      {"0.25", true, 25, "0.25%"},      {"100%", true, 10000, "100%"},    {"48MB", false, 48 * kMiB, "48MB"},
      {"512KB", false, 512 << 10, "512KB"}, {"1GB", false, 1u << 30, "1GB"}, {"4097B", false, 4097, "4097B"},
  };
  for (const Case& c : cases) {
    const std::optional<LevelMark> read = ParseLevel(c.text);
    ASSERT_TRUE(read) << c.text;
    EXPECT_EQ(read->percent, c.percent) << c.text;
    EXPECT_EQ(read->value, c.value) << c.text;
    EXPECT_EQ(LevelText(*read), c.shown) << c.text;
  }
  for (const char* wrong : {"", "%", "0", "0%", "100.01", "101%", "85.123", "85.", ".5", "-5", "48 MB", "48mb", "0MB",
                            "MB", "85%%", "9999999GB", "1e2"}) {
    EXPECT_FALSE(ParseLevel(wrong)) << wrong;
  }
}

TEST(GuardLevelText, LevelsOfOneKindMustRiseFromWarningToCritical) {
  EXPECT_FALSE(LevelsProblem({{true, 8000}, {true, 9000}, 500}));
  EXPECT_EQ(LevelsProblem({{true, 9000}, {true, 8500}, 500}), "the warning level 90% is not below the critical level 85%");
  EXPECT_EQ(LevelsProblem({{false, 48 * kMiB}, {false, 48 * kMiB}, 500}),
            "the warning level 48MB is not below the critical level 48MB");
  EXPECT_FALSE(LevelsProblem({{false, 60 * kMiB}, {true, 5000}, 500}));  // told apart once the threshold is read
}

TEST(GuardBounds, AShareAndASizeThatCrossMakeTheWarningTheCriticalLevel) {
  const Bounds shares = BoundsFor({{true, 8000}, {true, 9000}, 500}, k64MiB);
  EXPECT_EQ(shares.warning, 53687092u);  // 80% of it is 53687091.2: the first whole byte at it
  EXPECT_EQ(shares.critical, 60397978u);
  EXPECT_EQ(shares.hysteresis, 3355443u);
  const Bounds crossed = BoundsFor({{false, 60 * kMiB}, {true, 5000}, 0}, k64MiB);
  EXPECT_EQ(crossed.warning, 32 * kMiB);
  EXPECT_EQ(crossed.critical, 32 * kMiB);
}

TEST(GuardNextLevel, ALevelIsReachedAtItsBytesAndLeftAHysteresisBelow) {
  const Bounds b{800, 900, 50};
  struct Step {
    std::uint64_t used;
    GuardLevel expected;
  };
  // One walk up and down, through each boundary and its hysteresis.
  const std::vector<Step> walk = {
      {799, GuardLevel::kNormal},   {800, GuardLevel::kWarning},  {751, GuardLevel::kWarning},
      {750, GuardLevel::kWarning},  {749, GuardLevel::kNormal},   {899, GuardLevel::kWarning},
      {900, GuardLevel::kCritical}, {850, GuardLevel::kCritical}, {849, GuardLevel::kWarning},
      {1000, GuardLevel::kCritical}, {700, GuardLevel::kNormal},  {0, GuardLevel::kNormal},
  };
  GuardLevel level = GuardLevel::kNormal;
  for (const Step& step : walk) {
    level = NextLevel(level, step.used, b);
    EXPECT_EQ(level, step.expected) << "at " << step.used;
  }
  EXPECT_EQ(NextLevel(GuardLevel::kUnknown, 850, b), GuardLevel::kWarning);
  EXPECT_EQ(NextLevel(GuardLevel::kUnknown, 780, b), GuardLevel::kNormal);
}

TEST(GuardNextLevel, AUseHoveringAtABoundaryCrossesOnce) {
  const Bounds b = BoundsFor({{true, 8000}, {true, 9000}, 500}, k64MiB);
  GuardLevel level = GuardLevel::kNormal;
  int crossings = 0;
  for (int round = 0; round < 100; ++round) {
    const GuardLevel next = NextLevel(level, b.warning + (round % 2 == 0 ? 4096 : 0) - 2048, b);
    crossings += next != level;
    level = next;
  }
  EXPECT_EQ(crossings, 1);
}

TEST(GuardNotification, AsksForWhatIsLeftAtTheNextLevelRoundedUp) {
  const Bounds b = BoundsFor({{true, 8000}, {true, 9000}, 500}, k64MiB);
  struct Case {
    GuardLevel level;
    std::uint64_t used;
    std::optional<std::uint32_t> megabytes;
  };
  const Case cases[] = {
      {GuardLevel::kNormal, 0, 13},                  // 12.8 MB left at 80%
      {GuardLevel::kWarning, 55 * kMiB, 7},          // 6.4 MB left at 90%
      {GuardLevel::kNormal, 51 * kMiB + 1, std::nullopt},  // within the MB before 80%: it would signal at once
      {GuardLevel::kNormal, 51 * kMiB, 13},
      {GuardLevel::kCritical, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NotificationMegabytes(c.level, c.used, k64MiB, b), c.megabytes) << c.used;
  }
  // A level at the threshold asks for the least the function takes.
  EXPECT_EQ(NotificationMegabytes(GuardLevel::kNormal, 0, k64MiB, Bounds{k64MiB, k64MiB, 0}), 1u);
  // A size above the threshold is never reached: nothing to ask.
  EXPECT_EQ(NotificationMegabytes(GuardLevel::kNormal, 0, k64MiB, Bounds{65 * kMiB, 66 * kMiB, 0}), std::nullopt);
}

TEST(GuardPercent, IsCutToATenthSoALevelIsNeverShownBeforeItIsReached) {
  const Bounds b = BoundsFor({{true, 8000}, {true, 9000}, 500}, k64MiB);
  EXPECT_EQ(PercentText(b.warning - 1, k64MiB), "79.9");
  EXPECT_EQ(PercentText(b.warning, k64MiB), "80.0");
  EXPECT_EQ(PercentText(b.critical, k64MiB), "90.0");
  EXPECT_EQ(PercentText(k64MiB, k64MiB), "100.0");
  EXPECT_EQ(PercentText(5, 0), "0.0");
}

TEST(GuardRecord, TimesAreUtcInIso8601) {
  EXPECT_EQ(Iso8601(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(Iso8601(951782400), "2000-02-29T00:00:00Z");
  EXPECT_EQ(Iso8601(1796871992), "2026-12-10T03:06:32Z");
  EXPECT_EQ(Iso8601(4107542399), "2100-02-28T23:59:59Z");
}

TEST(GuardRecord, AStateReadsBackAndAnyOtherTextIsNoState) {
  const GuardState state{GuardLevel::kUnknown, GuardLevel::kCritical, 1796871992, {62914702, k64MiB}};
  const std::optional<GuardState> read = ParseGuardState(StateText(state));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->level, GuardLevel::kUnknown);
  EXPECT_EQ(read->last_known, GuardLevel::kCritical);
  EXPECT_EQ(read->since, 1796871992);
  EXPECT_EQ(read->figures.used, 62914702u);
  for (const char* wrong : {"", "{}", "[1]", "{\"level\": \"high\"}",
                            R"({"level": "normal", "last_known": "unknown", "since_seconds": 1, "used_bytes": 0,)"
                            R"( "threshold_bytes": 1})",
                            R"({"level": "normal", "last_known": "normal", "since_seconds": -1, "used_bytes": 0,)"
                            R"( "threshold_bytes": 1})"}) {
    EXPECT_FALSE(ParseGuardState(wrong)) << wrong;
  }
}

// The events are listed once, in guard_system.h; the manual repeats each,
// its id, name and type, and no other.
TEST(GuardEvents, TheManualListsEachEventItsIdNameAndType) {
  std::ifstream in(std::string(VORLEN_SOURCE_DIR) + "/man/vorlenctl.1");
  std::stringstream manual;
  manual << in.rdbuf();
  const std::string text = manual.str();
  const std::size_t from = text.find(".SH EVENTS"), to = text.find(".SH ", from + 1);
  ASSERT_NE(from, std::string::npos);
  const std::string section = text.substr(from, to - from);
  const std::regex entry("\\n\\.B ([0-9]+) ([a-z]+)\\n\\(([a-z]+)\\)");
  std::vector<std::string> listed;
  for (auto it = std::sregex_iterator(section.begin(), section.end(), entry); it != std::sregex_iterator(); ++it) {
    listed.push_back((*it)[1].str() + " " + (*it)[2].str() + " " + (*it)[3].str());
  }
  std::vector<std::string> events;
  const char* const types[] = {"information", "warning", "error"};
  for (const GuardEvent& event : kGuardEvents) {
    events.push_back(std::to_string(event.id) + " " + std::string(event.name) + " " + types[static_cast<int>(event.type)]);
  }
  EXPECT_EQ(listed, events);
}

}  // namespace
}  // namespace ctl
