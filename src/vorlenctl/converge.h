// A desired state made the device's: the planned calls, in order, then the
// device read again, in at most two rounds.
#pragma once

#include <optional>
#include <vector>

#include "vorlenctl/device.h"
#include "vorlenctl/plan.h"
#include "vorlenctl/session.h"
#include "wfapi/filter_library.h"

namespace ctl {

// A call made, with its status, or one --check would make (no status).
struct MadeCall {
  PlannedCall call;
  std::optional<WfStatus> status;
  bool operator==(const MadeCall&) const = default;
};

// Makes the planned calls and reads the device again. A volume protected
// anew may bring back the list it kept: a second round sees it. After a
// failure the device is read as it is now, for what the run changed.
std::optional<Failure> Converge(FilterLibrary& library, const Session& desired, std::vector<PlannedCall> calls,
                                std::vector<MadeCall>& made, Reading& after);

}  // namespace ctl
