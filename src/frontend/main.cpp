#include <cstdio>

#include "frontend/vorlen.h"
#include "wfapi/library_write_filter.h"

int main(int argc, char** argv) {
  LibraryWriteFilter filter;
  return RunVorlen(argc, argv, filter, stdout);
}
