#include "wfsim/library/call_line.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>

#include "text/utf8.h"
#include "wfsim/base/text.h"
#include "wfsim/state/os.h"

namespace wfsim {

namespace {

// A library text's length in units, or none: no terminator in reach, or an
// unpaired surrogate, which no UTF-8 can show.
constexpr std::size_t kNotAText = static_cast<std::size_t>(-1);
std::size_t TextUnits(const WfChar* text) {
  for (std::size_t i = 0; i < 32768; ++i) {
    const auto unit = static_cast<char16_t>(text[i]);
    if (unit == 0) return i;
    const bool lead = unit >= 0xD800 && unit <= 0xDBFF, trail = unit >= 0xDC00 && unit <= 0xDFFF;
    const auto next = i + 1 < 32768 ? static_cast<char16_t>(text[i + 1]) : char16_t{0};
    if (trail || (lead && (next < 0xDC00 || next > 0xDFFF))) return kNotAText;
    if (lead) ++i;
  }
  return kNotAText;
}

// The UTF-8 of `c`, each byte as <XX> where the character could break the line.
std::size_t Encode(char32_t c, char* out) {
  unsigned char bytes[4];
  const std::size_t n = text::EncodeUtf8(c, bytes);
  if (!IsUnsafeInALine(c)) {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(bytes[i]);
    return n;
  }
  std::size_t size = 0;
  for (std::size_t i = 0; i < n; ++i) size += static_cast<std::size_t>(std::snprintf(out + size, 5, "<%02X>", bytes[i]));
  return size;
}

}  // namespace

CallLine::CallLine(WfFunction function, const CallArgument* arguments, std::size_t count, WfStatus code) {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date(day);
  const hh_mm_ss<milliseconds> time(now - day);
  // Digits by hand: formatting with snprintf cost more than the rest of a
  // quick call's line.
  char stamp[64];
  char* at = stamp;
  const auto digits = [&at](unsigned long value, int width) {
    char reversed[24];
    int n = 0;
    do {
      reversed[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0 || n < width);
    while (n > 0) *at++ = reversed[--n];
  };
  const auto put = [&at](char c) { *at++ = c; };
  digits(static_cast<unsigned long>(static_cast<int>(date.year())), 4), put('-');
  digits(static_cast<unsigned>(date.month()), 2), put('-');
  digits(static_cast<unsigned>(date.day()), 2), put('T');
  digits(static_cast<unsigned long>(time.hours().count()), 2), put(':');
  digits(static_cast<unsigned long>(time.minutes().count()), 2), put(':');
  digits(static_cast<unsigned long>(time.seconds().count()), 2), put('.');
  digits(static_cast<unsigned long>(time.subseconds().count()), 3), put('Z'), put(' ');
  digits(ProcessId(), 1), put(' ');
  Put(std::string_view(stamp, static_cast<std::size_t>(at - stamp)));
  Put(NameOf(function));
  Put("(");
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) Put(", ");
    const CallArgument& argument = arguments[i];
    if (argument.kind == CallArgument::Kind::kText) {
      PutText(argument.text);
    } else if (argument.kind == CallArgument::Kind::kNumber) {
      char number[24];
      Put(std::string_view(number, static_cast<std::size_t>(
                                       std::to_chars(number, number + sizeof number, argument.number).ptr - number)));
    } else {
      Put(argument.word);
    }
  }
  char end[24] = ") = ";
  *std::to_chars(end + 4, end + sizeof end - 2, code).ptr = '\n';
  // The line's end always fits: texts are cut well before the capacity.
  size_ = std::min(size_, kCapacity - std::char_traits<char>::length(end));
  Put(end);
}

void CallLine::Put(std::string_view bytes) {
  const std::size_t room = kCapacity - size_;
  const std::size_t taken = bytes.size() < room ? bytes.size() : room;
  std::char_traits<char>::copy(text_ + size_, bytes.data(), taken);
  size_ += taken;
}

void CallLine::PutText(const WfChar* text) {
  if (text == nullptr) return Put("null");
  const std::size_t units = TextUnits(text);
  if (units == kNotAText) return Put("(not a text)");
  Put("\"");
  std::size_t shown = 0;
  for (std::size_t i = 0; i < units; ++i) {
    char32_t c = static_cast<char16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF) c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(text[++i]) - 0xDC00);
    char encoded[24];
    const std::size_t size = Encode(c, encoded);
    if (shown + size > kTextBytes) {
      char length[48];
      std::snprintf(length, sizeof length, "\"... (%lu units)", static_cast<unsigned long>(units));
      return Put(length);
    }
    Put(std::string_view(encoded, size));
    shown += size;
  }
  Put("\"");
}

}  // namespace wfsim
