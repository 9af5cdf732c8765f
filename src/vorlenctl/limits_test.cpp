#include "vorlenctl/limits.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

constexpr ThresholdRange kXpe = {16, 1024, "this device's 32-bit release"};

Session Threshold(std::uint32_t megabytes) {
  Session session;
  session.threshold_mb = megabytes;
  return session;
}

Session Excluding(const std::string& volume, std::vector<std::string> paths) {
  Session session;
  session.exclusions = VolumeLists{{volume, std::move(paths)}};
  return session;
}

TEST(DesiredProblem, WhatTheFilterWouldRefuseIsNamedWithTheFormOrRangeItTakes) {
  const std::pair<Session, std::string> refused[] = {
      {Threshold(2048),
       "threshold_mb 2048 is outside the range this device's 32-bit release accepts: 16 to 1024 MB"},
      {Threshold(15), "threshold_mb 15 is outside the range this device's 32-bit release accepts: 16 to 1024 MB"},
      {Excluding("C:", {"\\ok", "Logs"}),
       "the exclusion \"Logs\" on C: is not a path the filter accepts: it does not start at the volume's root with a "
       "backslash (a path starts at the volume's root, such as \\Logs\\today.txt, and names no drive)"},
      {Excluding("D:", {"\\C:\\x"}),
       "the exclusion \"\\C:\\x\" on D: is not a path the filter accepts: it holds a character names can't hold "
       "(< > : \" / | ? * or a control character) (a path starts at the volume's root, such as \\Logs\\today.txt, and "
       "names no drive)"},
  };
  for (const auto& [desired, expected] : refused) EXPECT_EQ(DesiredProblem(desired, kXpe).value_or("none"), expected);
  const Session accepted[] = {Threshold(16), Threshold(1024), Session{},
                              Excluding("C:", {"\\Logs", "\\a b\\c.txt"})};
  for (const Session& desired : accepted) EXPECT_EQ(DesiredProblem(desired, kXpe), std::nullopt);
}

}  // namespace
}  // namespace ctl
