#include "wfapi/library_search.h"

void* LoadWriteFilterLibrary(WindowsLoader& loader) {
  if (loader.HasSearchFlags()) return loader.LoadWithSearchFlags(kWriteFilterLibraryName);
  for (std::wstring path : {loader.ApplicationFolder(), loader.SystemFolder()}) {
    if (path.empty()) continue;
    if (path.back() != L'\\') path += L'\\';
    path += kWriteFilterLibraryName;
    bool not_there = false;
    if (void* library = loader.LoadFromPath(path, not_there)) return library;
    if (!not_there) return nullptr;
  }
  return nullptr;
}
