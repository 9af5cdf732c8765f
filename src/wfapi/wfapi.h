// The write filter's API library (FBWFLIB), declared here from its documented
// behaviour: the one list of its 30 functions, their prototypes and the
// structures they fill. Programs never link against them; they resolve a
// function by name at run time (see library_write_filter.h). The stand-in
// library defines them all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

using WfStatus = std::uint32_t;  // 0 is success, anything else an error code
using WfUlong = std::uint32_t;   // the library's ULONG: 32 bits on every build

#ifdef _WIN32
using WfChar = wchar_t;  // 16 bits on Windows
#ifndef WFAPI_CALL  // a test builds the stand-in __cdecl too
#define WFAPI_CALL __stdcall
#endif
#else
using WfChar = char16_t;
#define WFAPI_CALL
#endif

#if defined(WFAPI_BUILDING_LIBRARY) && defined(_WIN32)
#define WFAPI_EXPORT __declspec(dllexport)
#elif defined(WFAPI_BUILDING_LIBRARY)
#define WFAPI_EXPORT __attribute__((visibility("default")))
#else
#define WFAPI_EXPORT
#endif

static_assert(sizeof(WfChar) == 2, "the library's texts are 16-bit units");

// What a call yields when the library can't be loaded or lacks the function:
// the platform's own "module not found" and "procedure not found".
inline constexpr WfStatus kWfModuleNotFound = 126;
inline constexpr WfStatus kWfProcedureNotFound = 127;

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

static_assert(sizeof(FbwfMemoryUsage) == 16 && kCacheDetailNameOffset == 12 && sizeof(FbwfCacheDetail) == 16 &&
                  sizeof(FbwfFSInfo) == 24 && offsetof(FbwfFSInfo, SectorsPerAllocationUnit) == 16,
              "the layouts the filter's documentation gives");

// The 30 functions, in the documentation's order: X(name, parameters,
// arguments). Every other list of them is made from this one or checked
// against it.
// On Windows the notification's `event` is an event's handle; elsewhere an
// eventfd descriptor.
#define WFAPI_FUNCTIONS(X)                                                                                    \
  X(FbwfEnableFilter, (), ())                                                                                 \
  X(FbwfDisableFilter, (), ())                                                                                \
  X(FbwfEnableCompression, (), ())                                                                            \
  X(FbwfDisableCompression, (), ())                                                                           \
  X(FbwfEnableCachePreAllocation, (), ())                                                                     \
  X(FbwfDisableCachePreAllocation, (), ())                                                                    \
  X(FbwfIsFilterEnabled, (WfUlong * current, WfUlong * next), (current, next))                                \
  X(FbwfIsCompressionEnabled, (WfUlong * current, WfUlong * next), (current, next))                           \
  X(FbwfIsCachePreAllocationEnabled, (WfUlong * current, WfUlong * next), (current, next))                    \
  X(FbwfIsVolumeProtected, (const WfChar* volume, WfUlong* current, WfUlong* next), (volume, current, next))  \
  X(FbwfProtectVolume, (const WfChar* volume), (volume))                                                      \
  X(FbwfUnprotectVolume, (const WfChar* volume, WfUlong flag), (volume, flag))                                \
  X(FbwfSetCacheThreshold, (WfUlong megabytes), (megabytes))                                                  \
  X(FbwfAddExclusion, (const WfChar* volume, const WfChar* path), (volume, path))                             \
  X(FbwfRemoveExclusion, (const WfChar* volume, const WfChar* path), (volume, path))                          \
  X(FbwfCommitFile, (const WfChar* volume, const WfChar* path), (volume, path))                               \
  X(FbwfRestoreFile, (const WfChar* volume, const WfChar* path), (volume, path))                              \
  X(FbwfGetVolumeList, (WfUlong currentSession, void* volumeList, WfUlong* size),                             \
    (currentSession, volumeList, size))                                                                       \
  X(FbwfGetExclusionList, (const WfChar* volume, WfUlong currentSession, void* list, WfUlong* size),          \
    (volume, currentSession, list, size))                                                                     \
  X(FbwfGetMemoryUsage, (FbwfMemoryUsage * usage), (usage))                                                   \
  X(FbwfCacheThresholdNotification, (WfUlong megabytes, void* event), (megabytes, event))                     \
  X(FbwfInitializeNotifications, (), ())                                                                      \
  X(FbwfUninitializeNotifications, (), ())                                                                    \
  X(FbwfFindFirst, (const WfChar* volume, FbwfCacheDetail* detail, WfUlong* size), (volume, detail, size))    \
  X(FbwfFindNext, (FbwfCacheDetail * detail, WfUlong * size), (detail, size))                                 \
  X(FbwfFindClose, (), ())                                                                                    \
  X(FbwfGetSizeDisplay, (WfUlong * current, WfUlong * next), (current, next))                                 \
  X(FbwfSetSizeDisplay, (WfUlong next), (next))                                                               \
  X(FbwfGetActualSize, (const WfChar* volume, FbwfFSInfo* info), (volume, info))                              \
  X(FbwfGetVirtualSize, (const WfChar* volume, FbwfFSInfo* info), (volume, info))

extern "C" {
#define WFAPI_DECLARE(name, parameters, arguments) WFAPI_EXPORT WfStatus WFAPI_CALL name parameters;
WFAPI_FUNCTIONS(WFAPI_DECLARE)
#undef WFAPI_DECLARE
}

// A function of the list by its position, as journals and faults name it.
enum class WfFunction {
#define WFAPI_ENUMERATE(name, parameters, arguments) name,
  WFAPI_FUNCTIONS(WFAPI_ENUMERATE)
#undef WFAPI_ENUMERATE
};

inline constexpr std::string_view kWfFunctionNames[] = {
#define WFAPI_NAME(name, parameters, arguments) #name,
    WFAPI_FUNCTIONS(WFAPI_NAME)
#undef WFAPI_NAME
};
inline constexpr std::size_t kWfFunctionCount = std::size(kWfFunctionNames);
static_assert(kWfFunctionCount == 30, "the documented library has 30 functions");

constexpr std::string_view NameOf(WfFunction function) {
  return kWfFunctionNames[static_cast<std::size_t>(function)];
}
