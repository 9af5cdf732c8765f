// The files on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "os/internal.h"
#include "text/unicode.h"

namespace os {

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

unsigned long ProcessId() { return GetCurrentProcessId(); }

namespace {


// Opens without following a reparse point; the caller checks what it got.
HANDLE OpenHandle(const NativeChar* path, DWORD access, DWORD disposition) {
  return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

}  // namespace

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

// A rename made with MOVEFILE_WRITE_THROUGH is on the disk when it returns.
FolderFlush::FolderFlush(const fs::path&) : handle_(kNothing) {}
FolderFlush::~FolderFlush() = default;
void FolderFlush::Flush() const {}

long SavedError() { return static_cast<long>(GetLastError()); }
void RestoreError(long code) { SetLastError(static_cast<DWORD>(code)); }

// A name with an unpaired surrogate is shown with U+FFFD in its place (see NativeHex).
std::string Utf8Of(const fs::path& path) {
  return text::ToUtf8Shown(std::u16string(path.native().begin(), path.native().end()));
}

bool IsUnicodeName(const fs::path& name) {
  return text::ToUtf8(std::u16string(name.native().begin(), name.native().end())).has_value();
}

std::optional<fs::path> EnvironmentPath(const char* name) {
  const std::wstring wide(name, name + std::char_traits<char>::length(name));  // ASCII names
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(wide.c_str(), buffer, 32768);
  if (length == 0 || length >= 32768) return std::nullopt;
  return fs::path(std::wstring(buffer, length));
}

std::optional<fs::path> UserStateHome() {
  if (auto local = EnvironmentPath("LOCALAPPDATA")) return local;
  // XP has no %LOCALAPPDATA%, but has the folder: the shell names it.
  wchar_t folder[MAX_PATH];
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder) == S_OK) return fs::path(folder);
  return EnvironmentPath("APPDATA");
}

Entry Inspect(const NativeChar* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExW(path, GetFileExInfoStandard, &data) == 0) return {};
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

std::optional<FileLock> FileLock::Acquire(const NativeChar* file, Mode mode, Failure& failure, Deadline deadline) {
  failure = Failure::kUnusable;
  HANDLE opened = OpenHandle(file, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (opened == INVALID_HANDLE_VALUE && GetLastError() == ERROR_WRITE_PROTECT) {
    if (GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES) return FileLock(kNone);
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
  }, failure, deadline);
  if (!locked) return std::nullopt;
  return FileLock(reinterpret_cast<long long>(handle.release()));
}

std::optional<long> LockHolder(const fs::path&) { return std::nullopt; }

// The caller's lock keeps other appends out, so the end found is the end
// written at.
std::optional<std::uintmax_t> AppendWhole(const NativeChar* path, std::string_view text) {
  Handle file(OpenHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
  LARGE_INTEGER size;
  if (!file.ok() || !IsPlainHandle(file.get()) || GetFileSizeEx(file.get(), &size) == 0) return std::nullopt;
  char last = '\n';
  DWORD got = 0;
  LARGE_INTEGER at;
  at.QuadPart = size.QuadPart > 0 ? size.QuadPart - 1 : 0;
  if (size.QuadPart > 0 && (SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) == 0 ||
                            ReadFile(file.get(), &last, 1, &got, nullptr) == 0 || got != 1)) {
    return std::nullopt;
  }
  if (SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) == 0) return std::nullopt;
  const std::string_view pieces[] = {last == '\n' ? std::string_view() : std::string_view("\n"), text};
  bool whole = true;
  std::uintmax_t total = 0;
  for (std::string_view piece : pieces) {
    DWORD written = 0;
    whole = whole && WriteFile(file.get(), piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) != 0 &&
            written == piece.size();
    total += piece.size();
  }
  if (whole) return static_cast<std::uintmax_t>(size.QuadPart) + total;
  // Cut short (a full disk): taken back, else the next line starts afresh.
  const KeptError kept;
  SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN);
  SetEndOfFile(file.get());
  return std::nullopt;
}

bool RenameOver(const NativeChar* from, const NativeChar* to) {
  return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MakeEmptyFile(const NativeChar* path) {
  Handle file(OpenHandle(path, GENERIC_WRITE, OPEN_ALWAYS));
  return file.ok();
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

ReadOutcome ReadRegularFile(const NativeChar* path, std::size_t limit, FileText& text,
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

}  // namespace os
