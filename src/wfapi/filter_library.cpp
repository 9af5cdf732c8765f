#include "wfapi/filter_library.h"

#include <cstddef>

bool LoadedLibrary::Loaded() {
  if (!library_ || !library_->IsOpen()) library_ = DynamicLibrary::OpenWriteFilter();
  return library_->IsOpen();
}

AnyFunction LoadedLibrary::Find(WfFunction function) {
  if (!Loaded()) return nullptr;
  const auto at = static_cast<std::size_t>(function);
  if (!looked_[at]) {
    found_[at] = library_->Find(NameOf(function).data());
    looked_[at] = true;
  }
  return found_[at];
}
