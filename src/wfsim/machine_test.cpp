#include "wfsim/machine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "wfsim/codes.h"

namespace wfsim {
namespace {

// A fresh state folder for each test, removed afterwards.
class MachineTest : public ::testing::Test {
 protected:
  static fs::path MakeRoot() {
    char pattern[] = "/tmp/wfsim-test.XXXXXX";
    return mkdtemp(pattern) != nullptr ? fs::path(pattern) : fs::path("/nonexistent");
  }
  void SetUp() override { ASSERT_TRUE(state_.Prepare().ok()); }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // Filter on and C protected, in force from now on.
  void ProtectC() {
    ASSERT_TRUE(machine_.SetFeature(Feature::kFilter, true).ok());
    ASSERT_TRUE(machine_.Protect(u"C:").ok());
    ASSERT_TRUE(machine_.Reboot().ok());
  }
  Outcome Write(const std::u16string& path, const std::string& content = "x") {
    bool cached = false;
    return machine_.Write(u"C:", path, content, cached);
  }
  std::string Read(const std::u16string& path) {
    std::string content;
    const Outcome outcome = machine_.ReadFile(u"C:", path, content);
    return outcome.ok() ? content : "error " + std::to_string(outcome.code);
  }
  std::vector<std::string> Listing(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      names.push_back(entry.path().lexically_relative(folder).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  Config LoadConfig() const {
    Config config;
    state_.Read(ParseScope::kAll, [&](const Config& read) {
      config = read;
      return Outcome(kOk);
    });
    return config;
  }

  fs::path root_ = MakeRoot();
  StateFolder state_{root_ / "fbwfsim"};
  Machine machine_{state_};
};

TEST_F(MachineTest, NamesResolveCaseInsensitivelyToTheSpellingThere) {
  ASSERT_TRUE(Write(u"\\Dir\\File.txt", "one").ok());
  ASSERT_TRUE(Write(u"\\DIR\\file.TXT", "two").ok());
  EXPECT_EQ(Read(u"\\dir\\FILE.txt"), "two");
  EXPECT_EQ(Listing(state_.VolumeRoot('C')), (std::vector<std::string>{"Dir", "Dir/File.txt"}));
  ProtectC();
  ASSERT_TRUE(Write(u"\\DIR\\FILE.TXT", "cached").ok());
  ASSERT_TRUE(machine_.Commit(u"C:", u"\\dir\\file.txt").ok());
  EXPECT_EQ(Listing(state_.VolumeRoot('C')), (std::vector<std::string>{"Dir", "Dir/File.txt"}));
  EXPECT_EQ(Read(u"\\Dir\\File.txt"), "cached");
}

TEST_F(MachineTest, ARebootSwapsInAnEmptyCacheAndRemovesTheOld) {
  ProtectC();
  ASSERT_TRUE(Write(u"\\a.txt", "cached").ok());
  const fs::path old_cache = state_.CacheFolder(LoadConfig());
  ASSERT_TRUE(fs::exists(old_cache / "C" / "a.txt"));
  fs::create_directories(root_ / "fbwfsim" / "cache.99" / "C");  // garbage of an earlier crash
  ASSERT_TRUE(machine_.Reboot().ok());
  EXPECT_NE(state_.CacheFolder(LoadConfig()), old_cache);
  EXPECT_FALSE(fs::exists(old_cache));
  EXPECT_FALSE(fs::exists(root_ / "fbwfsim" / "cache.99"));
  EXPECT_EQ(Read(u"\\a.txt"), "error 2");
}

TEST_F(MachineTest, AChangePastTheReadLimitIsRefusedAndChangesNothing) {
  ProtectC();
  ASSERT_TRUE(Write(u"\\kept.txt", "cached").ok());
  // About 9 MiB of exclusions for the next session: a reboot would double them.
  Config config = LoadConfig();
  for (int i = 0; i < 70000; ++i) config.next.exclusions.push_back({'C', "\\" + std::string(120, 'x') + std::to_string(i)});
  std::ofstream(root_ / "fbwfsim" / "config", std::ios::binary) << FormatConfig(config);
  ASSERT_TRUE(machine_.AddExclusion(u"C:", u"\\one more").ok());
  const Outcome refused = machine_.Reboot();
  EXPECT_EQ(refused.code, kDiskFull);
  EXPECT_NE(refused.cause.find("read limit"), std::string::npos) << refused.cause;
  EXPECT_EQ(LoadConfig().next.exclusions.size(), 70001u);
  EXPECT_EQ(Read(u"\\kept.txt"), "cached");
}

TEST_F(MachineTest, AFaultFiresOnlyOnceItsCountIsStored) {
  ASSERT_TRUE(state_.AddFault({"FbwfAddExclusion", 9, 2}).ok());
  std::optional<WfStatus> fired;
  // A folder where the new faults file goes: the count can't be stored.
  fs::create_directories(root_ / "fbwfsim" / "faults.new" / "blocked");
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(state_.TakeFault("FbwfAddExclusion", fired).ok());
    EXPECT_FALSE(fired.has_value());
  }
  fs::remove_all(root_ / "fbwfsim" / "faults.new");
  for (WfStatus expected : {9u, 9u}) {
    ASSERT_TRUE(state_.TakeFault("FbwfAddExclusion", fired).ok());
    EXPECT_EQ(fired, expected);
  }
  ASSERT_TRUE(state_.TakeFault("FbwfAddExclusion", fired).ok());
  EXPECT_FALSE(fired.has_value());
  EXPECT_FALSE(fs::exists(root_ / "fbwfsim" / "faults"));
}

struct TreeCase {
  const char16_t* disk_file;  // written before C is protected
  const char16_t* write;      // written to the cache
  const char* cause;
};

TEST_F(MachineTest, NoPathBecomesBothAFileAndAFolder) {
  const TreeCase cases[] = {
      {u"\\d", u"\\d\\x", "C:\\d\\x runs into the file C:\\d"},
      {u"\\dir\\sub\\f", u"\\DIR\\sub", "C:\\dir\\sub is a folder"},
      {u"\\dir\\sub\\f", u"\\dir\\sub\\f\\g", "C:\\dir\\sub\\f\\g runs into the file C:\\dir\\sub\\f"},
  };
  for (const TreeCase& c : cases) ASSERT_TRUE(Write(c.disk_file).ok());
  ProtectC();
  ASSERT_TRUE(Write(u"\\cached").ok());
  for (const TreeCase& c : cases) {
    const Outcome refused = Write(c.write);
    EXPECT_EQ(refused.code, kAccessDenied) << c.cause;
    EXPECT_EQ(refused.cause, c.cause);
  }
  const Outcome refused = Write(u"\\cached\\below");
  EXPECT_EQ(refused.cause, "C:\\cached\\below runs into the file C:\\cached");
  EXPECT_EQ(Listing(root_ / "fbwfsim" / "tmp"), std::vector<std::string>{});
  EXPECT_EQ(Listing(state_.CacheFolder(LoadConfig())), (std::vector<std::string>{"C", "C/cached"}));
}

TEST_F(MachineTest, AFirstUseCutShortIsCompletedByTheNextCall) {
  const fs::path dir = root_ / "interrupted";
  fs::create_directories(dir / "volumes" / "C");
  StateFolder state(dir);
  ASSERT_TRUE(state.Prepare().ok());
  EXPECT_TRUE(state.CheckVolume('D').ok());
  EXPECT_TRUE(fs::exists(dir / "config"));
}

}  // namespace
}  // namespace wfsim
