// The commands of the overlay: its use and its largest files.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vorlenctl/command.h"
#include "vorlenctl/output.h"

namespace ctl {

namespace {

struct OverlayView {
  FbwfMemoryUsage memory{};
  std::vector<CachedFile> largest;
};

std::optional<Failure> ReadOverlayView(FilterLibrary& library, unsigned long top, OverlayView& view) {
  Reading reading;
  if (const auto failure = ReadDevice(library, reading)) return failure;
  if (!reading.memory) return Failure{WfFunction::FbwfGetMemoryUsage, kWfProcedureNotFound};
  if (reading.current.filter.value_or(false)) {
    for (const std::string& volume : reading.current.protected_volumes.value_or(std::vector<std::string>{})) {
      std::vector<CachedFile> files;
      if (const auto failure = SearchCache(library, volume, files)) return failure;
      std::stable_sort(files.begin(), files.end(), [](const CachedFile& a, const CachedFile& b) { return a.bytes > b.bytes; });
      if (files.size() > top) files.resize(top);
      view.largest.insert(view.largest.end(), files.begin(), files.end());
    }
  }
  view.memory = *reading.memory;
  return std::nullopt;
}

std::string OverlayViewJson(const OverlayView& view) {
  JsonWriter out;
  out.Open('{');
  WriteMemory(out.Key("memory"), view.memory);
  out.Key("used_percent").Tenths(PercentTenths(UsedBytes(view.memory), view.memory.currentCacheThreshold));
  out.Key("largest").Open('[');
  for (const CachedFile& f : view.largest) {
    out.Open('{');
    out.Key("volume").String(f.volume);
    out.Key("path").String(f.path);
    out.Key("bytes").Number(f.bytes);
    out.Close();
  }
  out.Close();
  out.Close();
  return out.text() + "\n";
}

void PrintOverlayText(Context& context, const OverlayView& view) {
  const FbwfMemoryUsage& memory = view.memory;
  std::fprintf(context.out, "threshold       %12lu bytes\n", static_cast<unsigned long>(memory.currentCacheThreshold));
  std::fprintf(context.out, "folder structure%12lu bytes\n", static_cast<unsigned long>(memory.dirStructure));
  std::fprintf(context.out, "file data       %12lu bytes\n", static_cast<unsigned long>(memory.fileData));
  const std::string percent = PercentText(UsedBytes(memory), memory.currentCacheThreshold);
  Emit(context.out, "used            " + std::string(percent.size() < 11 ? 11 - percent.size() : 0, ' ') + percent + "%\n");
  if (!view.largest.empty()) std::fprintf(context.out, "\n%12s  %s\n", "bytes", "largest cached files");
  for (const CachedFile& f : view.largest) {
    const std::string bytes = std::to_string(f.bytes);
    Emit(context.out, std::string(bytes.size() < 12 ? 12 - bytes.size() : 0, ' ') + bytes + "  " + f.volume + f.path + "\n");
  }
}

}  // namespace

std::uint64_t UsedBytes(const FbwfMemoryUsage& memory) {
  return std::uint64_t{memory.dirStructure} + memory.fileData;
}

std::optional<Failure> OverlayJson(FilterLibrary& library, unsigned long top, std::string& text) {
  OverlayView view;
  if (const auto failure = ReadOverlayView(library, top, view)) return failure;
  text = OverlayViewJson(view);
  return std::nullopt;
}

int ShowOverlay(Context& context, const std::vector<std::string>& args) {
  constexpr const char* kUsageLine = "vorlenctl overlay [--top N] [--json]";
  int status = kDone;
  const std::optional<Arguments> parsed = Parse(context, args, {{"--top", true}, {"--json", false}}, 0, kUsageLine, status);
  if (!parsed) return status;
  unsigned long top = 10;
  if (const auto count = parsed->Value("--top"); count && !ParseCount(*count, top, 100000)) {
    return UsageError(context, "--top takes a count from 0 to 100000, not " + *count + "; usage: " + kUsageLine);
  }
  OverlayView view;
  if (const auto failure = ReadOverlayView(context.library, top, view)) return CallFailed(context, *failure);
  if (parsed->Has("--json")) {
    Emit(context.out, OverlayViewJson(view));
  } else {
    PrintOverlayText(context, view);
  }
  return kDone;
}

}  // namespace ctl
