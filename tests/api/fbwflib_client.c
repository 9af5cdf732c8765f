/* A program written against the write filter's library as its public
 * documentation gives it, as a user's program would be: its own
 * declarations, the library loaded by name, all 30 functions called. One
 * table of steps, each a call with the code it must return (and the figures
 * it must give), or a run of fbwfsim, which lies beside this program. The
 * state folder is FBWFSIM_DIR's, new and empty at the start. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
typedef WCHAR Unit;
#define TEXT16(s) L##s
#define FBWF_CALL WINAPI
#define QUOTE ""
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <time.h>
#include <sys/wait.h>
#include <uchar.h>
#include <unistd.h>
typedef char16_t Unit;
#define TEXT16(s) u##s
#define FBWF_CALL
#define QUOTE "'" /* fbwfsim runs through the shell */
#endif

typedef unsigned int ULONG32; /* the library's ULONG: 32 bits on every build */

typedef struct {
  ULONG32 currentCacheThreshold, nextCacheThreshold, dirStructure, fileData;
} MemoryUsage;

typedef struct {
  ULONG32 cacheSize, openHandleCount, fileNameLength;
  Unit fileName[1];
} CacheDetail;

typedef struct {
  long long TotalAllocationUnits, AvailableAllocationUnits;
  ULONG32 SectorsPerAllocationUnit, BytesPerSector;
} FSInfo;

typedef ULONG32(FBWF_CALL* NoArguments)(void);
typedef ULONG32(FBWF_CALL* OneNumber)(ULONG32);
typedef ULONG32(FBWF_CALL* TwoOut)(ULONG32*, ULONG32*);
typedef ULONG32(FBWF_CALL* VolumeOnly)(const Unit*);
typedef ULONG32(FBWF_CALL* VolumeTwoOut)(const Unit*, ULONG32*, ULONG32*);
typedef ULONG32(FBWF_CALL* VolumeNumber)(const Unit*, ULONG32);
typedef ULONG32(FBWF_CALL* VolumePath)(const Unit*, const Unit*);
typedef ULONG32(FBWF_CALL* VolumeList)(ULONG32, void*, ULONG32*);
typedef ULONG32(FBWF_CALL* ExclusionList)(const Unit*, ULONG32, void*, ULONG32*);
typedef ULONG32(FBWF_CALL* GetMemory)(MemoryUsage*);
typedef ULONG32(FBWF_CALL* Notification)(ULONG32, void*);
typedef ULONG32(FBWF_CALL* FindFirst)(const Unit*, CacheDetail*, ULONG32*);
typedef ULONG32(FBWF_CALL* FindNext)(CacheDetail*, ULONG32*);
typedef ULONG32(FBWF_CALL* VolumeSize)(const Unit*, FSInfo*);

enum {
  EnableFilter, DisableFilter, EnableCompression, DisableCompression, EnableCachePreAllocation,
  DisableCachePreAllocation, IsFilterEnabled, IsCompressionEnabled, IsCachePreAllocationEnabled,
  IsVolumeProtected, ProtectVolume, UnprotectVolume, SetCacheThreshold, AddExclusion,
  RemoveExclusion, CommitFile, RestoreFile, GetVolumeList, GetExclusionList, GetMemoryUsage,
  CacheThresholdNotification, InitializeNotifications, UninitializeNotifications, SearchFirst,
  SearchNext, SearchClose, GetSizeDisplay, SetSizeDisplay, GetActualSize, GetVirtualSize,
  kFunctions
};
static const char* const kNames[kFunctions] = {
    "FbwfEnableFilter", "FbwfDisableFilter", "FbwfEnableCompression", "FbwfDisableCompression",
    "FbwfEnableCachePreAllocation", "FbwfDisableCachePreAllocation", "FbwfIsFilterEnabled",
    "FbwfIsCompressionEnabled", "FbwfIsCachePreAllocationEnabled", "FbwfIsVolumeProtected",
    "FbwfProtectVolume", "FbwfUnprotectVolume", "FbwfSetCacheThreshold", "FbwfAddExclusion",
    "FbwfRemoveExclusion", "FbwfCommitFile", "FbwfRestoreFile", "FbwfGetVolumeList",
    "FbwfGetExclusionList", "FbwfGetMemoryUsage", "FbwfCacheThresholdNotification",
    "FbwfInitializeNotifications", "FbwfUninitializeNotifications", "FbwfFindFirst", "FbwfFindNext",
    "FbwfFindClose", "FbwfGetSizeDisplay", "FbwfSetSizeDisplay", "FbwfGetActualSize",
    "FbwfGetVirtualSize"};

typedef void (*AnyFunction)(void);
static AnyFunction api[kFunctions];
#define CALL(type, function) ((type)api[function])

static char why[512]; /* what a step found wrong beyond its code */
static char here[4096]; /* this program's folder, with its separator */
static void* event;

/* ---- the platform: loading, events, running fbwfsim ---- */
static void* NewEvent(void);
#ifdef _WIN32
static HMODULE library;
static int Load(void) {
  int i;
  library = LoadLibraryA("FBWFLIB.dll");
  char* slash;
  GetModuleFileNameA(NULL, here, sizeof here);
  slash = strrchr(here, '\\');
  if (slash != NULL) slash[1] = 0;
  if (library == NULL) return 0;
  for (i = 0; i < kFunctions; ++i) {
    api[i] = (AnyFunction)GetProcAddress(library, kNames[i]);
    if (api[i] == NULL) return printf("FAIL: %s is not exported\n", kNames[i]), 0;
  }
  event = NewEvent();
  return 1;
}
static void Unload(void) { FreeLibrary(library); }
static void* NewEvent(void) { return CreateEventA(NULL, FALSE, FALSE, NULL); }
static void DropEvent(void* handle) { CloseHandle(handle); }
static int EventSignalled(void* handle, int milliseconds) {
  return WaitForSingleObject(handle, (DWORD)milliseconds) == WAIT_OBJECT_0;
}
static void Pause(int milliseconds) { Sleep((DWORD)milliseconds); }
static int RunProgram(const char* program, const char* arguments, const char* input) {
  char line[8192];
  STARTUPINFOA start;
  PROCESS_INFORMATION process;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
  HANDLE in = INVALID_HANDLE_VALUE;
  DWORD status = 1;
  memset(&start, 0, sizeof start);
  start.cb = sizeof start;
  if (input != NULL) {
    in = CreateFileA(input, GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, NULL);
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  snprintf(line, sizeof line, "\"%s%s.exe\" %s", here, program, arguments);
  if (CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &start, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  return (int)status;
}
#else
static void* library;
static int Load(void) {
  ssize_t length = readlink("/proc/self/exe", here, sizeof here - 1);
  int i;
  while (length > 0 && here[length - 1] != '/') --length;
  here[length > 0 ? length : 0] = 0;
  library = dlopen("libfbwflib.so", RTLD_NOW);
  if (library == NULL) return printf("FAIL: %s\n", dlerror()), 0;
  for (i = 0; i < kFunctions; ++i) {
    *(void**)&api[i] = dlsym(library, kNames[i]);
    if (api[i] == NULL) return printf("FAIL: %s is not exported\n", kNames[i]), 0;
  }
  event = NewEvent();
  return 1;
}
static void Unload(void) { dlclose(library); }
static void* NewEvent(void) { return (void*)(long)eventfd(0, 0); }
static void DropEvent(void* handle) { close((int)(long)handle); }
static int EventSignalled(void* handle, int milliseconds) {
  struct pollfd ready = {(int)(long)handle, POLLIN, 0};
  unsigned long long count = 0;
  if (poll(&ready, 1, milliseconds) != 1) return 0;
  return read(ready.fd, &count, sizeof count) == (ssize_t)sizeof count && count > 0;
}
static void Pause(int milliseconds) { poll(NULL, 0, milliseconds); }
static int RunProgram(const char* program, const char* arguments, const char* input) {
  char line[8192];
  int status;
  snprintf(line, sizeof line, "'%s%s' %s < %s", here, program, arguments, input != NULL ? input : "/dev/null");
  status = system(line);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif
static int RunSim(const char* arguments, const char* input) { return RunProgram("fbwfsim", arguments, input); }
static int Signalled(int milliseconds) { return EventSignalled(event, milliseconds); }

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

static char input[4200];
/* fbwfsim write C: PATH, `bytes` long; its exit status. */
static ULONG32 Write(const char* path, long bytes) {
  char arguments[256];
  FILE* file = fopen(input, "wb");
  long i;
  for (i = 0; file != NULL && i < bytes; ++i) fputc('x', file);
  if (file != NULL) fclose(file);
  snprintf(arguments, sizeof arguments, "write C: " QUOTE "%s" QUOTE, path);
  return (ULONG32)RunSim(arguments, input);
}

#define MB 1048576u
#define ENTRY(name) (64 + 2 * (sizeof(name) - 1)) /* the stand-in's record of a cached name */
static const Unit kNoVolumes[] = {0}, kVolumeC[] = {'C', ':', 0, 0}, kLogs[] = {'\\', 'l', 'o', 'g', 's', 0, 0};
static const Unit kA[] = {'\\', 'a', '.', 't', 'x', 't'}, kB[] = {'\\', 'b', '.', 't', 'x', 't'};

static int failures;
static void Check(int line, const char* what, ULONG32 expected, ULONG32 got) {
  if (got == expected && why[0] == 0) {
    printf("ok   %s\n", what);
    return;
  }
  ++failures;
  printf("FAIL line %d: %s: returned %u, expected %u%s%s\n", line, what, got, expected, why[0] ? "; " : "", why);
}
/* Each step: what it checks, the code it must return, the call. */
#define STEP(what, expected, call) (why[0] = 0, Check(__LINE__, what, expected, (call)))

static ULONG32 Plain(int function) { return CALL(NoArguments, function)(); }
static ULONG32 OnVolume(int function, const Unit* volume) { return CALL(VolumeOnly, function)(volume); }
static ULONG32 Sim(const char* arguments) { return (ULONG32)RunSim(arguments, NULL); }

static void Steps(void) {
  ULONG32 size = 0, current, next;
  MemoryUsage usage;
  FSInfo info;
  /* A new machine: the filter off in both sessions. */
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
  /* The filter on, C: protected, one exclusion, 16 MB: for the next session. */
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
  /* The session runs with C: protected. */
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
  /* The 17 functions vorlen calls, through the same loader. */
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

/* ---- the notification watcher ---- */

/* A machine with the filter on and C: protected now, 16 MB of overlay. */
static ULONG32 Arrange(void) {
  return Sim("reset") + Plain(EnableFilter) + OnVolume(ProtectVolume, TEXT16("C:")) +
         CALL(OneNumber, SetCacheThreshold)(16) + Sim("reboot");
}

/* A run of this program as a child: it loads the library, leaves a
 * notification waiting, and unloads the library, after uninitializing or
 * not. A watcher that outlived the library's code would crash it. */
static void UnloadChild(int uninitialize) {
  if (!Load()) _Exit(2);
  if (CALL(Notification, CacheThresholdNotification)(8, event) != 0) _Exit(3);
  if (uninitialize && Plain(UninitializeNotifications) != 0) _Exit(4);
  Unload();
  Pause(500);
  /* Ended at once: the library's runtime, unloaded, leaves memory behind
   * that a leak checker at exit would count against this program. */
  fflush(stdout);
  _Exit(0);
}

/* The program closes its event and makes another, which may take its
 * number: only the event registered may be signalled. */
static ULONG32 ClosedEventNotSignalled(void) {
  void* mine = NewEvent();
  void* reused;
  ULONG32 code = CALL(Notification, CacheThresholdNotification)(8, mine);
  int signalled;
  DropEvent(mine);
  reused = NewEvent();
  code += Write("\\over", 9 * MB);
  signalled = EventSignalled(reused, 500);
  DropEvent(reused);
  return code + (ULONG32)signalled;
}

#ifdef _WIN32
static ULONG32 NotEvents(void) {
  char file[4200];
  HANDLE handles[4];
  ULONG32 refused = 0;
  int i;
  snprintf(file, sizeof file, "%sfbwflib_client.exe", here);
  handles[0] = CreateMutexA(NULL, FALSE, NULL);
  handles[1] = CreateSemaphoreA(NULL, 0, 1, NULL);
  handles[2] = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  handles[3] = GetCurrentProcess();
  for (i = 0; i < 4; ++i) refused += CALL(Notification, CacheThresholdNotification)(8, handles[i]) == 6;
  for (i = 0; i < 3; ++i) CloseHandle(handles[i]);
  return refused == 4 ? 6 : refused;
}
#else
static ULONG32 NotEvents(void) {
  int file = open(here, O_RDONLY);
  ULONG32 refused = CALL(Notification, CacheThresholdNotification)(8, (void*)(long)file) == 6;
  if (sizeof(void*) == 8) {
    /* A value past a descriptor's range, whose low bits name the event. */
    void* wide = (void*)(uintptr_t)(((unsigned long long)1 << 32) | (uintptr_t)event);
    refused += CALL(Notification, CacheThresholdNotification)(8, wide) == 6;
  } else {
    ++refused;
  }
  close(file);
  return refused == 2 ? 6 : refused;
}

/* A forked child's registration fires: its parent's watcher thread is not
 * the child's. */
static ULONG32 ForkedChildNotified(void) {
  int status = 0;
  pid_t child = fork();
  if (child == 0) {
    void* own = NewEvent();
    if (CALL(Notification, CacheThresholdNotification)(8, own) != 0) _exit(3);
    if (Write("\\forked", 9 * MB) != 0) _exit(4);
    _exit(EventSignalled(own, 3000) ? 0 : 1);
  }
  if (child < 0 || waitpid(child, &status, 0) != child) return 99;
  return WIFEXITED(status) ? (ULONG32)WEXITSTATUS(status) : 100;
}

/* 2,000 registrations: the watcher reads the machine once a round, so it
 * stays near idle and fires them all at its next round. */
#define kMany 2000
static void* many[kMany];
static int waiting; /* 2,000, or as many as the descriptor limit allows: two each */
static ULONG32 ManyWaiting(void) {
  struct rlimit files;
  ULONG32 code = 0;
  int i;
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max < 2 * kMany + 64 ? files.rlim_max : 2 * kMany + 64;
  setrlimit(RLIMIT_NOFILE, &files);
  waiting = files.rlim_cur < 2 * kMany + 64 ? (int)(files.rlim_cur - 64) / 2 : kMany;
  for (i = 0; i < waiting; ++i) {
    many[i] = NewEvent();
    code += CALL(Notification, CacheThresholdNotification)(8, many[i]);
  }
  return code;
}
static ULONG32 IdleCpuPercent(void) {
  struct rusage before, after;
  long used;
  getrusage(RUSAGE_SELF, &before);
  Pause(1000);
  getrusage(RUSAGE_SELF, &after);
  used = (after.ru_utime.tv_sec - before.ru_utime.tv_sec + after.ru_stime.tv_sec - before.ru_stime.tv_sec) * 1000000L +
         (after.ru_utime.tv_usec - before.ru_utime.tv_usec + after.ru_stime.tv_usec - before.ru_stime.tv_usec);
  return (ULONG32)(used / 10000);
}
static long NowMs(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}
/* The watcher signals them one after the other in one round. */
static ULONG32 ManySignalled(void) {
  const long deadline = NowMs() + 1000;
  ULONG32 missing = 0;
  int i;
  for (i = 0; i < waiting; ++i) {
    const long left = deadline - NowMs();
    missing += !EventSignalled(many[i], left > 0 ? (int)left : 0);
    DropEvent(many[i]);
  }
  return missing;
}
#endif

static void NotificationChecks(void) {
  STEP("a machine with the filter on, 16 MB", 0, Arrange());
  STEP("unloading with a notification waiting is safe", 0, (ULONG32)RunProgram("fbwflib_client", "unload 0", NULL));
  STEP("unloading after uninitialize is safe", 0, (ULONG32)RunProgram("fbwflib_client", "unload 1", NULL));
  STEP("only the event registered is signalled", 0, ClosedEventNotSignalled());
  STEP("anything but an event is 6", 6, NotEvents());
  STEP("uninitialize", 0, Plain(UninitializeNotifications) + Sim("reboot"));
#ifndef _WIN32
  STEP("the parent's notification waits", 0, CALL(Notification, CacheThresholdNotification)(1, event));
  STEP("a forked child's notification fires", 0, ForkedChildNotified());
  STEP("uninitialize", 0, Plain(UninitializeNotifications) + Sim("reboot"));
  STEP("2,000 notifications wait (fewer where descriptors are scarce)", 0, ManyWaiting());
  STEP("  the idle watcher takes under a tenth of a core (percent)", 0,
       IdleCpuPercent() < 10 ? 0 : IdleCpuPercent());
  STEP("fbwfsim write \\fill: past their level", 0, Write("\\fill", 9 * MB));
  STEP("  signals them all within a second", 0, ManySignalled());
#endif
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
  Steps();
  FaultSweep();
  NullBeforeFault();
  NotificationChecks();
  remove(input);
  printf("%d failures\n", failures);
  return failures != 0;
}
