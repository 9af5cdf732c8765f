#include "wfapi/library_write_filter.h"

#include "wfapi/library_function.h"

WfStatus LibraryWriteFilter::FbwfEnableFilter() { return WF_LIBRARY_FUNCTION(FbwfEnableFilter)(); }
WfStatus LibraryWriteFilter::FbwfDisableFilter() { return WF_LIBRARY_FUNCTION(FbwfDisableFilter)(); }
WfStatus LibraryWriteFilter::FbwfEnableCompression() { return WF_LIBRARY_FUNCTION(FbwfEnableCompression)(); }
WfStatus LibraryWriteFilter::FbwfDisableCompression() { return WF_LIBRARY_FUNCTION(FbwfDisableCompression)(); }
WfStatus LibraryWriteFilter::FbwfEnableCachePreAllocation() {
  return WF_LIBRARY_FUNCTION(FbwfEnableCachePreAllocation)();
}
WfStatus LibraryWriteFilter::FbwfDisableCachePreAllocation() {
  return WF_LIBRARY_FUNCTION(FbwfDisableCachePreAllocation)();
}
WfStatus LibraryWriteFilter::FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) {
  return WF_LIBRARY_FUNCTION(FbwfIsFilterEnabled)(current, next);
}
WfStatus LibraryWriteFilter::FbwfIsCompressionEnabled(std::uint32_t* current, std::uint32_t* next) {
  return WF_LIBRARY_FUNCTION(FbwfIsCompressionEnabled)(current, next);
}
WfStatus LibraryWriteFilter::FbwfIsCachePreAllocationEnabled(std::uint32_t* current,
                                                             std::uint32_t* next) {
  return WF_LIBRARY_FUNCTION(FbwfIsCachePreAllocationEnabled)(current, next);
}
WfStatus LibraryWriteFilter::FbwfIsVolumeProtected(const WfChar* volume, std::uint32_t* current,
                                                   std::uint32_t* next) {
  return WF_LIBRARY_FUNCTION(FbwfIsVolumeProtected)(volume, current, next);
}
WfStatus LibraryWriteFilter::FbwfProtectVolume(const WfChar* volume) {
  return WF_LIBRARY_FUNCTION(FbwfProtectVolume)(volume);
}
WfStatus LibraryWriteFilter::FbwfUnprotectVolume(const WfChar* volume, std::uint32_t flag) {
  return WF_LIBRARY_FUNCTION(FbwfUnprotectVolume)(volume, flag);
}
WfStatus LibraryWriteFilter::FbwfSetCacheThreshold(std::uint32_t megabytes) {
  return WF_LIBRARY_FUNCTION(FbwfSetCacheThreshold)(megabytes);
}
WfStatus LibraryWriteFilter::FbwfAddExclusion(const WfChar* volume, const WfChar* path) {
  return WF_LIBRARY_FUNCTION(FbwfAddExclusion)(volume, path);
}
WfStatus LibraryWriteFilter::FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) {
  return WF_LIBRARY_FUNCTION(FbwfRemoveExclusion)(volume, path);
}
WfStatus LibraryWriteFilter::FbwfCommitFile(const WfChar* volume, const WfChar* path) {
  return WF_LIBRARY_FUNCTION(FbwfCommitFile)(volume, path);
}
WfStatus LibraryWriteFilter::FbwfRestoreFile(const WfChar* volume, const WfChar* path) {
  return WF_LIBRARY_FUNCTION(FbwfRestoreFile)(volume, path);
}
