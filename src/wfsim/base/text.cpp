#include "wfsim/base/text.h"

#include <cstdio>

#include "text/utf8.h"

namespace wfsim {

std::optional<std::u16string> ReadLibraryText(const WfChar* text, std::size_t limit) {
  std::u16string units;
  for (std::size_t i = 0; i < limit; ++i) {
    if (text[i] == 0) return units;
    units.push_back(static_cast<char16_t>(text[i]));
  }
  return std::nullopt;
}

bool IsUnsafeInALine(char32_t c) {
  return c < 0x20 || c == 0x7F || c == '"' || c == 0x85 || c == 0x2028 || c == 0x2029 || c == 0x061C ||
         c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string Printable(std::string_view name) {
  std::string shown;
  char escaped[8];
  const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
  for (std::size_t i = 0; i < name.size();) {
    std::size_t length = 1;
    const char32_t c = text::DecodeUtf8(bytes + i, name.size() - i, length);
    if (!IsUnsafeInALine(c == text::kNotUtf8 ? bytes[i] : c)) {
      shown.append(name.substr(i, length));
      i += length;
      continue;
    }
    for (const std::size_t end = i + length; i < end; ++i) {
      std::snprintf(escaped, sizeof escaped, "<%02X>", bytes[i]);
      shown += escaped;
    }
  }
  return shown;
}

}  // namespace wfsim
