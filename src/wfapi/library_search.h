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
  // Whether anything is at `path`: the loader's own error (126) does not
  // tell a missing file from one whose dependencies are missing.
  virtual bool FileExists(const std::wstring& path) = 0;
  virtual void* LoadFromPath(const std::wstring& path) = 0;
  // Takes the current folder out of the search for the library's own
  // dependencies (SetDllDirectoryW with an empty folder, XP SP1 and later).
  virtual void ExcludeCurrentFolder() = 0;
};

inline constexpr wchar_t kWriteFilterLibraryName[] = L"FBWFLIB.dll";

// The loaded library, or nullptr. The search moves on from a folder only when
// no file is there; a file that is there but fails to load ends it: the next
// folder's copy is not what the administrator placed.
void* LoadWriteFilterLibrary(WindowsLoader& loader);
