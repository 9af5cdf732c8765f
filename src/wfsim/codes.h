// The stand-in's results: the platform's own Win32 codes.
#pragma once

#include <string>
#include <utility>

#include "wfapi/wfapi.h"

namespace wfsim {

inline constexpr WfStatus kOk = 0;
inline constexpr WfStatus kInvalidFunction = 1;     // protecting while the filter is off next session
inline constexpr WfStatus kFileNotFound = 2;        // not in the cache, exclusion not listed
inline constexpr WfStatus kAccessDenied = 5;        // the state folder or a file in it can't be used
inline constexpr WfStatus kNotEnoughMemory = 8;
inline constexpr WfStatus kInvalidDrive = 15;       // no such volume, or not protected now
inline constexpr WfStatus kInvalidParameter = 87;   // threshold out of range, null pointers
inline constexpr WfStatus kDiskFull = 112;          // config would pass its read limit
inline constexpr WfStatus kInvalidName = 123;       // malformed volume or path
inline constexpr WfStatus kFileCorrupt = 1392;      // config can't be parsed

// A code and, where the code alone would leave a user guessing, the cause in
// words for fbwfsim's messages. The library hands on only the code.
struct Outcome {
  WfStatus code = kOk;
  std::string cause;

  Outcome(WfStatus status = kOk, std::string why = {}) : code(status), cause(std::move(why)) {}
  bool ok() const { return code == kOk; }
};

}  // namespace wfsim
