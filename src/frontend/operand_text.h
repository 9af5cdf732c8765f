// How an operand's bytes become the library's 16-bit units, shared by vorlen
// and fbwfsim so that one typed name reaches one file from both. UTF-8 is
// decoded, with characters beyond U+FFFF as surrogate pairs; a byte that is
// not part of valid UTF-8 stands for itself, one unit of the same value, so
// no typed byte is lost or merged with its neighbours.
#pragma once

#include <cstddef>

// The character that starts at `p` (zero-terminated), and its length in bytes.
inline char32_t NextOperandCharacter(const unsigned char* p, std::size_t& length) {
  const unsigned char lead = p[0];
  length = 1;
  const std::size_t n = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 1;
  if (n == 1) return lead;
  char32_t c = lead & (0x7Fu >> n);
  for (std::size_t k = 1; k < n; ++k) {
    if ((p[k] & 0xC0) != 0x80) return lead;  // the terminator stops here too
    c = (c << 6) | (p[k] & 0x3Fu);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return lead;
  length = n;
  return c;
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
