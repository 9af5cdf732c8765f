#include "frontend/operands.h"

#include <limits>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int32_t ParseCacheSize(const char* operand) {
  const char* p = operand;
  while (IsBlank(*p)) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  // Accumulate in 64 bits and stop growing once past the range.
  constexpr std::int64_t kCap = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (magnitude < kCap) magnitude = magnitude * 10 + (*p - '0');
  }
  if (magnitude > kCap) magnitude = kCap;
  if (negative) return static_cast<std::int32_t>(-magnitude);
  return static_cast<std::int32_t>(magnitude == kCap ? kCap - 1 : magnitude);
}
