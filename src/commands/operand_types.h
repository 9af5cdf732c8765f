// The forms the handlers take their operands in; the front end makes them.
#pragma once

#include <array>
#include <cstddef>

#include "wfapi/wfapi.h"

// A zero-terminated wide text in a fixed buffer. Capacity is the buffer's
// size; Limit the longest operand that converts whole with its terminator.
template <std::size_t Capacity, std::size_t Limit>
struct WideText {
  static_assert(Limit < Capacity);
  std::array<WfChar, Capacity> units{};

  const WfChar* c_str() const { return units.data(); }
};

using VolumeText = WideText<20, 10>;
using PathText = WideText<128, 127>;
