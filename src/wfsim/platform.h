// The few operating-system calls the stand-in needs beyond the standard
// library: where its state lives, file locks and durable writes.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace wfsim {

namespace fs = std::filesystem;

// $FBWFSIM_DIR, else $XDG_STATE_HOME/fbwfsim, else ~/.local/state/fbwfsim;
// on Windows %FBWFSIM_DIR%, else %LOCALAPPDATA%\fbwfsim.
std::optional<fs::path> StateFolderFromEnvironment();

// An advisory lock on a file of the state folder, held while the object lives.
class FileLock {
 public:
  enum class Mode { kShared, kExclusive };
  static std::optional<FileLock> Acquire(const fs::path& file, Mode mode);

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

// fopen with the platform's own path encoding.
std::FILE* OpenFile(const fs::path& path, const char* mode);

// Reads a regular file, refusing symbolic links and files over `limit` bytes
// (false, with `too_large` set). Stops early once `enough` says what has been
// read is all the caller needs; `fresh` is where the newly read bytes begin.
bool ReadRegularFile(const fs::path& path, std::size_t limit, std::string& bytes, bool& too_large,
                     bool (*enough)(std::string_view bytes, std::size_t fresh) = nullptr);

// Writes `bytes` to `scratch`, flushes it to the disk and renames it over
// `target`, then flushes the target's folder: a crash leaves the old file or
// the new one, never a mix.
bool ReplaceDurably(const fs::path& scratch, const fs::path& target, std::string_view bytes);

// Renames a file over another atomically and flushes the target's folder.
bool MoveDurably(const fs::path& from, const fs::path& to);

// Standard input and output carry file contents byte for byte.
void UseBinaryStandardStreams();

}  // namespace wfsim
