#include "wfapi/dynamic_library.h"

#include "wfapi/library_search.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#endif

#ifdef _WIN32

namespace {

// Older SDK headers, targeting XP, leave these out.
#ifndef LOAD_LIBRARY_SEARCH_APPLICATION_DIR
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#endif
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

class SystemLoader final : public WindowsLoader {
 public:
  bool HasSearchFlags() override {
    // The flags came with AddDllDirectory: Windows 8, or 7 with KB2533623.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr;
  }
  void* LoadWithSearchFlags(const wchar_t* name) override {
    return LoadLibraryExW(name, nullptr,
                          LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  std::wstring ApplicationFolder() override {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD size = static_cast<DWORD>(path.size());
      const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
      if (length == 0) return {};
      if (length < size) {
        path.resize(length);
        break;
      }
      path.resize(path.size() * 2);  // cut short: XP says so only by filling the buffer
    }
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  }
  std::wstring SystemFolder() override {
    wchar_t path[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(path, length);
  }
  bool FileExists(const std::wstring& path) override {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_FILE_NOT_FOUND;
  }
  void* LoadFromPath(const std::wstring& path) override {
    // Its own imports are looked for beside it first, as for the flags.
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  void ExcludeCurrentFolder() override {
    // SetDllDirectoryW came with XP SP1; XP's own headers leave it out.
    using SetDllDirectory = BOOL(WINAPI*)(const wchar_t*);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "SetDllDirectoryW") : nullptr;
    if (found != nullptr) reinterpret_cast<SetDllDirectory>(reinterpret_cast<void*>(found))(L"");
  }
};

}  // namespace

DynamicLibrary DynamicLibrary::OpenWriteFilter() {
  SystemLoader loader;
  return DynamicLibrary(LoadWriteFilterLibrary(loader));
}

AnyFunction DynamicLibrary::Find(const char* name) const {
  return reinterpret_cast<AnyFunction>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

namespace {
std::string Narrow(const std::wstring& wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text.data(), size, nullptr, nullptr);
  text.resize(text.size() - 1);
  return text;
}
}  // namespace

void DynamicLibrary::DescribeMissing(char* text, std::size_t size) {
  SystemLoader loader;
  std::snprintf(text, size, "FBWFLIB.dll can't be loaded from %s or %s (the current folder is never searched)",
                Narrow(loader.ApplicationFolder()).c_str(), Narrow(loader.SystemFolder()).c_str());
}

#else

DynamicLibrary DynamicLibrary::OpenWriteFilter() {
  // LD_LIBRARY_PATH, then the executable's run path ($ORIGIN).
  return DynamicLibrary(dlopen("libfbwflib.so", RTLD_NOW | RTLD_LOCAL));
}


AnyFunction DynamicLibrary::Find(const char* name) const {
  return reinterpret_cast<AnyFunction>(dlsym(handle_, name));
}

// Fixed buffers: nothing here may bring exceptions' machinery into vorlen.
void DynamicLibrary::DescribeMissing(char* text, std::size_t size) {
  char folder[4096];
  const ssize_t length = readlink("/proc/self/exe", folder, sizeof folder - 1);
  folder[length > 0 ? length : 0] = '\0';
  if (char* slash = std::strrchr(folder, '/')) *slash = '\0';
  const char* const search = std::getenv("LD_LIBRARY_PATH");
  const bool searched = search != nullptr && *search != '\0';
  std::snprintf(text, size, "libfbwflib.so can't be loaded from %s%s%s, %s/../lib/vorlen or the system's library folders",
                searched ? search : "", searched ? ", " : "", folder, folder);
}

#endif

void DynamicLibrary::NameMissing(std::FILE* out) {
  char text[8192 + 512];
  DescribeMissing(text, sizeof text);
  std::fprintf(out, "vorlen: %s\n", text);
}
