#pragma once

#include <cstdio>

#include "wfapi/write_filter.h"

// One run of the tool: banner, at most one command, usage when asked for.
// Returns the exit status: 1 when no option is given, 0 otherwise.
int RunVorlen(int argc, const char* const* argv, WriteFilter& filter, std::FILE* out);
