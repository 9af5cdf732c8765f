// The library's 30 functions: each finds the state folder, honours an
// injected failure, and runs one operation of the simulated machine.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <cstring>
#include <new>
#include <optional>

#include "wfapi/wfapi.h"
#include "wfsim/library/cache_search.h"
#include "wfsim/library/lists.h"
#include "wfsim/library/notifications.h"
#include "wfsim/machine/machine.h"
#include "wfsim/state/codes.h"
#include "wfsim/state/text.h"

namespace {

using wfsim::Feature;
using wfsim::Machine;

// A call as the journal names it: the function and its arguments as text.
struct Call {
  Call(WfFunction called, std::string text = {}) : function(called), arguments(std::move(text)) {}
  WfFunction function;
  std::string arguments;
};

std::string Quoted(const WfChar* text) {
  if (text == nullptr) return "null";
  const std::optional<std::u16string> units = wfsim::ReadLibraryText(text);
  const std::optional<std::string> utf8 = units ? wfsim::ToUtf8(*units) : std::nullopt;
  if (!utf8) return "(not a text)";
  // One line a call: control characters show as fbwfsim shows them in names.
  // Built by appending: GCC 12 warns falsely about a concatenation's overlap.
  std::string quoted(1, '"');
  quoted += wfsim::Printable(*utf8);
  quoted += '"';
  return quoted;
}

// "2026-12-08T14:10:10.123Z 4242 FbwfAddExclusion("C:", "\\logs") = 0"
void Journal(const wfsim::StateFolder& state, const Call& call, WfStatus code) {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date(day);
  const hh_mm_ss<milliseconds> time(now - day);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ %lu ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()),
                wfsim::ProcessId());
  state.Journal(std::string(stamp) + std::string(NameOf(call.function)) + "(" + call.arguments + ") = " + std::to_string(code) + "\n");
}

// No exception leaves the library: its callers are C programs. Every call
// that finds its state folder is journaled with its result.
template <typename Operation>
WfStatus Run(const Call& call, Operation operation) {
  try {
    const auto dir = wfsim::StateFolderFromEnvironment();
    if (!dir) return wfsim::kAccessDenied;
    wfsim::StateFolder state(*dir);
    WfStatus code = wfsim::kOk;
    std::optional<WfStatus> injected;
    if (const wfsim::Outcome taken = state.TakeFault(call.function, injected); !taken.ok()) {
      code = taken.code;
    } else if (injected) {
      code = *injected;
    } else if (const wfsim::Outcome prepared = state.Prepare(); !prepared.ok()) {
      return prepared.code;
    } else {
      Machine machine(state);
      code = wfsim::Outcome(operation(machine)).code;
    }
    Journal(state, call, code);
    return code;
  } catch (const std::bad_alloc&) {
    return wfsim::kNotEnoughMemory;
  } catch (...) {
    return wfsim::kAccessDenied;
  }
}

// A call refused before anything else (a null pointer), journaled all the same.
WfStatus Refused(const Call& call, WfStatus code) {
  try {
    if (const auto dir = wfsim::StateFolderFromEnvironment()) Journal(wfsim::StateFolder(*dir), call, code);
  } catch (...) {  // the journal fails no call
  }
  return code;
}

// Texts the library is handed: a null pointer is a bad parameter, a text with
// no terminator in reach a bad name.
template <typename Operation>
WfStatus WithTexts(WfFunction function, const WfChar* volume, const WfChar* path, Operation operation,
                   const std::string& more = {}) {
  Call call(function, Quoted(volume));
  if (path != nullptr && path[0] != 0) call.arguments += ", " + Quoted(path);
  call.arguments += more;
  if (volume == nullptr || path == nullptr) return Refused(call, wfsim::kInvalidParameter);
  return Run(call, [&](Machine& machine) -> wfsim::Outcome {
    const auto volume_text = wfsim::ReadLibraryText(volume);
    const auto path_text = wfsim::ReadLibraryText(path);
    if (!volume_text || !path_text) return wfsim::kInvalidName;
    return operation(machine, *volume_text, *path_text);
  });
}

template <typename Operation>
WfStatus WithVolume(WfFunction function, const WfChar* volume, Operation operation, const std::string& more = {}) {
  const WfChar none[] = {0};
  return WithTexts(
      function, volume, none,
      [&](Machine& machine, const std::u16string& text, const std::u16string&) { return operation(machine, text); },
      more);
}

WfUlong Capped(std::uint64_t value) { return static_cast<WfUlong>(std::min<std::uint64_t>(value, 0xFFFFFFFFu)); }

WfStatus VolumeSize(WfFunction function, const WfChar* volume, bool through_overlay, FbwfFSInfo* info) {
  if (info == nullptr) return Refused(Call(function, Quoted(volume) + ", null"), wfsim::kInvalidParameter);
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
  return Run(WfFunction::FbwfEnableFilter, [](Machine& m) { return m.SetFeature(Feature::kFilter, true); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfDisableFilter() {
  return Run(WfFunction::FbwfDisableFilter, [](Machine& m) { return m.SetFeature(Feature::kFilter, false); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableCompression() {
  return Run(WfFunction::FbwfEnableCompression,
             [](Machine& m) { return m.SetFeature(Feature::kCompression, true); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfDisableCompression() {
  return Run(WfFunction::FbwfDisableCompression,
             [](Machine& m) { return m.SetFeature(Feature::kCompression, false); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableCachePreAllocation() {
  return Run(WfFunction::FbwfEnableCachePreAllocation,
             [](Machine& m) { return m.SetFeature(Feature::kPreallocation, true); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfDisableCachePreAllocation() {
  return Run(WfFunction::FbwfDisableCachePreAllocation,
             [](Machine& m) { return m.SetFeature(Feature::kPreallocation, false); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) {
  return Run(WfFunction::FbwfIsFilterEnabled,
             [&](Machine& m) { return m.QueryFeature(Feature::kFilter, current, next); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsCompressionEnabled(std::uint32_t* current, std::uint32_t* next) {
  return Run(WfFunction::FbwfIsCompressionEnabled,
             [&](Machine& m) { return m.QueryFeature(Feature::kCompression, current, next); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsCachePreAllocationEnabled(std::uint32_t* current,
                                                                 std::uint32_t* next) {
  return Run(WfFunction::FbwfIsCachePreAllocationEnabled,
             [&](Machine& m) { return m.QueryFeature(Feature::kPreallocation, current, next); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsVolumeProtected(const WfChar* volume, std::uint32_t* current,
                                                       std::uint32_t* next) {
  return WithVolume(WfFunction::FbwfIsVolumeProtected, volume, [&](Machine& m, const std::u16string& v) {
    return m.QueryVolume(v, current, next);
  });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfProtectVolume(const WfChar* volume) {
  return WithVolume(WfFunction::FbwfProtectVolume, volume,
                    [](Machine& m, const std::u16string& v) { return m.Protect(v); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfUnprotectVolume(const WfChar* volume, std::uint32_t flag) {
  return WithVolume( WfFunction::FbwfUnprotectVolume, volume, [&](Machine& m, const std::u16string& v) { return m.Unprotect(v, flag != 0); },
      ", " + std::to_string(flag));
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfSetCacheThreshold(std::uint32_t megabytes) {
  return Run({WfFunction::FbwfSetCacheThreshold, std::to_string(megabytes)}, [&](Machine& m) { return m.SetThreshold(megabytes); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfAddExclusion(const WfChar* volume, const WfChar* path) {
  return WithTexts(WfFunction::FbwfAddExclusion, volume, path,
                   [](Machine& m, const std::u16string& v, const std::u16string& p) {
                     return m.AddExclusion(v, p);
                   });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) {
  return WithTexts(WfFunction::FbwfRemoveExclusion, volume, path,
                   [](Machine& m, const std::u16string& v, const std::u16string& p) {
                     return m.RemoveExclusion(v, p);
                   });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfCommitFile(const WfChar* volume, const WfChar* path) {
  return WithTexts(WfFunction::FbwfCommitFile, volume, path,
                   [](Machine& m, const std::u16string& v, const std::u16string& p) {
                     return m.Commit(v, p);
                   });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfRestoreFile(const WfChar* volume, const WfChar* path) {
  return WithTexts(WfFunction::FbwfRestoreFile, volume, path,
                   [](Machine& m, const std::u16string& v, const std::u16string& p) {
                     return m.Restore(v, p);
                   });
}


WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetVolumeList(WfUlong currentSession, void* volumeList, WfUlong* size) {
  const Call call(WfFunction::FbwfGetVolumeList, std::to_string(currentSession));
  if (size == nullptr) return Refused(call, wfsim::kInvalidParameter);
  return Run(call, [&](Machine& m) {
    std::string letters;
    if (wfsim::Outcome read = m.VolumeList(currentSession != 0, letters); !read.ok()) return read;
    std::vector<std::u16string> names;
    for (char letter : letters) names.push_back({static_cast<char16_t>(letter), u':'});
    return wfsim::CopyList(names, volumeList, size);
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetExclusionList(const WfChar* volume, WfUlong currentSession,
                                                      void* exclusionList, WfUlong* size) {
  const std::string session = ", " + std::to_string(currentSession);
  if (size == nullptr) return Refused({WfFunction::FbwfGetExclusionList, Quoted(volume) + session}, wfsim::kInvalidParameter);
  return WithVolume(WfFunction::FbwfGetExclusionList, volume, [&](Machine& m, const std::u16string& v) {
    std::vector<std::string> paths;
    if (wfsim::Outcome read = m.ExclusionList(v, currentSession != 0, paths); !read.ok()) return read;
    std::vector<std::u16string> names;
    for (const std::string& path : paths) names.push_back(wfsim::FromUtf8(path).value_or(u""));
    return wfsim::CopyList(names, exclusionList, size);
  }, session);
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetMemoryUsage(FbwfMemoryUsage* usage) {
  if (usage == nullptr) return Refused({WfFunction::FbwfGetMemoryUsage, "null"}, wfsim::kInvalidParameter);
  return Run(WfFunction::FbwfGetMemoryUsage, [&](Machine& m) {
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
  return Run({WfFunction::FbwfCacheThresholdNotification, std::to_string(megabytes)}, [&](Machine& m) {
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
  return Run(WfFunction::FbwfInitializeNotifications, [](Machine&) { return wfsim::Outcome(wfsim::kOk); });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfUninitializeNotifications() {
  return Run(WfFunction::FbwfUninitializeNotifications, [](Machine&) {
    wfsim::StopWatching();
    return wfsim::Outcome(wfsim::kOk);
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindFirst(const WfChar* volume, FbwfCacheDetail* detail, WfUlong* size) {
  if (size == nullptr) return Refused({WfFunction::FbwfFindFirst, Quoted(volume) + ", size null"}, wfsim::kInvalidParameter);
  return WithVolume(WfFunction::FbwfFindFirst, volume, [&](Machine& m, const std::u16string& v) {
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
  if (size == nullptr) return Refused({WfFunction::FbwfFindNext, "size null"}, wfsim::kInvalidParameter);
  return Run(WfFunction::FbwfFindNext, [&](Machine& m) {
    wfsim::CacheSearch& search = wfsim::CacheSearch::OfProcess();
    if (!search.IsOpen()) return wfsim::Outcome(wfsim::kInvalidFunction);
    if (wfsim::Outcome on = m.NeedsFilterNow(); !on.ok()) return on;
    return wfsim::Outcome(search.Next(detail, size));
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindClose() {
  return Run(WfFunction::FbwfFindClose, [](Machine&) {
    return wfsim::Outcome(wfsim::CacheSearch::OfProcess().Close() ? wfsim::kOk : wfsim::kInvalidFunction);
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetSizeDisplay(WfUlong* current, WfUlong* next) {
  return Run(WfFunction::FbwfGetSizeDisplay, [&](Machine& m) { return m.SizeDisplay(current, next); });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfSetSizeDisplay(WfUlong next) {
  return Run({WfFunction::FbwfSetSizeDisplay, std::to_string(next)}, [&](Machine& m) { return m.SetSizeDisplay(next); });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetActualSize(const WfChar* volume, FbwfFSInfo* info) {
  return VolumeSize(WfFunction::FbwfGetActualSize, volume, false, info);
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetVirtualSize(const WfChar* volume, FbwfFSInfo* info) {
  return VolumeSize(WfFunction::FbwfGetVirtualSize, volume, true, info);
}

}  // extern "C"
