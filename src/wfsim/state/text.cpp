#include "wfsim/state/text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "frontend/operand_text.h"

namespace wfsim {

std::optional<std::u16string> ReadLibraryText(const WfChar* text, std::size_t limit) {
  std::u16string units;
  for (std::size_t i = 0; i < limit; ++i) {
    if (text[i] == 0) return units;
    units.push_back(static_cast<char16_t>(text[i]));
  }
  return std::nullopt;
}

std::u16string OperandUnits(const char* typed) {
  std::u16string units;
  ForEachOperandUnit(typed, [&](char16_t unit) { units.push_back(unit); });
  return units;
}

std::optional<std::string> ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return std::nullopt;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::optional<std::u16string> FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || lead >= 0xF5 || i + length > text.size()) return std::nullopt;
    char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
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
#include "wfsim/state/case_table.inc"
};

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }

}  // namespace

char16_t FoldCase(char16_t unit) {
  if (unit < 0x80) return static_cast<char16_t>(AsciiUpper(static_cast<char>(unit)));
  const auto found = std::lower_bound(std::begin(kUpperCase), std::end(kUpperCase), unit,
                                      [](const UpperCase& entry, char16_t wanted) { return entry.unit < wanted; });
  return found != std::end(kUpperCase) && found->unit == unit ? found->upper : unit;
}

std::u16string FoldCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& unit : out) unit = FoldCase(unit);
  return out;
}

std::string FoldCaseUtf8(std::string_view text) {
  if (const std::optional<std::u16string> units = FromUtf8(text)) {
    if (std::optional<std::string> folded = ToUtf8(FoldCase(*units))) return *folded;
  }
  // Not UTF-8: only its ASCII letters are known for what they are.
  std::string out(text);
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

std::string Printable(std::string_view name) {
  std::string shown;
  char escaped[8];
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escaped, sizeof escaped, "<%02X>", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace wfsim
