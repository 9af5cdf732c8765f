#include "frontend/vorlen.h"

#include <cstring>

#include "frontend/command_table.h"
#include "frontend/operands.h"

namespace {

const CommandRow* FindCommand(const char* option) {
  for (const CommandRow& row : CommandTable) {
    if (std::strcmp(row.option, option) == 0) return &row;
  }
  return nullptr;
}

void Refuse(std::FILE* out, const char* name, const char* problem) {
  std::fprintf(out, "Error: operand %s %s\n", name, problem);
  PrintUsage(out);
}

// Takes the operand at `position` as typed and its wide text. A missing
// operand is never read from past the end of the vector.
template <std::size_t Capacity, std::size_t Limit>
bool TakeText(const CommandLine& line, int position, const char* name, const char*& arg,
              WideText<Capacity, Limit>& text, std::FILE* out) {
  if (position >= line.argc) {
    Refuse(out, name, "is missing");
    return false;
  }
  arg = line.argv[position];
  const bool fits = line.units != nullptr ? Widen(line.units[position], text) : Widen(arg, text);
  if (!fits) {
    char problem[48];
    std::snprintf(problem, sizeof problem, "is longer than %u characters",
                  static_cast<unsigned>(Limit));
    Refuse(out, name, problem);
    return false;
  }
  return true;
}

// Fills the row's operands; on a refusal it has printed why and the usage.
bool TakeOperands(OperandKind kind, const CommandLine& line, Invocation& run) {
  switch (kind) {
    case OperandKind::kNone:
      return true;
    case OperandKind::kVolume:
      return TakeText(line, 2, "<volume>", run.volume_arg, run.volume, run.out);
    case OperandKind::kCacheSize:
      if (line.argc <= 2) {
        Refuse(run.out, "<cache size>", "is missing");
        return false;
      }
      run.cache_size = ParseCacheSize(line.argv[2]);
      return true;
    case OperandKind::kDriveAndPath:
      return TakeText(line, 2, "<drive>", run.volume_arg, run.volume, run.out) &&
             TakeText(line, 3, "<file or path>", run.path_arg, run.path, run.out);
  }
  return false;
}

}  // namespace

int RunVorlen(const CommandLine& line, WriteFilter& filter, std::FILE* out) {
  std::fputs("\nVORLEN - FBWF API Example\n", out);
  std::fputs("Controls the File-Based Write Filter through its API library.\n\n", out);
  if (line.argc < 2) {
    PrintUsage(out);
    return 1;
  }
  const char* option = line.argv[1];
  if (const CommandRow* row = FindCommand(option)) {
    Invocation run{out, filter};
    if (TakeOperands(row->operands, line, run)) row->handler(run);
  }
  if (std::strcmp(option, "-?") == 0 || std::strcmp(option, "-help") == 0) PrintUsage(out);
  return 0;
}
