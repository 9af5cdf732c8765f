/* The client's platform: the library loaded by name, events, and the runs
 * of fbwfsim beside it. */
#include "client.h"

const char* const kNames[kFunctions] = {
    "FbwfEnableFilter", "FbwfDisableFilter", "FbwfEnableCompression", "FbwfDisableCompression",
    "FbwfEnableCachePreAllocation", "FbwfDisableCachePreAllocation", "FbwfIsFilterEnabled",
    "FbwfIsCompressionEnabled", "FbwfIsCachePreAllocationEnabled", "FbwfIsVolumeProtected",
    "FbwfProtectVolume", "FbwfUnprotectVolume", "FbwfSetCacheThreshold", "FbwfAddExclusion",
    "FbwfRemoveExclusion", "FbwfCommitFile", "FbwfRestoreFile", "FbwfGetVolumeList",
    "FbwfGetExclusionList", "FbwfGetMemoryUsage", "FbwfCacheThresholdNotification",
    "FbwfInitializeNotifications", "FbwfUninitializeNotifications", "FbwfFindFirst", "FbwfFindNext",
    "FbwfFindClose", "FbwfGetSizeDisplay", "FbwfSetSizeDisplay", "FbwfGetActualSize",
    "FbwfGetVirtualSize"};

AnyFunction api[kFunctions];
char why[512];
char here[4096];
void* event;
char input[4200];
int failures;

/* ---- the platform: loading, events, running fbwfsim ---- */
void* NewEvent(void);
#ifdef _WIN32
static HMODULE library;
int Load(void) {
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
void Unload(void) { FreeLibrary(library); }
void* NewEvent(void) { return CreateEventA(NULL, FALSE, FALSE, NULL); }
void DropEvent(void* handle) { CloseHandle(handle); }
int EventSignalled(void* handle, int milliseconds) {
  return WaitForSingleObject(handle, (DWORD)milliseconds) == WAIT_OBJECT_0;
}
void Pause(int milliseconds) { Sleep((DWORD)milliseconds); }
int RunProgram(const char* program, const char* arguments, const char* input) {
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
int Load(void) {
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
void Unload(void) { dlclose(library); }
void* NewEvent(void) { return (void*)(long)eventfd(0, 0); }
void DropEvent(void* handle) { close((int)(long)handle); }
int EventSignalled(void* handle, int milliseconds) {
  struct pollfd ready = {(int)(long)handle, POLLIN, 0};
  unsigned long long count = 0;
  if (poll(&ready, 1, milliseconds) != 1) return 0;
  return read(ready.fd, &count, sizeof count) == (ssize_t)sizeof count && count > 0;
}
void Pause(int milliseconds) { poll(NULL, 0, milliseconds); }
int RunProgram(const char* program, const char* arguments, const char* input) {
  char line[8192];
  int status;
  snprintf(line, sizeof line, "'%s%s' %s < %s", here, program, arguments, input != NULL ? input : "/dev/null");
  status = system(line);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif
int RunSim(const char* arguments, const char* input) { return RunProgram("fbwfsim", arguments, input); }
int Signalled(int milliseconds) { return EventSignalled(event, milliseconds); }

/* fbwfsim write C: PATH, `bytes` long; its exit status. */
ULONG32 Write(const char* path, long bytes) {
  char arguments[256];
  FILE* file = fopen(input, "wb");
  long i;
  for (i = 0; file != NULL && i < bytes; ++i) fputc('x', file);
  if (file != NULL) fclose(file);
  snprintf(arguments, sizeof arguments, "write C: " QUOTE "%s" QUOTE, path);
  return (ULONG32)RunSim(arguments, input);
}


void Check(int line, const char* what, ULONG32 expected, ULONG32 got) {
  if (got == expected && why[0] == 0) {
    printf("ok   %s\n", what);
    return;
  }
  ++failures;
  printf("FAIL line %d: %s: returned %u, expected %u%s%s\n", line, what, got, expected, why[0] ? "; " : "", why);
}

ULONG32 Plain(int function) { return CALL(NoArguments, function)(); }
ULONG32 OnVolume(int function, const Unit* volume) { return CALL(VolumeOnly, function)(volume); }
ULONG32 Sim(const char* arguments) { return (ULONG32)RunSim(arguments, NULL); }
