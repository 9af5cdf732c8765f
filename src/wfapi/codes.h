// The codes the library's functions end with: the platform's own Win32
// error codes, each with its name and what it means in a word or two. The
// one list that vorlenctl's messages, vorlen and the stand-in take them from.
#pragma once

#include <iterator>
#include <string_view>

#include "wfapi/wfapi.h"

inline constexpr WfStatus kWfOk = 0;
inline constexpr WfStatus kWfInvalidFunction = 1;
inline constexpr WfStatus kWfFileNotFound = 2;
inline constexpr WfStatus kWfTooManyOpenFiles = 4;
inline constexpr WfStatus kWfAccessDenied = 5;
inline constexpr WfStatus kWfInvalidHandle = 6;
inline constexpr WfStatus kWfNotEnoughMemory = 8;
inline constexpr WfStatus kWfInvalidDrive = 15;
inline constexpr WfStatus kWfNoMoreFiles = 18;
inline constexpr WfStatus kWfWriteProtect = 19;
inline constexpr WfStatus kWfInvalidParameter = 87;
inline constexpr WfStatus kWfDiskFull = 112;
inline constexpr WfStatus kWfInvalidName = 123;
inline constexpr WfStatus kWfMoreData = 234;
inline constexpr WfStatus kWfFileCorrupt = 1392;
inline constexpr WfStatus kWfTimeout = 1460;

struct WfCode {
  WfStatus code;
  std::string_view name;
  std::string_view brief;
};

inline constexpr WfCode kWfCodes[] = {
    {kWfOk, "ERROR_SUCCESS", "done"},
    {kWfInvalidFunction, "ERROR_INVALID_FUNCTION", "not allowed in the filter's state"},
    {kWfFileNotFound, "ERROR_FILE_NOT_FOUND", "not found"},
    {kWfTooManyOpenFiles, "ERROR_TOO_MANY_OPEN_FILES", "too many open files or handles"},
    {kWfAccessDenied, "ERROR_ACCESS_DENIED", "access denied"},
    {kWfInvalidHandle, "ERROR_INVALID_HANDLE", "invalid handle"},
    {kWfNotEnoughMemory, "ERROR_NOT_ENOUGH_MEMORY", "not enough memory"},
    {kWfInvalidDrive, "ERROR_INVALID_DRIVE", "no such volume, or not protected"},
    {kWfNoMoreFiles, "ERROR_NO_MORE_FILES", "no more files"},
    {kWfWriteProtect, "ERROR_WRITE_PROTECT", "write-protected"},
    {kWfInvalidParameter, "ERROR_INVALID_PARAMETER", "invalid parameter"},
    {kWfDiskFull, "ERROR_DISK_FULL", "no space left"},
    {kWfInvalidName, "ERROR_INVALID_NAME", "invalid name"},
    {kWfModuleNotFound, "ERROR_MOD_NOT_FOUND", "the library can't be found"},
    {kWfProcedureNotFound, "ERROR_PROC_NOT_FOUND", "the library lacks the function"},
    {kWfMoreData, "ERROR_MORE_DATA", "more data: the buffer is too small"},
    {kWfFileCorrupt, "ERROR_FILE_CORRUPT", "a file is corrupt"},
    {kWfTimeout, "ERROR_TIMEOUT", "timed out"},
};

// nullptr for a code not in the list.
constexpr const WfCode* FindWfCode(WfStatus code) {
  for (const WfCode& known : kWfCodes) {
    if (known.code == code) return &known;
  }
  return nullptr;
}
