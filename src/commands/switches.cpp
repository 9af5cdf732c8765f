// Filter, compression and pre-allocation switches for the next session.
#include "commands/commands.h"

namespace {

// A failed switch shows its fixed text alone: no code, no line break.
void PrintSwitchOutcome(const Invocation& run, WfStatus status, const char* done, const char* failed) {
  if (status != 0) {
    std::fputs(failed, run.out);
    return;
  }
  std::fputs(done, run.out);
  PrintRebootNotice(run.out);
}

}  // namespace

void EnableFilter(const Invocation& run) {
  PrintSwitchOutcome(run, run.filter.FbwfEnableFilter(), "FBWF Enabled.  ", "Enable Error");
}

void DisableFilter(const Invocation& run) {
  PrintSwitchOutcome(run, run.filter.FbwfDisableFilter(), "FBWF Disabled. ", "Disable Error");
}

void EnableCompression(const Invocation& run) {
  PrintSwitchOutcome(run, run.filter.FbwfEnableCompression(), "FBWF compression enabled. ",
         "Enable Compression Error");
}

void DisableCompression(const Invocation& run) {
  PrintSwitchOutcome(run, run.filter.FbwfDisableCompression(), "FBWF compression disabled. ",
         "Disable Compression Error");
}

void EnableCachePreAllocation(const Invocation& run) {
  PrintSwitchOutcome(run, run.filter.FbwfEnableCachePreAllocation(), "FBWF Cache PreAllocation enabled. ",
         "EnableCachePreAllocation Error");
}

void DisableCachePreAllocation(const Invocation& run) {
  PrintSwitchOutcome(run, run.filter.FbwfDisableCachePreAllocation(), "FBWF Cache PreAllocation disabled. ",
         "DisableCachePreAllocation Error");
}
