#include "vorlenctl/converge.h"

#include <utility>

#include "wfapi/codes.h"

namespace ctl {

namespace {

// Makes the calls, in order, until one fails; false then.
bool MakeCalls(FilterLibrary& library, const std::vector<PlannedCall>& calls, std::vector<MadeCall>& made,
               std::optional<Failure>& failure) {
  for (const PlannedCall& call : calls) {
    const WfStatus status = Call(library, call);
    made.push_back({call, status});
    if (status != kWfOk) {
      failure = Failure{call.function, status};
      return false;
    }
  }
  return true;
}

}  // namespace

// Makes the planned calls and reads the device again. A volume protected
// anew may bring back the list it kept: a second round sees it. After a
// failure the device is read as it is now, for what the run changed.
std::optional<Failure> Converge(FilterLibrary& library, const Session& desired, std::vector<PlannedCall> calls,
                                std::vector<MadeCall>& made, Reading& after) {
  std::optional<Failure> failure;
  for (int round = 0; round < 2 && !calls.empty() && !failure; ++round) {
    if (round == 1 && Plan(after.next, desired, calls)) break;
    if (MakeCalls(library, calls, made, failure)) {
      failure = ReadDevice(library, after);
    } else if (Reading now; !ReadDevice(library, now)) {
      after = std::move(now);
    }
    calls.clear();
    if (round == 0 && !failure) Plan(after.next, desired, calls);
  }
  return failure;
}

}  // namespace ctl
