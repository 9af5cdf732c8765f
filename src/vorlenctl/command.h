// What vorlenctl's commands share: the library and the streams they work
// with, the exit statuses, and the ways a command reports a failure.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorlenctl/arguments.h"
#include "vorlenctl/device.h"
#include "vorlenctl/guard_record.h"
#include "vorlenctl/host.h"
#include "json/writer.h"
#include "wfapi/filter_library.h"

namespace ctl {

using json::JsonWriter;

inline constexpr unsigned kLockWaitMs = 10000;

struct Context {
  FilterLibrary& library;
  std::FILE* out;
  std::FILE* err;
  unsigned lock_wait_ms = kLockWaitMs;  // for another vorlenctl to let the device go
};

inline constexpr int kDone = 0;
inline constexpr int kNotDesired = 1;
inline constexpr int kUsage = 2;
inline constexpr int kFailed = 3;
inline constexpr int kRebootRequired = 3010;  // "success, restart needed" to Windows deployment engines
inline constexpr int kRetryLater = 1618;      // "another installation is in progress": retried later

// vorlenctl run with `args` (its command line after the program's name).
int RunVorlenctl(Context& context, std::vector<std::string> args);
// The command line vorlenctl runs when started as `program` (argv[0]): a
// program named check_fbwf, as monitoring engines name plugins, is
// vorlenctl check.
std::vector<std::string> CommandLineOf(std::string_view program, std::vector<std::string> args);

// Reports a usage error on the error stream; kUsage.
int UsageError(Context& context, const std::string& message);
// A failure in words: the code with its meaning, and where the library was
// looked for when it can't be loaded.
std::string FailureText(const Failure& failure);
// Reports a failed call; kFailed.
int CallFailed(Context& context, const Failure& failure);
// The document and a line break, on the output stream.
void Print(Context& context, const JsonWriter& out);
// The subcommand's arguments, or nullopt with the usage error reported.
std::optional<Arguments> Parse(Context& context, const std::vector<std::string>& args,
                               const std::vector<OptionForm>& forms, std::size_t most_operands, const char* usage,
                               int& status);
bool ParseCount(const std::string& text, unsigned long& value, unsigned long most);
void WriteMemory(JsonWriter& out, const FbwfMemoryUsage& memory);
std::uint64_t UsedBytes(const FbwfMemoryUsage& memory);
// `vorlenctl overlay --top TOP --json`'s output.
std::optional<Failure> OverlayJson(FilterLibrary& library, unsigned long top, std::string& text);

// The guard's history: --guard-history FILE, else the guard's default path.
std::optional<std::string> GuardHistoryOf(const Arguments& parsed);
// The guard's state, beside that history.
std::optional<GuardState> FindGuardState(const Arguments& parsed);

// The device held for a change: vorlenctl's lock taken and no servicing in
// progress but the one --servicing names. kDone, or kRetryLater reported.
int HoldDevice(Context& context, const Arguments& parsed, host::DeviceLock& lock);

// The families of commands: reading and desired state, the overlay,
// monitoring (the check and the metrics), the overlay guard.
int Get(Context& context, const std::vector<std::string>& args);
int Test(Context& context, const std::vector<std::string>& args);
int Set(Context& context, const std::vector<std::string>& args);
int ShowOverlay(Context& context, const std::vector<std::string>& args);
int Check(Context& context, const std::vector<std::string>& args);
int Metrics(Context& context, const std::vector<std::string>& args);
int Guard(Context& context, const std::vector<std::string>& args);
int Servicing(Context& context, const std::vector<std::string>& args);
int Commit(Context& context, const std::vector<std::string>& args);

}  // namespace ctl
