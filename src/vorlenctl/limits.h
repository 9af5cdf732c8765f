// What the filter is known to refuse, checked before the first call: a run
// that would stop halfway on it is refused whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "vorlenctl/session.h"

namespace ctl {

// The thresholds a device's release accepts, in MB.
struct ThresholdRange {
  std::uint32_t least;
  std::uint32_t most;
  const char* which;  // whose range it is, for messages
};

// Every release takes 16 MB up; 32-bit ones up to 1024 MB and the 64-bit
// ones of Standard 7 and Embedded 8 up to 131072 MB. On Windows the system's
// width tells the range; the library itself does not say, so elsewhere (the
// stand-in) only the widest is known.
ThresholdRange DeviceThresholdRange();

// The documented ranges, for a threshold the library refused (87).
inline constexpr const char* kDocumentedThresholds =
    "the filter takes 16 to 1024 MB on 32-bit releases and 16 to 131072 MB on the 64-bit ones";

// Why the filter would refuse part of a desired state, or nullopt.
std::optional<std::string> DesiredProblem(const Session& desired, const ThresholdRange& range);

}  // namespace ctl
