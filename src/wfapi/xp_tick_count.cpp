// The static C++ runtime brings winpthread, which reads the time through
// GetTickCount64. XP lacks that function, and importing it would keep the
// stand-in from loading there at all. Defining the import's pointer here
// settles winpthread's reference before the linker reaches kernel32's import
// library. Linked as an object of each program, never from an archive, so
// that it is in place before winpthread is.
#include <windows.h>

namespace {

// Milliseconds that don't wrap after 49 days as GetTickCount's do; winpthread
// only measures intervals with them.
ULONGLONG WINAPI TickCount64() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
}

}  // namespace

#if defined(__MINGW32__) && defined(_WIN64)
extern "C" ULONGLONG(WINAPI* tick_count_import)() __asm__("__imp_GetTickCount64");
#elif defined(__MINGW32__)
extern "C" ULONGLONG(WINAPI* tick_count_import)() __asm__("__imp__GetTickCount64@0");
#endif
ULONGLONG(WINAPI* tick_count_import)() = TickCount64;
