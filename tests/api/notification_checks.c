/* The notification watcher, as a client sees it: safe to unload, only
 * the events registered signalled, near idle with many waiting. */
#include "client.h"

/* A machine with the filter on and C: protected now, 16 MB of overlay. */
static ULONG32 Arrange(void) {
  return Sim("reset") + Plain(EnableFilter) + OnVolume(ProtectVolume, TEXT16("C:")) +
         CALL(OneNumber, SetCacheThreshold)(16) + Sim("reboot");
}

/* A run of this program as a child: it loads the library, leaves a
 * notification waiting, and unloads the library, after uninitializing or
 * not. A watcher that outlived the library's code would crash it. */
void UnloadChild(int uninitialize) {
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

void NotificationChecks(void) {
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
