// Operand conversion: argument bytes into the forms the write filter takes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "commands/operand_types.h"
#include "text/utf8.h"

// An operand longer than the limit, counted in 16-bit units, is refused,
// never cut short: a shortened path would name another file.
template <std::size_t Capacity, std::size_t Limit>
class WideTextBuilder {
 public:
  explicit WideTextBuilder(WideText<Capacity, Limit>& text) : text_(text) {}
  void operator()(WfChar unit) {
    if (count_ < Limit) text_.units[count_] = unit;
    ++count_;
  }
  bool Finish() {
    if (count_ > Limit) return false;
    text_.units[count_] = 0;
    return true;
  }

 private:
  WideText<Capacity, Limit>& text_;
  std::size_t count_ = 0;
};

// From the bytes as typed (see text/utf8.h).
template <std::size_t Capacity, std::size_t Limit>
bool Widen(const char* operand, WideText<Capacity, Limit>& text) {
  WideTextBuilder builder(text);
  text::ForEachOperandUnit(operand, [&](char16_t unit) { builder(static_cast<WfChar>(unit)); });
  return builder.Finish();
}

// From the units the system already holds (Windows' wide command line),
// unchanged.
template <std::size_t Capacity, std::size_t Limit>
bool Widen(const WfChar* operand, WideText<Capacity, Limit>& text) {
  WideTextBuilder builder(text);
  for (const WfChar* p = operand; *p != 0; ++p) builder(*p);
  return builder.Finish();
}

// atoi's reading (leading blanks, optional sign, digits, the rest ignored,
// no number gives 0), except that a value beyond the 32-bit signed range
// saturates to its nearest end instead of wrapping into the valid range.
std::int32_t ParseCacheSize(const char* operand);
