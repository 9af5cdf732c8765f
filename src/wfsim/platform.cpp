#include "wfsim/platform.h"

#include <cerrno>
#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace wfsim {

namespace {

#ifdef _WIN32

std::optional<fs::path> EnvironmentPath(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
  if (length == 0 || length >= 32768) return std::nullopt;
  return fs::path(std::wstring(buffer, length));
}

bool WriteAndFlush(const fs::path& path, std::string_view bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = bytes.size() > 1u << 30 ? 1u << 30 : static_cast<DWORD>(bytes.size());
    ok = WriteFile(file, bytes.data(), chunk, &written, nullptr) != 0;
    bytes.remove_prefix(written);
  }
  ok = ok && FlushFileBuffers(file) != 0;
  return CloseHandle(file) != 0 && ok;
}

// MOVEFILE_WRITE_THROUGH returns only once the rename is on the disk.
bool Rename(const fs::path& from, const fs::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool SyncFolder(const fs::path&) { return true; }

#else

std::optional<fs::path> EnvironmentPath(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return fs::path(value);
}

bool WriteAndFlush(const fs::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    ok = written > 0;
    if (ok) bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  ok = ok && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

bool Rename(const fs::path& from, const fs::path& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

#endif

}  // namespace

#ifdef _WIN32

std::optional<fs::path> StateFolderFromEnvironment() {
  if (auto dir = EnvironmentPath(L"FBWFSIM_DIR")) return dir;
  if (auto local = EnvironmentPath(L"LOCALAPPDATA")) return *local / "fbwfsim";
  return std::nullopt;
}

std::optional<FileLock> FileLock::Acquire(const fs::path& file, Mode mode) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  OVERLAPPED whole{};
  const DWORD flags = mode == Mode::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
  if (LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &whole) == 0) {
    CloseHandle(handle);
    return std::nullopt;
  }
  return FileLock(reinterpret_cast<long long>(handle));
}

FileLock::~FileLock() {
  if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
  const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
}

#else

std::optional<fs::path> StateFolderFromEnvironment() {
  if (auto dir = EnvironmentPath("FBWFSIM_DIR")) return dir;
  if (auto state = EnvironmentPath("XDG_STATE_HOME"); state && state->is_absolute()) {
    return *state / "fbwfsim";
  }
  if (auto home = EnvironmentPath("HOME")) return *home / ".local" / "state" / "fbwfsim";
  return std::nullopt;
}

std::optional<FileLock> FileLock::Acquire(const fs::path& file, Mode mode) {
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);  // a read-only state folder
  if (fd < 0) return std::nullopt;
  int result;
  do {
    result = ::flock(fd, mode == Mode::kExclusive ? LOCK_EX : LOCK_SH);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return FileLock(fd);
}

FileLock::~FileLock() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
}

void UseBinaryStandardStreams() {}

std::FILE* OpenFile(const fs::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

#endif

bool ReadRegularFile(const fs::path& path, std::size_t limit, std::string& bytes, bool& too_large,
                     bool (*enough)(std::string_view bytes, std::size_t fresh)) {
  too_large = false;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (ec || !fs::is_regular_file(status)) return false;
  // Refused by its size even when the caller would stop reading early.
  if (fs::file_size(path, ec) > limit) {
    too_large = !ec;
    return false;
  }
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) return false;
  bytes.clear();
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (bytes.size() + got > limit) {
      too_large = true;
      break;
    }
    bytes.append(buffer, got);
    if (enough != nullptr && enough(bytes, bytes.size() - got)) break;
  }
  const bool ok = !too_large && std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

bool ReplaceDurably(const fs::path& scratch, const fs::path& target, std::string_view bytes) {
  if (!WriteAndFlush(scratch, bytes)) {
    std::error_code ignored;
    fs::remove(scratch, ignored);
    return false;
  }
  return MoveDurably(scratch, target);
}

bool MoveDurably(const fs::path& from, const fs::path& to) {
  if (!Rename(from, to) || !SyncFolder(to.parent_path())) return false;
  return from.parent_path() == to.parent_path() || SyncFolder(from.parent_path());
}

}  // namespace wfsim
