// The library's 30 functions: each finds the state folder, honours an
// injected failure, and runs one operation of the simulated machine.
#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "wfsim/library/fbwflib.h"
#include "wfsim/library/process_state.h"
#include "wfsim/machine/machine.h"
#include "wfsim/state/codes.h"
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

// A list as the filter's library gives it: each name ending in a null, then
// one more null. A buffer too small gets the size it needs and 234.
wfsim::Outcome CopyList(const std::vector<std::u16string>& names, void* buffer, WfUlong* size) {
  std::size_t units = 1;
  for (const std::u16string& name : names) units += name.size() + 1;
  const auto needed = static_cast<WfUlong>(units * sizeof(WfChar));
  const WfUlong given = *size;
  *size = needed;
  if (given < needed) return wfsim::kMoreData;
  if (buffer == nullptr) return wfsim::kInvalidParameter;
  auto* out = static_cast<char*>(buffer);
  for (const std::u16string& name : names) {
    std::memcpy(out, name.data(), name.size() * sizeof(WfChar));
    out += name.size() * sizeof(WfChar);
    out = static_cast<char*>(std::memset(out, 0, sizeof(WfChar))) + sizeof(WfChar);
  }
  std::memset(out, 0, sizeof(WfChar));
  return wfsim::kOk;
}

WfUlong Capped(std::uint64_t value) { return static_cast<WfUlong>(std::min<std::uint64_t>(value, 0xFFFFFFFFu)); }

WfStatus VolumeSize(const char* function, const WfChar* volume, bool through_overlay, FbwfFSInfo* info) {
  if (info == nullptr) return wfsim::kInvalidParameter;
  return WithVolume(function, volume, [&](Machine& m, const std::u16string& v) {
    wfsim::VolumeSize size;
    const wfsim::Outcome outcome = m.Size(v, through_overlay, size);
    if (outcome.ok()) {
      info->TotalAllocationUnits = static_cast<std::int64_t>(size.total_units);
      info->AvailableAllocationUnits = static_cast<std::int64_t>(size.available_units);
      info->SectorsPerAllocationUnit = wfsim::kSectorsPerUnit;
      info->BytesPerSector = wfsim::kBytesPerSector;
    }
    return outcome;
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


WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetVolumeList(WfUlong currentSession, void* volumeList, WfUlong* size) {
  if (size == nullptr) return wfsim::kInvalidParameter;
  return Run("FbwfGetVolumeList", [&](Machine& m) {
    std::string letters;
    if (wfsim::Outcome read = m.VolumeList(currentSession != 0, letters); !read.ok()) return read;
    std::vector<std::u16string> names;
    for (char letter : letters) names.push_back({static_cast<char16_t>(letter), u':'});
    return CopyList(names, volumeList, size);
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetExclusionList(const WfChar* volume, WfUlong currentSession,
                                                      void* exclusionList, WfUlong* size) {
  if (size == nullptr) return wfsim::kInvalidParameter;
  return WithVolume("FbwfGetExclusionList", volume, [&](Machine& m, const std::u16string& v) {
    std::vector<std::string> paths;
    if (wfsim::Outcome read = m.ExclusionList(v, currentSession != 0, paths); !read.ok()) return read;
    std::vector<std::u16string> names;
    for (const std::string& path : paths) names.push_back(wfsim::FromUtf8(path).value_or(u""));
    return CopyList(names, exclusionList, size);
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetMemoryUsage(FbwfMemoryUsage* usage) {
  if (usage == nullptr) return wfsim::kInvalidParameter;
  return Run("FbwfGetMemoryUsage", [&](Machine& m) {
    wfsim::MemoryUsage memory;
    const wfsim::Outcome outcome = m.Memory(memory);
    if (outcome.ok()) {
      *usage = {Capped(memory.current_threshold), Capped(memory.next_threshold),
                Capped(memory.used.dir_structure), Capped(memory.used.file_data)};
    }
    return outcome;
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfCacheThresholdNotification(WfUlong megabytes, void* event) {
  return Run("FbwfCacheThresholdNotification", [&](Machine& m) {
    if (wfsim::Outcome ok = m.CheckNotification(megabytes, wfsim::IsValidEvent(event)); !ok.ok()) return ok;
    const std::uint64_t level = wfsim::ThresholdBytes(megabytes);
    wfsim::MemoryUsage memory;
    if (wfsim::Outcome read = m.Memory(memory); !read.ok()) return read;
    if (memory.Left() < level) {
      wfsim::SignalEvent(event);
    } else {
      wfsim::WatchOverlay(m.state().dir(), level, event);
    }
    return wfsim::Outcome(wfsim::kOk);
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfInitializeNotifications() {
  return Run("FbwfInitializeNotifications", [](Machine&) { return wfsim::Outcome(wfsim::kOk); });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfUninitializeNotifications() {
  return Run("FbwfUninitializeNotifications", [](Machine&) {
    wfsim::StopWatching();
    return wfsim::Outcome(wfsim::kOk);
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindFirst(const WfChar* volume, FbwfCacheDetail* detail, WfUlong* size) {
  if (size == nullptr) return wfsim::kInvalidParameter;
  return WithVolume("FbwfFindFirst", volume, [&](Machine& m, const std::u16string& v) {
    wfsim::CacheSearch& search = wfsim::CacheSearch::OfProcess();
    std::vector<wfsim::CachedFile> files;
    if (wfsim::Outcome found = m.CacheSearch(v, files); !found.ok()) {
      search.Close();
      return found;
    }
    std::vector<wfsim::SearchEntry> entries;
    for (const wfsim::CachedFile& file : files) {
      entries.push_back({wfsim::FromUtf8(file.name.substr(2)).value_or(u""), file.size});
    }
    search.Start(std::move(entries));
    return wfsim::Outcome(search.Next(detail, size));
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindNext(FbwfCacheDetail* detail, WfUlong* size) {
  if (size == nullptr) return wfsim::kInvalidParameter;
  return Run("FbwfFindNext", [&](Machine& m) {
    wfsim::CacheSearch& search = wfsim::CacheSearch::OfProcess();
    if (!search.IsOpen()) return wfsim::Outcome(wfsim::kInvalidFunction);
    if (wfsim::Outcome on = m.NeedsFilterNow(); !on.ok()) return on;
    return wfsim::Outcome(search.Next(detail, size));
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindClose() {
  return Run("FbwfFindClose", [](Machine&) {
    return wfsim::Outcome(wfsim::CacheSearch::OfProcess().Close() ? wfsim::kOk : wfsim::kInvalidFunction);
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetSizeDisplay(WfUlong* current, WfUlong* next) {
  return Run("FbwfGetSizeDisplay", [&](Machine& m) { return m.SizeDisplay(current, next); });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfSetSizeDisplay(WfUlong next) {
  return Run("FbwfSetSizeDisplay", [&](Machine& m) { return m.SetSizeDisplay(next); });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetActualSize(const WfChar* volume, FbwfFSInfo* info) {
  return VolumeSize("FbwfGetActualSize", volume, false, info);
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetVirtualSize(const WfChar* volume, FbwfFSInfo* info) {
  return VolumeSize("FbwfGetVirtualSize", volume, true, info);
}

}  // extern "C"
