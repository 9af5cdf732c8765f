#include "vorlenctl/guard.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <sstream>

#include "fake_filter_library.h"
#include "temp_folder.h"
#include "vorlenctl/guard_record.h"

namespace ctl {
namespace {

constexpr WfUlong kMiB = 1u << 20;
constexpr std::int64_t kStart = 1796871990;

// The guard's system as a script: each wait takes the next step, which may
// change the device and says what ended the wait; the script's end is a stop.
class ScriptedSystem final : public GuardSystem {
 public:
  using Step = std::function<Woken()>;
  std::deque<Step> steps;
  std::vector<unsigned> waits;
  std::vector<std::string> events;    // "3 warning: the overlay is at ..."
  std::vector<std::string> commands;  // the command, then its environment
  std::deque<CommandResult> results;  // the next commands' ends; exit 0 when none

  void* NotificationEvent() override { return this; }
  Woken Wait(unsigned milliseconds) override {
    waits.push_back(milliseconds);
    if (steps.empty()) return Woken::kStop;
    const Step step = steps.front();
    steps.pop_front();
    now_ += milliseconds / 1000;
    return step();
  }
  std::int64_t Now() override { return now_; }
  void Report(const GuardEvent& event, const std::string& text) override {
    events.push_back(std::to_string(event.id) + " " + std::string(event.name) + ": " + text);
  }
  CommandResult Run(const std::string& command, const std::vector<std::string>& environment, unsigned) override {
    std::string line = command;
    for (const std::string& entry : environment) line += " " + entry;
    commands.push_back(line);
    if (results.empty()) return {};
    const CommandResult result = results.front();
    results.pop_front();
    return result;
  }

 private:
  std::int64_t now_ = kStart;
};

class GuardRun : public ::testing::Test {
 protected:
  GuardRun() {
    device_.current.filter = device_.next.filter = true;
    options_.history = (folder_.path() / "guard.jsonl").string();
    options_.on_normal = "on-normal";
    options_.on_warning = "on-warning";
    options_.on_critical = "on-critical";
  }

  // A step: the overlay holding `megabytes`, then the wait ended by `woken`.
  ScriptedSystem::Step Use(double megabytes, GuardSystem::Woken woken = GuardSystem::Woken::kNotified) {
    return [this, megabytes, woken] {
      device_.used_bytes = static_cast<WfUlong>(megabytes * kMiB);
      return woken;
    };
  }
  ScriptedSystem::Step Do(std::function<void()> change) {
    return [change] {
      change();
      return GuardSystem::Woken::kTimeout;
    };
  }

  void Run(std::vector<ScriptedSystem::Step> steps) {
    system_.steps.assign(steps.begin(), steps.end());
    RunGuard(device_, system_, options_);
  }

  std::vector<std::string> History() const {
    std::ifstream in(options_.history);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // The calls the guard made about notifications, "FbwfCacheThresholdNotification 13".
  std::vector<std::string> Registrations() const {
    std::vector<std::string> made;
    for (const std::string& call : device_.calls) {
      if (call.find("Notification") != std::string::npos) made.push_back(call);
    }
    return made;
  }

  TempFolder folder_{"vorlenctl-guard"};
  FakeFilterLibrary device_;
  ScriptedSystem system_;
  GuardOptions options_;
};

TEST_F(GuardRun, ActsOncePerCrossingUpAndBackInOrder) {
  Run({Use(50), Use(55), Use(58), Use(30, GuardSystem::Woken::kTimeout), Use(0, GuardSystem::Woken::kTimeout)});
  const std::vector<std::string> events = {
      "1 started: started: warning at 80%, critical at 90%, read every 10 s; history " + options_.history,
      "3 warning: the overlay is at warning: 85.9% used (57671680 of 67108864 bytes), from normal",
      "4 critical: the overlay is at critical: 90.6% used (60817408 of 67108864 bytes), from warning",
      "2 normal: the overlay is at normal: 46.8% used (31457280 of 67108864 bytes), from critical",
      "8 stopped: stopped at normal"};
  EXPECT_EQ(system_.events, events);
  const std::string overlay = " VORLEN_OVERLAY_JSON=" + OverlayPath(options_.history);
  const std::vector<std::string> commands = {
      "on-warning VORLEN_LEVEL=warning VORLEN_PREVIOUS_LEVEL=normal VORLEN_USED_BYTES=57671680 "
      "VORLEN_THRESHOLD_BYTES=67108864 VORLEN_PERCENT=85.9" + overlay,
      "on-critical VORLEN_LEVEL=critical VORLEN_PREVIOUS_LEVEL=warning VORLEN_USED_BYTES=60817408 "
      "VORLEN_THRESHOLD_BYTES=67108864 VORLEN_PERCENT=90.6" + overlay,
      "on-normal VORLEN_LEVEL=normal VORLEN_PREVIOUS_LEVEL=critical VORLEN_USED_BYTES=31457280 "
      "VORLEN_THRESHOLD_BYTES=67108864 VORLEN_PERCENT=46.8" + overlay};
  EXPECT_EQ(system_.commands, commands);
  const std::vector<std::string> history = {
      R"({"time": "2026-12-10T03:06:50Z", "from": "normal", "to": "warning", "used_bytes": 57671680, )"
      R"("threshold_bytes": 67108864, "percent": 85.9, "command": {"exit_status": 0}})",
      R"({"time": "2026-12-10T03:07:00Z", "from": "warning", "to": "critical", "used_bytes": 60817408, )"
      R"("threshold_bytes": 67108864, "percent": 90.6, "command": {"exit_status": 0}})",
      R"({"time": "2026-12-10T03:07:10Z", "from": "critical", "to": "normal", "used_bytes": 31457280, )"
      R"("threshold_bytes": 67108864, "percent": 46.8, "command": {"exit_status": 0}})"};
  EXPECT_EQ(History(), history);
  std::ifstream json(OverlayPath(options_.history));
  std::stringstream written;
  written << json.rdbuf();
  EXPECT_NE(written.str().find("\"file_data\": 31457280"), std::string::npos) << written.str();
}

TEST_F(GuardRun, RegistersForTheNextLevelAgainAfterEachSignalAndReleasesAtTheEnd) {
  Run({Use(55), Use(57.5), Use(57.5, GuardSystem::Woken::kTimeout)});
  const std::vector<std::string> calls = {
      "FbwfInitializeNotifications",        "FbwfCacheThresholdNotification 13",  // 12.8 MB left at 80%
      "FbwfCacheThresholdNotification 7",   // at warning: 6.4 MB left at 90%
      "FbwfUninitializeNotifications"};     // 57.5 MB is within the MB before 90%: read, not registered
  EXPECT_EQ(Registrations(), calls);
  EXPECT_EQ(system_.waits, (std::vector<unsigned>{10000, 10000, 1000, 1000}));
}

TEST_F(GuardRun, ANewThresholdDropsTheRegistrationThatNoLongerServes) {
  Run({Do([this] { device_.current.threshold_mb = 128; })});
  EXPECT_EQ(Registrations(),
            (std::vector<std::string>{"FbwfInitializeNotifications", "FbwfCacheThresholdNotification 13",
                                      "FbwfUninitializeNotifications", "FbwfCacheThresholdNotification 26",
                                      "FbwfUninitializeNotifications"}));
}

TEST_F(GuardRun, WithoutNotificationsTheClockAloneFindsACrossing) {
  device_.missing.insert(WfFunction::FbwfCacheThresholdNotification);
  Run({Use(55, GuardSystem::Woken::kTimeout)});
  EXPECT_EQ(system_.waits, (std::vector<unsigned>{10000, 10000}));
  ASSERT_EQ(system_.events.size(), 3u);
  EXPECT_EQ(system_.events[1].substr(0, 9), "3 warning");
}

TEST_F(GuardRun, AnUnreadableOverlayIsUnknownAndItsEndRunsNoCommandForTheLevelItLeft) {
  Run({Use(55), Do([this] { device_.failures[WfFunction::FbwfGetMemoryUsage] = {kWfAccessDenied}; }),
       Do([this] { device_.current.filter = false; }), Do([this] { device_.current.filter = true; })});
  const std::vector<std::string> events = {
      "3 warning: the overlay is at warning: 85.9% used (57671680 of 67108864 bytes), from normal",
      "5 unknown: the overlay can't be read, from warning: FbwfGetMemoryUsage failed with code 5 (access denied)",
      "3 warning: the overlay is at warning: 85.9% used (57671680 of 67108864 bytes), from unknown"};
  EXPECT_EQ(std::vector<std::string>(system_.events.begin() + 1, system_.events.end() - 1), events);
  EXPECT_EQ(system_.commands.size(), 1u);  // the first warning's
  EXPECT_EQ(History().size(), 3u);
}

TEST_F(GuardRun, ARestartedGuardKeepsItsLevelAndOneThatFindsTheOverlayEmptiedStartsAtNormal) {
  Run({Use(55)});
  ASSERT_EQ(system_.commands.size(), 1u);
  system_ = ScriptedSystem();
  Run({Use(56, GuardSystem::Woken::kTimeout)});  // the same level: nothing to do again
  EXPECT_TRUE(system_.commands.empty());
  EXPECT_EQ(system_.events.size(), 2u);
  device_.used_bytes = 0;
  system_ = ScriptedSystem();
  Run({});
  EXPECT_TRUE(system_.commands.empty());
  ASSERT_EQ(system_.events.size(), 3u);
  EXPECT_EQ(system_.events[1], "2 normal: the overlay is at normal: 0.0% used (0 of 67108864 bytes), from warning: "
                               "the overlay was emptied while the guard was stopped");
  EXPECT_EQ(ReadGuardState(options_.history)->level, GuardLevel::kNormal);
}

TEST_F(GuardRun, ACommandThatFailsOrRunsPastItsLimitIsReportedAndInTheHistory) {
  system_.results = {{CommandResult::End::kExited, 3, ""}, {CommandResult::End::kTimedOut, 0, ""},
                     {CommandResult::End::kNotStarted, 0, "No such file or directory"}};
  Run({Use(55), Use(58.5), Use(0)});
  const std::vector<std::string> failures = {"6 command: the warning command exited with 3",
                                             "6 command: the critical command ran past 60 s and was stopped",
                                             "6 command: the normal command can't be started: No such file or directory"};
  std::vector<std::string> reported;
  for (const std::string& event : system_.events) {
    if (event[0] == '6') reported.push_back(event);
  }
  EXPECT_EQ(reported, failures);
  const std::vector<std::string> history = History();
  ASSERT_EQ(history.size(), 3u);
  EXPECT_NE(history[0].find(R"("command": {"exit_status": 3})"), std::string::npos);
  EXPECT_NE(history[1].find(R"("command": {"timed_out": true})"), std::string::npos);
  EXPECT_NE(history[2].find(R"("command": {"error": "No such file or directory"})"), std::string::npos);
}

TEST_F(GuardRun, AHistoryThatCantBeWrittenIsSaidOnceAndTheGuardGoesOn) {
  options_.history = (folder_.path() / "missing" / "guard.jsonl").string();
  Run({Use(55), Use(58.5), Use(0)});
  EXPECT_EQ(system_.commands.size(), 3u);
  int said = 0;
  for (const std::string& event : system_.events) said += event[0] == '7';
  EXPECT_EQ(said, 1);
}

TEST_F(GuardRun, AFullHistoryMovesAsideBeforeTheLineThatWouldPassItsBound) {
  std::ofstream(options_.history) << std::string(kHistoryRotateBytes - 10, 'x') << "\n";
  Run({Use(55)});
  EXPECT_EQ(History().size(), 1u);
  std::ifstream previous(PreviousPath(options_.history), std::ios::ate);
  EXPECT_EQ(static_cast<std::uint64_t>(previous.tellg()), kHistoryRotateBytes - 9);
}

}  // namespace
}  // namespace ctl
