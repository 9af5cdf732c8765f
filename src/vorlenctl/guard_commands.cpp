// The guard's commands: `vorlenctl guard` itself, which runs until stopped,
// and where the guard's state is found for `get` and `check`.
#include <string>
#include <vector>

#include "vorlenctl/command.h"
#include "vorlenctl/guard.h"
#include "vorlenctl/guard_record.h"
#include "vorlenctl/host.h"
#include "vorlenctl/output.h"

namespace ctl {

namespace {

constexpr const char* kGuardUsage =
    "vorlenctl guard [--warning LEVEL] [--critical LEVEL] [--hysteresis PCT] [--interval SECONDS] "
    "[--history FILE] [--on-warning CMD] [--on-critical CMD] [--on-normal CMD] [--command-timeout SECONDS] "
    "[--textfile DIR]";

// Made when asked: the Windows programs run no static constructors.
std::vector<OptionForm> GuardOptionForms() {
  return {{"--warning", true},    {"--critical", true},        {"--hysteresis", true}, {"--interval", true},
          {"--history", true},    {"--on-warning", true},      {"--on-critical", true}, {"--on-normal", true},
          {"--command-timeout", true}, {"--textfile", true}, {"--install", false},   {"--uninstall", false}};
}

// Why `path` can't hold what the guard keeps there, or "".
std::string UnfitFile(const std::string& path) {
  const host::PathFacts facts = host::Inspect(path);
  switch (facts.kind) {
    case host::PathKind::kMissing: return "";
    case host::PathKind::kFolder: return path + " is a folder";
    case host::PathKind::kLink: return path + " is a link, which the guard does not follow";
    case host::PathKind::kOther: return path + " is not a regular file";
    case host::PathKind::kFile: break;
  }
  return facts.own ? "" : path + " belongs to another user";
}

bool Seconds(const Arguments& parsed, const char* name, unsigned& milliseconds, std::string& error) {
  const std::optional<std::string> text = parsed.Value(name);
  if (!text) return true;
  // Hundredths: a textfile collector may want the figures 20 times a second.
  if (const std::optional<std::uint32_t> hundredths = ParseHundredths(*text, 8640000); hundredths && *hundredths > 0) {
    milliseconds = *hundredths * 10;
    return true;
  }
  error = std::string(name) + " takes seconds from 0.01 to 86400, not " + *text;
  return false;
}

bool Level(const Arguments& parsed, const char* name, LevelMark& level, std::string& error) {
  const std::optional<std::string> text = parsed.Value(name);
  if (!text) return true;
  if (const std::optional<LevelMark> read = ParseLevel(*text)) {
    level = *read;
    return true;
  }
  error = std::string(name) + " takes a share of the threshold (85%) or a size (48MB), not " + *text;
  return false;
}

bool Hysteresis(const Arguments& parsed, std::uint32_t& hundredths, std::string& error) {
  std::optional<std::string> text = parsed.Value("--hysteresis");
  if (!text) return true;
  std::string_view points = *text;
  if (!points.empty() && points.back() == '%') points.remove_suffix(1);
  if (const std::optional<std::uint32_t> read = ParseHundredths(points, 5000)) {
    hundredths = *read;
    return true;
  }
  error = "--hysteresis takes points of the threshold from 0 to 50, not " + *text;
  return false;
}

bool Files(const Arguments& parsed, GuardOptions& options, std::string& error) {
  const std::optional<std::string> history = parsed.Value("--history");
  const std::optional<std::string> fallback = history ? history : host::DefaultGuardHistory();
  if (!fallback || fallback->empty()) {
    error = "no history file: give --history FILE (HOME is not set)";
    return false;
  }
  options.history = *fallback;
  for (const std::string& path : {options.history, StatePath(options.history), OverlayPath(options.history),
                                  PreviousPath(options.history)}) {
    if (error = UnfitFile(path); !error.empty()) return false;
  }
  options.textfile = parsed.Value("--textfile").value_or("");
  if (!options.textfile.empty() && host::Inspect(options.textfile).kind != host::PathKind::kFolder) {
    error = "--textfile takes a folder, which " + options.textfile + " is not";
    return false;
  }
  return true;
}

std::optional<GuardOptions> GuardOptionsOf(const Arguments& parsed, std::string& error) {
  GuardOptions options;
  if (!Level(parsed, "--warning", options.levels.warning, error) ||
      !Level(parsed, "--critical", options.levels.critical, error) ||
      !Hysteresis(parsed, options.levels.hysteresis, error) || !Seconds(parsed, "--interval", options.interval_ms, error) ||
      !Seconds(parsed, "--command-timeout", options.command_timeout_ms, error)) {
    return std::nullopt;
  }
  if (const std::optional<std::string> problem = LevelsProblem(options.levels)) {
    error = *problem;
    return std::nullopt;
  }
  options.on_normal = parsed.Value("--on-normal").value_or("");
  options.on_warning = parsed.Value("--on-warning").value_or("");
  options.on_critical = parsed.Value("--on-critical").value_or("");
  if (!Files(parsed, options, error)) return std::nullopt;
  return options;
}

// The service set up to run the guard with `args`, or removed.
int SetUpService(Context& context, const Arguments& parsed, const std::vector<std::string>& args) {
  const bool install = parsed.Has("--install");
  if (!install && args.size() != 1) return UsageError(context, "--uninstall takes no other option");
  std::vector<std::string> guard_args;
  for (const std::string& arg : args) {
    if (arg != "--install") guard_args.push_back(arg);
  }
  const std::string problem = install ? host::InstallGuardService(guard_args) : host::UninstallGuardService();
  if (!problem.empty()) {
    Emit(context.err, "vorlenctl: " + problem + "\n");
    return kFailed;
  }
  Emit(context.out, std::string("vorlenctl: the service ") + host::kGuardServiceName +
                        (install ? " is set up and started\n" : " is removed\n"));
  return kDone;
}

}  // namespace

int Guard(Context& context, const std::vector<std::string>& args) {
  int status = kDone;
  const std::optional<Arguments> parsed = Parse(context, args, GuardOptionForms(), 0, kGuardUsage, status);
  if (!parsed) return status;
  std::string error;
  const std::optional<GuardOptions> options = GuardOptionsOf(*parsed, error);
  if (!options) return UsageError(context, error);
  if (parsed->Has("--install") || parsed->Has("--uninstall")) return SetUpService(context, *parsed, args);
  if (!host::MakeParentFolders(options->history)) {
    return UsageError(context, "the folder of the history " + options->history + " can't be made");
  }
  if (!host::RunGuardHere(context.library, *options, error)) {
    Emit(context.err, "vorlenctl: " + error + "\n");
    return kFailed;
  }
  return kDone;
}

std::optional<std::string> GuardHistoryOf(const Arguments& parsed) {
  if (std::optional<std::string> given = parsed.Value("--guard-history")) return given;
  return host::DefaultGuardHistory();
}

std::optional<GuardState> FindGuardState(const Arguments& parsed) {
  const std::optional<std::string> history = GuardHistoryOf(parsed);
  return history ? ReadGuardState(*history) : std::nullopt;
}

}  // namespace ctl
