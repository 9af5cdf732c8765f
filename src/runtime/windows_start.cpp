// The Windows programs' own start (vorlen.exe, vorlenctl.exe), and the
// little of the C++ runtime they use, on the C runtime DLL (msvcrt) and
// kernel32 alone. The toolchain's start-up code and static C++ runtime are
// built for the P6 (they use CMOV); the boards that shipped the filter include
// Pentium-class CPUs without it, so the programs are built for i586 from this
// file up. Nothing here throws: the programs are built without exceptions,
// and what would throw ends the run.
#ifdef _WIN32

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdlib>

// No <cstdio> here: the C++ runtime's configuration sends printf and its kin
// to the toolchain's own formatting code (__mingw_*), which vorlen.exe does
// without. They are defined below on the C runtime DLL's, whose output is the
// same for the formats the programs print (%s, %d, %u, %lu, %f; never %ll).
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

// The programs run one thread: shared_ptr's counts need no locked instructions.
int _CRT_MT = 0;

}  // extern "C"

#endif
