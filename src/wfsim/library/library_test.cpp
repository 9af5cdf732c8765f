// What the library hands out beside the machine's answers: lists in the
// filter's layout, and the cache search's entries one at a time.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "wfsim/library/cache_search.h"
#include "wfsim/library/events.h"
#include "wfsim/library/lists.h"

namespace wfsim {
namespace {

struct ListCase {
  std::vector<std::u16string> names;
  WfUlong room;
  bool buffer;
  WfStatus code;
  WfUlong size;
  std::u16string units;  // what the buffer holds after a copy, nulls included
};

TEST(CopyList, NamesEachEndInANullThenOneMoreAndTooSmallABufferGetsTheSizeNeeded) {
  const ListCase cases[] = {
      {{}, 2, true, kOk, 2, std::u16string(1, u'\0')},
      {{u"C:", u"D:"}, 100, true, kOk, 14, std::u16string(u"C:\0D:\0\0", 7)},
      {{u"\\logs"}, 13, true, kMoreData, 14, {}},
      {{u"\\logs"}, 13, false, kMoreData, 14, {}},  // the size query
      {{u"\\logs"}, 14, false, kInvalidParameter, 14, {}},
  };
  for (const ListCase& c : cases) {
    char16_t buffer[64];
    std::memset(buffer, 0xEE, sizeof buffer);
    WfUlong size = c.room;
    EXPECT_EQ(CopyList(c.names, c.buffer ? buffer : nullptr, &size).code, c.code) << c.room;
    EXPECT_EQ(size, c.size);
    if (c.code == kOk) {
      EXPECT_EQ(std::u16string(buffer, c.size / 2), c.units);
    }
  }
}

TEST(CacheSearch, EachEntryOnceInOrderThenTheEndUntilClosed) {
  CacheSearch& search = CacheSearch::OfProcess();
  search.Start({{u"\\a.txt", 5000}, {u"\\b", 0x1'0000'0001}});
  union {
    FbwfCacheDetail detail;
    char room[64];
  } out;
  WfUlong size = 23;
  EXPECT_EQ(search.Next(&out.detail, &size), kMoreData);
  EXPECT_EQ(size, 24u);
  EXPECT_EQ(search.Next(nullptr, &size), kInvalidParameter);
  EXPECT_EQ(search.Next(&out.detail, &size), kOk);
  EXPECT_EQ(out.detail.cacheSize, 5000u);
  EXPECT_EQ(out.detail.fileNameLength, 12u);
  EXPECT_EQ(std::memcmp(out.room + kCacheDetailNameOffset, u"\\a.txt", 12), 0);
  size = sizeof out;
  EXPECT_EQ(search.Next(&out.detail, &size), kOk);
  EXPECT_EQ(out.detail.cacheSize, 0xFFFFFFFFu) << "a size past 32 bits reads as the most a ULONG holds";
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(search.Next(&out.detail, &size), kNoMoreFiles);
  EXPECT_EQ(search.Next(&out.detail, &size), kNoMoreFiles);
  EXPECT_TRUE(search.Close());
  EXPECT_EQ(search.Next(&out.detail, &size), kInvalidFunction);
  EXPECT_FALSE(search.Close());
}

}  // namespace
}  // namespace wfsim

#ifndef _WIN32
namespace wfsim {
// With no descriptor left the library can't keep its own copy of an event:
// the registration says so (4), not that the event is invalid.
TEST(Events, ACopyWithNoDescriptorLeftIsTooManyOpenFiles) {
  const int event = eventfd(0, EFD_CLOEXEC);
  ASSERT_GE(event, 0);
  std::vector<int> taken;
  for (int fd; taken.size() < 65536 && (fd = dup(event)) >= 0;) taken.push_back(fd);
  void* own = nullptr;
  const WfStatus code = DuplicateEvent(reinterpret_cast<void*>(static_cast<std::intptr_t>(event)), own);
  for (int fd : taken) close(fd);
  EXPECT_EQ(code, kTooManyOpenFiles);
  EXPECT_EQ(own, nullptr);
  ASSERT_EQ(DuplicateEvent(reinterpret_cast<void*>(static_cast<std::intptr_t>(event)), own), kOk);
  CloseEvent(own);
  close(event);
}
}  // namespace wfsim
#endif
