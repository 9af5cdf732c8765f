/* What the parts of the library's client share: its own declarations of
 * the library, the functions it loads, the platform's few calls, and the
 * steps' bookkeeping. */
#ifndef FBWFLIB_CLIENT_H
#define FBWFLIB_CLIENT_H

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
extern const char* const kNames[kFunctions];

typedef void (*AnyFunction)(void);
extern AnyFunction api[kFunctions];
#define CALL(type, function) ((type)api[function])

extern char why[512]; /* what a step found wrong beyond its code */
extern char here[4096]; /* this program's folder, with its separator */
extern void* event;
extern char input[4200]; /* a file to feed fbwfsim write */
extern int failures;

/* The platform: loading, events, running programs beside this one. */
int Load(void);
void Unload(void);
void* NewEvent(void);
void DropEvent(void* handle);
int EventSignalled(void* handle, int milliseconds);
void Pause(int milliseconds);
int RunProgram(const char* program, const char* arguments, const char* input);
int RunSim(const char* arguments, const char* input);
int Signalled(int milliseconds);

void Check(int line, const char* what, ULONG32 expected, ULONG32 got);
/* Each step: what it checks, the code it must return, the call. */
#define STEP(what, expected, call) (why[0] = 0, Check(__LINE__, what, expected, (call)))
ULONG32 Write(const char* path, long bytes);
ULONG32 Plain(int function);
ULONG32 OnVolume(int function, const Unit* volume);
ULONG32 Sim(const char* arguments);

#define MB 1048576u

void NotificationChecks(void);
/* The child run that unloads the library with a notification waiting. */
void UnloadChild(int uninitialize);

#endif
