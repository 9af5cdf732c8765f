#include <gtest/gtest.h>

#include "run_vorlen.h"

namespace {

const std::string kReboot = "Reboot system for change to take effect\n";

struct CommandCase {
  std::vector<std::string> args;
  WfStatus result;
  SessionPair state;
  std::string after_banner;
  RecordedCall call;
};

// Whole outputs for every command, as the library succeeds and as it fails.
const CommandCase kCommandCases[] = {
    // Switches.
    {{"-enable"}, 0, {}, "FBWF Enabled.  " + kReboot, {"FbwfEnableFilter"}},
    {{"-enable"}, 5, {}, "Enable Error", {"FbwfEnableFilter"}},
    {{"-disable"}, 0, {}, "FBWF Disabled. " + kReboot, {"FbwfDisableFilter"}},
    {{"-disable"}, 1, {}, "Disable Error", {"FbwfDisableFilter"}},
    {{"-enablecompression"}, 0, {}, "FBWF compression enabled. " + kReboot,
     {"FbwfEnableCompression"}},
    {{"-enablecompression"}, 2, {}, "Enable Compression Error", {"FbwfEnableCompression"}},
    {{"-disablecompression"}, 0, {}, "FBWF compression disabled. " + kReboot,
     {"FbwfDisableCompression"}},
    {{"-disablecompression"}, 0xFFFFFFFF, {}, "Disable Compression Error",
     {"FbwfDisableCompression"}},
    {{"-enablecache"}, 0, {}, "FBWF Cache PreAllocation enabled. " + kReboot,
     {"FbwfEnableCachePreAllocation"}},
    {{"-enablecache"}, 127, {}, "EnableCachePreAllocation Error", {"FbwfEnableCachePreAllocation"}},
    {{"-disablecache"}, 0, {}, "FBWF Cache PreAllocation disabled. " + kReboot,
     {"FbwfDisableCachePreAllocation"}},
    {{"-disablecache"}, 126, {}, "DisableCachePreAllocation Error",
     {"FbwfDisableCachePreAllocation"}},
    // Queries: any nonzero value reads ENABLED; nothing of the pair shows on failure.
    {{"-fbwfstate"}, 0, {1, 0}, "FBWF is ENABLED\nFBWF for the next session is DISABLED\n",
     {"FbwfIsFilterEnabled"}},
    {{"-fbwfstate"}, 0, {0, 7}, "FBWF is DISABLED\nFBWF for the next session is ENABLED\n",
     {"FbwfIsFilterEnabled"}},
    {{"-fbwfstate"}, 5, {1, 1}, "State Error", {"FbwfIsFilterEnabled"}},
    {{"-fbwfcompression"}, 0, {0xFFFFFFFF, 0},
     "FBWF compresspon is ENABLED\nFBWF compression for the next session is DISABLED\n",
     {"FbwfIsCompressionEnabled"}},
    {{"-fbwfcompression"}, 5, {}, "Compression Error", {"FbwfIsCompressionEnabled"}},
    {{"-fbwfprealloc"}, 0, {0, 2},
     "FBWF Cache PreAlloc is DISABLED\nFBWF Cache PreAlloc for the next session is ENABLED\n",
     {"FbwfIsCachePreAllocationEnabled"}},
    {{"-fbwfprealloc"}, 5, {}, "Cache PreAlloc Error", {"FbwfIsCachePreAllocationEnabled"}},
    {{"-volumestatus", "C:"}, 0, {0, 1},
     "Volume C:  protection is DISABLED\nVolume C:  protection for next session is ENABLED\n",
     {"FbwfIsVolumeProtected", {u"C:"}}},
    {{"-volumestatus", "Q:"}, 15, {1, 1}, "Error 15 \n" + kUsage,
     {"FbwfIsVolumeProtected", {u"Q:"}}},
    // Protection and threshold.
    {{"-protectvolume", "c:"}, 0, {},
     "Volume c: will be protected in the next session. " + kReboot,
     {"FbwfProtectVolume", {u"c:"}}},
    {{"-protectvolume", "C:"}, 1, {},
     "Error 1 \nFBWF must be enabled for the next session" + kUsage,
     {"FbwfProtectVolume", {u"C:"}}},
    {{"-unprotectvolume", "D:"}, 0, {},
     "Volume D:  will be unprotected in the next session. " + kReboot,
     {"FbwfUnprotectVolume", {u"D:"}, {0}}},
    {{"-unprotectvolume", "D:"}, 0xFFFFFFFF, {}, "Error -1 \n" + kUsage,
     {"FbwfUnprotectVolume", {u"D:"}, {0}}},
    {{"-setcache", "512"}, 0, {}, "Cache Threshold set to 512\n " + kReboot,
     {"FbwfSetCacheThreshold", {}, {512}}},
    {{"-setcache", "-1"}, 0, {}, "Cache Threshold set to 4294967295\n " + kReboot,
     {"FbwfSetCacheThreshold", {}, {0xFFFFFFFF}}},
    {{"-setcache", "8"}, 87, {},
     "Error 87 \nError: Threshold must be between 16 to 1024\n" + kUsage,
     {"FbwfSetCacheThreshold", {}, {8}}},
    // Exclusions, commit and restore: the path first, the drive second.
    {{"-addex", "C:", "\\data"}, 0, {}, "\\data on drive C: is now excluded.\n " + kReboot,
     {"FbwfAddExclusion", {u"C:", u"\\data"}}},
    {{"-addex", "C:", "\\data"}, 123, {}, "Error 123 \n" + kUsage,
     {"FbwfAddExclusion", {u"C:", u"\\data"}}},
    {{"-remex", "C:", "\\data"}, 0, {},
     "\\data on drive C: is now removed from exclusion.\n " + kReboot,
     {"FbwfRemoveExclusion", {u"C:", u"\\data"}}},
    {{"-remex", "C:", "\\data"}, 2, {}, "Error 2 \n" + kUsage,
     {"FbwfRemoveExclusion", {u"C:", u"\\data"}}},
    {{"-commit", "C:", "\\a.txt"}, 0, {}, "\\a.txt on drive C: has been commited to the disk.\n ",
     {"FbwfCommitFile", {u"C:", u"\\a.txt"}}},
    {{"-commit", "C:", "\\a.txt"}, 2, {}, "Error 2 \n" + kUsage,
     {"FbwfCommitFile", {u"C:", u"\\a.txt"}}},
    {{"-restore", "C:", "\\a.txt"}, 0, {},
     "\\a.txt on drive C: has been restored from the disk.\n ",
     {"FbwfRestoreFile", {u"C:", u"\\a.txt"}}},
    {{"-restore", "C:", "\\a.txt"}, 2, {},
     "Error 2 \nError: File not in cache\nError: File not found\n",
     {"FbwfRestoreFile", {u"C:", u"\\a.txt"}}},
};

TEST(Commands, PrintTheirExactOutcomeAndMakeOneCall) {
  for (const CommandCase& c : kCommandCases) {
    FakeWriteFilter fake;
    fake.result = c.result;
    fake.state = c.state;
    const Outcome outcome = RunVorlenWith(fake, c.args);
    const std::string label = c.args[0] + " returning " + std::to_string(c.result);
    EXPECT_EQ(outcome.status, 0) << label;
    EXPECT_EQ(outcome.output, kBanner + c.after_banner) << label;
    EXPECT_EQ(fake.calls, std::vector<RecordedCall>{c.call}) << label;
  }
}

TEST(Commands, TheTableCoversEveryUsageLineOnce) {
  // Each option of the usage text reaches exactly one library call.
  for (const char* option :
       {"-enable", "-disable", "-enablecompression", "-disablecompression", "-enablecache",
        "-disablecache", "-protectvolume", "-unprotectvolume", "-fbwfstate", "-fbwfcompression",
        "-fbwfprealloc", "-volumestatus", "-setcache", "-addex", "-remex", "-commit", "-restore"}) {
    FakeWriteFilter fake;
    RunVorlenWith(fake, {option, "C:", "\\x"});
    EXPECT_EQ(fake.calls.size(), 1u) << option;
  }
}

}  // namespace
