// The commands of the overlay: its use and largest files, and the
// monitoring check.
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
  double percent = 0;
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
  const FbwfMemoryUsage& memory = view.memory;
  view.percent = memory.currentCacheThreshold == 0 ? 0.0 : 100.0 * UsedBytes(memory) / memory.currentCacheThreshold;
  return std::nullopt;
}

std::string OverlayViewJson(const OverlayView& view) {
  JsonWriter out;
  out.Open('{');
  WriteMemory(out.Key("memory"), view.memory);
  out.Key("used_percent").Tenths(static_cast<std::uint64_t>(view.percent * 10));
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
  std::fprintf(context.out, "used            %11.1f%%\n", view.percent);
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

namespace {

// The monitoring plugins' exit statuses.
enum PluginStatus { kPluginOk = 0, kPluginWarning = 1, kPluginCritical = 2, kPluginUnknown = 3 };

}  // namespace

namespace {

// ", guard at warning since 2026-12-10T03:04:05Z" where a guard's state is found.
std::string GuardNote(const Arguments& parsed) {
  const std::optional<GuardState> guard = FindGuardState(parsed);
  if (!guard) return "";
  return ", guard at " + std::string(NameOf(guard->level)) + " since " + Iso8601(guard->since);
}

int CheckOverlay(Context& context, const Overlay& overlay, unsigned long warning, unsigned long critical,
                 const std::string& note) {
  const std::uint64_t threshold = overlay.memory.currentCacheThreshold, used = UsedBytes(overlay.memory);
  const std::uint64_t warn_at = threshold * warning / 100, critical_at = threshold * critical / 100;
  const int status = used >= critical_at ? kPluginCritical : used >= warn_at ? kPluginWarning : kPluginOk;
  const char* const names[] = {"OK", "WARNING", "CRITICAL"};
  // 64-bit numbers go through to_string: the C runtime of older Windows has no %llu.
  const auto n = [](std::uint64_t value) { return std::to_string(value); };
  std::fprintf(context.out, "FBWF %s - overlay %s%% used (%s MiB of %s MiB)%s | overlay_used=%sB;%s;%s;0;%s\n",
               names[status], n(threshold == 0 ? 0 : used * 100 / threshold).c_str(), n(used >> 20).c_str(),
               n(threshold >> 20).c_str(), note.c_str(), n(used).c_str(), n(warn_at).c_str(), n(critical_at).c_str(),
               n(threshold).c_str());
  return status;
}

}  // namespace

// The monitoring plugin's conventions: one line and its status.
int Check(Context& context, const std::vector<std::string>& args) {
  unsigned long warning = 80, critical = 90;
  std::string error;
  const std::optional<Arguments> parsed =
      ParseArguments(args, {{"--warning", true}, {"--critical", true}, {"--allow-off", false}, {"--guard-history", true}},
                     0, error);
  const auto level = [&](const char* name, unsigned long& value) {
    const auto text = parsed->Value(name);
    if (text && !ParseCount(*text, value, 100)) error = std::string(name) + " takes a percentage from 0 to 100, not " + *text;
  };
  if (parsed) {
    level("--warning", warning);
    level("--critical", critical);
  }
  if (!error.empty()) {
    Emit(context.out, "FBWF UNKNOWN - usage: vorlenctl check [--warning PCT] [--critical PCT] [--allow-off] (" + error + ")\n");
    return kPluginUnknown;
  }
  if (warning > critical) {
    std::fprintf(context.out, "FBWF UNKNOWN - the warning level %lu%% is above the critical level %lu%%\n", warning, critical);
    return kPluginUnknown;
  }
  const std::string note = GuardNote(*parsed);
  Overlay overlay;
  if (const auto failure = ReadOverlay(context.library, overlay)) {
    Emit(context.out, "FBWF UNKNOWN - " + FailureText(*failure) + note + "\n");
    return kPluginUnknown;
  }
  if (!overlay.filter_now && !parsed->Has("--allow-off")) {
    Emit(context.out, "FBWF CRITICAL - the filter is off in this session: the device is unprotected" + note + "\n");
    return kPluginCritical;
  }
  return CheckOverlay(context, overlay, warning, critical, note);
}

}  // namespace ctl
