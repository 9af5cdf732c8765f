#include "wfapi/library_write_filter.h"

#include "wfapi/dynamic_library.h"
#include "wfapi/stack_call.h"

namespace {

// A run makes at most one call, so each call loads the library and resolves
// its function by name; nothing is kept between calls.
template <typename Function>
struct NamedFunction {
  const char* name;

  template <typename... Args>
  WfStatus operator()(Args... args) const {
    const DynamicLibrary library = DynamicLibrary::OpenWriteFilter();
    if (!library.IsOpen()) return kWfModuleNotFound;
    const AnyFunction found = library.Find(name);
    if (found == nullptr) return kWfProcedureNotFound;
    return CallLibrary<Function>(found, args...);
  }
};

}  // namespace

// The declarations in wfapi.h give each function's exact type and its name.
#define WF_CALL(function) NamedFunction<decltype(&::function)>{#function}

WfStatus LibraryWriteFilter::FbwfEnableFilter() { return WF_CALL(FbwfEnableFilter)(); }
WfStatus LibraryWriteFilter::FbwfDisableFilter() { return WF_CALL(FbwfDisableFilter)(); }
WfStatus LibraryWriteFilter::FbwfEnableCompression() { return WF_CALL(FbwfEnableCompression)(); }
WfStatus LibraryWriteFilter::FbwfDisableCompression() { return WF_CALL(FbwfDisableCompression)(); }
WfStatus LibraryWriteFilter::FbwfEnableCachePreAllocation() {
  return WF_CALL(FbwfEnableCachePreAllocation)();
}
WfStatus LibraryWriteFilter::FbwfDisableCachePreAllocation() {
  return WF_CALL(FbwfDisableCachePreAllocation)();
}
WfStatus LibraryWriteFilter::FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) {
  return WF_CALL(FbwfIsFilterEnabled)(current, next);
}
WfStatus LibraryWriteFilter::FbwfIsCompressionEnabled(std::uint32_t* current, std::uint32_t* next) {
  return WF_CALL(FbwfIsCompressionEnabled)(current, next);
}
WfStatus LibraryWriteFilter::FbwfIsCachePreAllocationEnabled(std::uint32_t* current,
                                                             std::uint32_t* next) {
  return WF_CALL(FbwfIsCachePreAllocationEnabled)(current, next);
}
WfStatus LibraryWriteFilter::FbwfIsVolumeProtected(const WfChar* volume, std::uint32_t* current,
                                                   std::uint32_t* next) {
  return WF_CALL(FbwfIsVolumeProtected)(volume, current, next);
}
WfStatus LibraryWriteFilter::FbwfProtectVolume(const WfChar* volume) {
  return WF_CALL(FbwfProtectVolume)(volume);
}
WfStatus LibraryWriteFilter::FbwfUnprotectVolume(const WfChar* volume, std::uint32_t flag) {
  return WF_CALL(FbwfUnprotectVolume)(volume, flag);
}
WfStatus LibraryWriteFilter::FbwfSetCacheThreshold(std::uint32_t megabytes) {
  return WF_CALL(FbwfSetCacheThreshold)(megabytes);
}
WfStatus LibraryWriteFilter::FbwfAddExclusion(const WfChar* volume, const WfChar* path) {
  return WF_CALL(FbwfAddExclusion)(volume, path);
}
WfStatus LibraryWriteFilter::FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) {
  return WF_CALL(FbwfRemoveExclusion)(volume, path);
}
WfStatus LibraryWriteFilter::FbwfCommitFile(const WfChar* volume, const WfChar* path) {
  return WF_CALL(FbwfCommitFile)(volume, path);
}
WfStatus LibraryWriteFilter::FbwfRestoreFile(const WfChar* volume, const WfChar* path) {
  return WF_CALL(FbwfRestoreFile)(volume, path);
}
