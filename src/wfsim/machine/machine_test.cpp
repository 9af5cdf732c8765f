#include "wfsim/machine/machine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "wfsim/base/codes.h"
#include "wfsim/base/text.h"
#include "wfsim/config/sealed_config.h"
#include "wfsim/machine/machine_fixture.h"

namespace wfsim {
namespace {


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

// A configuration parsed earlier in the process serves a call only for the
// very same bytes, one parsed for its settings alone never serves a call that
// needs the lists, and a small one parsed whole still answers for its
// settings when a list is wrong.
TEST_F(MachineTest, EveryCallSeesTheConfigurationAsItIsNow) {
  ASSERT_TRUE(machine_.SetFeature(Feature::kFilter, true).ok());
  ASSERT_TRUE(machine_.Protect(u"C:").ok());
  ASSERT_TRUE(machine_.AddExclusion(u"C:", u"\\a").ok());
  std::uint32_t current = 0, next = 0;
  ASSERT_TRUE(machine_.QueryFeature(Feature::kCompression, &current, &next).ok());
  std::vector<std::string> paths;
  ASSERT_TRUE(machine_.ExclusionList(u"C:", false, paths).ok());
  EXPECT_EQ(paths, std::vector<std::string>{"\\a"});
  // Changed by another process, to a text of the same length.
  const fs::path file = root_ / "fbwfsim" / "config";
  std::string text = ReadAll(file);
  text.replace(text.rfind("C \\a"), 4, "C \\z");
  text.replace(text.rfind("compression = off"), 17, "compression = on ");
  std::ofstream(file, std::ios::binary) << text;
  paths.clear();
  ASSERT_TRUE(machine_.ExclusionList(u"C:", false, paths).ok());
  EXPECT_EQ(paths, std::vector<std::string>{"\\z"});
  ASSERT_TRUE(machine_.QueryFeature(Feature::kCompression, &current, &next).ok());
  EXPECT_EQ(next, 1u);
  // A list that can't be parsed fails only the calls that need the lists.
  text.replace(text.rfind("C \\z"), 4, "C z ");
  std::ofstream(file, std::ios::binary) << text;
  EXPECT_TRUE(machine_.QueryFeature(Feature::kCompression, &current, &next).ok());
  EXPECT_EQ(machine_.ExclusionList(u"C:", false, paths).code, kFileCorrupt);
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

// A reboot copies the next list into the current one, so a list change is
// refused when the configuration would then pass its read limit: sealed or
// hand-edited, and a reboot after any change that was taken fits.
TEST_F(MachineTest, AListChangeThatARebootCouldNotStoreIsRefused) {
  ProtectC();
  ASSERT_TRUE(Write(u"\\kept.txt", "cached").ok());
  const fs::path file = root_ / "fbwfsim" / "config";
  for (const bool sealed : {true, false}) {
    Config config = LoadConfig();
    config.next.exclusions.clear();
    // About 9 MiB of exclusions for the next session: a reboot would double them.
    for (int i = 0; i < 70000; ++i) config.next.exclusions.push_back({'C', "\\" + std::string(120, 'x') + std::to_string(i)});
    std::string text = FormatConfig(config);
    if (!sealed) text.resize(text.rfind("# seal "));
    std::ofstream(file, std::ios::binary) << text;
    const Outcome refused = machine_.AddExclusion(u"C:", u"\\one more");
    EXPECT_EQ(refused.code, kDiskFull) << sealed;
    EXPECT_NE(refused.cause.find("next reboot"), std::string::npos) << refused.cause;
    EXPECT_EQ(ReadAll(file), text) << sealed;
    EXPECT_TRUE(machine_.RemoveExclusion(u"C:", u"\\" + std::u16string(120, u'x') + u"7").ok()) << sealed;
  }
  Config config = LoadConfig();
  config.next.exclusions.resize(60000);  // about 7.7 MiB
  std::ofstream(file, std::ios::binary) << FormatConfig(config);
  ASSERT_TRUE(machine_.AddExclusion(u"C:", u"\\one more").ok());
  ASSERT_TRUE(machine_.Reboot().ok());
  EXPECT_EQ(LoadConfig().current.exclusions.size(), 60001u);
}

TEST_F(MachineTest, AFaultFiresOnlyOnceItsCountIsStored) {
  ASSERT_TRUE(state_.AddFault({"FbwfAddExclusion", 9, 2}).ok());
  std::optional<WfStatus> fired;
  // A folder where the new faults file goes: the count can't be stored.
  fs::create_directories(root_ / "fbwfsim" / "faults.new" / "blocked");
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(state_.TakeFault(WfFunction::FbwfAddExclusion, fired).ok());
    EXPECT_FALSE(fired.has_value());
  }
  fs::remove_all(root_ / "fbwfsim" / "faults.new");
  for (WfStatus expected : {9u, 9u}) {
    ASSERT_TRUE(state_.TakeFault(WfFunction::FbwfAddExclusion, fired).ok());
    EXPECT_EQ(fired, expected);
  }
  ASSERT_TRUE(state_.TakeFault(WfFunction::FbwfAddExclusion, fired).ok());
  EXPECT_FALSE(fired.has_value());
  EXPECT_FALSE(fs::exists(root_ / "fbwfsim" / "faults"));
}


// Each cached file and folder costs its record, kEntryCost plus 2 bytes a
// unit of its name; rewriting a cached file costs only the change in size.
TEST_F(MachineTest, TheOverlayCountsEachCachedNameOnceAndEachFileAtItsSize) {
  ProtectC();
  EXPECT_EQ(MemoryOf(machine_).used, (OverlayUsage{0, 0}));
  ASSERT_TRUE(Write(u"\\dir\\sub\\\u00e9t\u00e9.txt", "12345").ok());
  const std::uint64_t records = 3 * kEntryCost + 2 * (3 + 3 + 7);
  EXPECT_EQ(MemoryOf(machine_).used, (OverlayUsage{records, 5}));
  ASSERT_TRUE(Write(u"\\DIR\\SUB\\\u00c9T\u00c9.TXT", "1").ok());
  ASSERT_TRUE(Write(u"\\dir\\b", "").ok());
  EXPECT_EQ(MemoryOf(machine_).used, (OverlayUsage{records + kEntryCost + 2, 1}));
  EXPECT_EQ(MemoryOf(machine_).current_threshold, std::uint64_t{64} << 20);
}

TEST_F(MachineTest, AWriteThatDoesNotFitTheOverlayIsRefusedWhole) {
  ProtectC();
  ASSERT_TRUE(Write(u"\\a", "x").ok());
  const std::uint64_t left = MemoryOf(machine_).Left();
  const std::uint64_t record = kEntryCost + 2 * 3;  // "new"
  const Outcome refused = Write(u"\\new", std::string(left - record + 1, 'y'));
  EXPECT_EQ(refused.code, kDiskFull);
  EXPECT_NE(refused.cause.find("overlay is full"), std::string::npos) << refused.cause;
  EXPECT_EQ(Read(u"\\new"), "error 2");
  EXPECT_EQ(MemoryOf(machine_).Left(), left);
  // Rewriting a cached file needs room only for what it grows by.
  ASSERT_TRUE(Write(u"\\a", std::string(left + 1, 'z')).ok());
  EXPECT_EQ(MemoryOf(machine_).Left(), 0u);
  // A write-through path is not the overlay's.
  ASSERT_TRUE(machine_.AddExclusion(u"C:", u"\\logs").ok());
  ASSERT_TRUE(machine_.Reboot().ok());
  ASSERT_TRUE(Write(u"\\a", std::string(left + 1, 'z')).ok());
  EXPECT_EQ(Write(u"\\b", std::string(64 << 20, 'z')).code, kDiskFull);
  EXPECT_TRUE(Write(u"\\logs\\big", std::string(64 << 20, 'z')).ok());
}

// Actual counts the disk's files; virtual what programs see, a cached copy
// hiding the disk's, and no more free space than the overlay has left.
TEST_F(MachineTest, VolumeSizesCountWholeUnitsOfTheDiskOrOfTheView) {
  ASSERT_TRUE(Write(u"\\a", std::string(4097, 'x')).ok());
  ProtectC();
  ASSERT_TRUE(Write(u"\\A", "small").ok());
  ASSERT_TRUE(Write(u"\\b", std::string(3 * 4096, 'x')).ok());
  VolumeSize actual, through;
  ASSERT_TRUE(machine_.Size(u"C:", false, actual).ok());
  ASSERT_TRUE(machine_.Size(u"C:", true, through).ok());
  const std::uint64_t total = (std::uint64_t{8} << 30) / 4096;
  EXPECT_EQ(actual.total_units, total);
  EXPECT_EQ(actual.available_units, total - 2);
  EXPECT_EQ(through.available_units, MemoryOf(machine_).Left() / 4096);
  EXPECT_EQ(machine_.Size(u"D:", false, actual).code, kInvalidDrive);
  MachineView view;
  ASSERT_TRUE(machine_.View(view).ok());
  ASSERT_EQ(view.volumes.size(), 2u);
  EXPECT_EQ(view.volumes[0].actual_used, 2 * 4096u);
  EXPECT_EQ(view.volumes[0].virtual_used, 4 * 4096u);
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

// The states the cases start from, each built on the one before.
enum class Stage { kNew, kFilterNext, kProtectedNext, kProtectedNow };

void Prepare(Machine& machine, Stage stage) {
  bool cached = false;
  for (const char16_t* file : {u"\\disk.txt", u"\\both.txt", u"\\dir\\f"}) machine.Write(u"C:", file, "disk", cached);
  if (stage == Stage::kNew) return;
  machine.SetFeature(Feature::kFilter, true);
  if (stage == Stage::kFilterNext) return;
  machine.Protect(u"C:");
  machine.AddExclusion(u"C:", u"\\thru");
  if (stage == Stage::kProtectedNext) return;
  machine.Reboot();
  for (const char16_t* file : {u"\\both.txt", u"\\new.txt", u"\\thru\\x"}) machine.Write(u"C:", file, "cached", cached);
}

struct CodeCase {
  Stage stage;
  const char* call;
  std::function<Outcome(Machine&)> run;
  WfStatus code;
};

// Everything a call could change, to compare before and after a refusal.
std::string Snapshot(const fs::path& dir) {
  std::string all;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    all += entry.path().string() + "\n";
    if (entry.is_regular_file() && entry.path().filename() != "lock") {
      std::ifstream file(entry.path(), std::ios::binary);
      all.append(std::istreambuf_iterator<char>(file), {});
    }
  }
  return all;
}

using M = Machine;
const auto ProtectCall = [](const char16_t* v) { return [=](M& m) { return m.Protect(v); }; };
const auto UnprotectCall = [](const char16_t* v) { return [=](M& m) { return m.Unprotect(v, false); }; };
const auto ThresholdCall = [](std::uint32_t mb) { return [=](M& m) { return m.SetThreshold(mb); }; };
const auto AddCall = [](const char16_t* p) { return [=](M& m) { return m.AddExclusion(u"C:", p); }; };
const auto RemoveCall = [](const char16_t* p) { return [=](M& m) { return m.RemoveExclusion(u"C:", p); }; };
const auto CommitCall = [](const char16_t* v, const char16_t* p) { return [=](M& m) { return m.Commit(v, p); }; };
const auto RestoreCall = [](const char16_t* v, const char16_t* p) { return [=](M& m) { return m.Restore(v, p); }; };
const auto FeatureCall = [](Feature f, bool on) { return [=](M& m) { return m.SetFeature(f, on); }; };
const CodeCase kOrderCases[] = {
    {Stage::kNew, "compression on", FeatureCall(Feature::kCompression, true), 1},
    {Stage::kNew, "compression off", FeatureCall(Feature::kCompression, false), 1},
    {Stage::kNew, "pre-allocation on", FeatureCall(Feature::kPreallocation, true), 1},
    {Stage::kNew, "pre-allocation off", FeatureCall(Feature::kPreallocation, false), 1},
    {Stage::kNew, "threshold 64", ThresholdCall(64), 1},
    {Stage::kNew, "threshold 5, filter first", ThresholdCall(5), 1},
    {Stage::kNew, "protect", ProtectCall(u"C:"), 1},
    {Stage::kNew, "protect CC:, name first", ProtectCall(u"CC:"), 123},
    {Stage::kNew, "protect Q:, volume first", ProtectCall(u"Q:"), 15},
    {Stage::kNew, "unprotect", UnprotectCall(u"C:"), 1},
    {Stage::kNew, "add", AddCall(u"\\a"), 1},
    {Stage::kNew, "add a bad path, name first", AddCall(u"\\a\\.."), 123},
    {Stage::kNew, "remove", RemoveCall(u"\\a"), 1},
    {Stage::kNew, "commit", CommitCall(u"C:", u"\\disk.txt"), 15},
    {Stage::kNew, "restore", RestoreCall(u"C:", u"\\disk.txt"), 15},
    {Stage::kNew, "filter off, in any state", FeatureCall(Feature::kFilter, false), 0},
    {Stage::kFilterNext, "threshold 15", ThresholdCall(15), 87},
    {Stage::kFilterNext, "threshold 1025", ThresholdCall(1025), 87},
    {Stage::kFilterNext, "threshold 1024", ThresholdCall(1024), 0},
    {Stage::kFilterNext, "unprotect a volume not protected", UnprotectCall(u"C:"), 15},
    {Stage::kFilterNext, "add on a volume not protected", AddCall(u"\\a"), 15},
    {Stage::kFilterNext, "remove on a volume not protected", RemoveCall(u"\\a"), 15},
    {Stage::kFilterNext, "commit, not protected now", CommitCall(u"C:", u"\\disk.txt"), 15},
    {Stage::kProtectedNext, "remove an exclusion not listed", RemoveCall(u"\\a"), 2},
    {Stage::kProtectedNext, "remove a listed one in another case", RemoveCall(u"\\THRU"), 0},
    {Stage::kProtectedNext, "unprotect", UnprotectCall(u"c:"), 0},
    {Stage::kProtectedNow, "commit on D:, not protected", CommitCall(u"D:", u"\\disk.txt"), 15},
    {Stage::kProtectedNow, "commit a write-through path", CommitCall(u"C:", u"\\thru\\x"), 1},
    {Stage::kProtectedNow, "commit a file not in the cache", CommitCall(u"C:", u"\\disk.txt"), 2},
    {Stage::kProtectedNow, "commit nothing", CommitCall(u"C:", u"\\nothing"), 2},
    {Stage::kProtectedNow, "commit a file made in this session", CommitCall(u"C:", u"\\new.txt"), 1},
    {Stage::kProtectedNow, "commit", CommitCall(u"C:", u"\\BOTH.txt"), 0},
    {Stage::kProtectedNow, "restore a write-through path", RestoreCall(u"C:", u"\\thru\\x"), 1},
    {Stage::kProtectedNow, "restore nothing", RestoreCall(u"C:", u"\\nothing"), 2},
    {Stage::kProtectedNow, "restore a folder", RestoreCall(u"C:", u"\\dir"), 2},
    {Stage::kProtectedNow, "restore a file not in the cache", RestoreCall(u"C:", u"\\disk.txt"), 5},
    {Stage::kProtectedNow, "restore a file made in this session", RestoreCall(u"C:", u"\\new.txt"), 1},
    {Stage::kProtectedNow, "restore", RestoreCall(u"C:", u"\\both.txt"), 0},
};

TEST_F(MachineTest, EachFunctionChecksItsPreconditionsInOrderAndARefusalChangesNothing) {
  int k = 0;
  for (const CodeCase& c : kOrderCases) {
    StateFolder state(root_ / std::to_string(k++));
    Machine machine(state);
    ASSERT_TRUE(state.Prepare().ok());
    Prepare(machine, c.stage);
    const std::string before = Snapshot(state.dir());
    EXPECT_EQ(c.run(machine).code, c.code) << c.call;
    if (c.code != 0) {
      EXPECT_EQ(Snapshot(state.dir()), before) << c.call << " changed the state";
    }
  }
}

TEST_F(MachineTest, UnprotectingKeepsTheExclusionsUnlessAskedToDropThem) {
  ASSERT_TRUE(machine_.SetFeature(Feature::kFilter, true).ok());
  for (bool drop : {false, true}) {
    ASSERT_TRUE(machine_.Protect(u"C:").ok());
    ASSERT_TRUE(machine_.AddExclusion(u"C:", u"\\logs").ok());
    ASSERT_TRUE(machine_.Unprotect(u"C:", drop).ok());
    ASSERT_TRUE(machine_.Protect(u"C:").ok());
    EXPECT_EQ(LoadConfig().next.exclusions.size(), drop ? 0u : 1u) << drop;
    ASSERT_TRUE(machine_.Unprotect(u"C:", false).ok());
  }
}

TEST_F(MachineTest, EachReleaseHasItsThresholdRangeAndDefault) {
  for (const Release& release : kReleases) {
    ASSERT_TRUE(state_.Reset(Config::Fresh(release)).ok());
    ASSERT_TRUE(machine_.SetFeature(Feature::kFilter, true).ok());
    EXPECT_EQ(LoadConfig().next.threshold, release.default_threshold) << release.name;
    EXPECT_EQ(machine_.SetThreshold(release.min_threshold - 1).code, kInvalidParameter) << release.name;
    EXPECT_EQ(machine_.SetThreshold(release.min_threshold).code, kOk) << release.name;
    EXPECT_EQ(machine_.SetThreshold(release.max_threshold).code, kOk) << release.name;
    EXPECT_EQ(machine_.SetThreshold(release.max_threshold + 1).code, kInvalidParameter) << release.name;
    EXPECT_EQ(LoadConfig().release, &release);
  }
}

TEST_F(MachineTest, AResetMakesTheMachineNew) {
  ProtectC();
  ASSERT_TRUE(Write(u"\\cached.txt").ok());
  fs::create_directories(state_.VolumeRoot('E') / "x");
  ASSERT_TRUE(state_.AddFault({"FbwfEnableFilter", 5, 1}).ok());
  std::ofstream(root_ / "fbwfsim" / "config") << "not a configuration";
  ASSERT_TRUE(state_.Reset(Config::Fresh(kReleases[3])).ok());
  EXPECT_EQ(LoadConfig(), Config::Fresh(kReleases[3]));
  EXPECT_EQ(Listing(root_ / "fbwfsim" / "volumes"), (std::vector<std::string>{"C", "D"}));
  std::vector<CachedFile> files;
  ASSERT_TRUE(machine_.CachedFiles(files).ok());
  EXPECT_TRUE(files.empty());
  EXPECT_FALSE(fs::exists(root_ / "fbwfsim" / "faults"));
}

TEST_F(MachineTest, ListChangesCopyUntouchedLinesAndStillFindEveryCase) {
  ASSERT_TRUE(machine_.SetFeature(Feature::kFilter, true).ok());
  ASSERT_TRUE(machine_.Protect(u"C:").ok());
  for (const char16_t* path : {u"\\data", u"\\caf\u00E9", u"\\Logs\\x"}) {
    ASSERT_TRUE(machine_.AddExclusion(u"C:", path).ok());
  }
  ASSERT_TRUE(machine_.Reboot().ok());
  const fs::path file = root_ / "fbwfsim" / "config";
  const std::string before = ReadAll(file);
  // Already listed, in another case: nothing to write.
  for (const char16_t* path : {u"\\DATA", u"\\CAF\u00C9", u"\\logs\\X"}) {
    ASSERT_TRUE(machine_.AddExclusion(u"C:", path).ok());
  }
  EXPECT_EQ(ReadAll(file), before);
  ASSERT_TRUE(machine_.AddExclusion(u"C:", u"\\new").ok());
  const std::string added = ReadAll(file);
  const std::size_t seal = before.rfind("# seal ");
  EXPECT_EQ(added.substr(0, seal), before.substr(0, seal));
  EXPECT_EQ(added.substr(seal, 9), "C \\new\n# ");
  ASSERT_TRUE(machine_.RemoveExclusion(u"C:", u"\\Caf\u00C9").ok());
  EXPECT_EQ(machine_.RemoveExclusion(u"C:", u"\\caf\u00E9").code, kFileNotFound);
  const Config config = LoadConfig();
  EXPECT_EQ(config.next.exclusions,
            (std::vector<Exclusion>{{'C', "\\data"}, {'C', "\\Logs\\x"}, {'C', "\\new"}}));
  EXPECT_EQ(config.current.exclusions.size(), 3u);
}

TEST_F(MachineTest, AHandEditAnywhereIsParsedWholeBeforeAChange) {
  ASSERT_TRUE(machine_.SetFeature(Feature::kFilter, true).ok());
  ASSERT_TRUE(machine_.Protect(u"C:").ok());
  ASSERT_TRUE(machine_.AddExclusion(u"C:", u"\\data").ok());
  ASSERT_TRUE(machine_.Reboot().ok());
  const fs::path file = root_ / "fbwfsim" / "config";
  const std::string sealed = ReadAll(file);
  struct Edit {
    const char* what;
    std::string from, to;
    WfStatus code;
  };
  const Edit edits[] = {
      {"a malformed line in the current list", "[next exclusions]\n", "C \\a\\..\n[next exclusions]\n", 1392},
      {"a malformed line in the next list", "[next exclusions]\n", "[next exclusions]\nC relative\n", 1392},
      {"a line without a volume letter", "[next exclusions]\n", "[next exclusions]\n1 \\x\n", 1392},
      {"a comment and a lower-case letter", "[next exclusions]\nC ", "[next exclusions]\n# kept\nc ", 0},
  };
  for (const Edit& edit : edits) {
    std::string text = sealed;
    text.replace(text.find(edit.from), edit.from.size(), edit.to);
    std::ofstream(file, std::ios::binary) << text;
    EXPECT_EQ(machine_.AddExclusion(u"C:", u"\\more").code, edit.code) << edit.what;
    if (edit.code != 0) {
      EXPECT_EQ(ReadAll(file), text) << edit.what << " was overwritten";
    }
  }
  EXPECT_EQ(LoadConfig().next.exclusions, (std::vector<Exclusion>{{'C', "\\data"}, {'C', "\\more"}}));
  EXPECT_NE(ReadAll(file).find("# seal "), std::string::npos);
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
