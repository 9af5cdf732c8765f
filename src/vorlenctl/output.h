// vorlenctl's text, in UTF-8. On a Windows console it is written as 16-bit
// units, so names show as they are whatever the console's code page;
// redirected to a file or a pipe it keeps its bytes.
#pragma once

#include <cstdio>
#include <string_view>

namespace ctl {

void Emit(std::FILE* stream, std::string_view utf8);

}  // namespace ctl
