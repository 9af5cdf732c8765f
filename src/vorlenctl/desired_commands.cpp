// The commands of reading and desired state: get, test and set.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "text/unicode.h"
#include "vorlenctl/command.h"
#include "vorlenctl/converge.h"
#include "vorlenctl/json_state.h"
#include "vorlenctl/limits.h"
#include "vorlenctl/output.h"
#include "vorlenctl/plan.h"
#include "vorlenctl/servicing.h"

namespace ctl {

namespace {

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
bool ReadDesired(Context& context, const std::string& source, Session& desired, int& status) {
  std::string text;
  const std::string name = source == "-" ? "standard input" : source;
  std::FILE* in = source == "-" ? stdin : OpenForReading(source);
  if (in == nullptr) {
    status = UsageError(context, name + " can't be read");
    return false;
  }
  char buffer[16384];
  std::size_t got;
  while (text.size() <= kDesiredLimit && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
  if (in != stdin) std::fclose(in);
  std::string error;
  std::optional<Session> parsed = ParseDesired(text, name, error);
  if (!parsed) {
    Emit(context.err, "vorlenctl: " + error + "\n");
    status = kUsage;
    return false;
  }
  desired = std::move(*parsed);
  return true;
}

bool RebootPending(const Reading& reading) { return !Differences(reading.current, reading.next).empty(); }

void WriteSizeDisplay(JsonWriter& out, const std::optional<std::pair<WfUlong, WfUlong>>& display) {
  if (!display) return out.Null();
  out.Open('{');
  out.Key("current").Number(display->first);
  out.Key("next").Number(display->second);
  out.Close();
}

}  // namespace

int Get(Context& context, const std::vector<std::string>& args) {
  int status = kDone;
  const std::optional<Arguments> parsed =
      Parse(context, args, {{"--guard-history", true}, {"--servicing-file", true}}, 0,
            "vorlenctl get [--guard-history FILE] [--servicing-file FILE]", status);
  if (!parsed) return status;
  Reading reading;
  if (const auto failure = ReadDevice(context.library, reading)) return CallFailed(context, *failure);
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
  if (const std::optional<GuardState> guard = FindGuardState(*parsed)) WriteGuardState(out.Key("guard"), *guard);
  if (const std::optional<std::string> record = ServicingPathOf(*parsed)) WriteServicingKeys(out, *record);
  out.Close();
  Print(context, out);
  return kDone;
}

namespace {

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

}  // namespace

int Test(Context& context, const std::vector<std::string>& args) {
  int status = kDone;
  const std::optional<Arguments> parsed =
      Parse(context, args, {{"--detect", false}}, 1, "vorlenctl test [FILE|-] [--detect]", status);
  if (!parsed) return status;
  Session desired;
  if (!ReadDesired(context, SourceOf(*parsed), desired, status)) return status;
  Reading reading;
  if (const auto failure = ReadDevice(context.library, reading)) return CallFailed(context, *failure);
  const std::vector<Difference> differences = Differences(reading.next, desired);
  // A detection method: installed is exit 0 with output, not installed exit 0 without.
  if (parsed->Has("--detect")) return Emit(context.out, differences.empty() ? "in the desired state\n" : ""), kDone;
  JsonWriter out;
  out.Open('{');
  out.Key("in_desired_state").Bool(differences.empty());
  WriteDifferences(out.Key("differences"), differences, reading.next, desired);
  out.Key("reboot_pending").Bool(RebootPending(reading));
  out.Close();
  Print(context, out);
  return differences.empty() ? kDone : kNotDesired;
}

namespace {

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


void WriteOutcome(Context& context, const std::vector<MadeCall>& made, bool reboot, const Session& before,
                  const Session& after) {
  JsonWriter out;
  out.Open('{');
  // What a real run would report in check mode; after a failure, whether a
  // call before it changed the device.
  const bool changed = std::any_of(made.begin(), made.end(), [](const MadeCall& m) { return m.status.value_or(0) == 0; });
  out.Key("changed").Bool(changed);
  out.Key("reboot_required").Bool(reboot);
  WriteCalls(out.Key("calls"), made);
  WriteSession(out.Key("before"), before);
  WriteSession(out.Key("after"), after);
  out.Close();
  Print(context, out);
}

// The device read into `before` and the calls that make its next session
// `desired`; kDone, or the failure reported.
int ReadAndPlan(Context& context, const Session& desired, Reading& before, std::vector<PlannedCall>& calls) {
  if (const auto failure = ReadDevice(context.library, before)) return CallFailed(context, *failure);
  calls.clear();
  if (const auto refused = Plan(before.next, desired, calls)) return Emit(context.err, "vorlenctl: " + *refused + "\n"), kUsage;
  return kDone;
}

constexpr const char* kSetUsage =
    "vorlenctl set [FILE|-] [--check] [--exit-reboot] [--servicing NAME] [--servicing-file FILE]";

}  // namespace

int Set(Context& context, const std::vector<std::string>& args) {
  int status = kDone;
  const std::optional<Arguments> parsed =
      Parse(context, args, {{"--check", false}, {"--exit-reboot", false}, {"--servicing", true}, {"--servicing-file", true}},
            1, kSetUsage, status);
  if (!parsed) return status;
  const bool check = parsed->Has("--check"), exit_reboot = parsed->Has("--exit-reboot");
  Session desired;
  if (!ReadDesired(context, SourceOf(*parsed), desired, status)) return status;
  if (const auto problem = DesiredProblem(desired, DeviceThresholdRange())) return UsageError(context, *problem);
  Reading before;
  std::vector<PlannedCall> calls;
  if (const int read = ReadAndPlan(context, desired, before, calls); read != kDone) return read;
  // A set with nothing to change takes no lock. One that changes reads and
  // plans again once it holds the device, as another run may have changed it.
  host::DeviceLock lock;
  if (!check && !calls.empty()) {
    if (const int held = HoldDevice(context, *parsed, lock); held != kDone) return held;
    if (const int read = ReadAndPlan(context, desired, before, calls); read != kDone) return read;
  }
  std::vector<MadeCall> made;
  Reading after = before;
  std::optional<Failure> failure;
  if (check) {
    Predict(after.next, calls);  // what the calls would make of it, without making them
    for (const PlannedCall& call : calls) made.push_back({call, std::nullopt});
  } else {
    failure = Converge(context.library, desired, calls, made, after);
  }
  const bool reboot = RebootPending(after);
  WriteOutcome(context, made, reboot, before.next, after.next);
  if (failure) return CallFailed(context, *failure);
  return exit_reboot && reboot ? kRebootRequired : kDone;
}

}  // namespace ctl
