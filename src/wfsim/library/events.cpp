#include "wfsim/library/events.h"

#include "wfsim/base/codes.h"

#ifdef _WIN32

#include <windows.h>

#include <string>

namespace wfsim {

namespace {

// The type name NtQueryObject gives: a UNICODE_STRING, then its units.
struct TypeName {
  USHORT length;  // bytes
  USHORT maximum;
  const wchar_t* units;
};
using QueryObject = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
constexpr ULONG kObjectTypeInformation = 2;

}  // namespace

bool IsValidEvent(void* event) {
  DWORD flags = 0;
  if (event == nullptr || GetHandleInformation(event, &flags) == 0) return false;
  static const auto query = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  if (query == nullptr) return false;
  alignas(8) unsigned char buffer[512];
  ULONG size = 0;
  if (query(event, kObjectTypeInformation, buffer, sizeof buffer, &size) != 0) return false;
  const auto* name = reinterpret_cast<const TypeName*>(buffer);
  return name->length == 10 && name->units != nullptr && std::char_traits<wchar_t>::compare(name->units, L"Event", 5) == 0;
}

void SignalEvent(void* event) { SetEvent(event); }

WfStatus DuplicateEvent(void* event, void*& own) {
  HANDLE copy = nullptr;
  const HANDLE process = GetCurrentProcess();
  if (DuplicateHandle(process, event, process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS) == 0) {
    const DWORD error = GetLastError();
    const bool memory = error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY || error == ERROR_NO_SYSTEM_RESOURCES;
    return memory ? kNotEnoughMemory : kTooManyOpenFiles;
  }
  own = copy;
  return kOk;
}

void CloseEvent(void* owned) { CloseHandle(owned); }

void* HoldLibrary() {
  HMODULE module = nullptr;
  const auto address = reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&HoldLibrary));
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &module) == 0) return nullptr;
  return module;
}

void ReleaseLibrary(void* held) {
  if (held != nullptr) FreeLibrary(static_cast<HMODULE>(held));
}

void EndThreadReleasing(void* held) {
  if (held != nullptr) FreeLibraryAndExitThread(static_cast<HMODULE>(held), 0);
}

}  // namespace wfsim

#else

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace wfsim {

namespace {

// The descriptor a handle names, or -1 for a value that can't be one.
int DescriptorOf(void* event) {
  const auto value = reinterpret_cast<std::intptr_t>(event);
  return value > 0 && value <= INT_MAX ? static_cast<int>(value) : -1;
}

}  // namespace

bool IsValidEvent(void* event) {
  const int fd = DescriptorOf(event);
  if (fd < 0 || fcntl(fd, F_GETFD) == -1) return false;
  char link[48], target[64] = {};
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, target, sizeof target - 1);
  return length > 0 && std::string_view(target, static_cast<std::size_t>(length)) == "anon_inode:[eventfd]";
}

void SignalEvent(void* event) {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(DescriptorOf(event), &one, sizeof one);
}

WfStatus DuplicateEvent(void* event, void*& own) {
  const int copy = fcntl(DescriptorOf(event), F_DUPFD_CLOEXEC, 3);
  if (copy < 0) return errno == ENOMEM ? kNotEnoughMemory : kTooManyOpenFiles;
  own = reinterpret_cast<void*>(static_cast<std::intptr_t>(copy));
  return kOk;
}

void CloseEvent(void* owned) { close(DescriptorOf(owned)); }

void* HoldLibrary() { return nullptr; }
void ReleaseLibrary(void*) {}
void EndThreadReleasing(void*) {}

}  // namespace wfsim

#endif
