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
inline constexpr WfStatus kInvalidHandle = 6;       // a notification's event
inline constexpr WfStatus kNotEnoughMemory = 8;
inline constexpr WfStatus kInvalidDrive = 15;       // no such volume, or not protected now
inline constexpr WfStatus kInvalidParameter = 87;   // threshold out of range, null pointers
inline constexpr WfStatus kNoMoreFiles = 18;        // a cache search's end
inline constexpr WfStatus kWriteProtect = 19;       // the state folder is on a read-only file system
inline constexpr WfStatus kDiskFull = 112;          // the overlay is full; config would pass its read limit
inline constexpr WfStatus kInvalidName = 123;       // malformed volume or path
inline constexpr WfStatus kMoreData = 234;          // a buffer too small: the size needed is given
inline constexpr WfStatus kTimeout = 1460;          // the state folder's lock stayed held
inline constexpr WfStatus kFileCorrupt = 1392;      // config or faults can't be parsed

struct CodeMeaning {
  WfStatus code;
  const char* name;     // the platform's
  const char* meaning;  // in the simulation
};

// Every code a call can end with against the stand-in, for fbwfsim codes.
inline constexpr CodeMeaning kCodeMeanings[] = {
    {kInvalidFunction, "ERROR_INVALID_FUNCTION",
     "the filter is not enabled for the next session (or, for queries of the overlay, in this "
     "one); no cache search is open; or commit or restore of a write-through path, or of a "
     "file with no copy on the disk"},
    {kFileNotFound, "ERROR_FILE_NOT_FOUND",
     "the exclusion is not listed; the file is not in the cache, or names nothing or a folder; "
     "or a cache search finds nothing cached on the volume"},
    {kAccessDenied, "ERROR_ACCESS_DENIED",
     "the state folder or a file in it can't be used (a change without write permission "
     "among them); a write would make a path both a file "
     "and a folder; or restore of a file that is on the disk but not in the cache"},
    {kInvalidHandle, "ERROR_INVALID_HANDLE", "a notification's event is null or not an event"},
    {kNotEnoughMemory, "ERROR_NOT_ENOUGH_MEMORY", "the stand-in ran out of memory"},
    {kInvalidDrive, "ERROR_INVALID_DRIVE",
     "no such volume, or the volume is not protected in the session the call needs"},
    {kInvalidParameter, "ERROR_INVALID_PARAMETER",
     "a threshold outside the release's range, a size display above 1, a notification level of "
     "0 or above the threshold, or a null pointer"},
    {kNoMoreFiles, "ERROR_NO_MORE_FILES", "a cache search has no more files"},
    {kWriteProtect, "ERROR_WRITE_PROTECT",
     "a change, with the state folder on a read-only file system (queries still work)"},
    {kDiskFull, "ERROR_DISK_FULL",
     "the overlay is full: a program's write to a protected volume would take it past the "
     "threshold; or a change would take config past its read limit of 16 MiB"},
    {kInvalidName, "ERROR_INVALID_NAME",
     "a malformed volume or path: not C: or \\dir\\file, a device name, or a link on the way"},
    {kMoreData, "ERROR_MORE_DATA", "the buffer is too small; the size it needs is given back"},
    {kWfModuleNotFound, "ERROR_MOD_NOT_FOUND", "vorlen found no write filter library (not the stand-in's own)"},
    {kWfProcedureNotFound, "ERROR_PROC_NOT_FOUND", "the library lacks the function (not the stand-in's own)"},
    {kFileCorrupt, "ERROR_FILE_CORRUPT", "config or faults does not parse, or is over its read limit"},
    {kTimeout, "ERROR_TIMEOUT",
     "the state folder stayed busy: another process held its lock for 30 seconds"},
};

// A code and, where the code alone would leave a user guessing, the cause in
// words for fbwfsim's messages. The library hands on only the code.
struct Outcome {
  WfStatus code = kOk;
  std::string cause;

  Outcome(WfStatus status = kOk, std::string why = {}) : code(status), cause(std::move(why)) {}
  bool ok() const { return code == kOk; }
};

}  // namespace wfsim
