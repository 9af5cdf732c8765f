// State queries: each reports a value for the current and the next session.
#include "commands/commands.h"

namespace {

const char* StateWord(std::uint32_t value) { return value != 0 ? "ENABLED" : "DISABLED"; }

struct QueryTexts {
  const char* current_line;
  const char* next_line;
  const char* failed;
};

// The values are read only after a successful call.
void PrintQueryOutcome(const Invocation& run, WfStatus status, const SessionPair& pair, const QueryTexts& texts) {
  if (status != 0) {
    std::fputs(texts.failed, run.out);
    return;
  }
  std::fprintf(run.out, texts.current_line, StateWord(pair.current));
  std::fprintf(run.out, texts.next_line, StateWord(pair.next));
}

}  // namespace

void ShowFilterState(const Invocation& run) {
  SessionPair pair;
  const WfStatus status = run.filter.FbwfIsFilterEnabled(&pair.current, &pair.next);
  PrintQueryOutcome(run, status, pair,
         {"FBWF is %s\n", "FBWF for the next session is %s\n", "State Error"});
}

void ShowCompressionState(const Invocation& run) {
  SessionPair pair;
  const WfStatus status = run.filter.FbwfIsCompressionEnabled(&pair.current, &pair.next);
  PrintQueryOutcome(run, status, pair,
         {"FBWF compresspon is %s\n", "FBWF compression for the next session is %s\n",
          "Compression Error"});
}

void ShowPreAllocationState(const Invocation& run) {
  SessionPair pair;
  const WfStatus status = run.filter.FbwfIsCachePreAllocationEnabled(&pair.current, &pair.next);
  PrintQueryOutcome(run, status, pair,
         {"FBWF Cache PreAlloc is %s\n", "FBWF Cache PreAlloc for the next session is %s\n",
          "Cache PreAlloc Error"});
}

void ShowVolumeStatus(const Invocation& run) {
  SessionPair pair;
  const WfStatus status =
      run.filter.FbwfIsVolumeProtected(run.volume.c_str(), &pair.current, &pair.next);
  if (status != 0) {
    PrintErrorCodeLine(run.out, status);
    PrintUsage(run.out);
    return;
  }
  std::fprintf(run.out, "Volume %s  protection is %s\n", run.volume_arg, StateWord(pair.current));
  std::fprintf(run.out, "Volume %s  protection for next session is %s\n", run.volume_arg,
               StateWord(pair.next));
}
