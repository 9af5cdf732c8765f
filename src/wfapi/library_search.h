// Where vorlen finds the write filter's library on Windows. Releases without
// the loader's search flags (XP, and 7 without update KB2533623) refuse
// them, so there it loads the library by absolute path instead: never by a
// bare name, which would search the current folder.
#pragma once

#include <string>

// The parts of the Windows loader the search uses; a test stands in for a
// release that lacks the flags, which wine never does.
class WindowsLoader {
 public:
  virtual ~WindowsLoader() = default;
  virtual bool HasSearchFlags() = 0;
  // The application's folder, then System32.
  virtual void* LoadWithSearchFlags(const wchar_t* name) = 0;
  virtual std::wstring ApplicationFolder() = 0;  // empty when unknown
  virtual std::wstring SystemFolder() = 0;       // empty when unknown
  // `not_there` tells a missing file from one that failed to load.
  virtual void* LoadFromPath(const std::wstring& path, bool& not_there) = 0;
};

inline constexpr wchar_t kWriteFilterLibraryName[] = L"FBWFLIB.dll";

// The loaded library, or nullptr. A file that is there but fails to load ends
// the search: the next folder's copy is not what the administrator placed.
void* LoadWriteFilterLibrary(WindowsLoader& loader);
