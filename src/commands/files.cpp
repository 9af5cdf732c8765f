// Exclusions, commit and restore: one file or folder of one volume.
#include "commands/commands.h"

namespace {

// Success texts take the path first and the drive second, both as typed.
void PrintDone(const Invocation& run, const char* format) {
  std::fprintf(run.out, format, run.path_arg, run.volume_arg);
}

void PrintFailure(const Invocation& run, WfStatus status) {
  PrintErrorCodeLine(run.out, status);
  PrintUsage(run.out);
}

}  // namespace

void AddExclusion(const Invocation& run) {
  const WfStatus status = run.filter.FbwfAddExclusion(run.volume.c_str(), run.path.c_str());
  if (status != 0) return PrintFailure(run, status);
  PrintDone(run, "%s on drive %s is now excluded.\n ");
  PrintRebootNotice(run.out);
}

void RemoveExclusion(const Invocation& run) {
  const WfStatus status = run.filter.FbwfRemoveExclusion(run.volume.c_str(), run.path.c_str());
  if (status != 0) return PrintFailure(run, status);
  PrintDone(run, "%s on drive %s is now removed from exclusion.\n ");
  PrintRebootNotice(run.out);
}

// Commit and restore act on the cache at once: no reboot notice.
void CommitFile(const Invocation& run) {
  const WfStatus status = run.filter.FbwfCommitFile(run.volume.c_str(), run.path.c_str());
  if (status != 0) return PrintFailure(run, status);
  PrintDone(run, "%s on drive %s has been commited to the disk.\n ");
}

void RestoreFile(const Invocation& run) {
  const WfStatus status = run.filter.FbwfRestoreFile(run.volume.c_str(), run.path.c_str());
  if (status != 0) {
    PrintErrorCodeLine(run.out, status);
    std::fputs("Error: File not in cache\n", run.out);
    std::fputs("Error: File not found\n", run.out);
    return;
  }
  PrintDone(run, "%s on drive %s has been restored from the disk.\n ");
}
