// vorlenctl: the write filter's state as data, desired state applied with the
// fewest calls, the overlay's use, and a monitoring check, with the exit
// statuses that deployment and monitoring engines read. The table of
// commands, their help, and what they share.
#include <charconv>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "vorlenctl/command.h"
#include "vorlenctl/limits.h"
#include "vorlenctl/output.h"
#include "wfapi/codes.h"
#include "wfapi/dynamic_library.h"

namespace ctl {

namespace {

constexpr const char* kHelp =
    "usage: vorlenctl COMMAND [ARGUMENTS]\n"
    "Reads and sets the File-Based Write Filter through its library, for engines\n"
    "that drive devices by desired state.\n"
    "\n"
    "  get [--guard-history FILE] [--servicing-file FILE]\n"
    "                               the filter's whole state as JSON, the overlay\n"
    "                               guard's level where it runs, and the servicing\n"
    "                               in progress and the last one ended\n"
    "  test [FILE|-] [--detect]     compare a desired state (JSON, from FILE or\n"
    "                               standard input) with the next session: exit 0\n"
    "                               when it is in that state, 1 when not; --detect\n"
    "                               as a detection method: a line when it is\n"
    "  set [FILE|-] [--check] [--exit-reboot] [--servicing NAME]\n"
    "      [--servicing-file FILE]\n"
    "                               make the next session match it with the fewest\n"
    "                               calls; --check calls nothing and predicts;\n"
    "                               --exit-reboot exits 3010 when a reboot is needed\n"
    "  commit VOLUME PATH...        commit cached files to the volume\n"
    "  servicing [start NAME | step STEP | end] [--servicing-file FILE]\n"
    "                               the record of a servicing in progress\n"
    "  overlay [--top N] [--json]   the overlay's use and the N largest cached files\n"
    "                               of each protected volume (10)\n"
    "  check [-w RANGE] [-c RANGE] [-t SECONDS] [--allow-off] [--reboot-pending]\n"
    "        [--guard-history FILE] [--servicing-file FILE] [--servicing-limit SECONDS]\n"
    "                               a monitoring plugin: OK, WARNING (above 80%),\n"
    "                               CRITICAL (above 90%, or the filter off now) or\n"
    "                               UNKNOWN; check --help tells more\n"
    "  metrics [--textfile DIR] [--guard-history FILE]\n"
    "                               the figures in Prometheus's text format, or\n"
    "                               into DIR/vorlen.prom for a textfile collector\n"
    "  guard [--warning LEVEL] [--critical LEVEL] [--hysteresis PCT]\n"
    "        [--interval SECONDS] [--history FILE] [--on-warning CMD]\n"
    "        [--on-critical CMD] [--on-normal CMD] [--command-timeout SECONDS]\n"
    "        [--textfile DIR]\n"
    "                               watch the overlay until stopped, acting once\n"
    "                               a crossing into warning (80%), critical (90%)\n"
    "                               and back to normal\n"
    "  --version, --help\n"
    "\n"
    "Exit status: 0 done, 1 not in the desired state, 2 a usage error or a desired\n"
    "state that can't be read, 3 the library can't be loaded or a call failed,\n"
    "3010 after set --exit-reboot when a reboot is needed, 1618 when another\n"
    "vorlenctl holds the device or a servicing is in progress: retry later.\n";

}  // namespace

int UsageError(Context& context, const std::string& message) {
  Emit(context.err, "vorlenctl: " + message + " (see vorlenctl --help)\n");
  return kUsage;
}

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

int CallFailed(Context& context, const Failure& failure) {
  Emit(context.err, "vorlenctl: " + FailureText(failure) + "\n");
  return kFailed;
}

void Print(Context& context, const JsonWriter& out) {
  Emit(context.out, out.text());
  Emit(context.out, "\n");
}

std::optional<Arguments> Parse(Context& context, const std::vector<std::string>& args, const std::vector<OptionForm>& forms,
                               std::size_t most_operands, const char* usage, int& status) {
  std::string error;
  std::optional<Arguments> parsed = ParseArguments(args, forms, most_operands, error);
  if (!parsed) status = UsageError(context, error + "; usage: " + usage);
  return parsed;
}

bool ParseCount(const std::string& text, unsigned long& value, unsigned long most) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size() && value <= most;
}

void WriteMemory(JsonWriter& out, const FbwfMemoryUsage& memory) {
  out.Open('{');
  out.Key("current_threshold").Number(memory.currentCacheThreshold);
  out.Key("next_threshold").Number(memory.nextCacheThreshold);
  out.Key("dir_structure").Number(memory.dirStructure);
  out.Key("file_data").Number(memory.fileData);
  out.Close();
}

namespace {

struct Command {
  const char* name;
  int (*run)(Context& context, const std::vector<std::string>& args);
  bool own_help = false;  // answers --help itself
};

const Command kCommands[] = {
    {"get", Get},         {"test", Test},    {"set", Set},     {"overlay", ShowOverlay},
    {"check", Check, true}, {"metrics", Metrics}, {"guard", Guard}, {"servicing", Servicing}, {"commit", Commit},
};

}  // namespace

int RunVorlenctl(Context& context, std::vector<std::string> line) {
  if (line.empty()) return std::fputs(kHelp, context.err), kUsage;
  const std::string name = std::move(line[0]);
  line.erase(line.begin());
  const std::vector<std::string>& args = line;
  if (name == "--help" || name == "-h" || name == "help") return std::fputs(kHelp, context.out), kDone;
  if (name == "--version") return std::fprintf(context.out, "vorlenctl (vorlen) %s\n", VORLEN_VERSION), kDone;
  for (const Command& command : kCommands) {
    if (name == command.name) {
      if (!command.own_help && args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        return std::fputs(kHelp, context.out), kDone;
      }
      return command.run(context, args);
    }
  }
  return UsageError(context, "unknown command '" + name + "'");
}

std::vector<std::string> CommandLineOf(std::string_view program, std::vector<std::string> args) {
  const std::size_t slash = program.find_last_of("/\\");
  const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view name(program.data() + start, program.size() - start);
  if (name != "check_fbwf" && name != "check_fbwf.exe" && name != "check_fbwf.EXE") return args;
  std::vector<std::string> line{"check"};
  for (std::string& arg : args) line.push_back(std::move(arg));
  return line;
}


}  // namespace ctl
