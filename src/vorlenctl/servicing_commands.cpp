// The commands of servicing: the record of a servicing in progress, kept
// on the device, and committing named files through the overlay.
#include <cstdio>
#include <string>
#include <vector>

#include "vorlenctl/command.h"
#include "vorlenctl/guard_record.h"
#include "vorlenctl/host.h"
#include "vorlenctl/output.h"
#include "vorlenctl/servicing.h"
#include "wfapi/codes.h"

namespace ctl {

namespace {

int TakeLock(Context& context, const std::string& record_path, host::DeviceLock& lock) {
  const std::string lock_path = LockPathBeside(record_path);
  if (lock.Take(lock_path, context.lock_wait_ms)) return kDone;
  Emit(context.err, "vorlenctl: another vorlenctl is changing this device (" + lock_path + " is held); retry later\n");
  return kRetryLater;
}

}  // namespace

int HoldDevice(Context& context, const Arguments& parsed, host::DeviceLock& lock) {
  const std::optional<std::string> record_path = ServicingPathOf(parsed);
  if (!record_path) return kDone;
  if (const int held = TakeLock(context, *record_path, lock); held != kDone) return held;
  const std::optional<ServicingRecord> record = FindServicing(*record_path);
  if (record && parsed.Value("--servicing") != record->name) {
    Emit(context.err, "vorlenctl: " + ServicingLine(*record) + "; retry later, or give --servicing " + record->name +
                          "\n");
    return kRetryLater;
  }
  return kDone;
}

namespace {

constexpr const char* kServicingUsage =
    "vorlenctl servicing [start NAME | step STEP | end [STEP]] [--servicing-file FILE]";

void PrintServicing(Context& context, const std::string& path) {
  JsonWriter out;
  out.Open('{');
  out.Key("in_progress").Bool(FindServicing(path).has_value());
  WriteServicingKeys(out, path);
  out.Close();
  Print(context, out);
}

// start NAME, step STEP, end [STEP]: the record written, under the lock.
int ChangeServicing(Context& context, const Arguments& parsed, const std::string& path) {
  const std::string& verb = parsed.operands[0];
  if (verb != "end" && parsed.operands.size() != 2) {
    return UsageError(context, verb + " takes one operand; usage: " + kServicingUsage);
  }
  host::DeviceLock lock;
  if (const int held = TakeLock(context, path, lock); held != kDone) return held;
  std::optional<ServicingRecord> record = FindServicing(path);
  const std::string operand = parsed.operands.size() == 2 ? parsed.operands[1] : "";
  if (verb == "start" && record && record->name != operand) {
    return Emit(context.err, "vorlenctl: " + ServicingLine(*record) + "; retry later\n"), kRetryLater;
  }
  if (verb == "step" && !record) return Emit(context.err, "vorlenctl: no servicing is in progress\n"), kFailed;
  if (verb == "end" && !record) return PrintServicing(context, path), kDone;
  if (!record) record = ServicingRecord{operand, host::NowSeconds(), "start"};
  if (verb != "start" && !operand.empty()) record->step = operand;
  if (!host::MakeParentFolders(path) || !host::Replace(path, ServicingText(*record))) {
    return Emit(context.err, "vorlenctl: " + path + " can't be written\n"), kFailed;
  }
  if (verb == "end" && !host::RenameOver(path, path + ".done")) {
    return Emit(context.err, "vorlenctl: " + path + " can't be moved to " + path + ".done\n"), kFailed;
  }
  return PrintServicing(context, path), kDone;
}

}  // namespace

int Servicing(Context& context, const std::vector<std::string>& args) {
  int status = kDone;
  const std::optional<Arguments> parsed = Parse(context, args, {{"--servicing-file", true}}, 2, kServicingUsage, status);
  if (!parsed) return status;
  const std::optional<std::string> path = ServicingPathOf(*parsed);
  if (!path) return UsageError(context, "no folder for the servicing record is known: give --servicing-file FILE");
  if (parsed->operands.empty()) return PrintServicing(context, *path), kDone;
  const std::string& verb = parsed->operands[0];
  if (verb != "start" && verb != "step" && verb != "end") {
    return UsageError(context, "unknown servicing action '" + verb + "'; usage: " + kServicingUsage);
  }
  return ChangeServicing(context, *parsed, *path);
}

int Commit(Context& context, const std::vector<std::string>& args) {
  constexpr const char* kUsageLine = "vorlenctl commit VOLUME PATH...";
  int status = kDone;
  const std::optional<Arguments> parsed = Parse(context, args, {}, static_cast<std::size_t>(-1), kUsageLine, status);
  if (!parsed) return status;
  const std::vector<std::string>& operands = parsed->operands;
  if (operands.size() < 2) return UsageError(context, "commit takes a volume and its files; usage: " + std::string(kUsageLine));
  JsonWriter out;
  out.Open('{');
  out.Key("volume").String(operands[0]);
  out.Key("files").Open('[');
  std::uint64_t failed = 0;
  for (std::size_t i = 1; i < operands.size(); ++i) {
    const WfStatus code = Call(context.library, {WfFunction::FbwfCommitFile, {operands[0], operands[i]}, std::nullopt});
    out.Open('{');
    out.Key("path").String(operands[i]);
    out.Key("committed").Bool(code == kWfOk);
    if (code != kWfOk) ++failed, out.Key("error").String(FailureText({WfFunction::FbwfCommitFile, code}));
    out.Close();
  }
  out.Close();
  out.Key("committed").Number(operands.size() - 1 - failed);
  out.Key("failed").Number(failed);
  out.Close();
  Print(context, out);
  if (failed == 0) return kDone;
  Emit(context.err, "vorlenctl: " + std::to_string(failed) + " of " + std::to_string(operands.size() - 1) +
                        " files could not be committed\n");
  return kFailed;
}

}  // namespace ctl
