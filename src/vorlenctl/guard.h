// The overlay guard: watches the current session's overlay, woken by the
// filter's notification and checked by a clock, and acts once for each
// crossing into warning, into critical and back to normal.
#pragma once

#include <string>

#include "vorlenctl/guard_levels.h"
#include "vorlenctl/guard_system.h"
#include "wfapi/filter_library.h"

namespace ctl {

struct GuardOptions {
  GuardLevels levels;
  unsigned interval_ms = 10000;
  std::string history;
  std::string on_normal, on_warning, on_critical;  // "" for none
  unsigned command_timeout_ms = 60000;
  std::string textfile;  // a folder for the metrics file, or ""
};

// How often a use within a MB of the next level is read, a notification
// being no help there.
inline constexpr unsigned kNearIntervalMs = 1000;

// Runs until the system is asked to stop, then releases the registrations.
void RunGuard(FilterLibrary& library, GuardSystem& system, const GuardOptions& options);

}  // namespace ctl
