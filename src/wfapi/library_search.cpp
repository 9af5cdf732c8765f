#include "wfapi/library_search.h"

void* LoadWriteFilterLibrary(WindowsLoader& loader) {
  loader.ExcludeCurrentFolder();
  if (loader.HasSearchFlags()) return loader.LoadWithSearchFlags(kWriteFilterLibraryName);
  for (std::wstring path : {loader.ApplicationFolder(), loader.SystemFolder()}) {
    if (path.empty()) continue;
    if (path.back() != L'\\') path += L'\\';
    path += kWriteFilterLibraryName;
    if (loader.FileExists(path)) return loader.LoadFromPath(path);
  }
  return nullptr;
}
