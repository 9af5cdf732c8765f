// fbwfsim: acts on the simulated write filter where vorlen can't: reboots,
// programs' reads and writes, the whole state at a glance, injected failures.
#include <charconv>
#include <exception>
#include <new>
#include <vector>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "frontend/windows_arguments.h"
#include "wfsim/codes.h"
#include "wfsim/machine.h"
#include "wfsim/text.h"

namespace {

using namespace wfsim;

constexpr const char* kHelp =
    "usage: fbwfsim COMMAND [ARGUMENTS]\n"
    "Acts on the simulated write filter that the stand-in library keeps in its\n"
    "state folder ($FBWFSIM_DIR, else $XDG_STATE_HOME/fbwfsim, else\n"
    "~/.local/state/fbwfsim; on Windows %LOCALAPPDATA%\\fbwfsim).\n"
    "\n"
    "  reset [--release NAME]     make the machine new: everything off, the release's\n"
    "                             default threshold, empty disks C and D; releases:\n"
    "                             xpe (the default), wes2009, wes7-x86, wes7-x64,\n"
    "                             we8-x86, we8-x64\n"
    "  reboot                     start a new session: the next session's settings\n"
    "                             become current and the cache is emptied\n"
    "  show                       both sessions' settings, exclusions, cached files\n"
    "  write VOLUME PATH [TEXT]   write a file as a program would (TEXT, else\n"
    "                             standard input): into the cache or onto the disk\n"
    "  read VOLUME PATH           print a file as a program would read it\n"
    "  fail FUNCTION CODE [COUNT] the next COUNT calls (1) of the library function\n"
    "                             return CODE and change nothing\n"
    "  --help                     this text\n"
    "\n"
    "VOLUME is a drive such as C:; PATH starts at its root, such as \\data\\a.txt.\n";

int Usage() {
  std::fputs(kHelp, stderr);
  return 2;
}

// Names the cause where there is one; the code's meaning otherwise.
int Fail(const StateFolder& state, const Outcome& outcome) {
  if (!outcome.cause.empty()) {
    std::fprintf(stderr, "fbwfsim: %s\n", outcome.cause.c_str());
    return 1;
  }
  switch (outcome.code) {
    case kInvalidName:
      std::fprintf(stderr, "fbwfsim: not a volume such as C: or not a path such as \\dir\\file\n");
      break;
    case kInvalidDrive:
      std::fprintf(stderr, "fbwfsim: no such volume in %s\n", (state.dir() / "volumes").string().c_str());
      break;
    case kFileNotFound:
      std::fprintf(stderr, "fbwfsim: no such file\n");
      break;
    default:
      std::fprintf(stderr, "fbwfsim: failed with code %u\n", static_cast<unsigned>(outcome.code));
  }
  return 1;
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

std::string Volumes(const SessionConfig& session) {
  if (session.protected_volumes.empty()) return "-";
  std::string list;
  for (char volume : session.protected_volumes) {
    if (!list.empty()) list += ' ';
    (list += volume) += ':';
  }
  return session.filter ? list : list + " (filter off)";
}

void PrintExclusions(const char* heading, const SessionConfig& session) {
  std::printf("%s\n", heading);
  if (session.exclusions.empty()) std::printf("  (none)\n");
  for (const Exclusion& e : session.exclusions) std::printf("  %c:%s\n", e.volume, e.path.c_str());
}

int Show(StateFolder& state) {
  Machine machine(state);
  std::vector<CachedFile> files;
  std::vector<Fault> faults;
  Outcome outcome = machine.CachedFiles(files);
  if (outcome.ok()) outcome = state.Faults(faults);
  if (outcome.ok()) outcome = state.Read(ParseScope::kAll, [&](const Config& config) {
    const SessionConfig& now = config.current;
    const SessionConfig& next = config.next;
    std::printf("release         %s (%s)\n", config.release->name, config.release->systems);
    std::printf("state folder    %s\n\n", state.dir().string().c_str());
    std::printf("%-16s%-16s%s\n", "", "current", "next");
    std::printf("%-16s%-16s%s\n", "filter", OnOff(now.filter), OnOff(next.filter));
    std::printf("%-16s%-16s%s\n", "compression", OnOff(now.compression), OnOff(next.compression));
    std::printf("%-16s%-16s%s\n", "preallocation", OnOff(now.preallocation), OnOff(next.preallocation));
    std::printf("%-16s%-16u%u\n", "threshold (MB)", static_cast<unsigned>(now.threshold),
                static_cast<unsigned>(next.threshold));
    std::printf("%-16s%-16s%s\n\n", "protected", Volumes(now).c_str(), Volumes(next).c_str());
    PrintExclusions("exclusions in this session:", now);
    PrintExclusions("exclusions from the next session:", next);
    std::printf("files in the cache:\n");
    if (files.empty()) std::printf("  (none)\n");
    for (const CachedFile& file : files) {
      std::printf("  %s (%ju bytes)\n", file.name.c_str(), file.size);
    }
    for (const Fault& fault : faults) {
      std::printf("injected: %s returns %u, %u more time(s)\n", fault.function.c_str(),
                  static_cast<unsigned>(fault.code), static_cast<unsigned>(fault.count));
    }
    return Outcome(kOk);
  });
  return outcome.ok() ? 0 : Fail(state, outcome);
}

std::string ReadStandardInput() {
  std::string content;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) content.append(buffer, got);
  return content;
}

// The operands as the library gets them: on Windows the system's own units,
// elsewhere the bytes decoded as vorlen decodes them.
struct Arguments {
  int argc;
  char** argv;
  const WfChar* const* units = nullptr;

  std::u16string Operand(int i) const {
    if (units == nullptr) return OperandUnits(argv[i]);
    std::u16string text;
    for (const WfChar* p = units[i]; *p != 0; ++p) text.push_back(static_cast<char16_t>(*p));
    return text;
  }
};

int Write(StateFolder& state, const Arguments& args) {
  const int argc = args.argc;
  char** argv = args.argv;
  if (argc < 4 || argc > 5) return Usage();
  const std::string content = argc == 5 ? std::string(argv[4]) : ReadStandardInput();
  bool cached = false;
  const Outcome outcome = Machine(state).Write(args.Operand(2), args.Operand(3), content, cached);
  if (!outcome.ok()) return Fail(state, outcome);
  std::fprintf(stderr, "fbwfsim: wrote %s on %s to the %s\n", argv[3], argv[2],
               cached ? "cache" : "disk");
  return 0;
}

int Read(StateFolder& state, const Arguments& args) {
  if (args.argc != 4) return Usage();
  std::string content;
  const Outcome outcome = Machine(state).ReadFile(args.Operand(2), args.Operand(3), content);
  if (!outcome.ok()) return Fail(state, outcome);
  std::fwrite(content.data(), 1, content.size(), stdout);
  return 0;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

int InjectFault(StateFolder& state, int argc, char** argv) {
  if (argc < 4 || argc > 5) return Usage();
  const std::string_view function = argv[2];
  bool known = false;
  for (std::string_view name : kFunctionNames) known = known || name == function;
  Fault fault{std::string(function), 0, 1};
  if (!known) {
    std::fprintf(stderr, "fbwfsim: %s is not a function of the library\n", argv[2]);
    return 2;
  }
  if (!ParseNumber(argv[3], fault.code) || (argc == 5 && (!ParseNumber(argv[4], fault.count) || fault.count == 0))) {
    std::fprintf(stderr, "fbwfsim: CODE must be a number from 0 to 4294967295, COUNT from 1\n");
    return 2;
  }
  const Outcome outcome = state.AddFault(fault);
  return outcome.ok() ? 0 : Fail(state, outcome);
}

int Reset(StateFolder& state, int argc, char** argv) {
  const Release* release = &kReleases[0];
  if (argc == 4 && std::string_view(argv[2]) == "--release") {
    release = FindRelease(argv[3]);
    if (release == nullptr) {
      std::fprintf(stderr, "fbwfsim: unknown release '%s'; the releases are:\n", argv[3]);
      for (const Release& known : kReleases) std::fprintf(stderr, "  %-10s %s\n", known.name, known.systems);
      return 2;
    }
  } else if (argc != 2) {
    return Usage();
  }
  const Outcome outcome = state.Reset(*release);
  return outcome.ok() ? 0 : Fail(state, outcome);
}

int Main(const Arguments& args) {
  const int argc = args.argc;
  char** argv = args.argv;
  UseBinaryStandardStreams();
  if (argc < 2) return Usage();
  const std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelp, stdout);
    return 0;
  }
  const auto dir = StateFolderFromEnvironment();
  if (!dir) {
    std::fprintf(stderr, "fbwfsim: no state folder: set FBWFSIM_DIR\n");
    return 1;
  }
  StateFolder state(*dir);
  if (const Outcome prepared = state.Prepare(); !prepared.ok()) return Fail(state, prepared);
  if (command == "reboot" && argc == 2) {
    const Outcome outcome = Machine(state).Reboot();
    return outcome.ok() ? 0 : Fail(state, outcome);
  }
  if (command == "show" && argc == 2) return Show(state);
  if (command == "reset") return Reset(state, argc, argv);
  if (command == "write") return Write(state, args);
  if (command == "read") return Read(state, args);
  if (command == "fail") return InjectFault(state, argc, argv);
  return Usage();
}

// What the library's functions catch ends a run with a message, not an abort.
int Guarded(const Arguments& args) {
  try {
    return Main(args);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "fbwfsim: out of memory\n");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fbwfsim: %s\n", error.what());
  }
  return 1;
}

}  // namespace

#ifdef _WIN32

int wmain(int argc, wchar_t** units) {
  NarrowArguments typed(argc, units);
  return Guarded({argc, typed.argv(), units});
}

#else

int main(int argc, char** argv) { return Guarded({argc, argv}); }

#endif
