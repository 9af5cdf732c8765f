// Where vorlen's text goes. A Windows console shows bytes through its OEM
// code page, which is not the ANSI code page that echoes are made in, so
// there the text is made in UTF-8, collected, and written as 16-bit units:
// an operand echoes as typed. Output that is redirected keeps its bytes
// exactly as before.
#pragma once

#include <cstdio>
#include <string>

#include "text/console.h"

using text::Console;

// Runs `run`, which writes to the stream it is given, in UTF-8 when told so,
// and returns its exit status: to `out` itself, or through `console`.
using WritingRun = int (*)(std::FILE* into, bool utf8, void* context);
int RunToConsoleOr(Console& console, std::FILE* out, WritingRun run, void* context);
