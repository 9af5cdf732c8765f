// Volume protection and the cache threshold, for the next session.
#include "commands/commands.h"

void ProtectVolume(const Invocation& run) {
  const WfStatus status = run.filter.FbwfProtectVolume(run.volume.c_str());
  if (status != 0) {
    PrintErrorCodeLine(run.out, status);
    // No line break of its own: the usage text opens with one.
    std::fputs("FBWF must be enabled for the next session", run.out);
    PrintUsage(run.out);
    return;
  }
  std::fprintf(run.out, "Volume %s will be protected in the next session. ", run.volume_arg);
  PrintRebootNotice(run.out);
}

void UnprotectVolume(const Invocation& run) {
  const WfStatus status = run.filter.FbwfUnprotectVolume(run.volume.c_str(), 0);
  if (status != 0) {
    PrintErrorCodeLine(run.out, status);
    PrintUsage(run.out);
    return;
  }
  std::fprintf(run.out, "Volume %s  will be unprotected in the next session. ", run.volume_arg);
  PrintRebootNotice(run.out);
}

// The range is the library's to enforce; the tool passes the number on as is.
void SetCacheThreshold(const Invocation& run) {
  const auto megabytes = static_cast<std::uint32_t>(run.cache_size);
  const WfStatus status = run.filter.FbwfSetCacheThreshold(megabytes);
  if (status != 0) {
    PrintErrorCodeLine(run.out, status);
    std::fputs("Error: Threshold must be between 16 to 1024\n", run.out);
    PrintUsage(run.out);
    return;
  }
  std::fprintf(run.out, "Cache Threshold set to %u\n ", static_cast<unsigned>(megabytes));
  PrintRebootNotice(run.out);
}
