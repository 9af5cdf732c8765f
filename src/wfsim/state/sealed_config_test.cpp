#include "wfsim/state/sealed_config.h"

#include <gtest/gtest.h>

#include <string>

namespace wfsim {
namespace {

TEST(ContentHash, TheSplitIntoPiecesDoesNotChangeTheValue) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('a' + i % 26);
  ContentHash whole;
  whole.Add(text);
  for (std::size_t a : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 100u}) {
    for (std::size_t b : {a, a + 3, a + 8, a + 24}) {
      ContentHash split;
      split.Add(std::string_view(text).substr(0, a));
      split.Add(std::string_view(text).substr(a, b - a));
      split.Add(std::string_view(text).substr(b));
      EXPECT_EQ(split.Value(), whole.Value()) << a << " " << b;
    }
  }
  std::string edited = text;
  edited[150] = 'A';
  ContentHash other;
  other.Add(edited);
  EXPECT_NE(other.Value(), whole.Value());
}

}  // namespace
}  // namespace wfsim
