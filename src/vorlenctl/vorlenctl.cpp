// vorlenctl: the write filter's state as data, desired state applied with the
// fewest calls, the overlay's use, and a monitoring check, with the exit
// statuses that deployment and monitoring engines read.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorlenctl/arguments.h"
#include "vorlenctl/device.h"
#include "vorlenctl/json_state.h"
#include "vorlenctl/limits.h"
#include "vorlenctl/output.h"
#include "vorlenctl/plan.h"
#include "wfapi/codes.h"
#include "wfapi/dynamic_library.h"

#ifdef _WIN32
#include "text/unicode.h"
#include "text/windows_arguments.h"
#endif

namespace ctl {
namespace {

constexpr int kDone = 0;
constexpr int kNotDesired = 1;
constexpr int kUsage = 2;
constexpr int kFailed = 3;
constexpr int kRebootRequired = 3010;  // "success, restart needed" to Windows deployment engines

constexpr const char* kHelp =
    "usage: vorlenctl COMMAND [ARGUMENTS]\n"
    "Reads and sets the File-Based Write Filter through its library, for engines\n"
    "that drive devices by desired state.\n"
    "\n"
    "  get                          the filter's whole state as JSON\n"
    "  test [FILE|-]                compare a desired state (JSON, from FILE or\n"
    "                               standard input) with the next session: exit 0\n"
    "                               when it is in that state, 1 when not\n"
    "  set [FILE|-] [--check] [--exit-reboot]\n"
    "                               make the next session match it with the fewest\n"
    "                               calls; --check calls nothing and predicts;\n"
    "                               --exit-reboot exits 3010 when a reboot is needed\n"
    "  overlay [--top N] [--json]   the overlay's use and the N largest cached files\n"
    "                               of each protected volume (10)\n"
    "  check [--warning PCT] [--critical PCT] [--allow-off]\n"
    "                               a monitoring plugin: OK, WARNING (80), CRITICAL\n"
    "                               (90, or the filter off now) or UNKNOWN\n"
    "  --version, --help\n"
    "\n"
    "Exit status: 0 done, 1 not in the desired state, 2 a usage error or a desired\n"
    "state that can't be read, 3 the library can't be loaded or a call failed,\n"
    "3010 after set --exit-reboot when a reboot is needed.\n";

int UsageError(const std::string& message) {
  Emit(stderr, "vorlenctl: " + message + " (see vorlenctl --help)\n");
  return kUsage;
}

// A failure in words: the code with its meaning, and where the library was
// looked for when it can't be loaded.
std::string FailureText(const Failure& failure) {
  if (failure.code == kWfModuleNotFound) {
    char where[8192 + 512];
    DynamicLibrary::DescribeMissing(where, sizeof where);
    return "the write filter's library can't be loaded (126): " + std::string(where);
  }
  std::string text = std::string(NameOf(failure.function)) + " failed with code " + std::to_string(failure.code);
  if (const WfCode* known = FindWfCode(failure.code)) text += " (" + std::string(known->brief) + ")";
  if (failure.function == WfFunction::FbwfSetCacheThreshold && failure.code == kWfInvalidParameter) {
    text += std::string(": ") + kDocumentedThresholds;
  }
  return text;
}

int CallFailed(const Failure& failure) {
  Emit(stderr, "vorlenctl: " + FailureText(failure) + "\n");
  return kFailed;
}

void Print(const JsonWriter& out) {
  Emit(stdout, out.text());
  Emit(stdout, "\n");
}

std::FILE* OpenForReading(const std::string& utf8_name) {
#ifdef _WIN32
  const std::optional<std::u16string> units = text::FromUtf8(utf8_name);
  if (!units) return nullptr;
  const std::wstring wide(units->begin(), units->end());
  return _wfopen(wide.c_str(), L"rb");
#else
  return std::fopen(utf8_name.c_str(), "rb");
#endif
}

// At most one byte past the limit is read: enough to refuse a larger file.
bool ReadDesired(const std::string& source, Session& desired, int& status) {
  std::string text;
  const std::string name = source == "-" ? "standard input" : source;
  std::FILE* in = source == "-" ? stdin : OpenForReading(source);
  if (in == nullptr) {
    status = UsageError(name + " can't be read");
    return false;
  }
  char buffer[16384];
  std::size_t got;
  while (text.size() <= kDesiredLimit && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
  if (in != stdin) std::fclose(in);
  std::string error;
  std::optional<Session> parsed = ParseDesired(text, name, error);
  if (!parsed) {
    Emit(stderr, "vorlenctl: " + error + "\n");
    status = kUsage;
    return false;
  }
  desired = std::move(*parsed);
  return true;
}

bool RebootPending(const Reading& reading) { return !Differences(reading.current, reading.next).empty(); }

void WriteMemory(JsonWriter& out, const FbwfMemoryUsage& memory) {
  out.Open('{');
  out.Key("current_threshold").Number(memory.currentCacheThreshold);
  out.Key("next_threshold").Number(memory.nextCacheThreshold);
  out.Key("dir_structure").Number(memory.dirStructure);
  out.Key("file_data").Number(memory.fileData);
  out.Close();
}

void WriteSizeDisplay(JsonWriter& out, const std::optional<std::pair<WfUlong, WfUlong>>& display) {
  if (!display) return out.Null();
  out.Open('{');
  out.Key("current").Number(display->first);
  out.Key("next").Number(display->second);
  out.Close();
}

// The subcommand's arguments, or nullopt with the usage error reported.
std::optional<Arguments> Parse(const std::vector<std::string>& args, const std::vector<OptionForm>& forms,
                               std::size_t most_operands, const char* usage, int& status) {
  std::string error;
  std::optional<Arguments> parsed = ParseArguments(args, forms, most_operands, error);
  if (!parsed) status = UsageError(error + "; usage: " + usage);
  return parsed;
}

int Get(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("get takes no arguments");
  Reading reading;
  if (const auto failure = ReadDevice(reading)) return CallFailed(*failure);
  JsonWriter out;
  out.Open('{');
  WriteSession(out.Key("current"), reading.current);
  WriteSession(out.Key("next"), reading.next);
  if (reading.memory) {
    WriteMemory(out.Key("memory"), *reading.memory);
  }
  const auto& unavailable = reading.unavailable;
  if (std::find(unavailable.begin(), unavailable.end(), "FbwfGetSizeDisplay") == unavailable.end()) {
    WriteSizeDisplay(out.Key("size_display"), reading.size_display);
  }
  out.Key("reboot_pending").Bool(RebootPending(reading));
  out.Key("unavailable").Strings(unavailable);
  out.Close();
  Print(out);
  return kDone;
}

void WriteDifferences(JsonWriter& out, const std::vector<Difference>& differences, const Session& have,
                      const Session& want) {
  out.Open('[');
  for (const Difference& d : differences) {
    out.Open('{');
    out.Key("key").String(d.key);
    if (d.key == "exclusions") {
      out.Key("volume").String(d.volume);
      out.Key("have");
      if (have.exclusions && have.exclusions->count(d.volume)) out.Strings(have.exclusions->at(d.volume));
      else out.Null();
      out.Key("want").Strings(want.exclusions->at(d.volume));
    } else {
      out.Key("have");
      if (!WriteSetting(out, have, d.key, false)) out.Null();
      WriteSetting(out.Key("want"), want, d.key, false);
    }
    out.Close();
  }
  out.Close();
}

// The desired state's source: FILE, or standard input when none or "-" is given.
std::string SourceOf(const Arguments& parsed) { return parsed.operands.empty() ? "-" : parsed.operands[0]; }

int Test(const std::vector<std::string>& args) {
  int status = kDone;
  const std::optional<Arguments> parsed = Parse(args, {}, 1, "vorlenctl test [FILE|-]", status);
  if (!parsed) return status;
  Session desired;
  if (!ReadDesired(SourceOf(*parsed), desired, status)) return status;
  Reading reading;
  if (const auto failure = ReadDevice(reading)) return CallFailed(*failure);
  const std::vector<Difference> differences = Differences(reading.next, desired);
  JsonWriter out;
  out.Open('{');
  out.Key("in_desired_state").Bool(differences.empty());
  WriteDifferences(out.Key("differences"), differences, reading.next, desired);
  out.Key("reboot_pending").Bool(RebootPending(reading));
  out.Close();
  Print(out);
  return differences.empty() ? kDone : kNotDesired;
}

// A call made, with its status, or one --check would make (no status).
struct MadeCall {
  PlannedCall call;
  std::optional<WfStatus> status;
};

void WriteCalls(JsonWriter& out, const std::vector<MadeCall>& made) {
  out.Open('[');
  for (const auto& [call, status] : made) {
    out.Open('{');
    out.Key("function").String(NameOf(call.function));
    out.Key("arguments").Open('[');
    for (const std::string& text : call.texts) out.String(text);
    if (call.number) out.Number(*call.number);
    out.Close();
    out.Key("status");
    if (status) out.Number(*status);
    else out.Null();
    out.Close();
  }
  out.Close();
}

// Makes the calls, in order, until one fails; false then.
bool MakeCalls(const std::vector<PlannedCall>& calls, std::vector<MadeCall>& made, std::optional<Failure>& failure) {
  for (const PlannedCall& call : calls) {
    const WfStatus status = Call(call);
    made.push_back({call, status});
    if (status != 0) {
      failure = Failure{call.function, status};
      return false;
    }
  }
  return true;
}

// Makes the planned calls and reads the device again. A volume protected
// anew may bring back the list it kept: a second round sees it. After a
// failure the device is read as it is now, for what the run changed.
std::optional<Failure> Converge(const Session& desired, std::vector<PlannedCall> calls, std::vector<MadeCall>& made,
                                Reading& after) {
  std::optional<Failure> failure;
  for (int round = 0; round < 2 && !calls.empty() && !failure; ++round) {
    if (round == 1 && Plan(after.next, desired, calls)) break;
    if (MakeCalls(calls, made, failure)) {
      failure = ReadDevice(after);
    } else if (Reading now; !ReadDevice(now)) {
      after = std::move(now);
    }
    calls.clear();
    if (round == 0 && !failure) Plan(after.next, desired, calls);
  }
  return failure;
}

int Set(const std::vector<std::string>& args) {
  int status = kDone;
  const std::optional<Arguments> parsed =
      Parse(args, {{"--check", false}, {"--exit-reboot", false}}, 1, "vorlenctl set [FILE|-] [--check] [--exit-reboot]", status);
  if (!parsed) return status;
  const bool check = parsed->Has("--check"), exit_reboot = parsed->Has("--exit-reboot");
  Session desired;
  if (!ReadDesired(SourceOf(*parsed), desired, status)) return status;
  if (const auto problem = DesiredProblem(desired, DeviceThresholdRange())) return UsageError(*problem);
  Reading before;
  if (const auto failure = ReadDevice(before)) return CallFailed(*failure);
  std::vector<PlannedCall> calls;
  if (const auto refused = Plan(before.next, desired, calls)) {
    Emit(stderr, "vorlenctl: " + *refused + "\n");
    return kUsage;
  }
  std::vector<MadeCall> made;
  Reading after = before;
  std::optional<Failure> failure;
  if (check) {
    VolumeLists kept;
    if (!after.next.protected_volumes) after.next.protected_volumes.emplace();
    if (!after.next.exclusions) after.next.exclusions.emplace();
    for (const PlannedCall& call : calls) {
      made.push_back({call, std::nullopt});
      Apply(after.next, kept, call);
    }
  } else {
    failure = Converge(desired, calls, made, after);
  }
  const bool reboot = RebootPending(after);
  JsonWriter out;
  out.Open('{');
  // What a real run would report in check mode; after a failure, whether a
  // call before it changed the device.
  const bool changed = std::any_of(made.begin(), made.end(), [](const MadeCall& m) { return m.status.value_or(0) == 0; });
  out.Key("changed").Bool(changed);
  out.Key("reboot_required").Bool(reboot);
  WriteCalls(out.Key("calls"), made);
  WriteSession(out.Key("before"), before.next);
  WriteSession(out.Key("after"), after.next);
  out.Close();
  Print(out);
  if (failure) return CallFailed(*failure);
  return exit_reboot && reboot ? kRebootRequired : kDone;
}

bool ParseCount(const std::string& text, unsigned long& value, unsigned long most) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size() && value <= most;
}

std::uint64_t Used(const FbwfMemoryUsage& memory) {
  return std::uint64_t{memory.dirStructure} + memory.fileData;
}

int ShowOverlay(const std::vector<std::string>& args) {
  constexpr const char* kUsageLine = "vorlenctl overlay [--top N] [--json]";
  int status = kDone;
  const std::optional<Arguments> parsed = Parse(args, {{"--top", true}, {"--json", false}}, 0, kUsageLine, status);
  if (!parsed) return status;
  unsigned long top = 10;
  const bool json = parsed->Has("--json");
  if (const auto count = parsed->Value("--top"); count && !ParseCount(*count, top, 100000)) {
    return UsageError("--top takes a count from 0 to 100000, not " + *count + "; usage: " + kUsageLine);
  }
  Reading reading;
  if (const auto failure = ReadDevice(reading)) return CallFailed(*failure);
  if (!reading.memory) return CallFailed({WfFunction::FbwfGetMemoryUsage, kWfProcedureNotFound});
  std::vector<CachedFile> largest;
  if (reading.current.filter.value_or(false)) {
    for (const std::string& volume : reading.current.protected_volumes.value_or(std::vector<std::string>{})) {
      std::vector<CachedFile> files;
      if (const auto failure = SearchCache(volume, files)) return CallFailed(*failure);
      std::stable_sort(files.begin(), files.end(), [](const CachedFile& a, const CachedFile& b) { return a.bytes > b.bytes; });
      if (files.size() > top) files.resize(top);
      largest.insert(largest.end(), files.begin(), files.end());
    }
  }
  const FbwfMemoryUsage& memory = *reading.memory;
  const double percent = memory.currentCacheThreshold == 0 ? 0.0 : 100.0 * Used(memory) / memory.currentCacheThreshold;
  if (json) {
    JsonWriter out;
    out.Open('{');
    WriteMemory(out.Key("memory"), memory);
    out.Key("used_percent").Tenths(static_cast<std::uint64_t>(percent * 10));
    out.Key("largest").Open('[');
    for (const CachedFile& f : largest) {
      out.Open('{');
      out.Key("volume").String(f.volume);
      out.Key("path").String(f.path);
      out.Key("bytes").Number(f.bytes);
      out.Close();
    }
    out.Close();
    out.Close();
    Print(out);
    return kDone;
  }
  std::printf("threshold       %12lu bytes\n", static_cast<unsigned long>(memory.currentCacheThreshold));
  std::printf("folder structure%12lu bytes\n", static_cast<unsigned long>(memory.dirStructure));
  std::printf("file data       %12lu bytes\n", static_cast<unsigned long>(memory.fileData));
  std::printf("used            %11.1f%%\n", percent);
  if (!largest.empty()) std::printf("\n%12s  %s\n", "bytes", "largest cached files");
  for (const CachedFile& f : largest) {
    const std::string bytes = std::to_string(f.bytes);
    Emit(stdout, std::string(bytes.size() < 12 ? 12 - bytes.size() : 0, ' ') + bytes + "  " + f.volume + f.path + "\n");
  }
  return kDone;
}

// The monitoring plugin's conventions: one line, exit 0 OK, 1 WARNING, 2
// CRITICAL, 3 UNKNOWN.
int Check(const std::vector<std::string>& args) {
  unsigned long warning = 80, critical = 90;
  std::string error;
  const std::optional<Arguments> parsed =
      ParseArguments(args, {{"--warning", true}, {"--critical", true}, {"--allow-off", false}}, 0, error);
  const auto level = [&](const char* name, unsigned long& value) {
    const auto text = parsed->Value(name);
    if (text && !ParseCount(*text, value, 100)) error = std::string(name) + " takes a percentage from 0 to 100, not " + *text;
  };
  if (parsed) {
    level("--warning", warning);
    level("--critical", critical);
  }
  if (!error.empty()) {
    Emit(stdout, "FBWF UNKNOWN - usage: vorlenctl check [--warning PCT] [--critical PCT] [--allow-off] (" + error + ")\n");
    return 3;
  }
  const bool allow_off = parsed->Has("--allow-off");
  if (warning > critical) {
    std::printf("FBWF UNKNOWN - the warning level %lu%% is above the critical level %lu%%\n", warning, critical);
    return 3;
  }
  Overlay overlay;
  if (const auto failure = ReadOverlay(overlay)) {
    Emit(stdout, "FBWF UNKNOWN - " + FailureText(*failure) + "\n");
    return 3;
  }
  if (!overlay.filter_now && !allow_off) {
    std::printf("FBWF CRITICAL - the filter is off in this session: the device is unprotected\n");
    return 2;
  }
  const std::uint64_t threshold = overlay.memory.currentCacheThreshold, used = Used(overlay.memory);
  const std::uint64_t warn_at = threshold * warning / 100, critical_at = threshold * critical / 100;
  const int status = used >= critical_at ? 2 : used >= warn_at ? 1 : 0;
  const char* const names[] = {"OK", "WARNING", "CRITICAL"};
  // 64-bit numbers go through to_string: the C runtime of older Windows has no %llu.
  const auto n = [](std::uint64_t value) { return std::to_string(value); };
  std::printf("FBWF %s - overlay %s%% used (%s MiB of %s MiB) | overlay_used=%sB;%s;%s;0;%s\n", names[status],
              n(threshold == 0 ? 0 : used * 100 / threshold).c_str(), n(used >> 20).c_str(), n(threshold >> 20).c_str(),
              n(used).c_str(), n(warn_at).c_str(), n(critical_at).c_str(), n(threshold).c_str());
  return status;
}

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
};

const Command kCommands[] = {
    {"get", Get}, {"test", Test}, {"set", Set}, {"overlay", ShowOverlay}, {"check", Check},
};

int Main(int argc, char** argv) {
  if (argc < 2) return std::fputs(kHelp, stderr), kUsage;
  const std::string_view name = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (name == "--help" || name == "-h" || name == "help") return std::fputs(kHelp, stdout), kDone;
  if (name == "--version") return std::printf("vorlenctl (vorlen) %s\n", VORLEN_VERSION), kDone;
  for (const Command& command : kCommands) {
    if (name == command.name) {
      if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) return std::fputs(kHelp, stdout), kDone;
      return command.run(args);
    }
  }
  return UsageError("unknown command '" + std::string(name) + "'");
}

}  // namespace
}  // namespace ctl

#ifdef _WIN32
// Operands in UTF-8, as every text of the program is: file names are opened
// by their 16-bit units (see OpenForReading), so any name is reached.
int wmain(int argc, wchar_t** units) {
  text::NarrowArguments typed(argc, units, CP_UTF8);
  return ctl::Main(argc, typed.argv());
}
#else
int main(int argc, char** argv) { return ctl::Main(argc, argv); }
#endif
