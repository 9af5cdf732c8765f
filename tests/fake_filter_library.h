// A device's library for vorlenctl's tests: a small filter of its own that
// answers the reading and changing functions as the documentation describes
// them (a 64-bit release's thresholds, names compared in any case, every
// change but the filter's own needing the filter on next session), records
// every call as a line ("FbwfAddExclusion C: \a"), and fails or lacks the
// functions a test names.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "wfapi/codes.h"
#include "wfapi/filter_library.h"

struct FakeSession {
  bool filter = false, compression = false, preallocation = false;
  WfUlong threshold_mb = 64;  // read back capped at the ULONG's most, as the library does
  std::map<std::string, std::vector<std::string>> protected_volumes;  // volume: its exclusions
};

class FakeFilterLibrary final : public FilterLibrary {
 public:
  FakeSession current, next;
  WfUlong used_bytes = 0;  // the overlay's file data now
  std::vector<std::string> calls;
  std::map<WfFunction, std::deque<WfStatus>> failures;  // the next calls' codes
  std::set<WfFunction> missing;                          // answered 127
  // The lists of volumes unprotected without dropping them, which come back
  // with their protection.
  std::map<std::string, std::vector<std::string>> kept;

#define FAKE_DECLARE(name, parameters, arguments) WfStatus name parameters override;
  WFAPI_FUNCTIONS(FAKE_DECLARE)
#undef FAKE_DECLARE

 private:
  // Records the call; its scripted code, if any.
  WfStatus Take(WfFunction function, const std::string& arguments = "");
  WfStatus Switch(WfFunction function, bool FakeSession::*member, bool on);
  WfStatus Query(WfFunction function, bool FakeSession::*member, WfUlong* current_out, WfUlong* next_out);
  static WfStatus CopyList(const std::vector<std::string>& names, void* buffer, WfUlong* size);
};
