// Operand conversion: argument bytes into the forms the write filter takes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "wfapi/wfapi.h"

// A zero-terminated wide text in a fixed buffer. Capacity is the buffer's
// size; Limit the longest operand that converts whole with its terminator.
template <std::size_t Capacity, std::size_t Limit>
struct WideText {
  static_assert(Limit < Capacity);
  static constexpr std::size_t kLimit = Limit;
  std::array<WfChar, Capacity> units{};

  const WfChar* c_str() const { return units.data(); }
};

using VolumeText = WideText<20, 10>;
using PathText = WideText<128, 127>;

// Each byte becomes one 16-bit unit of the same value (0x80 to 0xFF
// included). An operand longer than the limit is refused, never cut short:
// a shortened path would name another file.
template <std::size_t Capacity, std::size_t Limit>
bool Widen(const char* operand, WideText<Capacity, Limit>& text) {
  std::size_t i = 0;
  for (; operand[i] != '\0'; ++i) {
    if (i == Limit) return false;
    text.units[i] = static_cast<WfChar>(static_cast<unsigned char>(operand[i]));
  }
  text.units[i] = 0;
  return true;
}

// atoi's reading (leading blanks, optional sign, digits, the rest ignored,
// no number gives 0), except that a value beyond the 32-bit signed range
// saturates to its nearest end instead of wrapping into the valid range.
std::int32_t ParseCacheSize(const char* operand);
