// Thresholds as the monitoring plugins' guidelines write them, on the
// overlay's use: "80" (alert above 80% of the threshold), "10:" (below
// 10%), "~:90", "10:20" (outside), "@80:90" (inside), each end a share in
// percent or a size ("48MB", "512KB", "1GB", "4096B"); and the figures a
// check shows, with as many digits as its status needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ctl {

// A share of the threshold in hundredths of a percent, or a size in bytes.
struct RangeEnd {
  bool percent = true;
  std::int64_t value = 0;
};

struct PluginRange {
  std::optional<RangeEnd> start;  // nullopt: "~", no lower end
  std::optional<RangeEnd> end;    // nullopt: no upper end
  bool inside = false;            // "@": alert inside the range
};

std::optional<PluginRange> ParseRange(std::string_view text);

// Whether a use of `used` bytes of `threshold` raises the range's alert.
bool Alerts(const PluginRange& range, std::uint64_t used, std::uint64_t threshold);

// The range for performance data, its ends in bytes (`in_percent` false) or
// in percent of `threshold`: "53687091.2", "@40:45", "~:10", "10:".
std::string RangePerfdata(const PluginRange& range, std::uint64_t threshold, bool in_percent);

// What a check line shows of a use: percent and MiB cut (never rounded up)
// to the same number of decimals, at least one, and more where fewer would
// make a reader find a range's alert other than it is.
struct ShownUse {
  std::string percent;  // "80.0000012"
  std::string mebibytes;
};
ShownUse ShowUse(std::uint64_t used, std::uint64_t threshold, const std::vector<PluginRange>& ranges);

// numerator / denominator in decimals, cut after `digits` ("" for 0 digits
// gives the whole number alone).
std::string CutDecimal(std::uint64_t numerator, std::uint64_t denominator, unsigned digits);
// The same with trailing zeros and a bare point left off.
std::string ShortDecimal(std::uint64_t numerator, std::uint64_t denominator, unsigned most_digits);

}  // namespace ctl
