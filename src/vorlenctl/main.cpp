// vorlenctl's entry: its command line in UTF-8, the device's library, the
// standard streams.
#include <string>
#include <vector>

#include "vorlenctl/command.h"

#ifdef _WIN32
#include "text/windows_arguments.h"
#endif

namespace {

int Main(int argc, char** argv) {
  LoadedLibrary library;
  ctl::Context context{library, stdout, stderr};
  return ctl::RunVorlenctl(context, ctl::CommandLineOf(argc > 0 ? argv[0] : "", {argv + 1, argv + argc}));
}

}  // namespace

#ifdef _WIN32
// Operands in UTF-8, as every text of the program is: file names are opened
// by their 16-bit units (see OpenForReading), so any name is reached.
int wmain(int argc, wchar_t** units) {
  text::NarrowArguments typed(argc, units, CP_UTF8);
  return Main(argc, typed.argv());
}
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
