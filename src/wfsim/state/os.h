// The operating system's layer in the stand-in's own names, and where the
// stand-in's state lives.
#pragma once

#include <chrono>
#include <optional>

#include "os/files.h"

namespace wfsim {

namespace fs = std::filesystem;

using os::AppendWhole;
using os::Deadline;
using os::Entry;
using os::EntryType;
using os::FileLock;
using os::FileText;
using os::FixedPath;
using os::Inspect;
using os::IsPlain;
using os::IsUnicodeName;
using os::LastSystemError;
using os::LockHolder;
using os::MakeEmptyFile;
using os::MoveDurably;
using os::NamedIn;
using os::NativeChar;
using os::NativeHex;
using os::OwnName;
using os::ProcessId;
using os::Quoted;
using os::ReadOutcome;
using os::ReadRegularFile;
using os::RenameOver;
using os::ReplaceDurably;
using os::SleepMilliseconds;
using os::SystemError;
using os::UseBinaryStandardStreams;
using os::Utf8Of;
using os::WriteNewFile;

// $FBWFSIM_DIR, else $XDG_STATE_HOME/fbwfsim, else ~/.local/state/fbwfsim;
// on Windows %FBWFSIM_DIR%, else %LOCALAPPDATA%\fbwfsim, else (XP) the local
// application data folder the shell names, else %APPDATA%\fbwfsim.
const std::optional<fs::path>& StateFolderFromEnvironment();

// How long a call waits for the state folder's lock: 30 seconds, or
// $FBWFSIM_LOCK_WAIT_MS as the process found it, which the tests set to
// shorten it.
std::chrono::milliseconds LockWait();

// When a call that starts now stops waiting for locks.
inline Deadline DeadlineFromNow() { return std::chrono::steady_clock::now() + LockWait(); }

}  // namespace wfsim
