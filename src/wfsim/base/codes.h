// The stand-in's results: the platform's own Win32 codes.
#pragma once

#include <string>
#include <utility>

#include "wfapi/codes.h"

namespace wfsim {

inline constexpr WfStatus kOk = kWfOk;
inline constexpr WfStatus kInvalidFunction = kWfInvalidFunction;     // protecting while the filter is off next session
inline constexpr WfStatus kFileNotFound = kWfFileNotFound;        // not in the cache, exclusion not listed
inline constexpr WfStatus kAccessDenied = kWfAccessDenied;        // the state folder or a file in it can't be used
inline constexpr WfStatus kTooManyOpenFiles = kWfTooManyOpenFiles;  // a notification the library has no descriptor or handle left for
inline constexpr WfStatus kInvalidHandle = kWfInvalidHandle;       // a notification's event
inline constexpr WfStatus kNotEnoughMemory = kWfNotEnoughMemory;
inline constexpr WfStatus kInvalidDrive = kWfInvalidDrive;       // no such volume, or not protected now
inline constexpr WfStatus kInvalidParameter = kWfInvalidParameter;   // threshold out of range, null pointers
inline constexpr WfStatus kNoMoreFiles = kWfNoMoreFiles;        // a cache search's end
inline constexpr WfStatus kWriteProtect = kWfWriteProtect;       // the state folder is on a read-only file system
inline constexpr WfStatus kDiskFull = kWfDiskFull;          // the overlay is full; config would pass its read limit
inline constexpr WfStatus kInvalidName = kWfInvalidName;       // malformed volume or path
inline constexpr WfStatus kMoreData = kWfMoreData;          // a buffer too small: the size needed is given
inline constexpr WfStatus kTimeout = kWfTimeout;          // the state folder's lock stayed held
inline constexpr WfStatus kFileCorrupt = kWfFileCorrupt;      // config or faults can't be parsed

struct CodeMeaning {
  WfStatus code;
  const char* meaning;  // in the simulation

  std::string_view name() const { return FindWfCode(code)->name; }
};

// Every code a call can end with against the stand-in, for fbwfsim codes;
// each is in the library's list of codes.
inline constexpr CodeMeaning kCodeMeanings[] = {
    {kInvalidFunction,
     "the filter is not enabled for the next session (or, for queries of the overlay, in this "
     "one); no cache search is open; or commit or restore of a write-through path, or of a "
     "file with no copy on the disk"},
    {kFileNotFound,
     "the exclusion is not listed; the file is not in the cache, or names nothing or a folder; "
     "or a cache search finds nothing cached on the volume"},
    {kAccessDenied,
     "the state folder or a file in it can't be used (a change without write permission "
     "among them); a write would make a path both a file "
     "and a folder; or restore of a file that is on the disk but not in the cache"},
    {kTooManyOpenFiles,
     "a notification can't be registered: no descriptor or handle is left to hold its event"},
    {kInvalidHandle, "a notification's event is null or not an event"},
    {kNotEnoughMemory, "the stand-in ran out of memory"},
    {kInvalidDrive,
     "no such volume, or the volume is not protected in the session the call needs"},
    {kInvalidParameter,
     "a threshold outside the release's range, a size display above 1, a notification level of "
     "0 or above the threshold, or a null pointer"},
    {kNoMoreFiles, "a cache search has no more files"},
    {kWriteProtect,
     "a change, with the state folder on a read-only file system (queries still work)"},
    {kDiskFull,
     "the overlay is full: a program's write to a protected volume would take it past the "
     "threshold; or a change would take config past its read limit of 16 MiB"},
    {kInvalidName,
     "a malformed volume or path: not C: or \\dir\\file, a device name, or a link on the way"},
    {kMoreData, "the buffer is too small; the size it needs is given back"},
    {kWfModuleNotFound, "vorlen found no write filter library (not the stand-in's own)"},
    {kWfProcedureNotFound, "the library lacks the function (not the stand-in's own)"},
    {kFileCorrupt, "config or faults does not parse, or is over its read limit"},
    {kTimeout,
     "the state folder stayed busy: another process held its lock for 30 seconds"},
};

constexpr bool AllInTheLibrarysList() {
  for (const CodeMeaning& code : kCodeMeanings) {
    if (FindWfCode(code.code) == nullptr) return false;
  }
  return true;
}
static_assert(AllInTheLibrarysList(), "a code the library's list does not name");

// A code and, where the code alone would leave a user guessing, the cause in
// words for fbwfsim's messages. The library hands on only the code.
struct Outcome {
  WfStatus code = kOk;
  std::string cause;

  Outcome(WfStatus status = kOk, std::string why = {}) : code(status), cause(std::move(why)) {}
  bool ok() const { return code == kOk; }
};

}  // namespace wfsim
