// The files on Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "os/internal.h"
#include "text/unicode.h"

namespace os {

void SleepMilliseconds(unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

namespace {


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

}  // namespace

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

FolderFlush::FolderFlush(const fs::path& folder)
    : handle_(folder.empty() ? kNothing : ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {}
FolderFlush::~FolderFlush() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}
void FolderFlush::Flush() const {
  if (handle_ >= 0) ::fsync(static_cast<int>(handle_));
}

long SavedError() { return errno; }
void RestoreError(long code) { errno = static_cast<int>(code); }

std::string Utf8Of(const fs::path& path) { return path.native(); }

bool IsUnicodeName(const fs::path& name) { return text::FromUtf8(name.native()).has_value(); }

std::optional<fs::path> EnvironmentPath(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return fs::path(value);
}

std::optional<fs::path> UserStateHome() {
  if (auto state = EnvironmentPath("XDG_STATE_HOME"); state && state->is_absolute()) return state;
  if (auto home = EnvironmentPath("HOME")) return *home / ".local" / "state";
  return std::nullopt;
}

Entry Inspect(const NativeChar* path) {
  struct stat info;
  if (::lstat(path, &info) != 0) return {};
  if (S_ISLNK(info.st_mode)) return {EntryType::kLink};
  if (S_ISDIR(info.st_mode)) return {EntryType::kFolder};
  if (!S_ISREG(info.st_mode)) return {EntryType::kOther};
  return {EntryType::kFile, static_cast<std::uintmax_t>(info.st_size),
          static_cast<std::uintmax_t>(info.st_nlink)};
}

std::string OwnName(const fs::path& path) { return Utf8Of(path.filename()); }

std::optional<FileLock> FileLock::Acquire(const NativeChar* file, Mode mode, Failure& failure, Deadline deadline) {
  failure = Failure::kUnusable;
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int opened = ::open(file, O_RDWR | O_CREAT | kFlags, 0644);
  // A folder made read-only, by its mode or its mount: queries still work.
  if (opened < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    const int refused = errno;
    opened = ::open(file, O_RDONLY | kFlags);
    if (opened < 0 && errno == ENOENT && refused == EROFS) return FileLock(kNone);
    // No lock file, and none can be made: the folder can't be written.
    if (opened < 0 && errno == ENOENT) errno = refused;
  }
  Descriptor fd(opened);
  if (!fd.ok() || !IsPlainDescriptor(fd.get())) return std::nullopt;
  const int operation = (mode == Mode::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  const bool locked = Retry([&] {
    if (::flock(fd.get(), operation) == 0) return Attempt::kDone;
    return errno == EWOULDBLOCK || errno == EINTR ? Attempt::kBusy : Attempt::kFailed;
  }, failure, deadline);
  if (!locked) return std::nullopt;
  return FileLock(fd.release());
}

std::optional<std::uintmax_t> AppendWhole(const NativeChar* path, std::string_view text) {
  Descriptor fd(::open(path, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
  struct stat info;
  if (!fd.ok() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
    return std::nullopt;
  }
  const auto before = static_cast<std::uintmax_t>(info.st_size);
  char last = '\n';
  if (before > 0 && ::pread(fd.get(), &last, 1, static_cast<off_t>(before - 1)) != 1) return std::nullopt;
  const struct iovec pieces[] = {{const_cast<char*>("\n"), last == '\n' ? 0u : 1u},
                                 {const_cast<char*>(text.data()), text.size()}};
  const std::size_t total = pieces[0].iov_len + pieces[1].iov_len;
  ssize_t written;
  do {
    written = ::writev(fd.get(), pieces, 2);
  } while (written < 0 && errno == EINTR);
  if (written == static_cast<ssize_t>(total)) return before + total;
  // Cut short (a full disk): taken back, else the next line starts afresh.
  const KeptError kept;
  if (written > 0 && ::ftruncate(fd.get(), static_cast<off_t>(before)) != 0) return std::nullopt;
  return std::nullopt;
}

bool RenameOver(const NativeChar* from, const NativeChar* to) { return ::rename(from, to) == 0; }

bool MakeEmptyFile(const NativeChar* path) {
  Descriptor fd(::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
  return fd.ok();
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

ReadOutcome ReadRegularFile(const NativeChar* path, std::size_t limit, FileText& text,
                            bool (*enough)(std::string_view bytes, std::size_t fresh)) {
  Descriptor fd(::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
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

}  // namespace os
