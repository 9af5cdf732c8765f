#include "vorlenctl/guard_levels.h"

#include <charconv>

namespace ctl {

namespace {

constexpr std::string_view kLevelNames[] = {"normal", "warning", "critical", "unknown"};
constexpr std::uint64_t kMiB = 1u << 20;

struct Unit {
  std::string_view name;
  std::uint64_t bytes;
};
constexpr Unit kUnits[] = {{"GB", 1u << 30}, {"MB", 1u << 20}, {"KB", 1u << 10}, {"B", 1}};

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

std::optional<std::uint64_t> Whole(std::string_view digits) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::optional<LevelMark> ParseSize(std::string_view text) {
  const std::optional<std::uint64_t> bytes = ParseSizeBytes(text);
  if (!bytes || *bytes == 0) return std::nullopt;
  return LevelMark{false, *bytes};
}

}  // namespace

std::optional<std::uint64_t> ParseSizeBytes(std::string_view text) {
  for (const Unit& unit : kUnits) {
    if (!EndsWith(text, unit.name)) continue;
    const std::optional<std::uint64_t> count = Whole(text.substr(0, text.size() - unit.name.size()));
    if (!count || *count > (std::uint64_t{1} << 42) / unit.bytes) return std::nullopt;
    return *count * unit.bytes;
  }
  return std::nullopt;
}

std::string_view NameOf(GuardLevel level) { return kLevelNames[static_cast<int>(level)]; }

std::optional<GuardLevel> GuardLevelNamed(std::string_view name) {
  for (int at = 0; at < 4; ++at) {
    if (kLevelNames[at] == name) return static_cast<GuardLevel>(at);
  }
  return std::nullopt;
}

std::optional<std::uint32_t> ParseHundredths(std::string_view text, std::uint32_t most) {
  const std::size_t point = text.find('.');
  const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if (point != std::string_view::npos && (fraction.empty() || fraction.size() > 2)) return std::nullopt;
  const std::optional<std::uint64_t> whole = Whole(text.substr(0, point));
  const std::optional<std::uint64_t> part = fraction.empty() ? 0 : Whole(fraction);
  if (!whole || !part || *whole > most / 100) return std::nullopt;
  const std::uint64_t value = *whole * 100 + *part * (fraction.size() == 1 ? 10 : 1);
  if (value > most) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<LevelMark> ParseLevel(std::string_view text) {
  if (std::optional<LevelMark> size = ParseSize(text)) return size;
  if (EndsWith(text, "%")) text.remove_suffix(1);
  const std::optional<std::uint32_t> share = ParseHundredths(text, 10000);
  if (!share || *share == 0) return std::nullopt;
  return LevelMark{true, *share};
}

std::string LevelText(const LevelMark& mark) {
  if (!mark.percent) {
    for (const Unit& unit : kUnits) {
      if (mark.value % unit.bytes == 0) return std::to_string(mark.value / unit.bytes).append(unit.name);
    }
  }
  std::string text = std::to_string(mark.value / 100);
  if (mark.value % 100 != 0) {
    text.append(".").append(std::to_string(mark.value % 100 / 10));
    if (mark.value % 10 != 0) text.append(std::to_string(mark.value % 10));
  }
  return text.append("%");
}

std::optional<std::string> LevelsProblem(const GuardLevels& levels) {
  if (levels.warning.percent == levels.critical.percent && levels.warning.value >= levels.critical.value) {
    return "the warning level " + LevelText(levels.warning) + " is not below the critical level " +
           LevelText(levels.critical);
  }
  return std::nullopt;
}

Bounds BoundsFor(const GuardLevels& levels, std::uint64_t threshold) {
  const auto bytes = [threshold](const LevelMark& mark) {
    // Rounded up: the level is the first whole byte at the share, never one below it.
    return mark.percent ? (threshold * mark.value + 9999) / 10000 : mark.value;
  };
  const std::uint64_t critical = bytes(levels.critical);
  const std::uint64_t warning = bytes(levels.warning);
  return {warning < critical ? warning : critical, critical, threshold * levels.hysteresis / 10000};
}

GuardLevel NextLevel(GuardLevel previous, std::uint64_t used, const Bounds& bounds) {
  const std::uint64_t held = used + bounds.hysteresis;  // the use, as a level held sees it
  if (used >= bounds.critical || (previous == GuardLevel::kCritical && held >= bounds.critical)) {
    return GuardLevel::kCritical;
  }
  const bool was_above = previous == GuardLevel::kWarning || previous == GuardLevel::kCritical;
  if (used >= bounds.warning || (was_above && held >= bounds.warning)) return GuardLevel::kWarning;
  return GuardLevel::kNormal;
}

std::optional<std::uint64_t> LevelAbove(GuardLevel level, const Bounds& bounds) {
  if (level == GuardLevel::kCritical) return std::nullopt;
  return level == GuardLevel::kWarning ? bounds.critical : bounds.warning;
}

std::optional<std::uint32_t> NotificationMegabytes(GuardLevel level, std::uint64_t used, std::uint64_t threshold,
                                                   const Bounds& bounds) {
  const std::optional<std::uint64_t> up = LevelAbove(level, bounds);
  if (!up || *up > threshold) return std::nullopt;
  const std::uint64_t next_up = *up;
  const std::uint64_t whole = threshold / kMiB;
  std::uint64_t left = (threshold - next_up + kMiB - 1) / kMiB;
  if (left == 0) left = 1;
  if (left > whole) left = whole;
  // It signals once less than `left` MB are left: within the MB before the level.
  if (left == 0 || used + left * kMiB > threshold) return std::nullopt;
  return static_cast<std::uint32_t>(left);
}

std::uint64_t PercentTenths(std::uint64_t used, std::uint64_t threshold) {
  return threshold == 0 ? 0 : used * 1000 / threshold;
}

std::string PercentText(std::uint64_t used, std::uint64_t threshold) {
  const std::uint64_t tenths = PercentTenths(used, threshold);
  return std::to_string(tenths / 10).append(".").append(std::to_string(tenths % 10));
}

}  // namespace ctl
