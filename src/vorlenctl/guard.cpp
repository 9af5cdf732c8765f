#include "vorlenctl/guard.h"

#include <optional>
#include <vector>

#include "vorlenctl/command.h"
#include "vorlenctl/guard_record.h"
#include "vorlenctl/host.h"
#include "vorlenctl/metrics.h"
#include "vorlenctl/plugin_range.h"
#include "wfapi/codes.h"

namespace ctl {

namespace {

constexpr const char* kEmptied = "the overlay was emptied while the guard was stopped";

struct Observation {
  std::optional<Figures> figures;  // while the filter is on and they read
  std::string problem;             // why they are not there
};

Observation Observe(FilterLibrary& library) {
  Overlay overlay;
  if (const auto failure = ReadOverlay(library, overlay)) return {std::nullopt, FailureText(*failure)};
  if (!overlay.filter_now) return {std::nullopt, "the filter is off in this session"};
  return {Figures{UsedBytes(overlay.memory), overlay.memory.currentCacheThreshold}, ""};
}

const GuardEvent& EventOf(GuardLevel level) {
  static constexpr const GuardEvent* kByLevel[] = {&kGuardNormal, &kGuardWarning, &kGuardCritical, &kGuardUnknown};
  return *kByLevel[static_cast<int>(level)];
}

std::string CrossingText(const Crossing& crossing) {
  std::string text;
  if (crossing.figures) {
    const Figures& f = *crossing.figures;
    text = "the overlay is at " + std::string(NameOf(crossing.to)) + ": " + PercentText(f.used, f.threshold) + "% used (";
    text.append(std::to_string(f.used)).append(" of ").append(std::to_string(f.threshold)).append(" bytes)");
  } else {
    text = "the overlay can't be read";
  }
  text.append(", from ").append(NameOf(crossing.from));
  if (!crossing.reason.empty()) text.append(": ").append(crossing.reason);
  return text;
}

std::string CommandProblem(const std::string& level, const CommandResult& result, unsigned timeout_ms) {
  const std::string which = "the " + level + " command ";
  switch (result.end) {
    case CommandResult::End::kExited:
      return result.status == 0 ? "" : which + "exited with " + std::to_string(result.status);
    case CommandResult::End::kTimedOut:
      return which + "ran past " + ShortDecimal(timeout_ms, 1000, 3) + " s and was stopped";
    case CommandResult::End::kNotStarted: return which + "can't be started: " + result.error;
    case CommandResult::End::kStopped: return which + "was stopped with the guard";
  }
  return "";
}

class Watch {
 public:
  Watch(FilterLibrary& library, GuardSystem& system, const GuardOptions& options)
      : library_(library), system_(system), options_(options) {}

  void Start() {
    if (std::optional<GuardState> saved = ReadGuardState(options_.history)) {
      state_ = *saved;
      restored_ = true;
    }
    library_.FbwfInitializeNotifications();
    const GuardLevels& l = options_.levels;
    system_.Report(kGuardStarted, "started: warning at " + LevelText(l.warning) + ", critical at " +
                                      LevelText(l.critical) + ", read every " +
                                      ShortDecimal(options_.interval_ms, 1000, 3) + " s; history " + options_.history);
    Look();
  }

  // One reading, after a wait the notification (`notified`) or the clock ended.
  void Round(bool notified) {
    if (notified) registration_.active = false;  // a registration signals once
    Look();
  }

  unsigned WaitMs() const {
    return near_ && options_.interval_ms > kNearIntervalMs ? kNearIntervalMs : options_.interval_ms;
  }
  bool stopping() const { return stopping_; }

  void Stop() {
    library_.FbwfUninitializeNotifications();
    system_.Report(kGuardStopped, "stopped at " + std::string(NameOf(state_.level)));
  }

 private:
  void Look() {
    const Observation seen = Observe(library_);
    near_ = false;
    if (!seen.figures) {
      if (state_.level != GuardLevel::kUnknown) Cross(GuardLevel::kUnknown, seen, seen.problem, false);
      return WriteMetrics();
    }
    const Figures& now = *seen.figures;
    const Bounds bounds = BoundsFor(options_.levels, now.threshold);
    const GuardLevel known = state_.level == GuardLevel::kUnknown ? state_.last_known : state_.level;
    const GuardLevel to = NextLevel(known, now.used, bounds);
    const bool emptied = restored_ && to == GuardLevel::kNormal && state_.last_known != GuardLevel::kNormal &&
                         now.used < state_.figures.used;
    restored_ = false;
    if (to != state_.level) Cross(to, seen, emptied ? kEmptied : "", to != state_.last_known && !emptied);
    if (!stopping_) Register(now, bounds);
    WriteMetrics();
  }

  void Cross(GuardLevel to, const Observation& seen, const std::string& reason, bool act) {
    Crossing crossing{system_.Now(), state_.level, to, seen.figures, reason, std::nullopt};
    system_.Report(EventOf(to), CrossingText(crossing));
    state_.level = to;
    if (to != GuardLevel::kUnknown) state_.last_known = to;
    state_.since = crossing.time;
    if (seen.figures) state_.figures = *seen.figures;
    // Kept before the command runs: a guard that dies meanwhile does not run it again.
    Kept(host::Replace(StatePath(options_.history), StateText(state_)));
    if (act) crossing.command = Act(crossing);
    AppendHistory(HistoryLine(crossing));
  }

  std::optional<CommandResult> Act(const Crossing& crossing) {
    const std::string* const commands[] = {&options_.on_normal, &options_.on_warning, &options_.on_critical};
    const std::string& command = *commands[static_cast<int>(crossing.to)];
    if (command.empty() || !crossing.figures) return std::nullopt;
    const Figures& f = *crossing.figures;
    std::string overlay;
    if (OverlayJson(library_, 10, overlay)) overlay.clear();
    Kept(host::Replace(OverlayPath(options_.history), overlay));
    const std::vector<std::string> environment = {
        "VORLEN_LEVEL=" + std::string(NameOf(crossing.to)),
        "VORLEN_PREVIOUS_LEVEL=" + std::string(NameOf(crossing.from)),
        "VORLEN_USED_BYTES=" + std::to_string(f.used),
        "VORLEN_THRESHOLD_BYTES=" + std::to_string(f.threshold),
        "VORLEN_PERCENT=" + PercentText(f.used, f.threshold),
        "VORLEN_OVERLAY_JSON=" + OverlayPath(options_.history)};
    const CommandResult result = system_.Run(command, environment, options_.command_timeout_ms);
    if (result.end == CommandResult::End::kStopped) stopping_ = true;
    const std::string problem = CommandProblem(std::string(NameOf(crossing.to)), result, options_.command_timeout_ms);
    if (!problem.empty()) system_.Report(kGuardCommandFailed, problem);
    return result;
  }

  void Register(const Figures& now, const Bounds& bounds) {
    const std::optional<std::uint32_t> wanted = NotificationMegabytes(state_.level, now.used, now.threshold, bounds);
    const std::optional<std::uint64_t> up = LevelAbove(state_.level, bounds);
    near_ = !wanted && up && *up <= now.threshold;
    if (!wanted) return;
    if (registration_.active && registration_.megabytes == *wanted && registration_.threshold == now.threshold) return;
    if (registration_.active) library_.FbwfUninitializeNotifications();  // the one that waits no longer serves
    const WfStatus code = library_.FbwfCacheThresholdNotification(*wanted, system_.NotificationEvent());
    registration_ = {code == kWfOk, *wanted, now.threshold};
  }

  void AppendHistory(const std::string& line) {
    const host::PathFacts facts = host::Inspect(options_.history);
    if (facts.kind == host::PathKind::kFile && facts.size + line.size() > kHistoryRotateBytes) {
      host::RenameOver(options_.history, PreviousPath(options_.history));
    }
    Kept(host::Append(options_.history, line));
  }

  // Said once, until the files can be written again.
  void Kept(bool written) {
    if (!written && !files_failing_) {
      system_.Report(kGuardFilesFailed, "the history " + options_.history + " or a file beside it can't be written; "
                                        "the guard goes on without it");
    }
    files_failing_ = !written;
  }

  // Rewritten at each reading, the device's whole state with the guard's.
  void WriteMetrics() {
    if (options_.textfile.empty()) return;
    Reading reading;
    const bool answered = !ReadDevice(library_, reading);
    host::Replace(options_.textfile + "/" + kMetricsFile,
                  MetricsText(answered ? &reading : nullptr, &state_, options_.history));
  }

  struct Registration {
    bool active = false;
    std::uint32_t megabytes = 0;
    std::uint64_t threshold = 0;
  };

  FilterLibrary& library_;
  GuardSystem& system_;
  const GuardOptions& options_;
  GuardState state_;
  bool restored_ = false;  // state_ was read at start and no reading has confirmed it
  Registration registration_;
  bool near_ = false;
  bool stopping_ = false;
  bool files_failing_ = false;
};

}  // namespace

void RunGuard(FilterLibrary& library, GuardSystem& system, const GuardOptions& options) {
  Watch guard(library, system, options);
  guard.Start();
  while (!guard.stopping()) {
    const GuardSystem::Woken woken = system.Wait(guard.WaitMs());
    if (woken == GuardSystem::Woken::kStop) break;
    guard.Round(woken == GuardSystem::Woken::kNotified);
  }
  guard.Stop();
}

}  // namespace ctl
