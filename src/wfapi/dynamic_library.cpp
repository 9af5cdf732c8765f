#include "wfapi/dynamic_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifdef _WIN32

DynamicLibrary DynamicLibrary::OpenWriteFilter() {
  // An administrator's tool must not pick up a DLL planted in the working folder.
  return DynamicLibrary(LoadLibraryExW(L"FBWFLIB.dll", nullptr,
                                       LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                                           LOAD_LIBRARY_SEARCH_SYSTEM32));
}


AnyFunction DynamicLibrary::Find(const char* name) const {
  return reinterpret_cast<AnyFunction>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

#else

DynamicLibrary DynamicLibrary::OpenWriteFilter() {
  // LD_LIBRARY_PATH, then the executable's run path ($ORIGIN).
  return DynamicLibrary(dlopen("libfbwflib.so", RTLD_NOW | RTLD_LOCAL));
}


AnyFunction DynamicLibrary::Find(const char* name) const {
  return reinterpret_cast<AnyFunction>(dlsym(handle_, name));
}

#endif
