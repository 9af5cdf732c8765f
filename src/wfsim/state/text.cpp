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

namespace {

// Characters that end a line or reorder what follows on some displays, in
// UTF-8: NEL, the line and paragraph separators, and the bidirectional marks,
// embeddings, overrides and isolates.
constexpr std::string_view kUnsafe[] = {
    "\xC2\x85",     "\xE2\x80\xA8", "\xE2\x80\xA9", "\xD8\x9C",     "\xE2\x80\x8E", "\xE2\x80\x8F",
    "\xE2\x80\xAA", "\xE2\x80\xAB", "\xE2\x80\xAC", "\xE2\x80\xAD", "\xE2\x80\xAE", "\xE2\x81\xA6",
    "\xE2\x81\xA7", "\xE2\x81\xA8", "\xE2\x81\xA9",
};

std::size_t UnsafeLength(std::string_view rest) {
  const auto byte = static_cast<unsigned char>(rest[0]);
  if (byte < 0x20 || byte == 0x7F || byte == '"') return 1;
  for (std::string_view unsafe : kUnsafe) {
    if (rest.starts_with(unsafe)) return unsafe.size();
  }
  return 0;
}

}  // namespace

std::string Printable(std::string_view name) {
  std::string shown;
  char escaped[8];
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t unsafe = UnsafeLength(name.substr(i));
    if (unsafe == 0) {
      shown += name[i++];
      continue;
    }
    for (const std::size_t end = i + unsafe; i < end; ++i) {
      std::snprintf(escaped, sizeof escaped, "<%02X>", static_cast<unsigned char>(name[i]));
      shown += escaped;
    }
  }
  return shown;
}

}  // namespace wfsim
