#include "vorlenctl/command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_filter_library.h"
#include "vorlenctl/metrics.h"
#include "vorlenctl/servicing.h"
#include "wfapi/codes.h"

namespace ctl {
namespace {

struct Ran {
  int status;
  std::string out;  // without blanks and line breaks: the tests' texts hold none
  std::string err;
};

std::string Drain(std::FILE* file, bool compact) {
  std::string text;
  std::rewind(file);
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (!compact || (c != ' ' && c != '\n')) text.push_back(static_cast<char>(c));
  }
  std::fclose(file);
  return text;
}

// vorlenctl against a fake device, a desired state written to a file of the
// test's own.
class VorlenctlRun : public ::testing::Test {
 protected:
  // What vorlenctl keeps by default (its lock) goes to the test's folder.
  void SetUp() override {
    std::filesystem::create_directories(scratch_);
    ::setenv("XDG_STATE_HOME", scratch_.c_str(), 1);
  }
  void TearDown() override {
    std::filesystem::remove(desired_);
    std::filesystem::remove_all(scratch_);
  }

  Ran Invoke(std::vector<std::string> args, const std::string& desired = "", bool compact = true) {
    if (!desired.empty()) {
      std::ofstream(desired_) << desired;
      args.push_back(desired_.string());
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Context context{fake_, out, err, 0};
    const int status = RunVorlenctl(context, args);
    return {status, Drain(out, compact), Drain(err, false)};
  }

  FakeFilterLibrary fake_;
  std::filesystem::path desired_ =
      std::filesystem::temp_directory_path() / ("vorlenctl-desired-" + std::to_string(::getpid()) + ".json");
  // A device's own folder, for its servicing record and vorlenctl's lock.
  std::filesystem::path scratch_ =
      std::filesystem::temp_directory_path() / ("vorlenctl-device-" + std::to_string(::getpid()));
  std::string record_ = (scratch_ / "servicing.json").string();
};

constexpr const char* kProtectAll =
    R"({"filter": true, "threshold_mb": 32, "protected": ["C:"], "exclusions": {"C:": ["\\a", "\\b"]}})";
constexpr const char* kNothingBefore =
    R"("before":{"filter":false,"compression":false,"preallocation":false,"threshold_mb":64,"protected":[],"exclusions":{}})";

struct FailureCase {
  WfFunction fails;
  WfStatus code;
  std::string calls;  // as far as they went
  std::string after;  // the next session then
  std::string message;
};

// Wherever the failing call comes in the plan, the run stops there, reports
// what it changed before it, and the device as it then is.
TEST_F(VorlenctlRun, AFailingCallStopsTheRunAndReportsWhatItChanged) {
  const std::string first = R"({"function":"FbwfEnableFilter","arguments":[],"status":)";
  const std::string threshold = R"({"function":"FbwfSetCacheThreshold","arguments":[32],"status":)";
  const std::string protect = R"({"function":"FbwfProtectVolume","arguments":["C:"],"status":)";
  const std::string add_a = R"({"function":"FbwfAddExclusion","arguments":["C:","\\a"],"status":)";
  const std::string add_b = R"({"function":"FbwfAddExclusion","arguments":["C:","\\b"],"status":)";
  const FailureCase cases[] = {
      {WfFunction::FbwfEnableFilter, 5, first + "5}",
       R"({"filter":false,"compression":false,"preallocation":false,"threshold_mb":64,"protected":[],"exclusions":{}})",
       "vorlenctl: FbwfEnableFilter failed with code 5 (access denied)\n"},
      {WfFunction::FbwfProtectVolume, 1460, first + "0}," + threshold + "0}," + protect + "1460}",
       R"({"filter":true,"compression":false,"preallocation":false,"threshold_mb":32,"protected":[],"exclusions":{}})",
       "vorlenctl: FbwfProtectVolume failed with code 1460 (timed out)\n"},
      {WfFunction::FbwfAddExclusion, 234,
       first + "0}," + threshold + "0}," + protect + "0}," + add_a + "234}",
       R"({"filter":true,"compression":false,"preallocation":false,"threshold_mb":32,"protected":["C:"],"exclusions":{"C:":[]}})",
       "vorlenctl: FbwfAddExclusion failed with code 234 (more data: the buffer is too small)\n"},
  };
  for (const FailureCase& c : cases) {
    fake_ = FakeFilterLibrary();
    fake_.failures[c.fails] = {c.code};
    const Ran run = Invoke({"set"}, kProtectAll);
    const bool changed = c.fails != WfFunction::FbwfEnableFilter;
    EXPECT_EQ(run.status, kFailed) << NameOf(c.fails);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(run.out, std::string("{\"changed\":") + (changed ? "true" : "false") +
                           ",\"reboot_required\":" + (changed ? "true" : "false") + ",\"calls\":[" + c.calls + "]," +
                           kNothingBefore + ",\"after\":" + c.after + "}");
  }
  // The last call failing: every earlier one made.
  fake_ = FakeFilterLibrary();
  fake_.failures[WfFunction::FbwfAddExclusion] = {kWfOk, 87};
  const Ran run = Invoke({"set"}, kProtectAll);
  EXPECT_EQ(run.status, kFailed);
  EXPECT_NE(run.out.find(add_a + "0}," + add_b + "87}]"), std::string::npos) << run.out;
  const std::string after =
      R"("after":{"filter":true,"compression":false,"preallocation":false,"threshold_mb":32,"protected":["C:"],)"
      R"("exclusions":{"C:":["\\a"]}}})";
  EXPECT_NE(run.out.find(after), std::string::npos) << run.out;
}

TEST_F(VorlenctlRun, ARunThatSucceedsReadsTheDeviceAgainAndChangesNothingTheSecondTime) {
  Ran run = Invoke({"set", "--exit-reboot"}, kProtectAll);
  EXPECT_EQ(run.status, kRebootRequired);
  EXPECT_EQ(fake_.next.protected_volumes["C:"], (std::vector<std::string>{"\\a", "\\b"}));
  fake_.calls.clear();
  run = Invoke({"set"}, kProtectAll);
  EXPECT_EQ(run.status, kDone);
  EXPECT_EQ(run.out.find("\"changed\":false,\"reboot_required\":true,\"calls\":[]"), 1u) << run.out;
  for (const std::string& call : fake_.calls) {
    EXPECT_TRUE(call.rfind("FbwfGet", 0) == 0 || call.rfind("FbwfIs", 0) == 0) << call;
  }
}

// A volume protected anew brings back the list it kept: a second round
// removes what the desired state does not want.
TEST_F(VorlenctlRun, AListThatComesBackWithItsVolumeIsMendedInASecondRound) {
  fake_.next.filter = true;
  fake_.kept["C:"] = {"\\old"};
  const Ran run = Invoke({"set"}, R"({"protected": ["C:"], "exclusions": {"C:": ["\\new"]}})");
  EXPECT_EQ(run.status, kDone) << run.err;
  EXPECT_EQ(fake_.next.protected_volumes["C:"], (std::vector<std::string>{"\\new"}));
  EXPECT_NE(run.out.find(R"({"function":"FbwfRemoveExclusion","arguments":["C:","\\old"],"status":0})"), std::string::npos)
      << run.out;
}

TEST_F(VorlenctlRun, AThresholdTheLibraryReportsCappedReadsAsTheCap) {
  fake_.current.threshold_mb = fake_.next.threshold_mb = 5000;
  const Ran run = Invoke({"get"});
  EXPECT_EQ(run.status, kDone);
  EXPECT_NE(run.out.find("\"threshold_mb\":4096"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"current_threshold\":4294967295"), std::string::npos) << run.out;
}

struct LackingCase {
  WfFunction lacking;
  std::string left_out;  // the key the reading has no answer for
};

// A library of an older release lacks some functions: get names each and
// leaves out what it would have told, and still succeeds.
TEST_F(VorlenctlRun, EachFunctionTheLibraryLacksIsNamedAndLeftOut) {
  const LackingCase cases[] = {
      {WfFunction::FbwfIsCompressionEnabled, "\"compression\""},
      {WfFunction::FbwfIsCachePreAllocationEnabled, "\"preallocation\""},
      {WfFunction::FbwfGetSizeDisplay, "\"size_display\""},
      {WfFunction::FbwfGetMemoryUsage, "\"memory\""},
  };
  for (const LackingCase& c : cases) {
    fake_ = FakeFilterLibrary();
    fake_.current.filter = fake_.next.filter = true;
    fake_.missing = {c.lacking};
    const Ran run = Invoke({"get"});
    EXPECT_EQ(run.status, kDone) << NameOf(c.lacking);
    EXPECT_EQ(run.out.find(c.left_out), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"unavailable\":[\"" + std::string(NameOf(c.lacking)) + "\"]}"), std::string::npos) << run.out;
  }
}

TEST_F(VorlenctlRun, ALibraryThatCanNotBeReadFailsTheCheckAsUnknown) {
  fake_.failures[WfFunction::FbwfIsFilterEnabled] = {kWfAccessDenied};
  const Ran run = Invoke({"check"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "FBWFUNKNOWN-FbwfIsFilterEnabledfailedwithcode5(accessdenied)");
}

TEST_F(VorlenctlRun, TheCheckSaysWhatItFoundOnOneLineWithItsPerformanceData) {
  struct Case {
    bool filter_now;
    WfUlong used;
    WfUlong next_threshold_mb;
    std::vector<std::string> args;
    int status;
    const char* line;
  };
  const Case cases[] = {
      {true, 53687091, 64, {}, 0,
       "FBWF OK - overlay 79.9% used (51.1 MiB of 64 MiB) | overlay_used=53687091B;53687091.2;60397977.6;0;67108864 "
       "overlay_used_percent=79.9%;80;90;0;100\n"},
      {true, 53687092, 64, {"-w", "80", "-c", "90"}, 1,
       "FBWF WARNING - overlay 80.000001% used (51.200000 MiB of 64 MiB) | overlay_used=53687092B;53687091.2;60397977.6;0;"
       "67108864 overlay_used_percent=80.000001%;80;90;0;100\n"},
      {true, 60397978, 64, {"--critical=90"}, 2,
       "FBWF CRITICAL - overlay 90.0000005% used (57.6000003 MiB of 64 MiB) | overlay_used=60397978B;53687091.2;60397977.6;0;"
       "67108864 overlay_used_percent=90.0000005%;80;90;0;100\n"},
      {true, 1048576, 64, {"-w", "10:", "-c", "@40:50MB"}, 1,
       "FBWF WARNING - overlay 1.5% used (1.0 MiB of 64 MiB) | overlay_used=1048576B;6710886.4:;@26843545.6:52428800;0;"
       "67108864 overlay_used_percent=1.5%;10:;@40:78.125;0;100\n"},
      {false, 0, 64, {}, 2,
       "FBWF CRITICAL - the filter is off in this session: the device is unprotected | overlay_used=0B;53687091.2;"
       "60397977.6;0;67108864 overlay_used_percent=0.0%;80;90;0;100\n"},
      {false, 0, 64, {"--allow-off"}, 0,
       "FBWF OK - the filter is off in this session, as allowed; overlay 0.0% used (0.0 MiB of 64 MiB) | overlay_used=0B;"
       "53687091.2;60397977.6;0;67108864 overlay_used_percent=0.0%;80;90;0;100\n"},
      {true, 0, 32, {"--reboot-pending"}, 1,
       "FBWF WARNING - overlay 0.0% used (0.0 MiB of 64 MiB); a reboot is pending: the next session differs in "
       "threshold_mb | overlay_used=0B;53687091.2;60397977.6;0;67108864 overlay_used_percent=0.0%;80;90;0;100\n"},
      {true, 0, 32, {}, 0,
       "FBWF OK - overlay 0.0% used (0.0 MiB of 64 MiB) | overlay_used=0B;53687091.2;60397977.6;0;67108864 "
       "overlay_used_percent=0.0%;80;90;0;100\n"},
      {true, 0, 64, {"-w", "eighty"}, 3,
       "FBWF UNKNOWN - usage: vorlenctl check [-w RANGE] [-c RANGE] [-t SECONDS] [--allow-off] [--reboot-pending] "
       "[--guard-history FILE] [--servicing-file FILE] [--servicing-limit SECONDS] (--warning takes a range such as 80, 10:, ~:90, @80:90 or 48MB, not eighty)\n"},
  };
  for (const Case& c : cases) {
    fake_ = FakeFilterLibrary();
    fake_.current.filter = c.filter_now;
    fake_.next.filter = true;
    fake_.next.threshold_mb = c.next_threshold_mb;
    fake_.used_bytes = c.used;
    std::vector<std::string> args = {"check", "--guard-history", desired_.string(), "--servicing-file", record_};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Ran run = Invoke(args, "", false);
    EXPECT_EQ(run.out, c.line);
    EXPECT_EQ(run.status, c.status) << c.line;
  }
}

// The filter off by intent is a warning, whatever the session, until the
// servicing has lasted longer than its limit.
TEST_F(VorlenctlRun, AServicingInProgressIsAWarningUntilItOutlastsItsLimit) {
  const std::int64_t now = host::NowSeconds();
  const std::string perfdata =
      " | overlay_used=0B;53687091.2;60397977.6;0;67108864 overlay_used_percent=0.0%;80;90;0;100\n";
  const struct {
    bool filter_now;
    std::int64_t started;
    const char* limit;
    int status;
    std::string line;
  } cases[] = {
      {false, now - 60, "7200", 1,
       "FBWF WARNING - the servicing patch is in progress since " + Iso8601(now - 60) +
           " (step updates); the filter is off by intent; overlay 0.0% used (0.0 MiB of 64 MiB)" + perfdata},
      {true, now - 60, "7200", 1,
       "FBWF WARNING - the servicing patch is in progress since " + Iso8601(now - 60) +
           " (step updates); overlay 0.0% used (0.0 MiB of 64 MiB)" + perfdata},
      {false, now - 7300, "7200", 2,
       "FBWF CRITICAL - the servicing patch is in progress since " + Iso8601(now - 7300) +
           " (step updates), longer than 7200 s; the filter is off by intent; overlay 0.0% used (0.0 MiB of 64 MiB)" +
           perfdata},
  };
  for (const auto& c : cases) {
    std::ofstream(record_) << ServicingText({"patch", c.started, "updates"});
    fake_.current.filter = c.filter_now;
    const Ran run = Invoke({"check", "--servicing-file", record_, "--servicing-limit", c.limit}, "", false);
    EXPECT_EQ(run.out, c.line);
    EXPECT_EQ(run.status, c.status);
  }
  std::ofstream(record_) << "{\"servicing\": ";
  EXPECT_EQ(Invoke({"check", "--servicing-file", record_}).status, 2) << "an unreadable record is not ignored";
}

// Deployment engines read 1618 as "retry later": a change waits for the
// device's lock and for a servicing in progress, unless it is that servicing's.
TEST_F(VorlenctlRun, AChangeIsRefusedForRetryWhileTheDeviceIsHeldOrInServicing) {
  const std::string set_filter = R"({"filter": true})";
  const std::vector<std::string> set = {"set", "--servicing-file", record_};
  {
    host::DeviceLock held;
    ASSERT_TRUE(held.Take((scratch_ / "vorlenctl.lock").string(), 0));
    const Ran run = Invoke(set, set_filter);
    EXPECT_EQ(run.status, kRetryLater);
    EXPECT_EQ(run.err, "vorlenctl: another vorlenctl is changing this device (" + (scratch_ / "vorlenctl.lock").string() +
                           " is held); retry later\n");
    fake_.next.filter = true;
    EXPECT_EQ(Invoke(set, set_filter).status, kDone) << "nothing to change needs no lock";
    fake_.next.filter = false;
  }
  EXPECT_EQ(Invoke({"servicing", "start", "patch", "--servicing-file", record_}).status, kDone);
  EXPECT_EQ(Invoke({"servicing", "start", "other", "--servicing-file", record_}).status, kRetryLater);
  fake_.calls.clear();
  const Ran refused = Invoke(set, set_filter);
  EXPECT_EQ(refused.status, kRetryLater);
  EXPECT_EQ(refused.err.find("vorlenctl: the servicing patch is in progress since "), 0u) << refused.err;
  EXPECT_EQ(std::count(fake_.calls.begin(), fake_.calls.end(), "FbwfEnableFilter"), 0);
  std::vector<std::string> own = set;
  own.insert(own.end(), {"--servicing", "patch"});
  EXPECT_EQ(Invoke(own, set_filter).status, kDone);
  EXPECT_TRUE(fake_.next.filter);
  EXPECT_NE(Invoke({"servicing", "step", "updates", "--servicing-file", record_}).out.find("\"step\":\"updates\""),
            std::string::npos);
  const std::string ended = Invoke({"servicing", "end", "done", "--servicing-file", record_}).out;
  EXPECT_EQ(ended.find(R"({"in_progress":false,"last_servicing":{"servicing":"patch",)"), 0u) << ended;
  EXPECT_NE(ended.find(R"("step":"done"}})"), std::string::npos) << ended;
  fake_.next.filter = false;
  EXPECT_EQ(Invoke(set, set_filter).status, kDone);
}

TEST_F(VorlenctlRun, ACommitCarriesOnPastAFileThatFailsAndFailsTheRun) {
  fake_.failures[WfFunction::FbwfCommitFile] = {kWfOk, kWfFileNotFound, kWfOk};
  const Ran run = Invoke({"commit", "C:", "\\a.cfg", "\\gone", "\\b.cfg"});
  EXPECT_EQ(run.status, kFailed);
  EXPECT_EQ(fake_.calls, (std::vector<std::string>{"FbwfCommitFile C: \\a.cfg", "FbwfCommitFile C: \\gone",
                                                   "FbwfCommitFile C: \\b.cfg"}));
  EXPECT_EQ(run.out, R"({"volume":"C:","files":[{"path":"\\a.cfg","committed":true},)"
                     R"x({"path":"\\gone","committed":false,"error":"FbwfCommitFilefailedwithcode2(notfound)"},)x"
                     R"({"path":"\\b.cfg","committed":true}],"committed":2,"failed":1})");
  EXPECT_EQ(run.err, "vorlenctl: 1 of 3 files could not be committed\n");
  EXPECT_EQ(Invoke({"commit", "C:"}).status, kUsage);
}

// A detection method is read by Configuration Manager's rules: output means
// installed, none not installed, and only a failed detection is an error.
TEST_F(VorlenctlRun, DetectionPrintsOnlyWhenInTheDesiredStateAndFailsOnlyWhenItCanNotTell) {
  fake_.next.filter = true;
  const struct {
    std::string desired;
    int status;
    std::string out;
    bool error;
  } cases[] = {
      {R"({"filter": true})", 0, "inthedesiredstate", false},
      {R"({"filter": false})", 0, "", false},
      {R"({"filter": tru})", kUsage, "", true},
  };
  for (const auto& c : cases) {
    const Ran run = Invoke({"test", "--detect"}, c.desired);
    EXPECT_EQ(run.status, c.status) << c.desired;
    EXPECT_EQ(run.out, c.out) << c.desired;
    EXPECT_EQ(run.err.empty(), !c.error) << run.err;
  }
  fake_.failures[WfFunction::FbwfIsFilterEnabled] = {kWfAccessDenied};
  const Ran failed = Invoke({"test", "--detect"}, R"({"filter": true})");
  EXPECT_EQ(failed.status, kFailed);
  EXPECT_NE(failed.err, "");
}

TEST_F(VorlenctlRun, TheCheckAnswersHelpAndVersionAndIsTheProgramNamedCheckFbwf) {
  EXPECT_EQ(Invoke({"check", "-h"}, "", false).out.find("vorlenctl check: the write filter's overlay"), 0u);
  EXPECT_EQ(Invoke({"check", "--version"}).out, "vorlenctlcheck(vorlen)" VORLEN_VERSION);
  EXPECT_TRUE(fake_.calls.empty());
  const std::vector<std::string> args = {"-w", "85"};
  for (const char* program : {"/usr/lib/nagios/plugins/check_fbwf", "C:\\icinga\\check_fbwf.exe", "check_fbwf"}) {
    EXPECT_EQ(CommandLineOf(program, args), (std::vector<std::string>{"check", "-w", "85"})) << program;
  }
  for (const char* program : {"vorlenctl", "/usr/bin/vorlenctl", "check_fbwf2", "./check_fbwf/vorlenctl.exe"}) {
    EXPECT_EQ(CommandLineOf(program, args), args) << program;
  }
}

TEST_F(VorlenctlRun, MetricsGiveEachFigureReadAndLeaveOutWhatCouldNotBeRead) {
  fake_.current.filter = fake_.next.filter = true;
  fake_.current.protected_volumes = {{"C:", {"\\a", "\\b"}}};
  fake_.next.protected_volumes = {{"C:", {"\\a"}}, {"D:", {}}};
  fake_.used_bytes = 16u << 20;
  const std::string history = (std::filesystem::temp_directory_path() / "vorlen \"guard\"\\\nhistory").string();
  GuardState guard;
  guard.level = GuardLevel::kWarning;
  guard.since = 1765000000;
  std::ofstream(StatePath(history)) << StateText(guard);
  const Ran run = Invoke({"metrics", "--guard-history", history}, "", false);
  std::filesystem::remove(StatePath(history));
  EXPECT_EQ(run.status, kDone);
  const std::string samples[] = {
      "vorlen_up 1\n",
      "vorlen_filter_enabled{session=\"current\"} 1\n",
      "vorlen_volume_protected{session=\"next\",volume=\"D:\"} 1\n",
      "vorlen_volume_exclusions{session=\"current\",volume=\"C:\"} 2\n",
      "vorlen_volume_exclusions{session=\"next\",volume=\"C:\"} 1\n",
      "vorlen_overlay_used_bytes{part=\"file_data\"} 16777216\n",
      "vorlen_overlay_used_ratio 0.25\n",
      "vorlen_reboot_pending 1\n",
      "vorlen_guard_level{history=\"" + LabelValue(history) + "\",level=\"warning\"} 1\n",
      "# TYPE vorlen_guard_last_crossing_timestamp_seconds gauge\n"
      "vorlen_guard_last_crossing_timestamp_seconds{history=\"" + LabelValue(history) + "\"} 1765000000\n",
  };
  for (const std::string& sample : samples) EXPECT_NE(run.out.find(sample), std::string::npos) << sample << run.out;
  EXPECT_EQ(LabelValue(history).find('\n'), std::string::npos);
  EXPECT_NE(LabelValue(history).find("vorlen \\\"guard\\\"\\\\\\nhistory"), std::string::npos) << LabelValue(history);

  fake_.failures[WfFunction::FbwfGetMemoryUsage] = {kWfAccessDenied};
  const Ran failed = Invoke({"metrics", "--guard-history", history}, "", false);
  EXPECT_EQ(failed.status, kFailed);
  EXPECT_EQ(failed.out, "# HELP vorlen_up Whether the write filter's library answered: 0 when it can't be loaded or a call "
                        "failed.\n# TYPE vorlen_up gauge\nvorlen_up 0\n");
}

// Each shape's text, and with VORLEN_METRICS_SHAPES=DIR each written to
// DIR/SHAPE.prom for Prometheus's own linter.
TEST_F(VorlenctlRun, MetricsOfEveryShapeKeepEachSampleOnALineOfItsOwn) {
  struct Shape {
    const char* name;
    void (*arrange)(FakeFilterLibrary& fake);
    std::size_t samples;
  };
  const Shape shapes[] = {
      {"filter-off", [](FakeFilterLibrary&) {}, 13},
      {"no-volume", [](FakeFilterLibrary& f) { f.current.filter = f.next.filter = true; }, 13},
      {"many-volumes",
       [](FakeFilterLibrary& f) {
         f.current.filter = f.next.filter = true;
         for (char letter = 'C'; letter <= 'Z'; ++letter) {
           f.current.protected_volumes[std::string(1, letter) + ":"] = {"\\a", "\\b"};
         }
       },
       13 + 2 * 24},
      {"quotes-and-line-breaks",
       [](FakeFilterLibrary& f) {
         f.current.filter = f.next.filter = true;
         f.current.protected_volumes = {{"C\"\\:", {}}, {"D:\nE:", {"\\x"}}};
       },
       13 + 2 * 2},
      {"library-failing", [](FakeFilterLibrary& f) { f.failures[WfFunction::FbwfIsFilterEnabled] = {kWfAccessDenied}; }, 1},
  };
  const char* const folder = std::getenv("VORLEN_METRICS_SHAPES");
  for (const Shape& shape : shapes) {
    fake_ = FakeFilterLibrary();
    shape.arrange(fake_);
    const std::string text = Invoke({"metrics", "--guard-history", desired_.string()}, "", false).out;
    std::size_t samples = 0;
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) samples += text[at] != '#';
    EXPECT_EQ(samples, shape.samples) << shape.name << "\n" << text;
    if (folder != nullptr) std::ofstream(std::string(folder) + "/" + shape.name + ".prom") << text;
  }
}

}  // namespace
}  // namespace ctl
