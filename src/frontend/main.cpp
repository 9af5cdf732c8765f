#include <cstdio>

#include "frontend/console_output.h"
#include "frontend/vorlen.h"
#include "text/windows_arguments.h"
#include "wfapi/library_write_filter.h"

#ifdef _WIN32

namespace {

struct Arguments {
  int argc;
  wchar_t** units;
};

int Run(std::FILE* into, bool utf8, void* context) {
  const Arguments& arguments = *static_cast<const Arguments*>(context);
  text::NarrowArguments typed(arguments.argc, arguments.units, utf8 ? CP_UTF8 : CP_ACP);
  LibraryWriteFilter filter;
  return RunVorlen({arguments.argc, typed.argv(), arguments.units}, filter, into);
}

}  // namespace

int wmain(int argc, wchar_t** units) {
  text::SystemConsole console;
  Arguments arguments{argc, units};
  return RunToConsoleOr(console, stdout, Run, &arguments);
}

#else

int main(int argc, char** argv) {
  LibraryWriteFilter filter;
  return RunVorlen({argc, argv}, filter, stdout);
}

#endif
