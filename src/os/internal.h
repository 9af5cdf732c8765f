// What the platform files share: the seams each platform fills
// (files_posix.cpp, files_windows.cpp) for the code written once (files.cpp).
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <span>
#include <string_view>

#include "os/files.h"

namespace os {

// Creates `path`, which must not exist, writes `pieces` and flushes them.
bool CreateAndFlush(const fs::path& path, std::span<const std::string_view> pieces);
// Removes whatever is at `path` (a link itself, never what it points to).
bool RemoveLeftover(const fs::path& path);
// Renames atomically, replacing the target.
bool Rename(const fs::path& from, const fs::path& to);
// A folder opened to flush its entries to the disk after a rename, where the
// platform needs it. Opened before the rename: what can fail, fails before
// the change is made.
class FolderFlush {
 public:
  explicit FolderFlush(const fs::path& folder);
  FolderFlush(const FolderFlush&) = delete;
  FolderFlush& operator=(const FolderFlush&) = delete;
  ~FolderFlush();
  bool ok() const { return handle_ != kFailed; }
  void Flush() const;

 private:
  static constexpr long kFailed = -1;
  static constexpr long kNothing = -2;  // nothing to flush
  long handle_;
};

// The system's last error code, and putting it back: the cause of a failure
// outlives the clean-up after it, for LastSystemError.
long SavedError();
void RestoreError(long code);

class KeptError {
 public:
  KeptError() : code_(SavedError()) {}
  ~KeptError() { RestoreError(code_); }
  KeptError(const KeptError&) = delete;
  KeptError& operator=(const KeptError&) = delete;

 private:
  long code_;
};

enum class Attempt { kDone, kBusy, kFailed };

// Tries `attempt` until it is done, fails, or `deadline` passes, sleeping a
// little longer each time.
template <typename Try>
bool Retry(Try attempt, FileLock::Failure& failure, Deadline deadline) {
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    const Attempt result = attempt();
    if (result == Attempt::kDone) return true;
    if (result == Attempt::kFailed) return false;
    if (std::chrono::steady_clock::now() >= deadline) {
      failure = FileLock::Failure::kTimedOut;
      return false;
    }
    SleepMilliseconds(static_cast<unsigned>(pause.count()));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}


// Reads until the end, refusing more than `limit` bytes, even when the caller
// would stop early. A reader that may stop early reads a little at a time;
// the others read the size the file had in one go.
template <typename ReadSome>
ReadOutcome ReadAll(unsigned long long expected, std::size_t limit, FileText& text,
                    bool (*enough)(std::string_view, std::size_t), ReadSome read_some) {
  if (expected > limit) return ReadOutcome::kTooLarge;
  // Room to find the end without growing the buffer, for those who read all.
  std::size_t step = enough != nullptr ? 65536 : static_cast<std::size_t>(expected) + 4096;
  for (;;) {
    const long long got = read_some(text.Extend(step), step);
    if (got < 0) return ReadOutcome::kFailed;
    if (got == 0) {
      text.Ended();
      return ReadOutcome::kRead;
    }
    text.Grew(static_cast<std::size_t>(got));
    if (text.size() > limit) return ReadOutcome::kTooLarge;
    // A short read has met the file's end, which the next read confirms:
    // only a long file is worth asking whether its start is enough.
    const bool full = static_cast<std::size_t>(got) == step;
    if (enough != nullptr && full && enough(text.view(), text.size() - static_cast<std::size_t>(got))) {
      return ReadOutcome::kRead;
    }
    if (enough == nullptr || !full) step = 4096;  // only a file that grew meanwhile has more
  }
}

}  // namespace os
