// The write filter as the commands see it: one virtual per library function,
// so the tool can be driven by the loaded library or by a test's fake.
#pragma once

#include <cstdint>

#include "wfapi/wfapi.h"

// Current session first, next session second; nonzero means enabled or protected.
struct SessionPair {
  std::uint32_t current = 0;
  std::uint32_t next = 0;
};

class WriteFilter {
 public:
  virtual ~WriteFilter() = default;

  virtual WfStatus FbwfEnableFilter() = 0;
  virtual WfStatus FbwfDisableFilter() = 0;
  virtual WfStatus FbwfEnableCompression() = 0;
  virtual WfStatus FbwfDisableCompression() = 0;
  virtual WfStatus FbwfEnableCachePreAllocation() = 0;
  virtual WfStatus FbwfDisableCachePreAllocation() = 0;
  virtual WfStatus FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) = 0;
  virtual WfStatus FbwfIsCompressionEnabled(std::uint32_t* current, std::uint32_t* next) = 0;
  virtual WfStatus FbwfIsCachePreAllocationEnabled(std::uint32_t* current, std::uint32_t* next) = 0;
  virtual WfStatus FbwfIsVolumeProtected(const WfChar* volume, std::uint32_t* current,
                                         std::uint32_t* next) = 0;
  virtual WfStatus FbwfProtectVolume(const WfChar* volume) = 0;
  virtual WfStatus FbwfUnprotectVolume(const WfChar* volume, std::uint32_t flag) = 0;
  virtual WfStatus FbwfSetCacheThreshold(std::uint32_t megabytes) = 0;
  virtual WfStatus FbwfAddExclusion(const WfChar* volume, const WfChar* path) = 0;
  virtual WfStatus FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) = 0;
  virtual WfStatus FbwfCommitFile(const WfChar* volume, const WfChar* path) = 0;
  virtual WfStatus FbwfRestoreFile(const WfChar* volume, const WfChar* path) = 0;
};
