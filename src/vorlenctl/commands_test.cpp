#include "vorlenctl/command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_filter_library.h"

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
  void TearDown() override { std::filesystem::remove(desired_); }

  Ran Invoke(std::vector<std::string> args, const std::string& desired = "") {
    if (!desired.empty()) {
      std::ofstream(desired_) << desired;
      args.push_back(desired_.string());
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Context context{fake_, out, err};
    const int status = RunVorlenctl(context, args);
    return {status, Drain(out, true), Drain(err, false)};
  }

  FakeFilterLibrary fake_;
  std::filesystem::path desired_ =
      std::filesystem::temp_directory_path() / ("vorlenctl-desired-" + std::to_string(::getpid()) + ".json");
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

}  // namespace
}  // namespace ctl
