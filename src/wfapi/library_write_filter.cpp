#include "wfapi/library_write_filter.h"

#include "wfapi/library_function.h"

WfStatus LibraryWriteFilter::FbwfEnableFilter() { return WF_LIBRARY_FUNCTION_NAMED(FbwfEnableFilter)(); }
WfStatus LibraryWriteFilter::FbwfDisableFilter() { return WF_LIBRARY_FUNCTION_NAMED(FbwfDisableFilter)(); }
WfStatus LibraryWriteFilter::FbwfEnableCompression() { return WF_LIBRARY_FUNCTION_NAMED(FbwfEnableCompression)(); }
WfStatus LibraryWriteFilter::FbwfDisableCompression() { return WF_LIBRARY_FUNCTION_NAMED(FbwfDisableCompression)(); }
WfStatus LibraryWriteFilter::FbwfEnableCachePreAllocation() {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfEnableCachePreAllocation)();
}
WfStatus LibraryWriteFilter::FbwfDisableCachePreAllocation() {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfDisableCachePreAllocation)();
}
WfStatus LibraryWriteFilter::FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfIsFilterEnabled)(current, next);
}
WfStatus LibraryWriteFilter::FbwfIsCompressionEnabled(std::uint32_t* current, std::uint32_t* next) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfIsCompressionEnabled)(current, next);
}
WfStatus LibraryWriteFilter::FbwfIsCachePreAllocationEnabled(std::uint32_t* current,
                                                             std::uint32_t* next) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfIsCachePreAllocationEnabled)(current, next);
}
WfStatus LibraryWriteFilter::FbwfIsVolumeProtected(const WfChar* volume, std::uint32_t* current,
                                                   std::uint32_t* next) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfIsVolumeProtected)(volume, current, next);
}
WfStatus LibraryWriteFilter::FbwfProtectVolume(const WfChar* volume) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfProtectVolume)(volume);
}
WfStatus LibraryWriteFilter::FbwfUnprotectVolume(const WfChar* volume, std::uint32_t flag) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfUnprotectVolume)(volume, flag);
}
WfStatus LibraryWriteFilter::FbwfSetCacheThreshold(std::uint32_t megabytes) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfSetCacheThreshold)(megabytes);
}
WfStatus LibraryWriteFilter::FbwfAddExclusion(const WfChar* volume, const WfChar* path) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfAddExclusion)(volume, path);
}
WfStatus LibraryWriteFilter::FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfRemoveExclusion)(volume, path);
}
WfStatus LibraryWriteFilter::FbwfCommitFile(const WfChar* volume, const WfChar* path) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfCommitFile)(volume, path);
}
WfStatus LibraryWriteFilter::FbwfRestoreFile(const WfChar* volume, const WfChar* path) {
  return WF_LIBRARY_FUNCTION_NAMED(FbwfRestoreFile)(volume, path);
}
