#include "wfsim/machine/overlay.h"

#include <gtest/gtest.h>

namespace wfsim {
namespace {

// A 1 MiB threshold; the overlay holds one file, "\\a" (66 bytes of record), of 1000 bytes.
constexpr std::uint64_t kThreshold = 1u << 20;
constexpr OverlayUsage kNow{66, 1000};

struct WriteCase {
  const char* what;
  CachedWrite write;
  OverlayUsage after;
  bool fits;
};

TEST(Overlay, AWriteCostsItsBytesInPlaceOfTheCachedCopyAndARecordForEachNewName) {
  const WriteCase cases[] = {
      {"the cached file rewritten smaller", {10, 1000, {}}, {66, 10}, true},
      {"a new file in a new folder", {5, std::nullopt, {"dir", "b.txt"}}, {66 + 70 + 74, 1005}, true},
      {"a name of two CJK characters: 2 bytes a unit", {0, std::nullopt, {"\xE6\x97\xA5\xE6\x9C\xAC"}}, {66 + 68, 1000},
       true},
      {"the cached file rewritten up to the threshold", {kThreshold - 66, 1000, {}}, {66, kThreshold - 66}, true},
      {"one byte past it", {kThreshold - 65, 1000, {}}, {66, kThreshold - 65}, false},
  };
  for (const WriteCase& c : cases) {
    const OverlayUsage after = AfterWrite(kNow, c.write);
    EXPECT_EQ(after, c.after) << c.what;
    EXPECT_EQ(Fits(after, kThreshold), c.fits) << c.what;
  }
}

TEST(Overlay, WhatIsLeftStopsAtNothingOnceTheThresholdIsReached) {
  EXPECT_EQ(Left(kNow, kThreshold), kThreshold - 1066);
  EXPECT_EQ(Left(kNow, 1066), 0u);
  EXPECT_EQ(Left(kNow, 1000), 0u);
}

}  // namespace
}  // namespace wfsim
