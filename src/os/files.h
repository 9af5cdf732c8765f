// The operating system's files as the project uses them beyond the standard
// library: file locks, durable writes, names in the platform's own units,
// and where a user's state lives.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace os {

namespace fs = std::filesystem;

// An environment variable (its name in ASCII) as a path; nullopt when unset
// or empty.
std::optional<fs::path> EnvironmentPath(const char* name);

// The folder for a user's state of programs: $XDG_STATE_HOME, else
// ~/.local/state; on Windows %LOCALAPPDATA%, else (XP) the local application
// data folder the shell names, else %APPDATA%.
std::optional<fs::path> UserStateHome();

using NativeChar = fs::path::value_type;

// When a call stops waiting for locks: one wait a call, however many locks
// it takes.
using Deadline = std::chrono::steady_clock::time_point;

// A folder's path and one name in it, in a buffer of its own: for the calls
// that must work when memory has run out.
class FixedPath {
 public:
  FixedPath() { units_[0] = 0; }
  // False when the path does not fit.
  bool Set(const fs::path& folder, std::string_view name);
  const NativeChar* c_str() const { return units_; }

 private:
  NativeChar units_[4096];  // not cleared: every call builds several
};

// A folder's path and one name in it, as the system takes it: cheaper than
// joining paths, for the files that every call of the library opens.
fs::path::string_type NamedIn(const fs::path& folder, std::string_view name);

// An advisory lock on a file, held while the object lives.
// The file is opened without following a link or waiting on a FIFO, and must
// be a plain file.
class FileLock {
 public:
  enum class Mode { kShared, kExclusive };
  enum class Failure { kNone, kUnusable, kTimedOut };
  // Waits until `deadline` at most for the lock; allocates nothing. On a
  // read-only file system where the lock file is missing, nothing can change
  // and no lock is needed.
  static std::optional<FileLock> Acquire(const NativeChar* file, Mode mode, Failure& failure, Deadline deadline);
  static std::optional<FileLock> Acquire(const fs::path& file, Mode mode, Failure& failure, Deadline deadline) {
    return Acquire(file.c_str(), mode, failure, deadline);
  }

  FileLock(FileLock&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  FileLock& operator=(FileLock&&) = delete;
  ~FileLock();

 private:
  static constexpr long long kNone = -1;
  explicit FileLock(long long handle) : handle_(handle) {}
  long long handle_;
};

void SleepMilliseconds(unsigned milliseconds);

unsigned long ProcessId();

// The process that holds a lock on `file`, where the platform can tell.
std::optional<long> LockHolder(const fs::path& file);

// Why the last call of the system failed: its own words, and whether the
// cause is a read-only file system or a lack of permission.
struct SystemError {
  enum class Kind { kReadOnly, kDenied, kOther } kind = Kind::kOther;
  std::string reason;
};
SystemError LastSystemError();

// What a name in the state folder is, never following a link: a symbolic
// link, and on Windows any reparse point, is a kLink; a FIFO, socket or
// device a kOther. `links` counts a file's hard links where the platform
// tells (1 elsewhere).
enum class EntryType { kMissing, kFile, kFolder, kLink, kOther };
struct Entry {
  EntryType type = EntryType::kMissing;
  std::uintmax_t size = 0;
  std::uintmax_t links = 1;
};
Entry Inspect(const NativeChar* path);
inline Entry Inspect(const fs::path& path) { return Inspect(path.c_str()); }

// A plain file or folder of a state folder's own: not a link, not a
// device or FIFO, not a file with a second name elsewhere.
inline bool IsPlain(const Entry& entry) {
  return (entry.type == EntryType::kFile && entry.links == 1) || entry.type == EntryType::kFolder;
}

// A path, or a name, in UTF-8 whatever the platform's own encoding. A name
// that is not valid Unicode keeps its bytes (elsewhere) or has U+FFFD for an
// unpaired surrogate (Windows); NativeHex names it exactly.
std::string Utf8Of(const fs::path& path);

// Whether a name is valid Unicode (UTF-8, or UTF-16 on Windows); if not,
// NativeHex gives its own units in hexadecimal: two digits a byte, or on
// Windows four a 16-bit unit.
bool IsUnicodeName(const fs::path& name);
std::string NativeHex(const fs::path& name);

// The name of an existing entry as the folder holds it: on Windows, whose
// names compare case-insensitively, it may differ from the one asked for.
std::string OwnName(const fs::path& path);

enum class ReadOutcome { kRead, kMissing, kNotPlainFile, kTooLarge, kFailed };

// A file's bytes, read in place into memory that is not cleared first: a
// long configuration costs the reading alone.
class FileText {
 public:
  std::string_view view() const { return {data_.get(), size_}; }
  std::size_t size() const { return size_; }
  // Room for `more` bytes after the current ones, kept.
  char* Extend(std::size_t more);
  void Grew(std::size_t count) { size_ += count; }
  // Whether the read went to the file's end.
  bool whole() const { return whole_; }
  void Ended() { whole_ = true; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool whole_ = false;
};

// Reads a plain file (see IsPlain) of at most `limit` bytes, without
// following a link or waiting on a FIFO. Stops early once `enough` says what
// has been read is all the caller needs; `fresh` is where the newly read
// bytes begin.
ReadOutcome ReadRegularFile(const NativeChar* path, std::size_t limit, FileText& text,
                            bool (*enough)(std::string_view bytes, std::size_t fresh) = nullptr);
inline ReadOutcome ReadRegularFile(const fs::path& path, std::size_t limit, FileText& text) {
  return ReadRegularFile(path.c_str(), limit, text);
}
ReadOutcome ReadRegularFile(const fs::path& path, std::size_t limit, std::string& bytes);

// Creates `path` afresh, never through whatever is there: a leftover of a
// killed process (a file, a link, a FIFO) is removed first. Then writes
// `bytes` and flushes them to the disk.
bool WriteNewFile(const fs::path& path, std::span<const std::string_view> pieces);

// WriteNewFile to `scratch`, then renamed over `target`, then the target's
// folder flushed: a crash leaves the old file or the new one, never a mix.
// The content may come in pieces, which are written one after the other.
bool ReplaceDurably(const fs::path& scratch, const fs::path& target,
                    std::span<const std::string_view> pieces);
inline bool ReplaceDurably(const fs::path& scratch, const fs::path& target, std::string_view bytes) {
  return ReplaceDurably(scratch, target, std::span<const std::string_view>(&bytes, 1));
}

// Appends `text` to a plain file (made when missing, never through a link)
// whole or not at all: a write cut short is taken back. A file that does not
// end in a line break, where an earlier line was cut short and could not be
// taken back, gets one first, so lines never run together. The file's size
// afterwards, or nullopt when nothing was written. Allocates nothing; the
// caller holds a lock that keeps other appends out.
std::optional<std::uintmax_t> AppendWhole(const NativeChar* path, std::string_view text);

// A rename over whatever is at `to`, and an empty file made where none is;
// both allocate nothing.
bool RenameOver(const NativeChar* from, const NativeChar* to);
bool MakeEmptyFile(const NativeChar* path);

// Renames a file over another atomically and flushes the target's folder.
bool MoveDurably(const fs::path& from, const fs::path& to);

// A path in quotes, for messages. Built by appending: GCC 12 warns falsely
// about the overlap of a concatenation with a temporary.
inline std::string Quoted(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

// Standard input and output carry file contents byte for byte.
void UseBinaryStandardStreams();

}  // namespace os
