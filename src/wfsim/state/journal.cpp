// The journal of the library's calls: journal (newest lines), journal.1 (the
// lines before them), journal.lock, and journal.incomplete once a line could
// not be written.
#include <algorithm>

#include "wfsim/state/files.h"
#include "wfsim/state/state.h"

namespace wfsim {

namespace {

constexpr std::string_view kJournalFiles[] = {files::kJournalPrevious, files::kJournal, files::kJournalIncomplete};

// Whole lines only: a line cut short by a full disk, which the next append
// set apart, lacks the " = CODE" that ends every whole one.
bool IsWholeLine(std::string_view line) {
  const std::size_t equals = line.rfind(" = ");
  if (equals == std::string_view::npos || equals + 3 == line.size()) return false;
  return std::all_of(line.begin() + static_cast<std::ptrdiff_t>(equals + 3), line.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The whole lines of `text`, in order, added to `lines`.
void AddWholeLines(std::string_view text, std::vector<std::string>& lines) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) break;  // still being written, or cut short
    const std::string_view line = text.substr(0, end);
    if (IsWholeLine(line)) lines.emplace_back(line);
    text.remove_prefix(end + 1);
  }
}

}  // namespace

void StateFolder::AppendToJournal(const fs::path& dir, Deadline deadline, std::string_view line) {
  FixedPath lock_file, journal, previous, incomplete;
  if (!lock_file.Set(dir, files::kJournalLock) || !journal.Set(dir, files::kJournal) || !previous.Set(dir, files::kJournalPrevious) ||
      !incomplete.Set(dir, files::kJournalIncomplete)) {
    return;
  }
  FileLock::Failure failure = FileLock::Failure::kNone;
  const std::optional<FileLock> lock =
      FileLock::Acquire(lock_file.c_str(), FileLock::Mode::kExclusive, failure, deadline);
  const std::optional<std::uintmax_t> size = lock ? AppendWhole(journal.c_str(), line) : std::nullopt;
  if (!size) {
    MakeEmptyFile(incomplete.c_str());
  } else if (*size > kJournalRotateBytes) {
    RenameOver(journal.c_str(), previous.c_str());
  }
}

Outcome StateFolder::JournalLines(std::vector<std::string>& lines, bool& incomplete) const {
  lines.clear();
  incomplete = Inspect(dir_ / files::kJournalIncomplete).type != EntryType::kMissing;
  // No rotation while both files are read; without the lock (a folder that
  // can't be written) nothing rotates either.
  FileLock::Failure failure = FileLock::Failure::kNone;
  const std::optional<FileLock> lock =
      FileLock::Acquire(dir_ / files::kJournalLock, FileLock::Mode::kShared, failure, deadline_);
  for (const std::string_view name : {files::kJournalPrevious, files::kJournal}) {
    const fs::path file = dir_ / name;
    std::string text;
    const ReadOutcome read = ReadRegularFile(file, 4 * kJournalRotateBytes, text);
    if (read == ReadOutcome::kMissing) continue;
    if (read != ReadOutcome::kRead) return ReadFailure(read, file, "8 MiB");
    AddWholeLines(text, lines);
  }
  if (lines.size() > kJournalLines) lines.erase(lines.begin(), lines.end() - kJournalLines);
  return kOk;
}

Outcome StateFolder::ClearJournal() {
  FileLock::Failure failure = FileLock::Failure::kNone;
  const std::optional<FileLock> lock =
      FileLock::Acquire(dir_ / files::kJournalLock, FileLock::Mode::kExclusive, failure, deadline_);
  if (!lock) return ChangeFailed("the journal's lock can't be taken in " + Quoted(dir_));
  for (const std::string_view name : kJournalFiles) {
    std::error_code ec;
    if (!fs::remove(dir_ / name, ec) && ec) return ChangeFailed(Quoted(dir_ / name) + " can't be removed", ec);
  }
  return kOk;
}

}  // namespace wfsim
