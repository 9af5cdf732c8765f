#include "vorlenctl/host.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "text/unicode.h"
#include "vorlenctl/host_windows.h"

namespace ctl::host {

std::wstring Wide(const std::string& utf8) {
  const std::optional<std::u16string> units = text::FromUtf8(utf8);
  return units ? std::wstring(units->begin(), units->end()) : std::wstring();
}

std::string Narrow(const std::wstring& wide) {
  return text::ToUtf8Shown(std::u16string(wide.begin(), wide.end()));
}

std::optional<std::wstring> Environment(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
  if (length == 0 || length >= 32768) return std::nullopt;
  return std::wstring(buffer, length);
}

PathFacts Inspect(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) == 0) return {};
  PathKind kind = PathKind::kFile;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) kind = PathKind::kFolder;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) kind = PathKind::kLink;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) kind = PathKind::kOther;
  return {kind, true, (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
}

namespace {

bool WriteFile(const std::wstring& path, const std::string& text, DWORD access, DWORD disposition) {
  const HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD wrote = 0;
  const bool written = text.empty() || (::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) != 0 &&
                                        wrote == text.size());
  return CloseHandle(file) != 0 && written;
}

}  // namespace

bool Append(const std::string& path, const std::string& text) {
  return WriteFile(Wide(path), text, FILE_APPEND_DATA, OPEN_ALWAYS);
}

std::int64_t NowSeconds() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  return static_cast<std::int64_t>((ticks - 116444736000000000ull) / 10000000ull);
}

DeviceLock::~DeviceLock() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

// The file opened with no sharing is the lock: another open fails until the
// holder closes it or ends.
bool DeviceLock::Take(const std::string& path, unsigned wait_ms) {
  if (!MakeParentFolders(path)) return false;
  const std::wstring name = Wide(path);
  for (unsigned waited = 0;; waited += 50) {
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return handle_ = reinterpret_cast<std::intptr_t>(file), true;
    if (GetLastError() != ERROR_SHARING_VIOLATION || waited >= wait_ms) return false;
    Sleep(50);
  }
}

bool Replace(const std::string& path, const std::string& text) {
  // The process's own scratch file: two writers of one file never share it.
  const std::wstring target = Wide(path), scratch = Wide(path + "." + std::to_string(GetCurrentProcessId()) + ".new");
  if (WriteFile(scratch, text, GENERIC_WRITE, CREATE_ALWAYS) &&
      MoveFileExW(scratch.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
    return true;
  }
  DeleteFileW(scratch.c_str());
  return false;
}

std::optional<std::string> Read(const std::string& path, std::size_t limit) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string text(limit, '\0');
  DWORD got = 0;
  const bool read = ReadFile(file, text.data(), static_cast<DWORD>(limit), &got, nullptr) != 0;
  CloseHandle(file);
  if (!read) return std::nullopt;
  text.resize(got);
  return text;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MakeParentFolders(const std::string& path) {
  const std::wstring wide = Wide(path);
  // Past a drive ("C:\") or a share's root ("\\server\share\").
  std::size_t from = wide.size() > 2 && wide[1] == L':' ? 3 : 1;
  if (wide.rfind(L"\\\\", 0) == 0) from = wide.find_first_of(L"\\/", wide.find_first_of(L"\\/", 2) + 1) + 1;
  for (std::size_t at = wide.find_first_of(L"\\/", from); at != std::wstring::npos && from != 0;
       at = wide.find_first_of(L"\\/", at + 1)) {
    const std::wstring folder = wide.substr(0, at);
    if (CreateDirectoryW(folder.c_str(), nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return true;
}

std::optional<std::string> DefaultGuardHistory() {
  if (std::optional<std::wstring> data = Environment(L"ProgramData")) return Narrow(*data) + "\\vorlen\\guard.jsonl";
  if (std::optional<std::wstring> all = Environment(L"ALLUSERSPROFILE")) {
    return Narrow(*all) + "\\Application Data\\vorlen\\guard.jsonl";
  }
  return std::nullopt;
}

namespace {

struct DeadlineWatch {
  HANDLE answered;
  DWORD milliseconds;
  std::FILE* out;
  std::string line;
  int status;
  HANDLE thread;
};

DWORD WINAPI WatchDeadline(void* argument) {
  const DeadlineWatch& watch = *static_cast<DeadlineWatch*>(argument);
  if (WaitForSingleObject(watch.answered, watch.milliseconds) != WAIT_TIMEOUT) return 0;
  std::fputs(watch.line.c_str(), watch.out);
  std::fflush(watch.out);
  ExitProcess(static_cast<UINT>(watch.status));
}

}  // namespace

Deadline::Deadline(unsigned seconds, const std::string& line, int status) {
  auto* watch = new DeadlineWatch{CreateEventW(nullptr, TRUE, FALSE, nullptr), seconds * 1000, stdout, line, status, nullptr};
  if (watch->answered != nullptr) watch->thread = CreateThread(nullptr, 0, WatchDeadline, watch, 0, nullptr);
  native_ = watch;
}

void Deadline::Answered() {
  auto* watch = static_cast<DeadlineWatch*>(native_);
  if (watch == nullptr) return;
  native_ = nullptr;
  if (watch->thread != nullptr) {
    SetEvent(watch->answered);
    WaitForSingleObject(watch->thread, INFINITE);
    CloseHandle(watch->thread);
  }
  if (watch->answered != nullptr) CloseHandle(watch->answered);
  delete watch;
}

}  // namespace ctl::host
