// vorlen.exe's own start on Windows, and the little of the C++ runtime it
// uses, on the C runtime DLL (msvcrt) and kernel32 alone. The toolchain's
// start-up code and static C++ runtime are built for the P6 (they use CMOV);
// the boards that shipped the filter include Pentium-class CPUs without it,
// so vorlen.exe is built for i586 from this file up. Nothing here throws:
// vorlen is built without exceptions, and what would throw ends the run.
#ifdef _WIN32

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <new>

// No <cstdio> here: the C++ runtime's configuration sends printf and its kin
// to the toolchain's own formatting code (__mingw_*), which vorlen.exe does
// without. They are defined below on the C runtime DLL's, whose output is the
// same for the formats vorlen prints (%s, %d, %u).
struct _iobuf;
extern "C" int __cdecl vfprintf(void* stream, const char* format, va_list arguments);
extern "C" int __cdecl _vsnprintf(char* buffer, std::size_t size, const char* format, va_list arguments);

int wmain(int argc, wchar_t** argv);

extern "C" {

// The C runtime's own: the command line as its start-up code parses it.
struct StartupInfo {
  int new_mode;
};
int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expand,
                           StartupInfo* info);
void __cdecl __set_app_type(int type);

// The entry point (the linker's -e): never returns.
void VorlenStart() {
  __set_app_type(1);  // a console program
  int argc = 0;
  wchar_t** argv = nullptr;
  wchar_t** environment = nullptr;
  StartupInfo info{0};
  if (__wgetmainargs(&argc, &argv, &environment, 0, &info) < 0) std::exit(255);
  std::exit(wmain(argc, argv));
}

void __cxa_pure_virtual() { std::abort(); }

int __mingw_vfprintf(_iobuf* stream, const char* format, va_list arguments) {
  return vfprintf(stream, format, arguments);
}

// C99's snprintf: always terminated; the C runtime's leaves a full buffer unterminated.
int __mingw_vsnprintf(char* buffer, std::size_t size, const char* format, va_list arguments) {
  const int written = _vsnprintf(buffer, size, format, arguments);
  if (size > 0 && (written < 0 || static_cast<std::size_t>(written) >= size)) buffer[size - 1] = '\0';
  return written;
}

}  // extern "C"

void* operator new(std::size_t size) {
  void* memory = std::malloc(size != 0 ? size : 1);
  if (memory == nullptr) std::abort();
  return memory;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

// What the standard library's containers call where they would throw.
namespace std {
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
}  // namespace std

#endif
