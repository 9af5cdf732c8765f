#include "wfsim/state/text.h"

#include <cstdio>

namespace wfsim {

std::optional<std::u16string> ReadLibraryText(const WfChar* text, std::size_t limit) {
  std::u16string units;
  for (std::size_t i = 0; i < limit; ++i) {
    if (text[i] == 0) return units;
    units.push_back(static_cast<char16_t>(text[i]));
  }
  return std::nullopt;
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
