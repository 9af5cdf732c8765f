#include "wfsim/fbwfsim/fbwfsim.h"

#include <gtest/gtest.h>

namespace wfsim {
namespace {

TEST(Sizes, BytesFromOneWithABinarySuffixAndNothingThatOverflows) {
  const struct {
    const char* text;
    bool ok;
    std::uint64_t bytes;
  } cases[] = {
      {"4096", true, 4096},
      {"512M", true, 512u << 20},
      {"8G", true, std::uint64_t{8} << 30},
      {"16777215T", true, std::uint64_t{16777215} << 40},
      {"16777216T", false, 0},
      {"18446744073709551615", true, UINT64_MAX},
      {"18446744073709551616", false, 0},
      {"0", false, 0},
      {"0K", false, 0},
      {"", false, 0},
      {"G", false, 0},
      {"8g", false, 0},
      {"8GB", false, 0},
      {"-1", false, 0},
      {" 8G", false, 0},
  };
  for (const auto& c : cases) {
    std::uint64_t bytes = 0;
    EXPECT_EQ(ParseSize(c.text, bytes), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
}

}  // namespace
}  // namespace wfsim
