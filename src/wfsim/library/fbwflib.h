// Every function the stand-in library exports: the 17 that vorlen calls,
// declared in wfapi/wfapi.h, and the 13 more that the filter's library
// documents, declared here with the structures they fill. All 30 share the
// calling convention and plain export names (WFAPI_CALL, exports.map).
#pragma once

#include <cstddef>
#include <cstdint>

#include "wfapi/wfapi.h"

using WfUlong = std::uint32_t;

struct FbwfMemoryUsage {
  WfUlong currentCacheThreshold;  // bytes
  WfUlong nextCacheThreshold;
  WfUlong dirStructure;           // bytes used
  WfUlong fileData;
};

// Variable-length: fileNameLength bytes of name follow, with no null.
struct FbwfCacheDetail {
  WfUlong cacheSize;
  WfUlong openHandleCount;
  WfUlong fileNameLength;
  WfChar fileName[1];
};
inline constexpr std::size_t kCacheDetailNameOffset = offsetof(FbwfCacheDetail, fileName);

struct FbwfFSInfo {
  alignas(8) std::int64_t TotalAllocationUnits;
  alignas(8) std::int64_t AvailableAllocationUnits;
  WfUlong SectorsPerAllocationUnit;
  WfUlong BytesPerSector;
};

static_assert(sizeof(FbwfMemoryUsage) == 16 && kCacheDetailNameOffset == 12 && sizeof(FbwfFSInfo) == 24,
              "the layouts the filter's documentation gives");

extern "C" {
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetVolumeList(WfUlong currentSession, void* volumeList, WfUlong* size);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetExclusionList(const WfChar* volume, WfUlong currentSession,
                                                      void* exclusionList, WfUlong* size);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetMemoryUsage(FbwfMemoryUsage* usage);
// On Windows `event` is an event's handle; elsewhere an eventfd descriptor.
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfCacheThresholdNotification(WfUlong megabytes, void* event);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfInitializeNotifications();
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfUninitializeNotifications();
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindFirst(const WfChar* volume, FbwfCacheDetail* detail, WfUlong* size);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindNext(FbwfCacheDetail* detail, WfUlong* size);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindClose();
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetSizeDisplay(WfUlong* current, WfUlong* next);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfSetSizeDisplay(WfUlong next);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetActualSize(const WfChar* volume, FbwfFSInfo* info);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetVirtualSize(const WfChar* volume, FbwfFSInfo* info);
}
