#include "vorlenctl/plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <random>

#include "fake_filter_library.h"
#include "vorlenctl/converge.h"
#include "vorlenctl/json_state.h"
#include "json/writer.h"

namespace ctl {
namespace {

using Lists = VolumeLists;

const std::string kVolumes[] = {"C:", "D:", "E:"};
const std::string kPaths[] = {"\\a", "\\A", "\\temp", "\\Temp\\x", "\\caf\xC3\xA9", "\\CAF\xC3\x89"};

class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  bool Coin() { return Below(2) == 0; }
  std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_); }
  std::vector<std::string> Volumes() {
    std::vector<std::string> volumes;
    for (const std::string& volume : kVolumes) {
      if (Coin()) volumes.push_back(volume);
    }
    return volumes;
  }
  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (std::size_t n = Below(4); n > 0; --n) paths.push_back(kPaths[Below(std::size(kPaths))]);
    return paths;
  }

 private:
  std::mt19937 engine_;
};

// A whole next session, as the filter holds it, and the lists that volumes
// unprotected with flag 0 keep.
Session AnyNext(Random& random, Lists& kept) {
  const std::uint32_t thresholds[] = {16, 64, 1024, kThresholdCap};
  Session next{random.Coin(), random.Coin(), random.Coin(), thresholds[random.Below(4)], random.Volumes(), Lists{}};
  for (const std::string& volume : kVolumes) {
    const bool is_protected = std::find(next.protected_volumes->begin(), next.protected_volumes->end(), volume) !=
                              next.protected_volumes->end();
    (is_protected ? (*next.exclusions)[volume] : kept[volume]) = random.Paths();
  }
  return next;
}

// Any keys, with exclusions only for volumes that would be protected.
Session AnyDesired(Random& random, const Session& next) {
  Session desired;
  if (random.Coin()) desired.filter = random.Coin();
  if (random.Coin()) desired.compression = random.Coin();
  if (random.Coin()) desired.preallocation = random.Coin();
  if (random.Coin()) desired.threshold_mb = static_cast<std::uint32_t>(16 + random.Below(8000));
  if (random.Coin()) desired.protected_volumes = random.Volumes();
  if (random.Coin()) {
    desired.exclusions.emplace();
    for (const std::string& volume : desired.protected_volumes.value_or(*next.protected_volumes)) {
      if (random.Coin()) (*desired.exclusions)[volume] = random.Paths();
    }
  }
  return desired;
}

// A device whose next session (and current one) is `next`, with the lists
// that volumes unprotected with flag 0 keep.
FakeFilterLibrary DeviceOf(const Session& next, const Lists& kept) {
  FakeFilterLibrary device;
  FakeSession& session = device.next;
  session = {*next.filter, *next.compression, *next.preallocation, *next.threshold_mb, {}};
  for (const std::string& volume : *next.protected_volumes) {
    session.protected_volumes[volume] =
        next.exclusions->count(volume) ? next.exclusions->at(volume) : std::vector<std::string>{};
  }
  for (const auto& [volume, list] : kept) device.kept[volume] = list;
  device.current = session;
  return device;
}

// From any state, the calls `set` makes through the library (two rounds, as
// Converge makes them) meet the filter's preconditions and reach the desired
// next session, and a second plan is empty.
TEST(Plan, FromAnyStateTheCallsMeetTheirPreconditionsAndReachTheDesiredState) {
  Random random(2026);
  for (int i = 0; i < 3000; ++i) {
    Lists kept;
    const Session next = AnyNext(random, kept);
    const Session desired = AnyDesired(random, next);
    FakeFilterLibrary device = DeviceOf(next, kept);
    Reading after;
    ASSERT_FALSE(ReadDevice(device, after).has_value());
    std::vector<PlannedCall> calls;
    EXPECT_FALSE(Plan(after.next, desired, calls).has_value());
    std::vector<MadeCall> made;
    const std::optional<Failure> failure = Converge(device, desired, calls, made, after);
    EXPECT_FALSE(failure.has_value()) << "case " << i << ": " << NameOf(failure->function) << " " << failure->code;
    EXPECT_TRUE(Differences(after.next, desired).empty()) << "case " << i;
    std::vector<PlannedCall> again;
    Plan(after.next, desired, again);
    EXPECT_TRUE(again.empty()) << "case " << i << ": a second run would call " << NameOf(again[0].function);
  }
}

std::string Shown(const Session& session) {
  JsonWriter out;
  WriteSession(out, session);
  return out.text();
}

// The prediction of `set --check` is the calls made one after the other,
// statuses included: the planned calls, then any the filter would refuse or
// that undo one another.
TEST(Predict, AgreesWithTheCallsMadeOneByOne) {
  Random random(77);
  for (int i = 0; i < 2000; ++i) {
    Lists kept;
    const Session start = AnyNext(random, kept);
    std::vector<PlannedCall> calls;
    Plan(start, AnyDesired(random, start), calls);
    for (std::size_t n = random.Below(6); n > 0; --n) {
      const WfFunction f = random.Coin() ? WfFunction::FbwfAddExclusion : WfFunction::FbwfRemoveExclusion;
      const std::string& volume = kVolumes[random.Below(std::size(kVolumes))];
      calls.insert(calls.begin() + static_cast<std::ptrdiff_t>(random.Below(calls.size() + 1)),
                   PlannedCall{f, {volume, kPaths[random.Below(std::size(kPaths))]}, std::nullopt});
    }
    Session one_by_one = start, predicted = start;
    Lists none;
    std::vector<WfStatus> statuses;
    for (const PlannedCall& call : calls) statuses.push_back(Apply(one_by_one, none, call));
    EXPECT_EQ(Predict(predicted, calls), statuses) << "case " << i;
    EXPECT_EQ(Shown(predicted), Shown(one_by_one)) << "case " << i;
  }
}

TEST(Plan, TheStateAsReadIsAlreadyDesiredAndEveryChangeIsOneCall) {
  Random random(8);
  for (int i = 0; i < 500; ++i) {
    Lists kept;
    const Session next = AnyNext(random, kept);
    std::vector<PlannedCall> calls;
    Plan(next, next, calls);
    EXPECT_TRUE(calls.empty());
  }
  const Session on{true, false, false, 64, std::vector<std::string>{"C:"}, Lists{{"C:", {"\\a"}}}};
  std::vector<PlannedCall> calls;
  Session desired;
  desired.exclusions = Lists{{"C:", {"\\A", "\\b"}}};  // \a in another case is the same name
  Plan(on, desired, calls);
  EXPECT_EQ(calls, (std::vector<PlannedCall>{{WfFunction::FbwfAddExclusion, {"C:", "\\b"}, std::nullopt}}));
  desired = Session{};
  desired.filter = false;
  desired.compression = true;
  Session off = on;
  off.filter = false;
  Plan(off, desired, calls);
  EXPECT_EQ(calls, (std::vector<PlannedCall>{{WfFunction::FbwfEnableFilter, {}, std::nullopt},
                                             {WfFunction::FbwfEnableCompression, {}, std::nullopt},
                                             {WfFunction::FbwfDisableFilter, {}, std::nullopt}}));
  desired = Session{};
  desired.threshold_mb = 5000;
  Session capped = on;
  capped.threshold_mb = kThresholdCap;
  Plan(capped, desired, calls);
  EXPECT_TRUE(calls.empty()) << "a reading of the cap is any value from 4096 up";
}

TEST(Plan, ExclusionsForAVolumeThatWouldNotBeProtectedAreRefused) {
  const Session next{true, false, false, 64, std::vector<std::string>{"C:"}, Lists{{"C:", {}}}};
  Session desired;
  desired.protected_volumes = std::vector<std::string>{};
  desired.exclusions = Lists{{"C:", {"\\a"}}};
  std::vector<PlannedCall> calls;
  EXPECT_EQ(Plan(next, desired, calls), "exclusions are given for C:, which would not be protected");
  desired.protected_volumes.reset();
  desired.exclusions = Lists{{"D:", {}}};
  EXPECT_TRUE(Plan(next, desired, calls).has_value());
}

// A desired state of a megabyte holds a hundred thousand paths: planning it
// costs about ten sorts of them (folding, sorting, comparing), not a search
// for each (hundreds of sorts).
TEST(Plan, AHundredThousandPathsArePlannedInTime) {
  std::vector<std::string> have, want;
  for (int i = 99999; i >= 0; --i) {
    have.push_back("\\p" + std::to_string(i));
    want.push_back("\\P" + std::to_string(i));  // the same names in another case
  }
  want.push_back("\\new");
  want.push_back("\\NEW");
  const Session next{true, false, false, 64, std::vector<std::string>{"C:"}, Lists{{"C:", have}}};
  Session desired;
  desired.exclusions = Lists{{"C:", want}};
  // Measured against a sort of the same texts in this build, so that a
  // slower build (the sanitized one) moves both alike, and in the process's
  // own processor time, which a busy machine does not stretch.
  std::clock_t start = std::clock();
  std::vector<std::string> sorted = want;
  std::sort(sorted.begin(), sorted.end());
  const std::clock_t sorting = std::clock() - start + 1;
  std::vector<PlannedCall> calls;
  start = std::clock();
  Plan(next, desired, calls);
  EXPECT_EQ(calls, (std::vector<PlannedCall>{{WfFunction::FbwfAddExclusion, {"C:", "\\new"}, std::nullopt}}));
  EXPECT_TRUE(Differences(next, desired).size() == 1);
  const std::clock_t planning = std::clock() - start;
  EXPECT_LT(planning, 50 * sorting);
  // set --check predicts what the calls make of the lists in the same time.
  Session predicted = next;
  start = std::clock();
  Predict(predicted, std::vector<PlannedCall>(100000, calls.at(0)));
  EXPECT_LT(std::clock() - start, 50 * sorting);
}

}  // namespace
}  // namespace ctl
