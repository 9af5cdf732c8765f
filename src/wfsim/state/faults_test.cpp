// Injected failures as the faults file keeps them between processes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "temp_folder.h"
#include "wfsim/state/files.h"
#include "wfsim/state/state.h"

namespace wfsim {
namespace {

class FaultsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(state_.Prepare().ok()); }
  std::optional<WfStatus> Take(WfFunction function) {
    std::optional<WfStatus> fired;
    EXPECT_TRUE(state_.TakeFault(function, fired).ok());
    return fired;
  }

  TempFolder temp_{"wfsim-faults"};
  const fs::path& root_ = temp_.path();
  StateFolder state_{root_ / "fbwfsim"};
};

// Each fault fires as often as its count, for its own function only; a
// second fault for a function replaces the first; the file goes with the
// last fault.
TEST_F(FaultsTest, AFaultFiresItsCountOfTimesThenTheFileGoes) {
  ASSERT_TRUE(state_.AddFault({"FbwfAddExclusion", 5, 9}).ok());
  ASSERT_TRUE(state_.AddFault({"FbwfAddExclusion", 87, 2}).ok());
  ASSERT_TRUE(state_.AddFault({"FbwfEnableFilter", 1460, 1}).ok());
  EXPECT_EQ(Take(WfFunction::FbwfRemoveExclusion), std::nullopt);
  EXPECT_EQ(Take(WfFunction::FbwfAddExclusion), 87u);
  EXPECT_EQ(Take(WfFunction::FbwfAddExclusion), 87u);
  EXPECT_EQ(Take(WfFunction::FbwfAddExclusion), std::nullopt);
  EXPECT_TRUE(fs::exists(state_.dir() / files::kFaults));
  EXPECT_EQ(Take(WfFunction::FbwfEnableFilter), 1460u);
  EXPECT_FALSE(fs::exists(state_.dir() / files::kFaults));
}

struct HandEdit {
  std::string text;
  std::size_t faults;      // parsed, when it parses
  std::size_t bad_line;    // 0 when it parses
};

TEST_F(FaultsTest, AHandEditedFileParsesWithItsLineEndingsOrNamesItsBadLine) {
  const HandEdit cases[] = {
      {"\xEF\xBB\xBF" "FbwfEnableFilter 5 1\r\n\r\nFbwfDisableFilter 87 2\r\n", 2, 0},
      {"FbwfEnableFilter 5 1", 1, 0},
      {"FbwfEnableFilter 5 1\nFbwfDisableFilter 0 1\n", 0, 2},
      {"FbwfEnableFilter 5 0\n", 0, 1},
      {" FbwfEnableFilter 5 1\n", 0, 1},
      {"FbwfEnableFilter 5x 1\n", 0, 1},
      {"FbwfEnableFilter 5\n", 0, 1},
  };
  for (const HandEdit& c : cases) {
    std::ofstream(state_.dir() / files::kFaults, std::ios::binary) << c.text;
    std::vector<Fault> faults;
    const Outcome read = state_.Faults(faults);
    if (c.bad_line == 0) {
      EXPECT_TRUE(read.ok()) << c.text << read.cause;
      EXPECT_EQ(faults.size(), c.faults) << c.text;
    } else {
      EXPECT_EQ(read.code, kWfFileCorrupt) << c.text;
      EXPECT_NE(read.cause.find(", line " + std::to_string(c.bad_line) + ": expected FUNCTION CODE COUNT"),
                std::string::npos)
          << read.cause;
    }
  }
}

}  // namespace
}  // namespace wfsim
