/* A program written against the write filter's library as its public
 * documentation gives it, as a user's program would be: its own
 * declarations, the library loaded by name, all 30 functions called. One
 * table of steps, each a call with the code it must return (and the figures
 * it must give), or a run of fbwfsim, which lies beside this program. The
 * state folder is FBWFSIM_DIR's, new and empty at the start. */
#include "client.h"

/* ---- the steps ---- */
static int Same(const void* bytes, ULONG32 size, const void* expected, ULONG32 expected_size) {
  if (size == expected_size && memcmp(bytes, expected, size) == 0) return 1;
  snprintf(why, sizeof why, "%u bytes, not the %u expected", size, expected_size);
  return 0;
}
static void Expect(const char* what, unsigned long long got, unsigned long long wanted) {
  if (got != wanted && why[0] == 0) snprintf(why, sizeof why, "%s is %llu, not %llu", what, got, wanted);
}

static ULONG32 Memory(ULONG32 threshold, ULONG32 dir, ULONG32 data) {
  MemoryUsage usage;
  ULONG32 code = CALL(GetMemory, GetMemoryUsage)(&usage);
  Expect("currentCacheThreshold", usage.currentCacheThreshold, threshold);
  Expect("nextCacheThreshold", usage.nextCacheThreshold, threshold);
  Expect("dirStructure", usage.dirStructure, dir);
  Expect("fileData", usage.fileData, data);
  return code;
}

static ULONG32 Listed(int exclusions, ULONG32 session, const Unit* expected, ULONG32 expected_size) {
  Unit buffer[64];
  ULONG32 size = 0, code;
  code = exclusions ? CALL(ExclusionList, GetExclusionList)(TEXT16("C:"), session, NULL, &size)
                    : CALL(VolumeList, GetVolumeList)(session, NULL, &size);
  if (code != 234) return code;
  Expect("the size asked for", size, expected_size);
  code = exclusions ? CALL(ExclusionList, GetExclusionList)(TEXT16("C:"), session, buffer, &size)
                    : CALL(VolumeList, GetVolumeList)(session, buffer, &size);
  Same(buffer, size, expected, expected_size);
  return code;
}

/* One search entry: its name and size; `room` bytes of buffer. */
static ULONG32 Entry(int first, ULONG32 room, const Unit* name, ULONG32 name_bytes, ULONG32 bytes) {
  union { CacheDetail detail; char room[256]; } buffer;
  ULONG32 size = room, code;
  code = first ? CALL(FindFirst, SearchFirst)(TEXT16("C:"), &buffer.detail, &size)
               : CALL(FindNext, SearchNext)(&buffer.detail, &size);
  Expect("the size needed", size, 12 + name_bytes);
  if (code != 0) return code;
  Expect("cacheSize", buffer.detail.cacheSize, bytes);
  Expect("openHandleCount", buffer.detail.openHandleCount, 0);
  if (why[0] == 0) Same(buffer.detail.fileName, buffer.detail.fileNameLength, name, name_bytes);
  return code;
}

static ULONG32 Size(int through_overlay, long long available) {
  FSInfo info;
  ULONG32 code = CALL(VolumeSize, through_overlay ? GetVirtualSize : GetActualSize)(TEXT16("C:"), &info);
  if (code != 0) return code;
  Expect("TotalAllocationUnits", (unsigned long long)info.TotalAllocationUnits, 2097152);
  Expect("AvailableAllocationUnits", (unsigned long long)info.AvailableAllocationUnits, (unsigned long long)available);
  Expect("SectorsPerAllocationUnit", info.SectorsPerAllocationUnit, 8);
  Expect("BytesPerSector", info.BytesPerSector, 512);
  return code;
}

static ULONG32 Display(ULONG32 current, ULONG32 next) {
  ULONG32 got_current = 9, got_next = 9, code = CALL(TwoOut, GetSizeDisplay)(&got_current, &got_next);
  if (code == 0) Expect("current", got_current, current), Expect("next", got_next, next);
  return code;
}

static ULONG32 Notify(ULONG32 megabytes, int fires) {
  ULONG32 code = CALL(Notification, CacheThresholdNotification)(megabytes, event);
  if (code == 0 && Signalled(1000) != fires) snprintf(why, sizeof why, fires ? "no signal within a second" : "signalled");
  return code;
}

#define ENTRY(name) (64 + 2 * (sizeof(name) - 1)) /* the stand-in's record of a cached name */
static const Unit kNoVolumes[] = {0}, kVolumeC[] = {'C', ':', 0, 0}, kLogs[] = {'\\', 'l', 'o', 'g', 's', 0, 0};
static const Unit kA[] = {'\\', 'a', '.', 't', 'x', 't'}, kB[] = {'\\', 'b', '.', 't', 'x', 't'};
/* A new machine: the filter off in both sessions. */
static void NewMachineSteps(void) {
  ULONG32 size = 0, next;
  FSInfo info;
  STEP("null pointers first", 87, CALL(GetMemory, GetMemoryUsage)(NULL));
  STEP("  journaled, the state folder made for it", 1, Sim("calls --failed"));
  STEP("fbwfsim calls --clear", 0, Sim("calls --clear"));
  STEP("volume list: null size", 87, CALL(VolumeList, GetVolumeList)(1, NULL, NULL));
  STEP("memory usage of a new machine", 0, Memory(64 * MB, 0, 0));
  STEP("no volume protected: the list is its last null", 0, Listed(0, 1, kNoVolumes, 2));
  STEP("exclusions: malformed volume", 123, CALL(ExclusionList, GetExclusionList)(TEXT16("C"), 0, NULL, &size));
  STEP("exclusions: no such volume", 15, CALL(ExclusionList, GetExclusionList)(TEXT16("Q:"), 0, NULL, &size));
  STEP("exclusions: a null buffer with room, before the volume", 87,
       (size = 64, CALL(ExclusionList, GetExclusionList)(TEXT16("C"), 0, NULL, &size)));
  STEP("volume list: a null buffer with room", 87, (size = 64, CALL(VolumeList, GetVolumeList)(1, NULL, &size)));
  size = 0;
  STEP("exclusions: no filter check, but C: is not protected next", 15, Listed(1, 0, kLogs, 14));
  STEP("size display: filter off now", 1, Display(0, 0));
  STEP("size display: null pointer before the filter", 87, CALL(TwoOut, GetSizeDisplay)(NULL, &next));
  STEP("set size display: filter off next", 1, CALL(OneNumber, SetSizeDisplay)(1));
  STEP("find first: malformed volume", 123, CALL(FindFirst, SearchFirst)(TEXT16("C:\\"), NULL, &size));
  STEP("find first: filter off now", 1, CALL(FindFirst, SearchFirst)(TEXT16("C:"), NULL, &size));
  STEP("find next: no search open", 1, CALL(FindNext, SearchNext)(NULL, &size));
  STEP("find close: no search open", 1, Plain(SearchClose));
  STEP("notification: filter off now", 1, CALL(Notification, CacheThresholdNotification)(1, event));
  STEP("actual size: filter off next", 1, CALL(VolumeSize, GetActualSize)(TEXT16("C:"), &info));
  STEP("actual size: null pointer", 87, CALL(VolumeSize, GetActualSize)(TEXT16("C:"), NULL));
  STEP("initialize notifications", 0, Plain(InitializeNotifications));
}

/* The filter on, C: protected, one exclusion, 16 MB: for the next session. */
static void NextSessionSteps(void) {
  ULONG32 size = 0;
  MemoryUsage usage;
  FSInfo info;
  STEP("enable the filter", 0, Plain(EnableFilter));
  STEP("protect C:", 0, OnVolume(ProtectVolume, TEXT16("C:")));
  STEP("exclude \\logs", 0, CALL(VolumePath, AddExclusion)(TEXT16("C:"), TEXT16("\\logs")));
  STEP("threshold 16 MB", 0, CALL(OneNumber, SetCacheThreshold)(16));
  STEP("set size display: above 1", 87, CALL(OneNumber, SetSizeDisplay)(2));
  STEP("set size display: virtual next", 0, CALL(OneNumber, SetSizeDisplay)(1));
  STEP("volume list, next session", 0, Listed(0, 0, kVolumeC, 8));
  STEP("volume list, this session", 0, Listed(0, 1, kNoVolumes, 2));
  STEP("exclusion list, next session", 0, Listed(1, 0, kLogs, 14));
  STEP("exclusion list, this session: not protected now", 15, Listed(1, 1, kLogs, 14));
  STEP("a buffer too small", 234, (size = 13, CALL(ExclusionList, GetExclusionList)(TEXT16("C:"), 0, &info, &size)));
  STEP("  gets the size needed", 0, size == 14 ? 0 : size);
  STEP("actual size: C: not protected now", 15, CALL(VolumeSize, GetActualSize)(TEXT16("C:"), &info));
  STEP("memory: the next threshold only", 0,
       (CALL(GetMemory, GetMemoryUsage)(&usage), usage.nextCacheThreshold == 16 * MB ? 0 : usage.nextCacheThreshold));
  STEP("fbwfsim reboot", 0, Sim("reboot"));
}

/* The session runs with C: protected. */
static void SessionSteps(void) {
  ULONG32 size = 0;
  STEP("size display: virtual in both", 0, Display(1, 1));
  STEP("memory usage of an empty overlay", 0, Memory(16 * MB, 0, 0));
  STEP("find first: nothing cached", 2, (size = 0, CALL(FindFirst, SearchFirst)(TEXT16("C:"), NULL, &size)));
  STEP("find first: D: is not protected", 15, CALL(FindFirst, SearchFirst)(TEXT16("D:"), NULL, &size));
  STEP("find first: a null detail with room, before the volume", 87,
       (size = 64, CALL(FindFirst, SearchFirst)(TEXT16("C:\\"), NULL, &size)));
  STEP("actual size of an empty C:", 0, Size(0, 2097152));
  STEP("fbwfsim write \\b.txt, 5 bytes", 0, Write("\\b.txt", 5));
  STEP("fbwfsim write \\a.txt, 5000 bytes", 0, Write("\\a.txt", 5000));
  STEP("fbwfsim write \\logs\\x.txt: write-through", 0, Write("\\logs\\x.txt", 100));
  STEP("memory usage counts the cached files", 0, Memory(16 * MB, 2 * ENTRY("a.txt"), 5005));
  STEP("actual size: the disk's file", 0, Size(0, 2097152 - 1));
  STEP("virtual size: and the cached ones, up to what the overlay has left", 0,
       Size(1, (16 * MB - 2 * ENTRY("a.txt") - 5005) / 4096));
  STEP("find first: a buffer too small", 234, Entry(1, 12, kA, sizeof kA, 5000));
  STEP("find next: the same entry, in name order", 0, Entry(0, 64, kA, sizeof kA, 5000));
  STEP("find next: the second", 0, Entry(0, 64, kB, sizeof kB, 5));
  STEP("find next: the end", 18, (size = 0, CALL(FindNext, SearchNext)(NULL, &size)));
  STEP("find next: still the end", 18, CALL(FindNext, SearchNext)(NULL, &size));
  STEP("find next: a null detail with room", 87, (size = 64, CALL(FindNext, SearchNext)(NULL, &size)));
  STEP("find close", 0, Plain(SearchClose));
  STEP("find next: closed", 1, (size = 0, CALL(FindNext, SearchNext)(NULL, &size)));
  STEP("find next: closed, a null detail with room", 87, (size = 64, CALL(FindNext, SearchNext)(NULL, &size)));
  STEP("find first: starts again", 0, Entry(1, 64, kA, sizeof kA, 5000));
  STEP("find first: once more", 0, Entry(1, 64, kA, sizeof kA, 5000));
  STEP("find first: a null size, refused", 87, CALL(FindFirst, SearchFirst)(TEXT16("C:"), NULL, NULL));
  STEP("  closes the search", 1, (size = 0, CALL(FindNext, SearchNext)(NULL, &size)));
  STEP("find first: opens it again", 0, Entry(1, 64, kA, sizeof kA, 5000));
  STEP("find close after a second find first", 0, Plain(SearchClose));
  STEP("notification: null handle", 6, CALL(Notification, CacheThresholdNotification)(1, NULL));
  STEP("notification: 0 MB", 87, CALL(Notification, CacheThresholdNotification)(0, event));
  STEP("notification: above the threshold", 87, CALL(Notification, CacheThresholdNotification)(17, event));
  STEP("notification at 1 MB left: the overlay has room", 0, Notify(1, 0));
  STEP("notification at 15 MB left: not yet", 0, Notify(15, 0));
  STEP("fbwfsim write \\fill: 1.5 MB", 0, Write("\\fill", 3 * MB / 2));
  STEP("  signals the 15 MB notification within a second", 0, Signalled(1000) ? 0 : 1);
  STEP("  but not the 1 MB one", 0, Signalled(500) ? 1 : 0);
  STEP("notification at 16 MB: at once", 0, Notify(16, 1));
  STEP("fbwfsim write \\big: past the threshold, refused", 1, Write("\\big", 15 * MB));
  STEP("  and nothing changed", 0, Memory(16 * MB, 3 * ENTRY("a.txt") - 2, 5005 + 3 * MB / 2));
  STEP("uninitialize notifications", 0, Plain(UninitializeNotifications));
  STEP("fbwfsim write \\full: 14 MB, fits", 0, Write("\\full", 14 * MB));
  STEP("  a notification dropped does not fire", 0, Signalled(500) ? 1 : 0);
}

/* The 17 functions vorlen calls, through the same loader. */
static void ChangeSteps(void) {
  ULONG32 current, next;
  MemoryUsage usage;
  STEP("commit \\b.txt: no copy on the disk", 1, CALL(VolumePath, CommitFile)(TEXT16("C:"), TEXT16("\\b.txt")));
  STEP("restore \\nothing", 2, CALL(VolumePath, RestoreFile)(TEXT16("C:"), TEXT16("\\nothing")));
  STEP("remove exclusion \\LOGS", 0, CALL(VolumePath, RemoveExclusion)(TEXT16("C:"), TEXT16("\\LOGS")));
  STEP("unprotect C:", 0, CALL(VolumeNumber, UnprotectVolume)(TEXT16("C:"), 0));
  STEP("is C: protected", 0, (current = 9, CALL(VolumeTwoOut, IsVolumeProtected)(TEXT16("C:"), &current, &next) +
                              (current == 1 && next == 0 ? 0 : 100)));
  STEP("compression", 0, Plain(EnableCompression) + Plain(DisableCompression) + CALL(TwoOut, IsCompressionEnabled)(&current, &next));
  STEP("pre-allocation", 0, Plain(EnableCachePreAllocation) + Plain(DisableCachePreAllocation) +
                             CALL(TwoOut, IsCachePreAllocationEnabled)(&current, &next));
  STEP("disable the filter", 0, Plain(DisableFilter) + CALL(TwoOut, IsFilterEnabled)(&current, &next) + next);
  /* A threshold past 4095 MB does not fit a ULONG of bytes. */
  STEP("fbwfsim reset --release wes7-x64", 0, Sim("reset --release wes7-x64"));
  STEP("threshold 4096 MB", 0, Plain(EnableFilter) + CALL(OneNumber, SetCacheThreshold)(4096));
  STEP("  reads as 4294967295", 0,
       (CALL(GetMemory, GetMemoryUsage)(&usage), usage.nextCacheThreshold == 4294967295u ? 0 : usage.nextCacheThreshold));
}


/* Any function, with arguments it accepts: no null pointer answers first. */
static ULONG32 AnyCall(int function) {
  union { CacheDetail detail; MemoryUsage usage; FSInfo info; Unit list[128]; } out;
  ULONG32 size = sizeof out, current, next;
  switch (function) {
    case IsFilterEnabled: case IsCompressionEnabled: case IsCachePreAllocationEnabled: case GetSizeDisplay:
      return CALL(TwoOut, function)(&current, &next);
    case IsVolumeProtected: return CALL(VolumeTwoOut, function)(TEXT16("C:"), &current, &next);
    case ProtectVolume: return OnVolume(function, TEXT16("C:"));
    case UnprotectVolume: return CALL(VolumeNumber, function)(TEXT16("C:"), 0);
    case SetCacheThreshold: return CALL(OneNumber, function)(32);
    case SetSizeDisplay: return CALL(OneNumber, function)(0);
    case AddExclusion: case RemoveExclusion: case CommitFile: case RestoreFile:
      return CALL(VolumePath, function)(TEXT16("C:"), TEXT16("\\a.txt"));
    case GetVolumeList: return CALL(VolumeList, function)(1, out.list, &size);
    case GetExclusionList: return CALL(ExclusionList, function)(TEXT16("C:"), 1, out.list, &size);
    case GetMemoryUsage: return CALL(GetMemory, function)(&out.usage);
    case CacheThresholdNotification: return CALL(Notification, function)(1, event);
    case SearchFirst: return CALL(FindFirst, function)(TEXT16("C:"), &out.detail, &size);
    case SearchNext: return CALL(FindNext, function)(&out.detail, &size);
    case GetActualSize: case GetVirtualSize: return CALL(VolumeSize, function)(TEXT16("C:"), &out.info);
    default: return Plain(function);
  }
}

/* Each function in turn given a fault: it answers the fault's code, and no
 * other function does. */
static void FaultSweep(void) {
  int faulted, called;
  char arguments[96];
  for (faulted = 0; faulted < kFunctions; ++faulted) {
    int answered = 0, others = 0;
    snprintf(arguments, sizeof arguments, "fail %s 4242", kNames[faulted]);
    Sim(arguments);
    for (called = 0; called < kFunctions; ++called) {
      ULONG32 code = AnyCall(called);
      if (called == faulted) answered = code == 4242;
      else if (code == 4242) ++others;
    }
    why[0] = 0;
    snprintf(arguments, sizeof arguments, "a fault in %s", kNames[faulted]);
    Check(__LINE__, arguments, 0, answered ? (ULONG32)others : 1000);
  }
}

/* A null result pointer answers 87 before a pending fault, which stays
 * pending for the next call that could run. */
static void NullBeforeFault(void) {
  const int functions[] = {IsFilterEnabled, IsCompressionEnabled, IsCachePreAllocationEnabled, IsVolumeProtected,
                           GetSizeDisplay};
  char arguments[96];
  ULONG32 current, null_first, fault_after;
  size_t i;
  for (i = 0; i < sizeof functions / sizeof functions[0]; ++i) {
    snprintf(arguments, sizeof arguments, "fail %s 4242", kNames[functions[i]]);
    Sim(arguments);
    null_first = functions[i] == IsVolumeProtected ? CALL(VolumeTwoOut, functions[i])(TEXT16("C:"), &current, NULL)
                                                   : CALL(TwoOut, functions[i])(&current, NULL);
    fault_after = AnyCall(functions[i]);
    why[0] = 0;
    snprintf(arguments, sizeof arguments, "%s: a null pointer is 87, the fault then 4242", kNames[functions[i]]);
    Check(__LINE__, arguments, 0, null_first == 87 && fault_after == 4242 ? 0 : null_first * 10000 + fault_after);
  }
}

int main(int argc, char** argv) {
  const char* state = getenv("FBWFSIM_DIR");
  if (state == NULL || strlen(state) > sizeof input - 16) return printf("FAIL: set FBWFSIM_DIR\n"), 2;
  snprintf(input, sizeof input, "%s.input", state);
  if (argc == 3 && strcmp(argv[1], "unload") == 0) UnloadChild(atoi(argv[2]));
  if (!Load()) return printf("FAIL: the library does not load\n"), 1;
  NewMachineSteps();
  NextSessionSteps();
  SessionSteps();
  ChangeSteps();
  FaultSweep();
  NullBeforeFault();
  NotificationChecks();
  remove(input);
  printf("%d failures\n", failures);
  return failures != 0;
}
