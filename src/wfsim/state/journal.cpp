// The journal of the library's calls, one line a call.
#include <algorithm>

#include "wfsim/state/state.h"

namespace wfsim {

namespace {

// The last `count` lines of `text`.
std::vector<std::string> LastLines(std::string_view text, std::size_t count) {
  std::vector<std::string> lines;
  std::size_t end = text.size();
  if (end > 0 && text[end - 1] == '\n') --end;
  while (end > 0 && lines.size() < count) {
    const std::size_t start = text.rfind('\n', end - 1);
    const std::size_t from = start == std::string_view::npos ? 0 : start + 1;
    lines.emplace_back(text.substr(from, end - from));
    if (start == std::string_view::npos) break;
    end = start;
  }
  std::reverse(lines.begin(), lines.end());
  return lines;
}

}  // namespace

void StateFolder::Journal(std::string_view line) const {
  const std::optional<std::uintmax_t> size = AppendToFile(dir_ / "journal", line);
  if (!size || *size <= kJournalTrimBytes) return;
  Outcome failure;
  const std::optional<FileLock> lock = Locked(FileLock::Mode::kExclusive, failure);
  std::string text;
  if (!lock || ReadRegularFile(dir_ / "journal", 4 * kJournalTrimBytes, text) != ReadOutcome::kRead) return;
  std::string kept;
  for (const std::string& entry : LastLines(text, kJournalLines)) (kept += entry) += '\n';
  ReplaceDurably(dir_ / "journal.new", dir_ / "journal", kept);
}

Outcome StateFolder::JournalLines(std::vector<std::string>& lines) const {
  const fs::path file = dir_ / "journal";
  std::string text;
  lines.clear();
  const ReadOutcome read = ReadRegularFile(file, 4 * kJournalTrimBytes, text);
  if (read == ReadOutcome::kMissing) return kOk;
  if (read != ReadOutcome::kRead) return ReadFailure(read, file, "16 MiB");
  lines = LastLines(text, kJournalLines);
  return kOk;
}

Outcome StateFolder::ClearJournal() {
  return Exclusively([&]() -> Outcome {
    std::error_code ec;
    if (fs::remove(dir_ / "journal", ec) || !ec) return kOk;
    return ChangeFailed(Quoted(dir_ / "journal") + " can't be removed", ec);
  });
}

}  // namespace wfsim
