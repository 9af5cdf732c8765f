#include "vorlenctl/device.h"

#include <algorithm>

#include "text/unicode.h"
#include "wfapi/codes.h"

namespace ctl {

namespace {


std::basic_string<WfChar> Wide(const std::string& utf8) {
  const std::u16string units = text::FromUtf8(utf8).value_or(u"");
  return std::basic_string<WfChar>(units.begin(), units.end());
}

// A name holding an unpaired surrogate shows it as U+FFFD, the rest as it is.
std::string Narrow(const WfChar* units, std::size_t count) {
  return text::ToUtf8Shown(std::u16string(units, units + count));
}

// Keeps a function's failure, or its absence, for the reading's end.
class Reader {
 public:
  explicit Reader(Reading* reading) : reading_(reading) {}
  // True when the call answered 0; `tolerated` codes are answers too.
  bool Ok(WfFunction function, WfStatus code, std::initializer_list<WfStatus> tolerated = {}) {
    if (code == 0) return true;
    if (code == kWfProcedureNotFound && reading_ != nullptr) {
      const std::string name(NameOf(function));
      if (std::find(reading_->unavailable.begin(), reading_->unavailable.end(), name) == reading_->unavailable.end()) {
        reading_->unavailable.push_back(name);
      }
    } else if (std::find(tolerated.begin(), tolerated.end(), code) == tolerated.end() && !failure) {
      failure = Failure{function, code};
    }
    return false;
  }
  std::optional<Failure> failure;

 private:
  Reading* reading_;
};

// A list in the filter's layout. A buffer that usually has room comes
// first, so a reading journals no 234 of its own.
template <typename Ask>
WfStatus ReadList(Ask ask, std::vector<std::string>& names) {
  std::vector<WfChar> buffer(2048, 0);
  WfUlong size = static_cast<WfUlong>(buffer.size() * sizeof(WfChar));
  WfStatus code = ask(buffer.data(), &size);
  if (code == kWfMoreData) {
    buffer.assign(size / sizeof(WfChar) + 1, 0);
    code = ask(buffer.data(), &size);
  }
  if (code != 0) return code;
  for (std::size_t at = 0; at < buffer.size() && buffer[at] != 0;) {
    std::size_t end = at;
    while (end < buffer.size() && buffer[end] != 0) ++end;
    names.push_back(Narrow(buffer.data() + at, end - at));
    at = end + 1;
  }
  return 0;
}

std::uint32_t Megabytes(WfUlong bytes) { return bytes == 0xFFFFFFFFu ? kThresholdCap : bytes >> 20; }

void ReadSwitches(FilterLibrary& library, Reader& reader, Reading& reading) {
  struct Switch {
    WfFunction function;
    std::optional<bool> Session::*member;
  };
  const Switch switches[] = {{WfFunction::FbwfIsFilterEnabled, &Session::filter},
                             {WfFunction::FbwfIsCompressionEnabled, &Session::compression},
                             {WfFunction::FbwfIsCachePreAllocationEnabled, &Session::preallocation}};
  for (const Switch& s : switches) {
    WfUlong current = 0, next = 0;
    WfStatus code = 0;
    if (s.function == WfFunction::FbwfIsFilterEnabled) code = library.FbwfIsFilterEnabled(&current, &next);
    if (s.function == WfFunction::FbwfIsCompressionEnabled) {
      code = library.FbwfIsCompressionEnabled(&current, &next);
    }
    if (s.function == WfFunction::FbwfIsCachePreAllocationEnabled) {
      code = library.FbwfIsCachePreAllocationEnabled(&current, &next);
    }
    if (!reader.Ok(s.function, code)) continue;
    reading.current.*s.member = current != 0;
    reading.next.*s.member = next != 0;
  }
}

void ReadVolumes(FilterLibrary& library, Reader& reader, Reading& reading) {
  for (Session* session : {&reading.current, &reading.next}) {
    const WfUlong current = session == &reading.current ? 1 : 0;
    std::vector<std::string> volumes;
    const WfStatus code = ReadList(
        [&](void* buffer, WfUlong* size) { return library.FbwfGetVolumeList(current, buffer, size); },
        volumes);
    if (!reader.Ok(WfFunction::FbwfGetVolumeList, code)) continue;
    std::sort(volumes.begin(), volumes.end());
    session->protected_volumes = volumes;
    VolumeLists lists;
    bool whole = true;
    for (const std::string& volume : volumes) {
      const std::basic_string<WfChar> name = Wide(volume);
      const WfStatus listed = ReadList(
          [&](void* buffer, WfUlong* size) {
            return library.FbwfGetExclusionList(name.c_str(), current, buffer, size);
          },
          lists[volume]);
      whole = reader.Ok(WfFunction::FbwfGetExclusionList, listed) && whole;
    }
    if (whole) session->exclusions = lists;
  }
}

}  // namespace

std::optional<Failure> ReadDevice(FilterLibrary& library, Reading& reading) {
  Reader reader(&reading);
  ReadSwitches(library, reader, reading);
  FbwfMemoryUsage memory{};
  if (reader.Ok(WfFunction::FbwfGetMemoryUsage, library.FbwfGetMemoryUsage(&memory))) {
    reading.memory = memory;
    reading.current.threshold_mb = Megabytes(memory.currentCacheThreshold);
    reading.next.threshold_mb = Megabytes(memory.nextCacheThreshold);
  }
  ReadVolumes(library, reader, reading);
  // The size display has no answer while the filter is off now (1).
  if (reading.current.filter.value_or(true)) {
    WfUlong current = 0, next = 0;
    const WfStatus display = library.FbwfGetSizeDisplay(&current, &next);
    if (reader.Ok(WfFunction::FbwfGetSizeDisplay, display, {kWfInvalidFunction})) reading.size_display = {current, next};
  }
  return reader.failure;
}

std::optional<Failure> ReadOverlay(FilterLibrary& library, Overlay& overlay) {
  Reader reader(nullptr);
  WfUlong current = 0, next = 0;
  if (!reader.Ok(WfFunction::FbwfIsFilterEnabled, library.FbwfIsFilterEnabled(&current, &next))) {
    return reader.failure;
  }
  overlay.filter_now = current != 0;
  reader.Ok(WfFunction::FbwfGetMemoryUsage, library.FbwfGetMemoryUsage(&overlay.memory));
  return reader.failure;
}

std::optional<Failure> SearchCache(FilterLibrary& library, const std::string& volume, std::vector<CachedFile>& files) {
  const std::basic_string<WfChar> name = Wide(volume);
  std::vector<unsigned char> buffer(1024);
  bool first = true;
  for (;;) {
    auto* detail = reinterpret_cast<FbwfCacheDetail*>(buffer.data());
    WfUlong size = static_cast<WfUlong>(buffer.size());
    const WfStatus code = first ? library.FbwfFindFirst(name.c_str(), detail, &size)
                                : library.FbwfFindNext(detail, &size);
    if (code == kWfMoreData) {
      buffer.resize(size + 16);
      continue;
    }
    if ((first && code == kWfFileNotFound) || (!first && code == kWfNoMoreFiles)) break;
    if (code != kWfOk) return Failure{first ? WfFunction::FbwfFindFirst : WfFunction::FbwfFindNext, code};
    first = false;
    const auto* units = reinterpret_cast<const WfChar*>(buffer.data() + kCacheDetailNameOffset);
    files.push_back({volume, Narrow(units, detail->fileNameLength / sizeof(WfChar)), detail->cacheSize});
  }
  if (!first) library.FbwfFindClose();
  return std::nullopt;
}

WfStatus Call(FilterLibrary& library, const PlannedCall& call) {
  const std::basic_string<WfChar> volume = call.texts.empty() ? std::basic_string<WfChar>() : Wide(call.texts[0]);
  const std::basic_string<WfChar> path = call.texts.size() < 2 ? std::basic_string<WfChar>() : Wide(call.texts[1]);
  switch (call.function) {
    case WfFunction::FbwfEnableFilter: return library.FbwfEnableFilter();
    case WfFunction::FbwfDisableFilter: return library.FbwfDisableFilter();
    case WfFunction::FbwfEnableCompression: return library.FbwfEnableCompression();
    case WfFunction::FbwfDisableCompression: return library.FbwfDisableCompression();
    case WfFunction::FbwfEnableCachePreAllocation: return library.FbwfEnableCachePreAllocation();
    case WfFunction::FbwfDisableCachePreAllocation: return library.FbwfDisableCachePreAllocation();
    case WfFunction::FbwfSetCacheThreshold: return library.FbwfSetCacheThreshold(call.number.value_or(0));
    case WfFunction::FbwfProtectVolume: return library.FbwfProtectVolume(volume.c_str());
    case WfFunction::FbwfUnprotectVolume:
      return library.FbwfUnprotectVolume(volume.c_str(), call.number.value_or(0));
    case WfFunction::FbwfAddExclusion: return library.FbwfAddExclusion(volume.c_str(), path.c_str());
    case WfFunction::FbwfRemoveExclusion:
      return library.FbwfRemoveExclusion(volume.c_str(), path.c_str());
    case WfFunction::FbwfCommitFile: return library.FbwfCommitFile(volume.c_str(), path.c_str());
    default: return kWfProcedureNotFound;
  }
}

}  // namespace ctl
