// The library's 17 functions: each finds the state folder, honours an
// injected failure, and runs one operation of the simulated machine.
#include <new>
#include <optional>

#include "wfapi/wfapi.h"
#include "wfsim/state/codes.h"
#include "wfsim/machine/machine.h"
#include "wfsim/state/text.h"

namespace {

using wfsim::Feature;
using wfsim::Machine;

// No exception leaves the library: its callers are C programs.
template <typename Operation>
WfStatus Run(const char* function, Operation operation) {
  try {
    const auto dir = wfsim::StateFolderFromEnvironment();
    if (!dir) return wfsim::kAccessDenied;
    wfsim::StateFolder state(*dir);
    std::optional<WfStatus> injected;
    if (const wfsim::Outcome taken = state.TakeFault(function, injected); !taken.ok()) return taken.code;
    if (injected) return *injected;
    if (const wfsim::Outcome prepared = state.Prepare(); !prepared.ok()) return prepared.code;
    Machine machine(state);
    return wfsim::Outcome(operation(machine)).code;
  } catch (const std::bad_alloc&) {
    return wfsim::kNotEnoughMemory;
  } catch (...) {
    return wfsim::kAccessDenied;
  }
}

// Texts the library is handed: a null pointer is a bad parameter, a text with
// no terminator in reach a bad name.
template <typename Operation>
WfStatus WithTexts(const char* function, const WfChar* volume, const WfChar* path,
                   Operation operation) {
  if (volume == nullptr || path == nullptr) return wfsim::kInvalidParameter;
  return Run(function, [&](Machine& machine) -> wfsim::Outcome {
    const auto volume_text = wfsim::ReadLibraryText(volume);
    const auto path_text = wfsim::ReadLibraryText(path);
    if (!volume_text || !path_text) return wfsim::kInvalidName;
    return operation(machine, *volume_text, *path_text);
  });
}

template <typename Operation>
WfStatus WithVolume(const char* function, const WfChar* volume, Operation operation) {
  const WfChar none[] = {0};
  return WithTexts(function, volume, none,
                   [&](Machine& machine, const std::u16string& text, const std::u16string&) {
                     return operation(machine, text);
                   });
}

}  // namespace

extern "C" {

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableFilter() {
  return Run("FbwfEnableFilter", [](Machine& m) { return m.SetFeature(Feature::kFilter, true); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfDisableFilter() {
  return Run("FbwfDisableFilter", [](Machine& m) { return m.SetFeature(Feature::kFilter, false); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableCompression() {
  return Run("FbwfEnableCompression",
             [](Machine& m) { return m.SetFeature(Feature::kCompression, true); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfDisableCompression() {
  return Run("FbwfDisableCompression",
             [](Machine& m) { return m.SetFeature(Feature::kCompression, false); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableCachePreAllocation() {
  return Run("FbwfEnableCachePreAllocation",
             [](Machine& m) { return m.SetFeature(Feature::kPreallocation, true); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfDisableCachePreAllocation() {
  return Run("FbwfDisableCachePreAllocation",
             [](Machine& m) { return m.SetFeature(Feature::kPreallocation, false); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) {
  return Run("FbwfIsFilterEnabled",
             [&](Machine& m) { return m.QueryFeature(Feature::kFilter, current, next); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsCompressionEnabled(std::uint32_t* current, std::uint32_t* next) {
  return Run("FbwfIsCompressionEnabled",
             [&](Machine& m) { return m.QueryFeature(Feature::kCompression, current, next); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsCachePreAllocationEnabled(std::uint32_t* current,
                                                                 std::uint32_t* next) {
  return Run("FbwfIsCachePreAllocationEnabled",
             [&](Machine& m) { return m.QueryFeature(Feature::kPreallocation, current, next); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsVolumeProtected(const WfChar* volume, std::uint32_t* current,
                                                       std::uint32_t* next) {
  return WithVolume("FbwfIsVolumeProtected", volume, [&](Machine& m, const std::u16string& v) {
    return m.QueryVolume(v, current, next);
  });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfProtectVolume(const WfChar* volume) {
  return WithVolume("FbwfProtectVolume", volume,
                    [](Machine& m, const std::u16string& v) { return m.Protect(v); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfUnprotectVolume(const WfChar* volume, std::uint32_t flag) {
  return WithVolume("FbwfUnprotectVolume", volume,
                    [&](Machine& m, const std::u16string& v) { return m.Unprotect(v, flag != 0); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfSetCacheThreshold(std::uint32_t megabytes) {
  return Run("FbwfSetCacheThreshold", [&](Machine& m) { return m.SetThreshold(megabytes); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfAddExclusion(const WfChar* volume, const WfChar* path) {
  return WithTexts("FbwfAddExclusion", volume, path,
                   [](Machine& m, const std::u16string& v, const std::u16string& p) {
                     return m.AddExclusion(v, p);
                   });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) {
  return WithTexts("FbwfRemoveExclusion", volume, path,
                   [](Machine& m, const std::u16string& v, const std::u16string& p) {
                     return m.RemoveExclusion(v, p);
                   });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfCommitFile(const WfChar* volume, const WfChar* path) {
  return WithTexts("FbwfCommitFile", volume, path,
                   [](Machine& m, const std::u16string& v, const std::u16string& p) {
                     return m.Commit(v, p);
                   });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfRestoreFile(const WfChar* volume, const WfChar* path) {
  return WithTexts("FbwfRestoreFile", volume, path,
                   [](Machine& m, const std::u16string& v, const std::u16string& p) {
                     return m.Restore(v, p);
                   });
}

}  // extern "C"
