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

class FakeConsole final : public text::Console {
 public:
  bool IsConsole() override { return true; }
  bool Write(const std::u16string& text) override {
    written += text;
    return true;
  }
  std::u16string written;
};

TEST(Print, OnAConsoleNamesGoAs16BitUnitsAndShowAsTyped) {
  FakeConsole console;
  PrintTo(&console);
  Print("  %s (%d bytes)\n", "C:\\Caf\xC3\xA9", 5);
  Print("cache  %12d  %s\n", 7, "\xD0\x96\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB");
  PrintTo(nullptr);
  EXPECT_EQ(console.written, u"  C:\\Caf\u00E9 (5 bytes)\ncache             7  \u0416\u0443\u0440\u043D\u0430\u043B\n");
}

}  // namespace
}  // namespace wfsim
