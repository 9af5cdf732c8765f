// The call journal under processes that append at once, a rotation, a line
// cut short and a journal that can't be written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <new>
#include <set>
#include <string>

#include "temp_folder.h"
#include "wfsim/state/state.h"

namespace {

// Appending must work when memory has run out: while this is set, every
// allocation of the process fails.
[[maybe_unused]] thread_local bool allocation_fails = false;

}  // namespace

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLEN_SANITIZED 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(VORLEN_SANITIZED)
#define VORLEN_COUNTS_ALLOCATIONS 1
void* operator new(std::size_t size) {
  void* memory = allocation_fails ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#endif

namespace wfsim {
namespace {

class JournalTest : public ::testing::Test {
 protected:
  // "WRITER NUMBER" padded to `bytes`, as a journal line.
  static std::string Line(int writer, int number, std::size_t bytes = 80) {
    std::string line = std::to_string(writer) + " " + std::to_string(number) + " FbwfIsFilterEnabled(";
    line.resize(bytes, 'x');
    return line + ") = 0\n";
  }
  // Runs `body` in `count` processes at once; true when all ended well.
  template <typename Body>
  static bool InProcesses(int count, Body body) {
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
      const pid_t child = fork();
      if (child == 0) {
        body(i);
        _exit(0);
      }
      children.push_back(child);
    }
    bool ok = true;
    for (pid_t child : children) {
      int status = 0;
      ok = waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
    }
    return ok;
  }
  std::vector<std::string> Lines(bool* incomplete = nullptr) const {
    std::vector<std::string> lines;
    bool missing = false;
    EXPECT_TRUE(state_.JournalLines(lines, missing).ok());
    if (incomplete != nullptr) *incomplete = missing;
    return lines;
  }

  TempFolder temp_{"wfsim-journal"};
  const fs::path& root_ = temp_.path();
  StateFolder state_{root_};
};

TEST_F(JournalTest, ProcessesAppendingAtOnceLoseAndTearNoLine) {
  ASSERT_TRUE(InProcesses(8, [&](int writer) {
    for (int i = 0; i < 500; ++i) StateFolder(root_).Journal(Line(writer, i));
  }));
  const std::vector<std::string> lines = Lines();
  const std::set<std::string> unique(lines.begin(), lines.end());
  EXPECT_EQ(lines.size(), 4000u);
  EXPECT_EQ(unique.size(), 4000u);
  for (const std::string& line : lines) EXPECT_EQ(line.size(), 85u) << line;
}

TEST_F(JournalTest, ARotationWhileAnotherProcessAppendsKeepsEveryLine) {
  ASSERT_TRUE(InProcesses(2, [&](int writer) {
    // 3 MB of long lines pass the rotation size once, while 240 short ones go in.
    for (int i = 0; i < (writer == 0 ? 1000 : 240); ++i) {
      StateFolder(root_).Journal(Line(writer, i, writer == 0 ? 3000 : 80));
    }
  }));
  EXPECT_TRUE(fs::exists(root_ / "journal.1"));
  int short_lines = 0;
  for (const std::string& line : Lines()) short_lines += line.starts_with("1 ");
  EXPECT_EQ(short_lines, 240);
  EXPECT_LE(fs::file_size(root_ / "journal.1"), StateFolder::kJournalRotateBytes + 4096);
}

TEST_F(JournalTest, ALineCutShortStaysApartAndIsSkipped) {
  std::ofstream(root_ / "journal") << "2026-12-08T14:10:10.123Z 42 FbwfAddExclusion(\"C:\", \"\\lo";
  state_.Journal(Line(1, 1));
  EXPECT_EQ(Lines(), std::vector<std::string>{Line(1, 1).substr(0, 85)});
  std::ifstream in(root_ / "journal");
  std::string first;
  std::getline(in, first);
  EXPECT_TRUE(first.ends_with("\\lo")) << first;
}

TEST_F(JournalTest, ALineThatCannotBeWrittenLeavesTheJournalIncomplete) {
  fs::create_directory(root_ / "journal.lock");  // not a file: the lock can't be taken
  state_.Journal(Line(1, 1));
  bool incomplete = false;
  Lines(&incomplete);
  EXPECT_TRUE(incomplete);
  fs::remove(root_ / "journal.lock");
  ASSERT_TRUE(state_.ClearJournal().ok());
  state_.Journal(Line(1, 2));
  EXPECT_EQ(Lines(&incomplete).size(), 1u);
  EXPECT_FALSE(incomplete);
}

TEST_F(JournalTest, AppendingNeedsNoMemory) {
#ifndef VORLEN_COUNTS_ALLOCATIONS
  GTEST_SKIP() << "the sanitizer's allocator can't be replaced";
#else
  const std::string line = Line(1, 1);
  allocation_fails = true;
  StateFolder::AppendToJournal(root_, DeadlineFromNow(), line);
  allocation_fails = false;
  EXPECT_EQ(Lines().size(), 1u);
#endif
}

}  // namespace
}  // namespace wfsim
