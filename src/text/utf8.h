// UTF-8 and UTF-16, with one decoder for every program of the project.
// Operands are decoded leniently, as vorlen and fbwfsim take them, so that
// one typed name reaches one file from both: a byte that is not part of valid
// UTF-8 stands for itself, one unit of the same value, and no typed byte is
// lost or merged with its neighbours. Stored names are decoded strictly.
#pragma once

#include <cstddef>

namespace text {

inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// The character that starts at `p`, and its length in bytes; kNotUtf8 with
// length 1 where no valid UTF-8 starts. At most `available` bytes are read,
// and none past the first that does not continue the character, so a
// zero-terminated text may pass any `available`.
inline char32_t DecodeUtf8(const unsigned char* p, std::size_t available, std::size_t& length) {
  const unsigned char lead = p[0];
  length = 1;
  if (lead < 0x80) return lead;
  const std::size_t n = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 1;
  if (n == 1 || n > available) return kNotUtf8;
  char32_t c = lead & (0x7Fu >> n);
  for (std::size_t k = 1; k < n; ++k) {
    if ((p[k] & 0xC0) != 0x80) return kNotUtf8;  // a terminator stops here too
    c = (c << 6) | (p[k] & 0x3Fu);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kNotUtf8;
  length = n;
  return c;
}

// The one encoder: writes the one to four bytes of `c` (a scalar value) into
// `out`, which has room for four, and returns how many. Allocates nothing.
inline std::size_t EncodeUtf8(char32_t c, unsigned char* out) {
  if (c < 0x80) {
    out[0] = static_cast<unsigned char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  return 4;
}

// Hands `put` the one or two UTF-16 units of `c`.
template <typename Put>
void PutUtf16(char32_t c, Put&& put) {
  if (c < 0x10000) {
    put(static_cast<char16_t>(c));
    return;
  }
  c -= 0x10000;
  put(static_cast<char16_t>(0xD800 + (c >> 10)));
  put(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

// The character of an operand that starts at `p` (zero-terminated), and its
// length in bytes: a byte that starts no valid UTF-8 is its own value.
inline char32_t NextOperandCharacter(const unsigned char* p, std::size_t& length) {
  const char32_t c = DecodeUtf8(p, 4, length);
  return c == kNotUtf8 ? p[0] : c;
}

// Calls `put` with each UTF-16 unit of a zero-terminated operand.
template <typename Put>
void ForEachOperandUnit(const char* operand, Put&& put) {
  const auto* p = reinterpret_cast<const unsigned char*>(operand);
  while (*p != 0) {
    std::size_t length = 1;
    PutUtf16(NextOperandCharacter(p, length), put);
    p += length;
  }
}

}  // namespace text
