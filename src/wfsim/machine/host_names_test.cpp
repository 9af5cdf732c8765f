// Names longer than the host allows, through the machine.
#include "wfsim/machine/host_names.h"

#include <gtest/gtest.h>

#include <fstream>

#include "wfsim/base/text.h"
#include "wfsim/machine/machine_fixture.h"

namespace wfsim {
namespace {

// Names longer than a Linux host allows (255 bytes) are kept under made
// names; a program sees only the real names, found in any case, and a name
// that looks made is kept made too.
TEST_F(MachineTest, LongNamesAreKeptUnderMadeNamesAndShownAsTheyAre) {
  const std::u16string cjk(254, u'\u4e2d'), folder = u"\u0416" + cjk, upper = u"\\" + folder + u"\\" + cjk;
  const std::u16string lower = u"\\\u0436" + cjk + u"\\" + cjk;
  const std::string folder8 = *ToUtf8(folder), file8 = *ToUtf8(cjk);
  ASSERT_TRUE(Write(upper, "disk").ok());
  ASSERT_TRUE(Write(u"\\~FBWF~plain", "looks made").ok());
  EXPECT_EQ(Read(lower), "disk");
  std::vector<ListedEntry> entries;
  ASSERT_TRUE(machine_.List(u"C:", u"\\", entries).ok());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "~FBWF~plain");
  EXPECT_EQ(entries[1].name, folder8);
  for (const std::string& host : Listing(state_.VolumeRoot('C'))) EXPECT_EQ(host.rfind("~fbwf~", 0), 0u) << host;
  ProtectC();
  ASSERT_TRUE(Write(lower, "cached").ok());
  EXPECT_EQ(MemoryOf(machine_).used, (OverlayUsage{2 * kEntryCost + 2 * (255 + 254), 6}));
  std::vector<CachedFile> files;
  ASSERT_TRUE(machine_.CachedFiles(files).ok());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].name, "C:\\" + folder8 + "\\" + file8);
  ASSERT_TRUE(machine_.Commit(u"C:", lower).ok());
  EXPECT_EQ(MemoryOf(machine_).used.file_data, 0u);
  ASSERT_TRUE(Write(upper, "again").ok());
  ASSERT_TRUE(machine_.Restore(u"C:", lower).ok());
  EXPECT_EQ(Read(upper), "cached");
  ASSERT_TRUE(machine_.CachedFiles(files).ok());
  EXPECT_TRUE(files.empty());
}

// Two names whose made names collide each keep their own entry; an entry
// whose record is lost shows as it is kept.
TEST_F(MachineTest, AMadeNameTakenByAnotherNameIsNeverReused) {
  const std::u16string name = u"\\" + std::u16string(100, u'\u4e2d');
  ASSERT_TRUE(Write(name, "first").ok());
  std::vector<std::string> hosts = Listing(state_.VolumeRoot('C'));
  ASSERT_EQ(hosts.size(), 2u);  // the entry and its record
  const fs::path taken = state_.VolumeRoot('C') / hosts[0];
  std::ofstream(state_.VolumeRoot('C') / hosts[1], std::ios::binary) << std::string(300, 'x');
  ASSERT_TRUE(Write(name, "second").ok());
  EXPECT_EQ(Read(name), "second");
  EXPECT_EQ(ReadAll(taken), "first");
  hosts = Listing(state_.VolumeRoot('C'));
  ASSERT_EQ(hosts.size(), 4u);
  EXPECT_EQ(hosts[2], hosts[0] + "~1");
  fs::remove(state_.VolumeRoot('C') / hosts[1]);
  std::vector<ListedEntry> entries;
  ASSERT_TRUE(machine_.List(u"C:", u"\\", entries).ok());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, hosts[0]);
  EXPECT_EQ(entries[1].name, *ToUtf8(name.substr(1)));
}

}  // namespace
}  // namespace wfsim
