#pragma once

#include <cstdio>

#include "wfapi/write_filter.h"

// The arguments as the runtime hands them over: the bytes as typed, which
// messages echo, and where the system keeps the command line in 16-bit units
// (Windows), the same arguments as those units, which reach the library
// unchanged. Without units, operands are read from the bytes as UTF-8.
struct CommandLine {
  int argc;
  const char* const* argv;
  const WfChar* const* units = nullptr;
};

// One run of the tool: banner, at most one command, usage when asked for.
// Returns the exit status: 1 when no option is given, 0 otherwise.
int RunVorlen(const CommandLine& line, WriteFilter& filter, std::FILE* out);
