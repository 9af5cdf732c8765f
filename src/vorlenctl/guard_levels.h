// The overlay guard's levels: what an administrator writes for them, where
// each lies in bytes for a threshold, and which level a use is at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ctl {

enum class GuardLevel { kNormal, kWarning, kCritical, kUnknown };

std::string_view NameOf(GuardLevel level);  // "normal", "warning", ...
std::optional<GuardLevel> GuardLevelNamed(std::string_view name);

// A share of the current threshold, in hundredths of a percent, or a size in
// bytes.
struct LevelMark {
  bool percent = true;
  std::uint64_t value = 0;
};
// "85%", "85" and "85.5%" are shares (above 0, at most 100); "48MB", "512KB",
// "1GB" and "4096B" sizes, the units binary. nullopt for anything else.
std::optional<LevelMark> ParseLevel(std::string_view text);
// "85%" or "48MB", as ParseLevel reads it back.
std::string LevelText(const LevelMark& mark);
// "48MB", "512KB", "1GB", "4096B" in bytes (binary units, at most 4 TiB).
std::optional<std::uint64_t> ParseSizeBytes(std::string_view text);
// A count of hundredths from "5" or "2.5", at most `most`.
std::optional<std::uint32_t> ParseHundredths(std::string_view text, std::uint32_t most);

struct GuardLevels {
  LevelMark warning{true, 8000};
  LevelMark critical{true, 9000};
  std::uint32_t hysteresis = 500;  // hundredths of a point of the threshold
};
// Why the levels can't be used, or nullopt. Of a share and a size, neither
// is known to lie below the other until the threshold is read.
std::optional<std::string> LevelsProblem(const GuardLevels& levels);

// The levels in bytes of one threshold. A warning at or past the critical
// level (a share and a size that cross) is the critical level.
struct Bounds {
  std::uint64_t warning;
  std::uint64_t critical;
  std::uint64_t hysteresis;
};
Bounds BoundsFor(const GuardLevels& levels, std::uint64_t threshold);

// The level a use is at, coming from `previous`: a level is reached at its
// bytes and left only once the use is a hysteresis below them. From unknown,
// as from normal.
GuardLevel NextLevel(GuardLevel previous, std::uint64_t used, const Bounds& bounds);

// The bytes of the level above `level`, or nullopt at critical.
std::optional<std::uint64_t> LevelAbove(GuardLevel level, const Bounds& bounds);

// What FbwfCacheThresholdNotification is to be given (what the overlay has
// left, in whole MB) so that it signals once the next level up is reached:
// rounded up, so it signals within a MB before it, never after. nullopt when
// there is no level above, or the use is already within that MB (a
// registration would signal at once): then only a reading tells.
std::optional<std::uint32_t> NotificationMegabytes(GuardLevel level, std::uint64_t used, std::uint64_t threshold,
                                                   const Bounds& bounds);

// The use in percent with one decimal, cut rather than rounded, so that a
// level of whole percents is never shown reached before it is: "85.2".
std::string PercentText(std::uint64_t used, std::uint64_t threshold);
std::uint64_t PercentTenths(std::uint64_t used, std::uint64_t threshold);

}  // namespace ctl
