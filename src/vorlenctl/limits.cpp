#include "vorlenctl/limits.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "text/unicode.h"
#include "wfapi/names.h"

namespace ctl {

namespace {

#ifdef _WIN32
constexpr ThresholdRange kNarrow = {16, 1024, "this device's 32-bit release"};
constexpr ThresholdRange kWide = {16, 131072, "this device's 64-bit release"};

bool SystemIs64Bit() {
  if constexpr (sizeof(void*) == 8) return true;
  // IsWow64Process is looked up: XP before SP2 lacks it, and is 32-bit.
  using IsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto ask = reinterpret_cast<IsWow64>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return ask != nullptr && ask(GetCurrentProcess(), &wow64) != 0 && wow64 != FALSE;
}
#endif

}  // namespace

ThresholdRange DeviceThresholdRange() {
#ifdef _WIN32
  return SystemIs64Bit() ? kWide : kNarrow;
#else
  return {16, 131072, "any release"};
#endif
}

std::optional<std::string> DesiredProblem(const Session& desired, const ThresholdRange& range) {
  if (desired.threshold_mb && (*desired.threshold_mb < range.least || *desired.threshold_mb > range.most)) {
    return "threshold_mb " + std::to_string(*desired.threshold_mb) + " is outside the range " + range.which +
           " accepts: " + std::to_string(range.least) + " to " + std::to_string(range.most) + " MB";
  }
  if (!desired.exclusions) return std::nullopt;
  for (const auto& [volume, paths] : *desired.exclusions) {
    for (const std::string& path : paths) {
      if (wfapi::IsValidPath(path)) continue;
      return "the exclusion \"" + path + "\" on " + volume + " is not a path the filter accepts: " +
             wfapi::PathProblem(text::FromUtf8(path).value_or(u"")) +
             " (a path starts at the volume's root, such as \\Logs\\today.txt, and names no drive)";
    }
  }
  return std::nullopt;
}

}  // namespace ctl
