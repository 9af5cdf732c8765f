#include "vorlenctl/plugin_range.h"

#include <algorithm>

#include "vorlenctl/guard_levels.h"

namespace ctl {

namespace {

constexpr std::uint32_t kMostHundredths = 100000000;  // 1,000,000%
constexpr std::uint64_t kMebibyte = 1u << 20;

// "85", "-5", "80.5", "80.25%": hundredths of a percent; or a size.
std::optional<RangeEnd> ParseEnd(std::string_view text) {
  if (const std::optional<std::uint64_t> bytes = ParseSizeBytes(text)) {
    return RangeEnd{false, static_cast<std::int64_t>(*bytes)};
  }
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  if (text.ends_with('%')) text.remove_suffix(1);
  const std::optional<std::uint32_t> hundredths = ParseHundredths(text, kMostHundredths);
  if (!hundredths) return std::nullopt;
  return RangeEnd{true, negative ? -std::int64_t{*hundredths} : std::int64_t{*hundredths}};
}

// An end in ten-thousandths of a byte, so that a share and a size compare
// exactly with a use.
std::int64_t Scaled(const RangeEnd& end, std::uint64_t threshold) {
  return end.percent ? static_cast<std::int64_t>(threshold) * end.value : end.value * 10000;
}

std::int64_t ScaledUse(std::uint64_t used) { return static_cast<std::int64_t>(used) * 10000; }

std::string Signed(std::int64_t value, const std::string& magnitude) { return (value < 0 ? "-" : "") + magnitude; }

std::uint64_t Magnitude(std::int64_t value) {
  return value < 0 ? static_cast<std::uint64_t>(-value) : static_cast<std::uint64_t>(value);
}

std::string EndPerfdata(const RangeEnd& end, std::uint64_t threshold, bool in_percent) {
  const std::uint64_t magnitude = Magnitude(end.value);
  if (end.percent && in_percent) return Signed(end.value, ShortDecimal(magnitude, 100, 2));
  if (end.percent) return Signed(end.value, ShortDecimal(threshold * magnitude, 10000, 4));
  if (!in_percent) return std::to_string(end.value);
  return threshold == 0 ? "0" : ShortDecimal(magnitude * 100, threshold, 6);
}

// Which of two decimals without a sign is the larger: -1, 0 or 1.
int CompareDecimals(std::string_view a, std::string_view b) {
  const std::string_view a_whole = a.substr(0, a.find('.')), b_whole = b.substr(0, b.find('.'));
  if (a_whole.size() != b_whole.size()) return a_whole.size() < b_whole.size() ? -1 : 1;
  if (a_whole != b_whole) return a_whole < b_whole ? -1 : 1;
  std::string a_part(a.substr(a_whole.size() + (a.size() > a_whole.size()))),
      b_part(b.substr(b_whole.size() + (b.size() > b_whole.size())));
  a_part.resize(std::max(a_part.size(), b_part.size()), '0');
  b_part.resize(a_part.size(), '0');
  return a_part < b_part ? -1 : a_part > b_part ? 1 : 0;
}

// Where the shown use lies against an end, as a reader compares them: -1, 0, 1.
int ShownAgainst(const ShownUse& shown, const RangeEnd& end) {
  if (end.value < 0) return 1;
  const std::uint64_t magnitude = Magnitude(end.value);
  return end.percent ? CompareDecimals(shown.percent, CutDecimal(magnitude, 100, 2))
                     : CompareDecimals(shown.mebibytes, CutDecimal(magnitude, kMebibyte, 20));
}

bool ShownAlerts(const PluginRange& range, const ShownUse& shown) {
  const bool outside = (range.start && ShownAgainst(shown, *range.start) < 0) ||
                       (range.end && ShownAgainst(shown, *range.end) > 0);
  return range.inside ? !outside : outside;
}

}  // namespace

std::optional<PluginRange> ParseRange(std::string_view text) {
  PluginRange range;
  range.inside = text.starts_with('@');
  if (range.inside) text.remove_prefix(1);
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    range.start = RangeEnd{true, 0};
    range.end = ParseEnd(text);
    if (!range.end) return std::nullopt;
    return range;
  }
  const std::string_view left = text.substr(0, colon), right = text.substr(colon + 1);
  if (left != "~" && !(range.start = ParseEnd(left))) return std::nullopt;
  if (!right.empty() && !(range.end = ParseEnd(right))) return std::nullopt;
  if (range.start && range.end && range.start->percent == range.end->percent && range.start->value > range.end->value) {
    return std::nullopt;
  }
  return range;
}

bool Alerts(const PluginRange& range, std::uint64_t used, std::uint64_t threshold) {
  const std::int64_t use = ScaledUse(used);
  const bool outside = (range.start && use < Scaled(*range.start, threshold)) ||
                       (range.end && use > Scaled(*range.end, threshold));
  return range.inside ? !outside : outside;
}

std::string RangePerfdata(const PluginRange& range, std::uint64_t threshold, bool in_percent) {
  std::string text = range.inside ? "@" : "";
  if (!range.start) {
    text += "~:";
  } else if (range.start->value != 0 || !range.end) {
    text += EndPerfdata(*range.start, threshold, in_percent) + ":";
  }
  if (range.end) text += EndPerfdata(*range.end, threshold, in_percent);
  return text;
}

ShownUse ShowUse(std::uint64_t used, std::uint64_t threshold, const std::vector<PluginRange>& ranges) {
  constexpr unsigned kMostDigits = 20;  // a size's end in MiB has at most 20
  ShownUse shown;
  for (unsigned digits = 1; digits <= kMostDigits; ++digits) {
    shown = {threshold == 0 ? CutDecimal(0, 1, digits) : CutDecimal(used * 100, threshold, digits),
             CutDecimal(used, kMebibyte, digits)};
    bool agrees = true;
    for (const PluginRange& range : ranges) agrees = agrees && ShownAlerts(range, shown) == Alerts(range, used, threshold);
    if (agrees) break;
  }
  return shown;
}

std::string CutDecimal(std::uint64_t numerator, std::uint64_t denominator, unsigned digits) {
  std::string text = std::to_string(numerator / denominator);
  std::uint64_t rest = numerator % denominator;
  if (digits > 0) text += '.';
  for (unsigned i = 0; i < digits; ++i) {
    rest *= 10;
    text += static_cast<char>('0' + rest / denominator);
    rest %= denominator;
  }
  return text;
}

std::string ShortDecimal(std::uint64_t numerator, std::uint64_t denominator, unsigned most_digits) {
  std::string text = CutDecimal(numerator, denominator, most_digits);
  if (text.find('.') == std::string::npos) return text;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace ctl
