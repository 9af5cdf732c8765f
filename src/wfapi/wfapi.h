// The write filter's API library (FBWFLIB): the 17 functions the commands call,
// declared here from their documented behaviour. vorlen never links against
// them; it resolves each one by name at run time (see library_write_filter.h).
// The stand-in library defines them.
#pragma once

#include <cstdint>

using WfStatus = std::uint32_t;  // 0 is success, anything else an error code

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

extern "C" {
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableFilter();
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfDisableFilter();
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableCompression();
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfDisableCompression();
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableCachePreAllocation();
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfDisableCachePreAllocation();
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsCompressionEnabled(std::uint32_t* current, std::uint32_t* next);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsCachePreAllocationEnabled(std::uint32_t* current,
                                                                 std::uint32_t* next);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsVolumeProtected(const WfChar* volume, std::uint32_t* current,
                                                       std::uint32_t* next);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfProtectVolume(const WfChar* volume);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfUnprotectVolume(const WfChar* volume, std::uint32_t flag);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfSetCacheThreshold(std::uint32_t megabytes);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfAddExclusion(const WfChar* volume, const WfChar* path);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfRemoveExclusion(const WfChar* volume, const WfChar* path);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfCommitFile(const WfChar* volume, const WfChar* path);
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfRestoreFile(const WfChar* volume, const WfChar* path);
}
