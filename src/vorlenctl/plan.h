// The fewest library calls that make the next session match a desired one,
// in an order that meets each function's preconditions from any state: the
// filter is enabled for the next session before anything else changes (and
// disabled last when it is wanted off), volumes are protected before their
// lists change and unprotected (flag 0, keeping their lists) after.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vorlenctl/session.h"
#include "wfapi/wfapi.h"

namespace ctl {

struct PlannedCall {
  WfFunction function;
  std::vector<std::string> texts;  // volume, then path
  std::optional<std::uint32_t> number;

  bool operator==(const PlannedCall&) const = default;
};

// The calls, or why the desired state can't be reached: exclusions named for
// a volume that would not be protected.
std::optional<std::string> Plan(const Session& next, const Session& desired, std::vector<PlannedCall>& calls);

// What a call does to the next session, as the filter does it, with its
// preconditions: 1 filter off for the next session, 15 a volume not
// protected next, 2 an exclusion not listed. `kept` holds the lists of
// volumes unprotected with flag 0, which protection brings back.
WfStatus Apply(Session& next, VolumeLists& kept, const PlannedCall& call);

// What the calls make of the next session, as Apply makes it one call after
// the other, each path's key made once: a list of any length is predicted in
// the time of a sort of it. The statuses the calls would answer, in order.
std::vector<WfStatus> Predict(Session& next, const std::vector<PlannedCall>& calls);

}  // namespace ctl
