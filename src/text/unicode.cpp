#include "text/unicode.h"

#include <algorithm>
#include <iterator>

#include "text/utf8.h"

namespace text {

std::u16string OperandUnits(const char* typed) {
  std::u16string units;
  ForEachOperandUnit(typed, [&](char16_t unit) { units.push_back(unit); });
  return units;
}

namespace {

// Each character of `units`, an unpaired surrogate as `lone` (nullopt then
// when `lone` is 0).
std::optional<std::string> Encode(std::u16string_view units, char32_t lone) {
  std::string out;
  out.reserve(units.size());
  unsigned char bytes[4];
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    const bool lead = c >= 0xD800 && c <= 0xDBFF;
    if (lead && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (lone == 0) return std::nullopt;
      c = lone;
    }
    out.append(reinterpret_cast<const char*>(bytes), EncodeUtf8(c, bytes));
  }
  return out;
}

}  // namespace

std::optional<std::string> ToUtf8(std::u16string_view units) { return Encode(units, 0); }

std::string ToUtf8Shown(std::u16string_view units) { return *Encode(units, 0xFFFD); }

std::optional<std::u16string> FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t length = 1;
    const char32_t c = DecodeUtf8(bytes + i, utf8.size() - i, length);
    if (c == kNotUtf8) return std::nullopt;
    PutUtf16(c, [&](char16_t unit) { out.push_back(unit); });
    i += length;
  }
  return out;
}

namespace {

struct UpperCase {
  char16_t unit;
  char16_t upper;
};

constexpr UpperCase kUpperCase[] = {
#include "text/case_table.inc"
};

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }

}  // namespace

char16_t FoldCase(char16_t unit) {
  if (unit < 0x80) return static_cast<char16_t>(AsciiUpper(static_cast<char>(unit)));
  const auto found = std::lower_bound(std::begin(kUpperCase), std::end(kUpperCase), unit,
                                      [](const UpperCase& entry, char16_t wanted) { return entry.unit < wanted; });
  return found != std::end(kUpperCase) && found->unit == unit ? found->upper : unit;
}

std::u16string FoldCase(std::u16string_view units) {
  std::u16string out(units);
  for (char16_t& unit : out) unit = FoldCase(unit);
  return out;
}

bool SameAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

std::string FoldCaseUtf8(std::string_view utf8) {
  if (const std::optional<std::u16string> units = FromUtf8(utf8)) {
    if (std::optional<std::string> folded = ToUtf8(FoldCase(*units))) return *folded;
  }
  // Not UTF-8: only its ASCII letters are known for what they are.
  std::string out(utf8);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

bool EqualFolded(std::string_view utf8, std::string_view folded) {
  // Most names are ASCII, which folds byte for byte; the rest may change
  // length when folded (dotless i, long s), so it is compared folded whole.
  std::size_t i = 0;
  while (i < utf8.size() && i < folded.size() && static_cast<unsigned char>(utf8[i]) < 0x80 &&
         static_cast<unsigned char>(folded[i]) < 0x80) {
    if (AsciiUpper(utf8[i]) != folded[i]) return false;
    ++i;
  }
  if (i == utf8.size() || i == folded.size()) return i == utf8.size() && i == folded.size();
  return FoldCaseUtf8(utf8.substr(i)) == folded.substr(i);
}

}  // namespace text
