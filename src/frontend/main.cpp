#include <cstdio>

#include "frontend/vorlen.h"
#include "frontend/windows_arguments.h"
#include "wfapi/library_write_filter.h"

#ifdef _WIN32

int wmain(int argc, wchar_t** units) {
  NarrowArguments typed(argc, units);
  LibraryWriteFilter filter;
  return RunVorlen({argc, typed.argv(), units}, filter, stdout);
}

#else

int main(int argc, char** argv) {
  LibraryWriteFilter filter;
  return RunVorlen({argc, argv}, filter, stdout);
}

#endif
