// What the overlay guard asks of the system it runs on: a wait that the
// filter's notification, a clock or a stop request ends, the time, events
// for the system's log, and commands run through the system's shell. The
// host's is in host.h; the tests drive the guard through a fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ctl {

enum class EventType { kInformation, kWarning, kError };

// The guard's events: the one list, which vorlenctl(1) repeats.
struct GuardEvent {
  unsigned id;
  EventType type;
  std::string_view name;
};
inline constexpr GuardEvent kGuardStarted{1, EventType::kInformation, "started"};
inline constexpr GuardEvent kGuardNormal{2, EventType::kInformation, "normal"};
inline constexpr GuardEvent kGuardWarning{3, EventType::kWarning, "warning"};
inline constexpr GuardEvent kGuardCritical{4, EventType::kError, "critical"};
inline constexpr GuardEvent kGuardUnknown{5, EventType::kWarning, "unknown"};
inline constexpr GuardEvent kGuardCommandFailed{6, EventType::kWarning, "command"};
inline constexpr GuardEvent kGuardFilesFailed{7, EventType::kWarning, "history"};
inline constexpr GuardEvent kGuardStopped{8, EventType::kInformation, "stopped"};
inline constexpr GuardEvent kGuardEvents[] = {kGuardStarted, kGuardNormal,        kGuardWarning,     kGuardCritical,
                                              kGuardUnknown, kGuardCommandFailed, kGuardFilesFailed, kGuardStopped};

struct CommandResult {
  enum class End { kExited, kTimedOut, kNotStarted, kStopped };
  End end = End::kExited;
  int status = 0;     // the exit status, when it exited
  std::string error;  // why it could not be started
};

class GuardSystem {
 public:
  enum class Woken { kTimeout, kNotified, kStop };
  virtual ~GuardSystem() = default;
  // The event handed to FbwfCacheThresholdNotification.
  virtual void* NotificationEvent() = 0;
  // Until the notification's event is signalled (and then reset), a stop is
  // requested, or `milliseconds` pass.
  virtual Woken Wait(unsigned milliseconds) = 0;
  virtual std::int64_t Now() = 0;  // seconds since 1970, UTC
  // One event in the system's log: on Windows the Application log, elsewhere
  // a line on standard error.
  virtual void Report(const GuardEvent& event, const std::string& text) = 0;
  // `command` through the system's shell, with `environment` ("NAME=value")
  // added to the guard's own, killed once `timeout_ms` pass or a stop is
  // requested.
  virtual CommandResult Run(const std::string& command, const std::vector<std::string>& environment,
                            unsigned timeout_ms) = 0;
};

}  // namespace ctl
