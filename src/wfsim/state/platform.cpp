#include "wfsim/state/platform.h"

#include <type_traits>

#include "wfsim/state/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shlobj.h>
#else
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <thread>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace wfsim {

#ifdef _WIN32

Mutex::Mutex() : native_(new CRITICAL_SECTION) { InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(native_)); }
Mutex::~Mutex() {
  DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(native_));
  delete static_cast<CRITICAL_SECTION*>(native_);
}
void Mutex::Lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(native_)); }
void Mutex::Unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(native_)); }

namespace {
struct ThreadStart {
  void (*body)(void*);
  void* argument;
};
DWORD WINAPI RunThread(void* start) {
  const ThreadStart copy = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  copy.body(copy.argument);
  return 0;
}
}  // namespace

bool StartDetachedThread(void (*body)(void*), void* argument) {
  auto* start = new ThreadStart{body, argument};
  const HANDLE thread = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return false;
  }
  CloseHandle(thread);
  return true;
}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

unsigned long ProcessId() { return GetCurrentProcessId(); }

#else

Mutex::Mutex() : native_(new std::mutex) {}
Mutex::~Mutex() { delete static_cast<std::mutex*>(native_); }
void Mutex::Lock() { static_cast<std::mutex*>(native_)->lock(); }
void Mutex::Unlock() { static_cast<std::mutex*>(native_)->unlock(); }

bool StartDetachedThread(void (*body)(void*), void* argument) {
  try {
    std::thread(body, argument).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void SleepMilliseconds(unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

#endif

std::chrono::milliseconds LockWait() {
  const char* set = std::getenv("FBWFSIM_LOCK_WAIT_MS");
  char* end = nullptr;
  const long long milliseconds = set != nullptr ? std::strtoll(set, &end, 10) : -1;
  if (set == nullptr || *set == '\0' || *end != '\0' || milliseconds < 0) return std::chrono::seconds(30);
  return std::chrono::milliseconds(milliseconds);
}

namespace {

enum class Attempt { kDone, kBusy, kFailed };

// Tries `attempt` until it is done, fails, or LockWait() passes, sleeping a
// little longer each time.
template <typename Try>
bool Retry(Try attempt, FileLock::Failure& failure) {
  const auto deadline = std::chrono::steady_clock::now() + LockWait();
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

std::optional<fs::path> FolderFromEnvironment();  // the platform's own rule, below

// Taken once a process: a relative folder (FBWFSIM_DIR or HOME) is made
// absolute against the folder the process started in, so a script that
// changes folder keeps its machine.
std::optional<fs::path> StateFolderFromEnvironment() {
  static const std::optional<fs::path> folder = []() -> std::optional<fs::path> {
    std::optional<fs::path> found = FolderFromEnvironment();
    std::error_code ec;
    if (found && found->is_relative()) {
      const fs::path absolute = fs::absolute(*found, ec);
      if (!ec) found = absolute;
    }
    return found;
  }();
  return folder;
}

std::string Utf8Of(const fs::path& path) {
#ifdef _WIN32
  // A name with an unpaired surrogate is shown with U+FFFD in its place (see NativeHex).
  std::u16string units(path.native().begin(), path.native().end());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    const bool lead = unit >= 0xD800 && unit <= 0xDBFF, trail = unit >= 0xDC00 && unit <= 0xDFFF;
    const bool paired = lead && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    if (paired) {
      ++i;
    } else if (lead || trail) {
      units[i] = 0xFFFD;
    }
  }
  return ToUtf8(units).value_or("");
#else
  return path.native();
#endif
}

bool IsUnicodeName(const fs::path& name) {
#ifdef _WIN32
  return ToUtf8(std::u16string(name.native().begin(), name.native().end())).has_value();
#else
  return FromUtf8(name.native()).has_value();
#endif
}

std::string NativeHex(const fs::path& name) {
  std::string hex;
  char digits[8];
  for (const fs::path::value_type unit : name.native()) {
    const auto value = static_cast<unsigned>(static_cast<std::make_unsigned_t<fs::path::value_type>>(unit));
    std::snprintf(digits, sizeof digits, sizeof unit == 1 ? "%02x" : "%04x", value);
    hex += digits;
  }
  return hex;
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

std::optional<fs::path> FolderFromEnvironment() {
  if (auto dir = EnvironmentPath(L"FBWFSIM_DIR")) return dir;
  if (auto local = EnvironmentPath(L"LOCALAPPDATA")) return *local / "fbwfsim";
  // XP has no %LOCALAPPDATA%, but has the folder: the shell names it.
  wchar_t folder[MAX_PATH];
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder) == S_OK) {
    return fs::path(folder) / "fbwfsim";
  }
  if (auto roaming = EnvironmentPath(L"APPDATA")) return *roaming / "fbwfsim";
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

std::optional<FileLock> FileLock::Acquire(const fs::path& file, Mode mode, Failure& failure) {
  failure = Failure::kUnusable;
  HANDLE opened = OpenHandle(file, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (opened == INVALID_HANDLE_VALUE && GetLastError() == ERROR_WRITE_PROTECT) {
    if (Inspect(file).type == EntryType::kMissing) return FileLock(kNone);
    opened = OpenHandle(file, GENERIC_READ, OPEN_EXISTING);
  }
  Handle handle(opened);
  if (!handle.ok() || !IsPlainHandle(handle.get())) return std::nullopt;
  const DWORD flags = (mode == Mode::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
  const bool locked = Retry([&] {
    OVERLAPPED whole{};
    if (LockFileEx(handle.get(), flags, 0, MAXDWORD, MAXDWORD, &whole) != 0) return Attempt::kDone;
    return GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING ? Attempt::kBusy
                                                                                       : Attempt::kFailed;
  }, failure);
  if (!locked) return std::nullopt;
  return FileLock(reinterpret_cast<long long>(handle.release()));
}

std::optional<long> LockHolder(const fs::path&) { return std::nullopt; }

std::optional<std::uintmax_t> AppendToFile(const fs::path& path, std::string_view text) {
  Handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.ok() || !IsPlainHandle(file.get())) return std::nullopt;
  DWORD written = 0;
  if (WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) == 0) return std::nullopt;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file.get(), &size) == 0) return std::nullopt;
  return static_cast<std::uintmax_t>(size.QuadPart);
}

SystemError LastSystemError() {
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words = text != nullptr ? text : L"";
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L'.')) words.pop_back();
  SystemError error;
  error.reason = Utf8Of(fs::path(words.empty() ? L"error " + std::to_wstring(code) : words));
  if (code == ERROR_WRITE_PROTECT) error.kind = SystemError::Kind::kReadOnly;
  if (code == ERROR_ACCESS_DENIED) error.kind = SystemError::Kind::kDenied;
  return error;
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

std::optional<fs::path> FolderFromEnvironment() {
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

std::optional<FileLock> FileLock::Acquire(const fs::path& file, Mode mode, Failure& failure) {
  failure = Failure::kUnusable;
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int opened = ::open(file.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
  // A folder made read-only, by its mode or its mount: queries still work.
  if (opened < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    const bool read_only_mount = errno == EROFS;
    opened = ::open(file.c_str(), O_RDONLY | kFlags);
    if (opened < 0 && errno == ENOENT && read_only_mount) return FileLock(kNone);
  }
  Descriptor fd(opened);
  if (!fd.ok() || !IsPlainDescriptor(fd.get())) return std::nullopt;
  const int operation = (mode == Mode::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  const bool locked = Retry([&] {
    if (::flock(fd.get(), operation) == 0) return Attempt::kDone;
    return errno == EWOULDBLOCK || errno == EINTR ? Attempt::kBusy : Attempt::kFailed;
  }, failure);
  if (!locked) return std::nullopt;
  return FileLock(fd.release());
}

std::optional<std::uintmax_t> AppendToFile(const fs::path& path, std::string_view text) {
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
  if (!fd.ok() || !IsPlainDescriptor(fd.get())) return std::nullopt;
  ssize_t written;
  do {
    written = ::write(fd.get(), text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  struct stat info;
  if (written != static_cast<ssize_t>(text.size()) || ::fstat(fd.get(), &info) != 0) return std::nullopt;
  return static_cast<std::uintmax_t>(info.st_size);
}

// /proc/locks names the process of each flock by the file's device and inode.
std::optional<long> LockHolder(const fs::path& file) {
  struct stat info;
  if (::stat(file.c_str(), &info) != 0) return std::nullopt;
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "%02x:%02x:%ju", major(info.st_dev), minor(info.st_dev),
                static_cast<std::uintmax_t>(info.st_ino));
  std::FILE* locks = std::fopen("/proc/locks", "r");
  if (locks == nullptr) return std::nullopt;
  char line[256];
  std::optional<long> holder;
  while (!holder && std::fgets(line, sizeof line, locks) != nullptr) {
    char kind[16], device[64];
    long pid = 0;
    if (std::sscanf(line, "%*s %15s %*s %*s %ld %63s", kind, &pid, device) == 3 &&
        std::strcmp(kind, "FLOCK") == 0 && std::strcmp(device, wanted) == 0) {
      holder = pid;
    }
  }
  std::fclose(locks);
  return holder;
}

SystemError LastSystemError() {
  const int code = errno;
  SystemError error;
  error.reason = std::strerror(code);
  if (code == EROFS) error.kind = SystemError::Kind::kReadOnly;
  if (code == EACCES || code == EPERM) error.kind = SystemError::Kind::kDenied;
  return error;
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

namespace {

// The cause of a failure outlives the clean-up after it, for LastSystemError.
class KeptError {
 public:
#ifdef _WIN32
  KeptError() : code_(GetLastError()) {}
  ~KeptError() { SetLastError(code_); }
#else
  KeptError() : code_(errno) {}
  ~KeptError() { errno = code_; }
#endif
  KeptError(const KeptError&) = delete;
  KeptError& operator=(const KeptError&) = delete;

 private:
#ifdef _WIN32
  DWORD code_;
#else
  int code_;
#endif
};

}  // namespace

bool WriteNewFile(const fs::path& path, std::span<const std::string_view> pieces) {
  if (!RemoveLeftover(path)) return false;
  if (CreateAndFlush(path, pieces)) return true;
  const KeptError kept;
  RemoveLeftover(path);
  return false;
}

bool ReplaceDurably(const fs::path& scratch, const fs::path& target,
                    std::span<const std::string_view> pieces) {
  if (!WriteNewFile(scratch, pieces)) return false;
  if (MoveDurably(scratch, target)) return true;
  const KeptError kept;
  RemoveLeftover(scratch);
  return false;
}

bool MoveDurably(const fs::path& from, const fs::path& to) {
  if (!Rename(from, to) || !SyncFolder(to.parent_path())) return false;
  return from.parent_path() == to.parent_path() || SyncFolder(from.parent_path());
}

}  // namespace wfsim
