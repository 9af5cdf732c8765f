// The commands for monitoring engines: the check, as the monitoring
// plugins' guidelines define a plugin, and the figures for Prometheus.
#include <cstdio>
#include <string>
#include <vector>

#include "vorlenctl/command.h"
#include "vorlenctl/host.h"
#include "vorlenctl/metrics.h"
#include "vorlenctl/output.h"
#include "vorlenctl/plugin_range.h"
#include "vorlenctl/servicing.h"
#include "wfapi/codes.h"

namespace ctl {

namespace {

// The monitoring plugins' exit statuses.
enum PluginStatus { kPluginOk = 0, kPluginWarning = 1, kPluginCritical = 2, kPluginUnknown = 3 };

constexpr const char* kCheckUsage =
    "vorlenctl check [-w RANGE] [-c RANGE] [-t SECONDS] [--allow-off] [--reboot-pending] [--guard-history FILE] "
    "[--servicing-file FILE] [--servicing-limit SECONDS]";

constexpr const char* kCheckHelp =
    "vorlenctl check: the write filter's overlay for a monitoring engine\n"
    "\n"
    "usage: vorlenctl check [-w RANGE] [-c RANGE] [-t SECONDS] [--allow-off]\n"
    "                       [--reboot-pending] [--guard-history FILE]\n"
    "                       [--servicing-file FILE] [--servicing-limit SECONDS]\n"
    "\n"
    "One line: FBWF OK, WARNING, CRITICAL or UNKNOWN, what was found, and after\n"
    "'|' the overlay's use in bytes (the threshold as the most) and in percent.\n"
    "\n"
    "  -w, --warning RANGE    WARNING when the use is outside RANGE (80)\n"
    "  -c, --critical RANGE   CRITICAL when the use is outside RANGE (90)\n"
    "  -t, --timeout SECONDS  UNKNOWN when the library has not answered (10)\n"
    "  --allow-off            the filter off in this session is no alert\n"
    "  --reboot-pending       WARNING when the next session differs from this one\n"
    "  --guard-history FILE   the overlay guard's history, for its level\n"
    "  --servicing-file FILE  the servicing record (servicing.json beside the\n"
    "                         guard's history): while a servicing is in\n"
    "                         progress the filter is off by intent, WARNING\n"
    "  --servicing-limit SECONDS\n"
    "                         CRITICAL once a servicing has lasted longer (7200)\n"
    "  -V, --version          the version\n"
    "  -h, --help             this help\n"
    "\n"
    "A RANGE is the monitoring plugins' own, on the overlay's use in percent of\n"
    "its threshold or as a size (B, KB, MB, GB): 80 alerts above 80%, 10: below\n"
    "10%, ~:90 above 90%, 10:20 outside 10 to 20%, @80:90 inside 80 to 90%,\n"
    "48MB above 48 MiB. The filter off in this session is CRITICAL.\n"
    "\n"
    "Exit status: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n";

constexpr const char* kRangeExamples = "such as 80, 10:, ~:90, @80:90 or 48MB";

std::vector<OptionForm> CheckForms() {
  return {{"--warning", true, 'w'},    {"--critical", true, 'c'}, {"--timeout", true, 't'},
          {"--allow-off", false},      {"--reboot-pending", false}, {"--guard-history", true},
          {"--version", false, 'V'},   {"--help", false, 'h'},     {"--servicing-file", true},
          {"--servicing-limit", true}};
}

struct CheckOptions {
  PluginRange warning = *ParseRange("80");
  PluginRange critical = *ParseRange("90");
  unsigned long timeout = 10;
  unsigned long servicing_limit = 7200;
  bool allow_off = false;
  bool reboot_pending = false;
};

// Plain levels above zero ("95" and "90") that can't both hold: the warning
// would never be seen.
std::string LevelsReversed(const PluginRange& warning, const PluginRange& critical) {
  const auto plain = [](const PluginRange& r) { return !r.inside && r.start && r.start->value == 0 && r.end; };
  if (!plain(warning) || !plain(critical) || warning.end->percent != critical.end->percent ||
      warning.end->value <= critical.end->value) {
    return "";
  }
  const auto level = [](const RangeEnd& end) {
    return end.percent ? ShortDecimal(end.value, 100, 2) + "%" : std::to_string(end.value) + " bytes";
  };
  return "the warning level " + level(*warning.end) + " is above the critical level " + level(*critical.end);
}

std::string ReadCheckOptions(const Arguments& parsed, CheckOptions& options) {
  for (const auto& [name, range] : {std::pair{"--warning", &options.warning}, std::pair{"--critical", &options.critical}}) {
    const std::optional<std::string> text = parsed.Value(name);
    if (!text) continue;
    const std::optional<PluginRange> read = ParseRange(*text);
    if (!read) return std::string(name) + " takes a range " + kRangeExamples + ", not " + *text;
    *range = *read;
  }
  if (const auto text = parsed.Value("--timeout"); text && (!ParseCount(*text, options.timeout, 3600) || options.timeout == 0)) {
    return "--timeout takes seconds from 1 to 3600, not " + *text;
  }
  if (const auto text = parsed.Value("--servicing-limit"); text && !ParseCount(*text, options.servicing_limit, 1ul << 31)) {
    return "--servicing-limit takes seconds, not " + *text;
  }
  options.allow_off = parsed.Has("--allow-off");
  options.reboot_pending = parsed.Has("--reboot-pending");
  return "";
}

struct Findings {
  Overlay overlay;
  std::vector<Difference> pending;  // read only when asked for
  std::optional<ServicingRecord> servicing;
};

std::optional<Failure> ReadFindings(FilterLibrary& library, bool reboot_pending, Findings& findings) {
  if (!reboot_pending) return ReadOverlay(library, findings.overlay);
  Reading reading;
  if (const auto failure = ReadDevice(library, reading)) return failure;
  if (!reading.memory) return Failure{WfFunction::FbwfGetMemoryUsage, kWfProcedureNotFound};
  findings.overlay = {reading.current.filter.value_or(false), *reading.memory};
  findings.pending = Differences(reading.current, reading.next);
  return std::nullopt;
}

// A performance data label, quoted where it holds a blank, a quote or '='.
std::string Label(const std::string& name) {
  if (name.find_first_of(" '=") == std::string::npos) return name;
  std::string quoted = "'";
  for (const char c : name) quoted.append(c == '\'' ? "''" : std::string(1, c));
  return quoted + "'";
}

std::string Perfdata(const FbwfMemoryUsage& memory, const CheckOptions& options, const ShownUse& shown) {
  const std::uint64_t threshold = memory.currentCacheThreshold;
  const auto ranges = [&](bool in_percent) {
    return RangePerfdata(options.warning, threshold, in_percent) + ";" +
           RangePerfdata(options.critical, threshold, in_percent);
  };
  return Label("overlay_used") + "=" + std::to_string(UsedBytes(memory)) + "B;" + ranges(false) + ";0;" +
         std::to_string(threshold) + " " + Label("overlay_used_percent") + "=" + shown.percent + "%;" + ranges(true) +
         ";0;100";
}

std::string PendingText(const std::vector<Difference>& pending) {
  std::string text = "; a reboot is pending: the next session differs in ";
  for (std::size_t i = 0; i < pending.size(); ++i) {
    text.append(i == 0 ? "" : ", ").append(pending[i].key);
    if (!pending[i].volume.empty()) text.append(" of ").append(pending[i].volume);
  }
  return text;
}

// During a servicing the filter is off by intent: a WARNING, until the
// servicing has lasted past its limit.
int ServicingStatus(const ServicingRecord& servicing, bool filter_now, const CheckOptions& options, int status,
                    std::string& text) {
  const std::int64_t lasted = host::NowSeconds() - servicing.since;
  const std::string off = filter_now ? " " : " the filter is off by intent; ";
  if (lasted > static_cast<std::int64_t>(options.servicing_limit)) {
    text = ServicingLine(servicing) + ", longer than " + std::to_string(options.servicing_limit) + " s;" + off + text;
    return kPluginCritical;
  }
  text = ServicingLine(servicing) + ";" + off + text;
  return status == kPluginOk ? kPluginWarning : status;
}

int Report(Context& context, const Findings& findings, const CheckOptions& options, const std::string& note) {
  const FbwfMemoryUsage& memory = findings.overlay.memory;
  const std::uint64_t used = UsedBytes(memory), threshold = memory.currentCacheThreshold;
  const ShownUse shown = ShowUse(used, threshold, {options.warning, options.critical});
  int status = Alerts(options.critical, used, threshold)  ? kPluginCritical
               : Alerts(options.warning, used, threshold) ? kPluginWarning
                                                          : kPluginOk;
  std::string text = "overlay " + shown.percent + "% used (" + shown.mebibytes + " MiB of " +
                     ShortDecimal(threshold, 1u << 20, 1) + " MiB)";
  if (findings.servicing) {
    status = ServicingStatus(*findings.servicing, findings.overlay.filter_now, options, status, text);
  } else if (!findings.overlay.filter_now && !options.allow_off) {
    status = kPluginCritical;
    text = "the filter is off in this session: the device is unprotected";
  } else if (!findings.overlay.filter_now) {
    text = "the filter is off in this session, as allowed; " + text;
  }
  if (!findings.pending.empty()) {
    if (status == kPluginOk) status = kPluginWarning;
    text += PendingText(findings.pending);
  }
  const char* const names[] = {"OK", "WARNING", "CRITICAL"};
  Emit(context.out, "FBWF " + std::string(names[status]) + " - " + text + note + " | " +
                        Perfdata(memory, options, shown) + "\n");
  return status;
}

// ", guard at warning since 2026-12-10T03:04:05Z" where a guard's state is found.
std::string GuardNote(const Arguments& parsed) {
  const std::optional<GuardState> guard = FindGuardState(parsed);
  if (!guard) return "";
  return ", guard at " + std::string(NameOf(guard->level)) + " since " + Iso8601(guard->since);
}

}  // namespace

int Check(Context& context, const std::vector<std::string>& args) {
  std::string error;
  const std::optional<Arguments> parsed = ParseArguments(args, CheckForms(), 0, error);
  if (parsed && parsed->Has("--help")) return std::fputs(kCheckHelp, context.out), kPluginOk;
  if (parsed && parsed->Has("--version")) {
    return std::fprintf(context.out, "vorlenctl check (vorlen) %s\n", VORLEN_VERSION), kPluginOk;
  }
  CheckOptions options;
  if (parsed) error = ReadCheckOptions(*parsed, options);
  if (!error.empty()) {
    Emit(context.out, "FBWF UNKNOWN - usage: " + std::string(kCheckUsage) + " (" + error + ")\n");
    return kPluginUnknown;
  }
  if (const std::string reversed = LevelsReversed(options.warning, options.critical); !reversed.empty()) {
    return Emit(context.out, "FBWF UNKNOWN - " + reversed + "\n"), kPluginUnknown;
  }
  const std::string note = GuardNote(*parsed);
  Findings findings;
  if (const std::optional<std::string> path = ServicingPathOf(*parsed)) findings.servicing = FindServicing(*path);
  host::Deadline deadline(static_cast<unsigned>(options.timeout),
                          "FBWF UNKNOWN - the write filter's library did not answer within " +
                              std::to_string(options.timeout) + " s\n",
                          kPluginUnknown);
  const std::optional<Failure> failure = ReadFindings(context.library, options.reboot_pending, findings);
  deadline.Answered();
  if (failure) return Emit(context.out, "FBWF UNKNOWN - " + FailureText(*failure) + note + "\n"), kPluginUnknown;
  return Report(context, findings, options, note);
}

int Metrics(Context& context, const std::vector<std::string>& args) {
  constexpr const char* kUsageLine = "vorlenctl metrics [--textfile DIR] [--guard-history FILE]";
  int status = kDone;
  const std::optional<Arguments> parsed =
      Parse(context, args, {{"--textfile", true}, {"--guard-history", true}}, 0, kUsageLine, status);
  if (!parsed) return status;
  const std::optional<std::string> folder = parsed->Value("--textfile");
  if (folder && host::Inspect(*folder).kind != host::PathKind::kFolder) {
    return UsageError(context, "--textfile takes a folder, which " + *folder + " is not; usage: " + kUsageLine);
  }
  Reading reading;
  const std::optional<Failure> failure = ReadDevice(context.library, reading);
  const std::optional<GuardState> guard = FindGuardState(*parsed);
  const std::string text = MetricsText(failure ? nullptr : &reading, guard ? &*guard : nullptr,
                                       GuardHistoryOf(*parsed).value_or(""));
  if (!folder) {
    Emit(context.out, text);
  } else if (!host::Replace(*folder + "/" + kMetricsFile, text)) {
    Emit(context.err, "vorlenctl: " + *folder + "/" + kMetricsFile + " can't be written\n");
    return kFailed;
  }
  return failure ? CallFailed(context, *failure) : kDone;
}

}  // namespace ctl
