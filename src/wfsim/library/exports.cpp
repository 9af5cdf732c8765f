// The library's 30 functions: each checks its pointers, finds the state
// folder, honours an injected failure, runs one operation of the simulated
// machine and journals the call.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "wfapi/wfapi.h"
#include "wfsim/base/codes.h"
#include "wfsim/base/text.h"
#include "wfsim/library/cache_search.h"
#include "wfsim/library/call_line.h"
#include "wfsim/library/events.h"
#include "wfsim/library/lists.h"
#include "wfsim/library/notifications.h"
#include "wfsim/machine/machine.h"

namespace {

using wfsim::CallArgument;
using wfsim::Feature;
using wfsim::Machine;
namespace fs = wfsim::fs;

CallArgument Text(const WfChar* text) { return CallArgument::Text(text); }
CallArgument Number(std::uint32_t number) { return CallArgument::Number(number); }
CallArgument Word(const char* word) { return CallArgument::Word(word); }

// A call as the journal names it. `buffer_given` is false where a buffer is
// null while its size claims room: whatever else is wrong, the call answers
// 87, unless the room is too small, which is the size query (234).
struct Call {
  Call(WfFunction called, std::initializer_list<CallArgument> given = {}, bool buffer = true)
      : function(called), buffer_given(buffer) {
    for (const CallArgument& argument : given) arguments[count++] = argument;
  }
  void Add(const CallArgument& argument) { arguments[count++] = argument; }

  WfFunction function;
  std::array<CallArgument, 3> arguments{};
  std::size_t count = 0;
  bool buffer_given;
};

bool NullWithRoom(const void* buffer, const WfUlong* size) { return buffer == nullptr && *size != 0; }

void Journal(const fs::path& dir, wfsim::Deadline deadline, const Call& call, WfStatus code) {
  const wfsim::CallLine line(call.function, call.arguments.data(), call.count, code);
  wfsim::StateFolder::AppendToJournal(dir, deadline, line.view());
}

// No exception leaves the library: its callers are C programs. Every call is
// journaled with its result, that of a call that ran out of memory included;
// the state folder is made by the first.
template <typename Operation>
WfStatus Run(const Call& call, Operation operation, bool refused = false) {
  const wfsim::Deadline deadline = wfsim::DeadlineFromNow();
  WfStatus code = wfsim::kOk;
  try {
    const std::optional<fs::path>& dir = wfsim::StateFolderFromEnvironment();
    if (!dir) return wfsim::kAccessDenied;
    wfsim::StateFolder state(*dir, deadline);
    std::optional<WfStatus> injected;
    if (const wfsim::Outcome prepared = state.Prepare(); !prepared.ok()) {
      code = prepared.code;
    } else if (const wfsim::Outcome taken = refused ? wfsim::Outcome(wfsim::kOk)
                                                     : state.TakeFault(call.function, injected);
               !taken.ok()) {
      code = taken.code;
    } else if (injected) {
      code = *injected;
    } else {
      Machine machine(state);
      code = wfsim::Outcome(operation(machine)).code;
      if (!call.buffer_given && code != wfsim::kOk && code != wfsim::kMoreData) code = wfsim::kInvalidParameter;
    }
  } catch (const std::bad_alloc&) {
    code = wfsim::kNotEnoughMemory;
  } catch (...) {
    code = wfsim::kAccessDenied;
  }
  try {
    if (const std::optional<fs::path>& dir = wfsim::StateFolderFromEnvironment()) Journal(*dir, deadline, call, code);
  } catch (...) {  // the journal fails no call
  }
  return code;
}

// A call refused before anything else, an injected fault included (a null pointer).
WfStatus Refused(const Call& call, WfStatus code) {
  return Run(call, [code](Machine&) { return wfsim::Outcome(code); }, true);
}

// Texts the library is handed: a null pointer is a bad parameter, a text with
// no terminator in reach a bad name.
template <typename Operation>
WfStatus WithTexts(Call call, const WfChar* volume, const WfChar* path, Operation operation) {
  if (volume == nullptr || path == nullptr) return Refused(call, wfsim::kInvalidParameter);
  return Run(call, [&](Machine& machine) -> wfsim::Outcome {
    const auto volume_text = wfsim::ReadLibraryText(volume);
    const auto path_text = wfsim::ReadLibraryText(path);
    if (!volume_text || !path_text) return wfsim::kInvalidName;
    return operation(machine, *volume_text, *path_text);
  });
}

template <typename Operation>
WfStatus WithVolume(const Call& call, const WfChar* volume, Operation operation) {
  const WfChar none[] = {0};
  return WithTexts(call, volume, none, [&](Machine& machine, const std::u16string& text, const std::u16string&) {
    return operation(machine, text);
  });
}

template <typename Operation>
WfStatus WithVolume(WfFunction function, const WfChar* volume, Operation operation) {
  return WithVolume(Call(function, {Text(volume)}), volume, operation);
}

template <typename Operation>
WfStatus WithVolumeAndPath(WfFunction function, const WfChar* volume, const WfChar* path, Operation operation) {
  Call call(function, {Text(volume)});
  if (path == nullptr || path[0] != 0) call.Add(Text(path));
  return WithTexts(call, volume, path, operation);
}

WfUlong Capped(std::uint64_t value) { return static_cast<WfUlong>(std::min<std::uint64_t>(value, 0xFFFFFFFFu)); }

WfStatus VolumeSize(WfFunction function, const WfChar* volume, bool through_overlay, FbwfFSInfo* info) {
  if (info == nullptr) return Refused(Call(function, {Text(volume), Word("null")}), wfsim::kInvalidParameter);
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

// Both results are needed: a null one answers 87 before a pending fault.
bool EitherNull(const WfUlong* current, const WfUlong* next) { return current == nullptr || next == nullptr; }

WfStatus QueryFeature(WfFunction function, Feature feature, WfUlong* current, WfUlong* next) {
  if (EitherNull(current, next)) return Refused(function, wfsim::kInvalidParameter);
  return Run(function, [&](Machine& m) { return m.QueryFeature(feature, current, next); });
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
  return Run(WfFunction::FbwfEnableCompression, [](Machine& m) { return m.SetFeature(Feature::kCompression, true); });
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
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsFilterEnabled(WfUlong* current, WfUlong* next) {
  return QueryFeature(WfFunction::FbwfIsFilterEnabled, Feature::kFilter, current, next);
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsCompressionEnabled(WfUlong* current, WfUlong* next) {
  return QueryFeature(WfFunction::FbwfIsCompressionEnabled, Feature::kCompression, current, next);
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsCachePreAllocationEnabled(WfUlong* current, WfUlong* next) {
  return QueryFeature(WfFunction::FbwfIsCachePreAllocationEnabled, Feature::kPreallocation, current, next);
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfIsVolumeProtected(const WfChar* volume, WfUlong* current, WfUlong* next) {
  if (EitherNull(current, next)) return Refused(Call(WfFunction::FbwfIsVolumeProtected, {Text(volume)}), wfsim::kInvalidParameter);
  return WithVolume(WfFunction::FbwfIsVolumeProtected, volume,
                    [&](Machine& m, const std::u16string& v) { return m.QueryVolume(v, current, next); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfProtectVolume(const WfChar* volume) {
  return WithVolume(WfFunction::FbwfProtectVolume, volume,
                    [](Machine& m, const std::u16string& v) { return m.Protect(v); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfUnprotectVolume(const WfChar* volume, WfUlong flag) {
  return WithVolume(Call(WfFunction::FbwfUnprotectVolume, {Text(volume), Number(flag)}), volume,
                    [&](Machine& m, const std::u16string& v) { return m.Unprotect(v, flag != 0); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfSetCacheThreshold(WfUlong megabytes) {
  return Run(Call(WfFunction::FbwfSetCacheThreshold, {Number(megabytes)}),
             [&](Machine& m) { return m.SetThreshold(megabytes); });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfAddExclusion(const WfChar* volume, const WfChar* path) {
  return WithVolumeAndPath(WfFunction::FbwfAddExclusion, volume, path,
                           [](Machine& m, const std::u16string& v, const std::u16string& p) {
                             return m.AddExclusion(v, p);
                           });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) {
  return WithVolumeAndPath(WfFunction::FbwfRemoveExclusion, volume, path,
                           [](Machine& m, const std::u16string& v, const std::u16string& p) {
                             return m.RemoveExclusion(v, p);
                           });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfCommitFile(const WfChar* volume, const WfChar* path) {
  return WithVolumeAndPath(WfFunction::FbwfCommitFile, volume, path,
                           [](Machine& m, const std::u16string& v, const std::u16string& p) {
                             return m.Commit(v, p);
                           });
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfRestoreFile(const WfChar* volume, const WfChar* path) {
  return WithVolumeAndPath(WfFunction::FbwfRestoreFile, volume, path,
                           [](Machine& m, const std::u16string& v, const std::u16string& p) {
                             return m.Restore(v, p);
                           });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetVolumeList(WfUlong currentSession, void* volumeList, WfUlong* size) {
  Call call(WfFunction::FbwfGetVolumeList, {Number(currentSession)});
  if (size == nullptr) return Refused(call, wfsim::kInvalidParameter);
  call.buffer_given = !NullWithRoom(volumeList, size);
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
  Call call(WfFunction::FbwfGetExclusionList, {Text(volume), Number(currentSession)});
  if (size == nullptr) return Refused(call, wfsim::kInvalidParameter);
  call.buffer_given = !NullWithRoom(exclusionList, size);
  return WithVolume(call, volume, [&](Machine& m, const std::u16string& v) {
    std::vector<std::string> paths;
    if (wfsim::Outcome read = m.ExclusionList(v, currentSession != 0, paths); !read.ok()) return read;
    std::vector<std::u16string> names;
    for (const std::string& path : paths) names.push_back(wfsim::FromUtf8(path).value_or(u""));
    return wfsim::CopyList(names, exclusionList, size);
  });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetMemoryUsage(FbwfMemoryUsage* usage) {
  if (usage == nullptr) return Refused(Call(WfFunction::FbwfGetMemoryUsage, {Word("null")}), wfsim::kInvalidParameter);
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
  return Run(Call(WfFunction::FbwfCacheThresholdNotification, {Number(megabytes)}), [&](Machine& m) {
    if (wfsim::Outcome ok = m.CheckNotification(megabytes, wfsim::IsValidEvent(event)); !ok.ok()) return ok;
    const std::uint64_t level = wfsim::ThresholdBytes(megabytes);
    wfsim::MemoryUsage memory;
    if (wfsim::Outcome read = m.Memory(memory); !read.ok()) return read;
    if (memory.Left() >= level) return wfsim::Outcome(wfsim::WatchOverlay(m.state().dir(), level, event));
    wfsim::SignalEvent(event);
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

// Any failed search start closes the search that was open; a 234 starts it.
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindFirst(const WfChar* volume, FbwfCacheDetail* detail, WfUlong* size) {
  wfsim::CacheSearch& search = wfsim::CacheSearch::OfProcess();
  Call call(WfFunction::FbwfFindFirst, {Text(volume)});
  WfStatus code = wfsim::kInvalidParameter;
  if (size == nullptr) {
    call.Add(Word("size null"));
    Refused(call, code);
  } else {
    call.buffer_given = !NullWithRoom(detail, size);
    code = WithVolume(call, volume, [&](Machine& m, const std::u16string& v) {
      std::vector<wfsim::CachedFile> files;
      if (wfsim::Outcome found = m.CacheSearch(v, files); !found.ok()) return found;
      std::vector<wfsim::SearchEntry> entries;
      for (const wfsim::CachedFile& file : files) {
        entries.push_back({wfsim::FromUtf8(file.name.substr(2)).value_or(u""), file.size});
      }
      search.Start(std::move(entries));
      return wfsim::Outcome(search.Next(detail, size));
    });
  }
  if (code != wfsim::kOk && code != wfsim::kMoreData) search.Close();
  return code;
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfFindNext(FbwfCacheDetail* detail, WfUlong* size) {
  if (size == nullptr) return Refused(Call(WfFunction::FbwfFindNext, {Word("size null")}), wfsim::kInvalidParameter);
  return Run(Call(WfFunction::FbwfFindNext, {}, !NullWithRoom(detail, size)), [&](Machine& m) {
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
  if (EitherNull(current, next)) return Refused(WfFunction::FbwfGetSizeDisplay, wfsim::kInvalidParameter);
  return Run(WfFunction::FbwfGetSizeDisplay, [&](Machine& m) { return m.SizeDisplay(current, next); });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfSetSizeDisplay(WfUlong next) {
  return Run(Call(WfFunction::FbwfSetSizeDisplay, {Number(next)}), [&](Machine& m) { return m.SetSizeDisplay(next); });
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetActualSize(const WfChar* volume, FbwfFSInfo* info) {
  return VolumeSize(WfFunction::FbwfGetActualSize, volume, false, info);
}

WFAPI_EXPORT WfStatus WFAPI_CALL FbwfGetVirtualSize(const WfChar* volume, FbwfFSInfo* info) {
  return VolumeSize(WfFunction::FbwfGetVirtualSize, volume, true, info);
}

}  // extern "C"
