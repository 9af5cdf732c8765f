#include "frontend/console_output.h"

#include <gtest/gtest.h>

namespace {

struct FakeConsole final : Console {
  bool console = false;
  std::u16string shown;
  int writes = 0;

  bool IsConsole() override { return console; }
  bool Write(const std::u16string& text) override {
    shown += text;
    ++writes;
    return true;
  }
};

struct Seen {
  std::FILE* into = nullptr;
  bool utf8 = false;
};

int Echo(std::FILE* into, bool utf8, void* context) {
  *static_cast<Seen*>(context) = {into, utf8};
  std::fputs("Volume \xD0\x96\xF0\x9F\x98\x80:  protection is DISABLED\n", into);
  std::fputs("\xE9 stands for itself\n", into);
  return 7;
}

// A console gets the text as 16-bit units in one write; anything else gets
// the run's bytes, untouched, on the stream it already had.
TEST(ConsoleOutput, AConsoleGetsUnitsAndARedirectionTheBytes) {
  FakeConsole console;
  console.console = true;
  Seen seen;
  EXPECT_EQ(RunToConsoleOr(console, stdout, Echo, &seen), 7);
  EXPECT_TRUE(seen.utf8);
  EXPECT_NE(seen.into, stdout);
  EXPECT_EQ(console.shown, u"Volume \u0416\U0001F600:  protection is DISABLED\n\u00e9 stands for itself\n");
  EXPECT_EQ(console.writes, 1);

  FakeConsole redirected;
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(RunToConsoleOr(redirected, file, Echo, &seen), 7);
  EXPECT_FALSE(seen.utf8);
  EXPECT_EQ(seen.into, file);
  EXPECT_EQ(redirected.writes, 0);
  std::fclose(file);
}

}  // namespace
