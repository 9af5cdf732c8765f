// The command handlers, one family per file. Each takes the operands the front
// end already converted, makes one call of the write filter and prints the
// outcome; none of them changes the exit status.
#pragma once

#include <cstdint>
#include <cstdio>

#include "commands/operand_types.h"
#include "wfapi/write_filter.h"

struct Invocation {
  std::FILE* out;
  WriteFilter& filter;
  // Only the operands of the matched row are filled; the *_arg fields hold
  // them as typed, for the messages that echo them.
  const char* volume_arg = nullptr;
  VolumeText volume{};
  const char* path_arg = nullptr;
  PathText path{};
  std::int32_t cache_size = 0;
};

using CommandHandler = void (*)(const Invocation&);

void PrintUsage(std::FILE* out);
void PrintRebootNotice(std::FILE* out);
void PrintErrorCodeLine(std::FILE* out, WfStatus status);

// switches.cpp
void EnableFilter(const Invocation& run);
void DisableFilter(const Invocation& run);
void EnableCompression(const Invocation& run);
void DisableCompression(const Invocation& run);
void EnableCachePreAllocation(const Invocation& run);
void DisableCachePreAllocation(const Invocation& run);

// queries.cpp
void ShowFilterState(const Invocation& run);
void ShowCompressionState(const Invocation& run);
void ShowPreAllocationState(const Invocation& run);
void ShowVolumeStatus(const Invocation& run);

// volume.cpp
void ProtectVolume(const Invocation& run);
void UnprotectVolume(const Invocation& run);
void SetCacheThreshold(const Invocation& run);

// files.cpp
void AddExclusion(const Invocation& run);
void RemoveExclusion(const Invocation& run);
void CommitFile(const Invocation& run);
void RestoreFile(const Invocation& run);
