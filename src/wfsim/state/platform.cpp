#include "wfsim/state/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// Opens without following a reparse point; the caller checks what it got.
HANDLE OpenHandle(const fs::path& path, DWORD access, DWORD disposition) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                     nullptr);
}

bool IsPlainHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) != 0 &&
         (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
         info.nNumberOfLinks == 1;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (ok()) CloseHandle(handle_);
  }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

bool CreateAndFlush(const fs::path& path, std::span<const std::string_view> pieces) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.ok()) return false;
  bool ok = true;
  for (std::string_view bytes : pieces) {
    while (ok && !bytes.empty()) {
      DWORD written = 0;
      const DWORD chunk = bytes.size() > 1u << 30 ? 1u << 30 : static_cast<DWORD>(bytes.size());
      ok = WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) != 0;
      bytes.remove_prefix(written);
    }
  }
  ok = ok && FlushFileBuffers(file.get()) != 0;
  return CloseHandle(file.release()) != 0 && ok;
}

bool RemoveLeftover(const fs::path& path) {
  // A link is removed itself, never what it points to.
  const Entry entry = Inspect(path);
  if (entry.type == EntryType::kMissing) return true;
  if (entry.type == EntryType::kFolder) return RemoveDirectoryW(path.c_str()) != 0;
  return DeleteFileW(path.c_str()) != 0 || RemoveDirectoryW(path.c_str()) != 0;
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

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

bool IsPlainDescriptor(int fd) {
  struct stat info;
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
}

bool CreateAndFlush(const fs::path& path, std::span<const std::string_view> pieces) {
  Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!file.ok()) return false;
  bool ok = true;
  for (std::string_view bytes : pieces) {
    while (ok && !bytes.empty()) {
      const ssize_t written = ::write(file.get(), bytes.data(), bytes.size());
      ok = written > 0;
      if (ok) bytes.remove_prefix(static_cast<std::size_t>(written));
    }
  }
  ok = ok && ::fsync(file.get()) == 0;
  return ::close(file.release()) == 0 && ok;
}

bool RemoveLeftover(const fs::path& path) {
  // unlink removes a link itself, never what it points to.
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  return errno == EISDIR && ::rmdir(path.c_str()) == 0;
}

bool Rename(const fs::path& from, const fs::path& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool SyncFolder(const fs::path& folder) {
  Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.ok()) return false;
  const bool ok = ::fsync(fd.get()) == 0;
  return ::close(fd.release()) == 0 && ok;
}

#endif

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
    if (got == 0) return ReadOutcome::kRead;
    text.Grew(static_cast<std::size_t>(got));
    if (text.size() > limit) return ReadOutcome::kTooLarge;
    if (enough != nullptr && enough(text.view(), text.size() - static_cast<std::size_t>(got))) {
      return ReadOutcome::kRead;
    }
    if (enough == nullptr) step = 4096;  // only a file that grew meanwhile has more
  }
}

}  // namespace

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

char* FileText::Extend(std::size_t more) {
  if (capacity_ - size_ < more) {
    const std::size_t capacity = std::max(size_ + more, capacity_ * 2);
    std::unique_ptr<char[]> grown(new char[capacity]);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  return data_.get() + size_;
}

ReadOutcome ReadRegularFile(const fs::path& path, std::size_t limit, std::string& bytes) {
  FileText text;
  const ReadOutcome outcome = ReadRegularFile(path, limit, text);
  bytes.assign(text.view());
  return outcome;
}

#ifdef _WIN32

std::optional<fs::path> StateFolderFromEnvironment() {
  if (auto dir = EnvironmentPath(L"FBWFSIM_DIR")) return dir;
  if (auto local = EnvironmentPath(L"LOCALAPPDATA")) return *local / "fbwfsim";
  return std::nullopt;
}

Entry Inspect(const fs::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) == 0) return {};
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return {EntryType::kLink};
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {EntryType::kFolder};
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) return {EntryType::kOther};
  const std::uintmax_t size = (static_cast<std::uintmax_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return {EntryType::kFile, size, 1};
}

std::string OwnName(const fs::path& path) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return Utf8Of(path.filename());
  FindClose(search);
  return Utf8Of(fs::path(found.cFileName));
}

std::optional<FileLock> FileLock::Acquire(const fs::path& file, Mode mode) {
  Handle handle(OpenHandle(file, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
  if (!handle.ok() || !IsPlainHandle(handle.get())) return std::nullopt;
  OVERLAPPED whole{};
  const DWORD flags = mode == Mode::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
  if (LockFileEx(handle.get(), flags, 0, MAXDWORD, MAXDWORD, &whole) == 0) return std::nullopt;
  return FileLock(reinterpret_cast<long long>(handle.release()));
}

FileLock::~FileLock() {
  if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

ReadOutcome ReadRegularFile(const fs::path& path, std::size_t limit, FileText& text,
                            bool (*enough)(std::string_view bytes, std::size_t fresh)) {
  Handle file(OpenHandle(path, GENERIC_READ, OPEN_EXISTING));
  if (!file.ok()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadOutcome::kMissing
                                                                          : ReadOutcome::kFailed;
  }
  if (!IsPlainHandle(file.get())) return ReadOutcome::kNotPlainFile;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file.get(), &size) == 0) return ReadOutcome::kFailed;
  const auto expected = static_cast<unsigned long long>(size.QuadPart);
  return ReadAll(expected, limit, text, enough, [&](char* into, std::size_t count) -> long long {
    DWORD got = 0;
    const DWORD chunk = count > 1u << 30 ? 1u << 30 : static_cast<DWORD>(count);
    return ReadFile(file.get(), into, chunk, &got, nullptr) != 0 ? static_cast<long long>(got) : -1;
  });
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

Entry Inspect(const fs::path& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return {};
  if (S_ISLNK(info.st_mode)) return {EntryType::kLink};
  if (S_ISDIR(info.st_mode)) return {EntryType::kFolder};
  if (!S_ISREG(info.st_mode)) return {EntryType::kOther};
  return {EntryType::kFile, static_cast<std::uintmax_t>(info.st_size),
          static_cast<std::uintmax_t>(info.st_nlink)};
}

std::string OwnName(const fs::path& path) { return Utf8Of(path.filename()); }

std::optional<FileLock> FileLock::Acquire(const fs::path& file, Mode mode) {
  constexpr int kFlags = O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int opened = ::open(file.c_str(), O_RDWR | kFlags, 0644);
  if (opened < 0 && errno == EACCES) opened = ::open(file.c_str(), O_RDONLY | kFlags);  // read-only folder
  Descriptor fd(opened);
  if (!fd.ok() || !IsPlainDescriptor(fd.get())) return std::nullopt;
  int result;
  do {
    result = ::flock(fd.get(), mode == Mode::kExclusive ? LOCK_EX : LOCK_SH);
  } while (result != 0 && errno == EINTR);
  if (result != 0) return std::nullopt;
  return FileLock(fd.release());
}

FileLock::~FileLock() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
}

void UseBinaryStandardStreams() {}

ReadOutcome ReadRegularFile(const fs::path& path, std::size_t limit, FileText& text,
                            bool (*enough)(std::string_view bytes, std::size_t fresh)) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.ok()) {
    if (errno == ENOENT) return ReadOutcome::kMissing;
    return errno == ELOOP ? ReadOutcome::kNotPlainFile : ReadOutcome::kFailed;
  }
  struct stat info;
  if (::fstat(fd.get(), &info) != 0) return ReadOutcome::kFailed;
  if (!S_ISREG(info.st_mode) || info.st_nlink != 1) return ReadOutcome::kNotPlainFile;
  const auto expected = static_cast<unsigned long long>(info.st_size);
  return ReadAll(expected, limit, text, enough, [&](char* into, std::size_t count) -> long long {
    ssize_t got;
    do {
      got = ::read(fd.get(), into, count);
    } while (got < 0 && errno == EINTR);
    return got;
  });
}

#endif

bool WriteNewFile(const fs::path& path, std::span<const std::string_view> pieces) {
  if (!RemoveLeftover(path)) return false;
  if (CreateAndFlush(path, pieces)) return true;
  RemoveLeftover(path);
  return false;
}

bool ReplaceDurably(const fs::path& scratch, const fs::path& target,
                    std::span<const std::string_view> pieces) {
  if (!WriteNewFile(scratch, pieces)) return false;
  if (MoveDurably(scratch, target)) return true;
  RemoveLeftover(scratch);
  return false;
}

bool MoveDurably(const fs::path& from, const fs::path& to) {
  if (!Rename(from, to) || !SyncFolder(to.parent_path())) return false;
  return from.parent_path() == to.parent_path() || SyncFolder(from.parent_path());
}

}  // namespace wfsim
