// fbwfsim: acts on the simulated write filter where vorlen can't: a new
// machine, reboots, programs' reads and writes, the whole state at a glance,
// injected failures, and what the codes mean.
#include "wfsim/fbwfsim/fbwfsim.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <map>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "text/windows_arguments.h"
#include "wfsim/base/text.h"
#include "wfsim/machine/machine.h"
#include "wfsim/state/files.h"

namespace wfsim {

#ifdef _WIN32
#define kQuoting "Quote a path with spaces in double quotes: fbwfsim read C: \"\\data\\a b.txt\"."
#else
#define kQuoting "Quote paths in a shell: fbwfsim read C: '\\data\\a.txt'."
#endif

int Fail(const StateFolder& state, const Outcome& outcome, const std::string& subject) {
  if (!outcome.cause.empty()) {
    std::fprintf(stderr, "fbwfsim: %s\n", outcome.cause.c_str());
  } else if (outcome.code == kInvalidName) {
    std::fprintf(stderr, "fbwfsim: not a volume such as C: or not a path such as \\dir\\file\n");
  } else if (outcome.code == kInvalidDrive) {
    std::fprintf(stderr, "fbwfsim: no such volume in %s\n", (state.dir() / files::kVolumes).string().c_str());
  } else if (outcome.code == kFileNotFound) {
    std::fprintf(stderr, "fbwfsim: no such file or folder%s%s\n", subject.empty() ? "" : ": ", subject.c_str());
  } else {
    std::fprintf(stderr, "fbwfsim: failed with code %u (see 'fbwfsim codes %u')\n",
                 static_cast<unsigned>(outcome.code), static_cast<unsigned>(outcome.code));
  }
  // A quote the shell did not take away is part of the name.
  if (outcome.code == kInvalidName && subject.find_first_of("'\"") != std::string::npos) {
    std::fprintf(stderr, "fbwfsim: %s\n", kQuoting);
  }
  return 1;
}

namespace {


constexpr const char* kUsage =
    "usage: fbwfsim COMMAND [ARGUMENTS]\n"
    "Acts on the simulated write filter that the stand-in library keeps in its\n"
#ifdef _WIN32
    "state folder (%FBWFSIM_DIR%, else %LOCALAPPDATA%\\fbwfsim; on XP the local\n"
    "application data folder's fbwfsim, else %APPDATA%\\fbwfsim).\n"
#else
    "state folder ($FBWFSIM_DIR, else $XDG_STATE_HOME/fbwfsim, else\n"
    "~/.local/state/fbwfsim).\n"
#endif
    "\n"
    "  reset [--release NAME] [--capacity C:SIZE]... [--size-display actual|virtual]\n"
    "                             make the machine new: everything off, the release's\n"
    "                             default threshold, empty disks C (8G) and D (2G),\n"
    "                             actual sizes shown; releases: xpe (the default),\n"
    "                             wes2009, wes7-x86, wes7-x64, we8-x86, we8-x64;\n"
    "                             SIZE in bytes or with K, M, G or T, such as 512M\n"
    "  reboot                     start a new session: the next session's settings\n"
    "                             become current and the cache is emptied\n"
    "  show [--json]              both sessions' settings, exclusions, cached files,\n"
    "                             the overlay's use, the volumes' sizes, pending\n"
    "                             faults; --json as one JSON document\n"
    "  overlay [VOLUME]           each cached file's size in the overlay and open\n"
    "                             handles, then the overlay's totals\n"
    "  ls VOLUME [PATH]           the files and folders a program sees there, each\n"
    "                             from the disk or the cache, with its size\n"
    "  write VOLUME PATH [TEXT]   write a file as a program would (TEXT, else\n"
    "                             standard input): into the cache or onto the disk;\n"
    "                             refused when the overlay has no room for it\n"
    "  read VOLUME PATH           print a file as a program would read it\n"
    "  fail FUNCTION CODE [COUNT] the next COUNT calls (1) of the library function\n"
    "                             return CODE (not 0) and change nothing\n"
    "  fail                       list the pending faults\n"
    "  fail --clear               remove them all\n"
    "  calls [--failed | --clear] the library's calls, each with its arguments and\n"
    "                             result (the last 10,000); --failed only those that\n"
    "                             returned an error, with status 1 if there are any;\n"
    "                             --clear empties the journal\n"
    "  codes [CODE]               what each code the stand-in returns means\n"
    "  --version                  the version\n"
    "  --help                     this text\n"
    "\n"
    "VOLUME is a drive such as C:; PATH starts at its root, such as \\data\\a.txt.\n"
    kQuoting "\n"
    "FUNCTION is one of the library's:\n";

// The usage text, then the library's functions in lines of at most 81 columns.
int Usage(std::FILE* out, int status) {
  std::fputs(kUsage, out);
  std::string line;
  for (std::string_view name : kWfFunctionNames) {
    if (line.size() + 1 + name.size() > 81) {
      std::fprintf(out, "%s\n", line.c_str());
      line.clear();
    }
    (line += line.empty() ? "  " : " ") += name;
  }
  std::fprintf(out, "%s\n", line.c_str());
  return status;
}

int UnknownRelease(const char* name) {
  std::fprintf(stderr, "fbwfsim: unknown release '%s'; the releases are:\n", name);
  for (const Release& known : kReleases) std::fprintf(stderr, "  %-10s %s\n", known.name, known.systems);
  return 2;
}

// Bytes as they were most likely given: 8G, 512M, 4096.
std::string SizeText(std::uint64_t bytes) {
  const char* const suffixes = "KMGT";
  int shift = 0;
  while (shift < 4 && bytes >= 1024 && bytes % 1024 == 0) {
    bytes /= 1024;
    ++shift;
  }
  return std::to_string(bytes) + (shift == 0 ? std::string() : std::string(1, suffixes[shift - 1]));
}

// reset [--release NAME] [--capacity C:SIZE]... [--size-display actual|virtual]:
// each option word, then its value as a word of its own; anything else is
// refused before the machine is touched.
int Reset(StateFolder& state, const Arguments& args) {
  if (args.count % 2 != 0) return -1;
  const Release* release = &kReleases[0];
  std::map<char, std::uint64_t> capacities;
  bool virtual_size = false, release_given = false, display_given = false;
  for (int i = 0; i < args.count; i += 2) {
    const std::string_view option = args.typed[i], value = args.typed[i + 1];
    if (option == "--release" && !release_given) {
      release_given = true;
      release = FindRelease(value);
      if (release == nullptr) return UnknownRelease(args.typed[i + 1]);
    } else if (option == "--capacity") {
      const char volume = value.size() > 2 && value[1] == ':' ? static_cast<char>(value[0] & ~0x20) : 0;
      if ((volume != 'C' && volume != 'D') || capacities.count(volume) != 0 ||
          !ParseSize(value.substr(2), capacities[volume])) {
        return -1;
      }
    } else if (option == "--size-display" && (value == "actual" || value == "virtual") && !display_given) {
      display_given = true;
      virtual_size = value == "virtual";
    } else {
      return -1;
    }
  }
  Config fresh = Config::Fresh(*release);
  for (const auto& [volume, bytes] : capacities) fresh.capacities[volume] = bytes;
  fresh.current.virtual_size = fresh.next.virtual_size = virtual_size;
  const Outcome outcome = state.Reset(fresh);
  if (!outcome.ok()) return Fail(state, outcome);
  Print("a new machine: %s (%s), C: of %s and D: of %s, threshold %u MB, %s sizes shown\n", release->name,
              release->systems, SizeText(fresh.Capacity('C')).c_str(), SizeText(fresh.Capacity('D')).c_str(),
              static_cast<unsigned>(fresh.next.threshold), virtual_size ? "virtual" : "actual");
  return 0;
}

int Reboot(StateFolder& state, const Arguments&) {
  const Outcome outcome = Machine(state).Reboot();
  return outcome.ok() ? 0 : Fail(state, outcome);
}

std::string ReadStandardInput() {
  std::string content;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) content.append(buffer, got);
  return content;
}

int Write(StateFolder& state, const Arguments& args) {
  const std::string content = args.count == 3 ? std::string(args.typed[2]) : ReadStandardInput();
  bool cached = false;
  const Outcome outcome = Machine(state).Write(args.Operand(0), args.Operand(1), content, cached);
  if (!outcome.ok()) return Fail(state, outcome, std::string(args.typed[0]) + args.typed[1]);
  std::fprintf(stderr, "fbwfsim: wrote %s on %s to the %s\n", args.typed[1], args.typed[0],
               cached ? "cache" : "disk");
  return 0;
}

int Read(StateFolder& state, const Arguments& args) {
  std::string content;
  const Outcome outcome = Machine(state).ReadFile(args.Operand(0), args.Operand(1), content);
  if (!outcome.ok()) return Fail(state, outcome, std::string(args.typed[0]) + args.typed[1]);
  std::fwrite(content.data(), 1, content.size(), stdout);
  return 0;
}

int ListFaults(StateFolder& state) {
  std::vector<Fault> faults;
  if (const Outcome read = state.Faults(faults); !read.ok()) return Fail(state, read);
  if (faults.empty()) Print("no pending faults\n");
  for (const Fault& fault : faults) {
    Print("%-32s returns %u, %u more time%s\n", fault.function.c_str(),
                static_cast<unsigned>(fault.code), static_cast<unsigned>(fault.count),
                fault.count == 1 ? "" : "s");
  }
  return 0;
}

int InjectFault(StateFolder& state, const Arguments& args) {
  if (args.count == 0) return ListFaults(state);
  if (args.count == 1) {
    if (std::string_view(args.typed[0]) != "--clear") return -1;
    const Outcome cleared = state.ClearFaults();
    return cleared.ok() ? 0 : Fail(state, cleared);
  }
  // Named in any case; kept as the library spells it.
  const auto known = std::find_if(std::begin(kWfFunctionNames), std::end(kWfFunctionNames),
                                  [&](std::string_view name) { return SameAscii(name, args.typed[0]); });
  if (known == std::end(kWfFunctionNames)) {
    std::fprintf(stderr, "fbwfsim: %s is not a function of the library (see fbwfsim --help)\n", args.typed[0]);
    return 2;
  }
  const std::string_view function = *known;
  Fault fault{std::string(function), 0, 1};
  if (!ParseNumber(args.typed[1], fault.code) || fault.code == 0 ||
      (args.count == 3 && (!ParseNumber(args.typed[2], fault.count) || fault.count == 0))) {
    std::fprintf(stderr, "fbwfsim: CODE must be a number from 1 to 4294967295, COUNT from 1\n");
    return 2;
  }
  const Outcome outcome = state.AddFault(fault);
  return outcome.ok() ? 0 : Fail(state, outcome);
}

// A journal line ends in " = CODE"; a failed call in a code other than 0.
bool Failed(std::string_view line) {
  const std::size_t equals = line.rfind(" = ");
  return equals != std::string_view::npos && line.substr(equals + 3) != "0";
}

// calls [--failed | --clear]: the journal of the library's calls. With
// --failed, only those that did not return 0, and status 1 if there are any
// or if some call could not be journaled.
int Calls(StateFolder& state, const Arguments& args) {
  const std::string_view option = args.count == 1 ? args.typed[0] : "";
  if (option == "--clear") {
    const Outcome cleared = state.ClearJournal();
    return cleared.ok() ? 0 : Fail(state, cleared);
  }
  if (!option.empty() && option != "--failed") return -1;
  std::vector<std::string> lines;
  bool incomplete = false;
  if (const Outcome read = state.JournalLines(lines, incomplete); !read.ok()) return Fail(state, read);
  bool any_failed = false;
  for (const std::string& line : lines) {
    const bool failed = Failed(line);
    any_failed = any_failed || failed;
    if (option.empty() || failed) Print("%s\n", line.c_str());
  }
  if (incomplete) {
    std::fprintf(stderr, "fbwfsim: the journal is incomplete: a call could not be recorded (a full disk, "
                         "a journal another user owns, or no memory left); calls --clear starts it afresh\n");
  }
  return option == "--failed" && (any_failed || incomplete) ? 1 : 0;
}

void PrintCode(const CodeMeaning& code) {
  Print("%-5u %-24s %s\n", static_cast<unsigned>(code.code), std::string(code.name()).c_str(), code.meaning);
}

int Codes(const Arguments& args) {
  if (args.count == 0) {
    for (const CodeMeaning& code : kCodeMeanings) PrintCode(code);
    return 0;
  }
  WfStatus wanted = 0;
  for (const CodeMeaning& code : kCodeMeanings) {
    if (ParseNumber(args.typed[0], wanted) && code.code == wanted) {
      PrintCode(code);
      return 0;
    }
  }
  std::fprintf(stderr, "fbwfsim: %s is not a code the stand-in returns (see fbwfsim codes)\n",
               args.typed[0]);
  return 1;
}

// To add a command: write its function above (it gets the arguments after
// its name and returns the exit status, or -1 for arguments it can't take),
// add a row here and a line to kUsage and to fbwfsim(1).
struct Command {
  const char* name;
  const char* synopsis;  // named when the arguments are wrong
  int min_args;
  int max_args;
  int (*on_state)(StateFolder&, const Arguments&);  // the others need no state folder
  int (*alone)(const Arguments&);
};

const Command kCommands[] = {
    {"reset", "reset [--release NAME] [--capacity C:SIZE]... [--size-display actual|virtual]", 0, 8,
     Reset, nullptr},
    {"reboot", "reboot", 0, 0, Reboot, nullptr},
    {"show", "show [--json]", 0, 1, Show, nullptr},
    {"overlay", "overlay [VOLUME]", 0, 1, Overlay, nullptr},
    {"ls", "ls VOLUME [PATH]", 1, 2, List, nullptr},
    {"write", "write VOLUME PATH [TEXT]", 2, 3, Write, nullptr},
    {"read", "read VOLUME PATH", 2, 2, Read, nullptr},
    {"fail", "fail [FUNCTION CODE [COUNT] | --clear]", 0, 3, InjectFault, nullptr},
    {"calls", "calls [--failed | --clear]", 0, 1, Calls, nullptr},
    {"codes", "codes [CODE]", 0, 1, nullptr, Codes},
    {"--help", "--help", 0, 0, nullptr, [](const Arguments&) { return Usage(stdout, 0); }},
    {"--version", "--version", 0, 0, nullptr, [](const Arguments&) {
       Print("fbwfsim (vorlen) %s\n", VORLEN_VERSION);
       return 0;
     }},
};

bool AsksForHelp(const Arguments& args) {
  if (args.count != 1) return false;
  const std::string_view word = args.typed[0];
  return word == "--help" || word == "-help" || word == "-h";
}

int Run(const Command& command, const Arguments& args) {
  if (AsksForHelp(args) && command.alone == nullptr) {
    Print("usage: fbwfsim %s\n", command.synopsis);
    return 0;
  }
  int status = -1;
  if (args.count >= command.min_args && args.count <= command.max_args) {
    if (command.alone != nullptr) {
      status = command.alone(args);
    } else if (const auto dir = StateFolderFromEnvironment(); !dir) {
      std::fprintf(stderr, "fbwfsim: no state folder: set FBWFSIM_DIR (or HOME)\n");
      return 1;
    } else {
      StateFolder state(*dir);
      if (const Outcome prepared = state.Prepare(); !prepared.ok()) return Fail(state, prepared);
      status = command.on_state(state, args);
    }
  }
  if (status >= 0) return status;
  std::fprintf(stderr, "fbwfsim: usage: fbwfsim %s\n", command.synopsis);
  return 2;
}

int Main(int argc, char** typed, const WfChar* const* units) {
  UseBinaryStandardStreams();
  if (argc < 2) return Usage(stderr, 2);
  std::string_view name = typed[1];
  if (name == "-h" || name == "-help" || name == "help") name = "--help";
  const Arguments args{argc - 2, typed + 2, units == nullptr ? nullptr : units + 2};
  for (const Command& command : kCommands) {
    if (name == command.name) return Run(command, args);
  }
  std::fprintf(stderr, "fbwfsim: unknown command '%s'\n", typed[1]);
  return Usage(stderr, 2);
}

// What the library's functions catch ends a run with a message, not an abort.
int Guarded(int argc, char** typed, const WfChar* const* units) {
  try {
    return Main(argc, typed, units);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "fbwfsim: out of memory\n");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fbwfsim: %s\n", error.what());
  }
  return 1;
}

}  // namespace
}  // namespace wfsim

#ifdef _WIN32

int wmain(int argc, wchar_t** units) {
  text::NarrowArguments typed(argc, units);
  text::SystemConsole console;
  wfsim::PrintTo(&console);
  return wfsim::Guarded(argc, typed.argv(), units);
}

#else

int main(int argc, char** argv) { return wfsim::Guarded(argc, argv, nullptr); }

#endif
