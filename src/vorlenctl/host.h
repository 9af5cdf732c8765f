// The host's files as the guard and its readers use them, by UTF-8 names,
// and the host's GuardSystem. host_posix.cpp and host_windows.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <vector>

#include "vorlenctl/guard.h"
#include "vorlenctl/guard_system.h"

namespace ctl::host {

enum class PathKind { kMissing, kFile, kFolder, kLink, kOther };
struct PathFacts {
  PathKind kind = PathKind::kMissing;
  bool own = true;  // owned by the user the process runs as (always, on Windows)
  std::uint64_t size = 0;
};
PathFacts Inspect(const std::string& path);

// Appends `text` whole, creating the file; false when it can't.
bool Append(const std::string& path, const std::string& text);
// Writes `text` to a new scratch file of the writer's own beside `path`
// (`path`.TIME.new) and moves it over `path`, so a reader finds the old text
// or the new one.
bool Replace(const std::string& path, const std::string& text);
// The file's bytes up to `limit`, or nullopt when it can't be read.
std::optional<std::string> Read(const std::string& path, std::size_t limit);
bool RenameOver(const std::string& from, const std::string& to);
// The folders `path` lies in, made where missing.
bool MakeParentFolders(const std::string& path);

// Ends the process, `line` on standard output and exit status `status`, unless
// Answered() comes within `seconds`: a call the library does not return
// from can't be given up any other way. One at a time.
class Deadline {
 public:
  Deadline(unsigned seconds, const std::string& line, int status);
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;
  ~Deadline() { Answered(); }
  void Answered();

 private:
  void* native_ = nullptr;
};

// Seconds since 1970, UTC.
std::int64_t NowSeconds();

// Held while vorlenctl changes the device, so that two runs never
// interleave their calls: the lock file stays, the lock goes with the
// process or the object.
class DeviceLock {
 public:
  DeviceLock() = default;
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;
  ~DeviceLock();
  // Waits up to `wait_ms` for another holder to let go; false when it hasn't,
  // or when the file can't be opened.
  bool Take(const std::string& path, unsigned wait_ms);

 private:
  std::intptr_t handle_ = -1;
};

// Where the guard keeps its history unless told: on Linux
// $XDG_STATE_HOME/vorlen/guard.jsonl, else ~/.local/state/vorlen/guard.jsonl;
// on Windows %ProgramData%\vorlen\guard.jsonl (XP: the all users' application
// data folder). nullopt when no such folder is named.
std::optional<std::string> DefaultGuardHistory();

// Runs the guard until it is stopped: on Windows as the service when the
// Service Control Manager started the process, else in the foreground.
// False, with `error`, when it can't start.
bool RunGuardHere(FilterLibrary& library, const GuardOptions& options, std::string& error);

// The Windows service that runs `vorlenctl guard GUARD_ARGS`, set up (to
// start with the system and restart after a failure, with its event source)
// or removed. "" when done, else why not.
inline constexpr const char* kGuardServiceName = "vorlen-guard";
std::string InstallGuardService(const std::vector<std::string>& guard_args);
std::string UninstallGuardService();

}  // namespace ctl::host
