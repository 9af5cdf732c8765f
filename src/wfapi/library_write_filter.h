// The write filter reached through its library, loaded when a call needs it:
// the banner, the usage text and unknown options work without the library.
#pragma once

#include "wfapi/write_filter.h"

class LibraryWriteFilter final : public WriteFilter {
 public:
  WfStatus FbwfEnableFilter() override;
  WfStatus FbwfDisableFilter() override;
  WfStatus FbwfEnableCompression() override;
  WfStatus FbwfDisableCompression() override;
  WfStatus FbwfEnableCachePreAllocation() override;
  WfStatus FbwfDisableCachePreAllocation() override;
  WfStatus FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) override;
  WfStatus FbwfIsCompressionEnabled(std::uint32_t* current, std::uint32_t* next) override;
  WfStatus FbwfIsCachePreAllocationEnabled(std::uint32_t* current, std::uint32_t* next) override;
  WfStatus FbwfIsVolumeProtected(const WfChar* volume, std::uint32_t* current,
                                 std::uint32_t* next) override;
  WfStatus FbwfProtectVolume(const WfChar* volume) override;
  WfStatus FbwfUnprotectVolume(const WfChar* volume, std::uint32_t flag) override;
  WfStatus FbwfSetCacheThreshold(std::uint32_t megabytes) override;
  WfStatus FbwfAddExclusion(const WfChar* volume, const WfChar* path) override;
  WfStatus FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) override;
  WfStatus FbwfCommitFile(const WfChar* volume, const WfChar* path) override;
  WfStatus FbwfRestoreFile(const WfChar* volume, const WfChar* path) override;
};
