// What the guard keeps: a history of crossings, a JSON line each, and its
// state beside it (the level, and when it was reached), which a restarted
// guard and `get` and `check` read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "json/writer.h"
#include "vorlenctl/guard_levels.h"
#include "vorlenctl/guard_system.h"

namespace ctl {

inline constexpr std::uint64_t kHistoryRotateBytes = 1u << 20;  // then FILE.1, replacing the one before

// The files beside the history.
std::string StatePath(const std::string& history);     // FILE.state
std::string OverlayPath(const std::string& history);   // FILE.overlay.json, for a command
std::string PreviousPath(const std::string& history);  // FILE.1

struct Figures {
  std::uint64_t used = 0;
  std::uint64_t threshold = 0;
};

struct Crossing {
  std::int64_t time = 0;
  GuardLevel from = GuardLevel::kNormal;
  GuardLevel to = GuardLevel::kNormal;
  std::optional<Figures> figures;  // none when they could not be read
  std::string reason;              // why unknown, or why no command ran
  std::optional<CommandResult> command;
};
std::string HistoryLine(const Crossing& crossing);  // with its line break

struct GuardState {
  GuardLevel level = GuardLevel::kNormal;
  GuardLevel last_known = GuardLevel::kNormal;  // the level before an unknown
  std::int64_t since = 0;                       // the last crossing
  Figures figures;                              // as they were then
};
std::string StateText(const GuardState& state);
std::optional<GuardState> ParseGuardState(std::string_view text);
// The guard's state from the file beside `history`, if one is there.
std::optional<GuardState> ReadGuardState(const std::string& history);
// The `guard` object of `vorlenctl get`.
void WriteGuardState(json::JsonWriter& out, const GuardState& state);

// "2026-12-10T03:04:05Z"
std::string Iso8601(std::int64_t seconds);

}  // namespace ctl
