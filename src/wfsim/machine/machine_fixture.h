// The machine against a fresh state folder, for the machine's tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "temp_folder.h"
#include "wfsim/machine/machine.h"

namespace wfsim {

inline std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh state folder for each test, removed afterwards.
class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(state_.Prepare().ok()); }

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

  TempFolder temp_{"wfsim-test"};
  const fs::path& root_ = temp_.path();
  StateFolder state_{root_ / "fbwfsim"};
  Machine machine_{state_};
};

inline MemoryUsage MemoryOf(const Machine& machine) {
  MemoryUsage usage;
  EXPECT_TRUE(machine.Memory(usage).ok());
  return usage;
}

}  // namespace wfsim
