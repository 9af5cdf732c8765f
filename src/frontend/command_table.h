#pragma once

#include <array>

#include "commands/commands.h"

enum class OperandKind {
  kNone,
  kVolume,         // position 2: <volume>
  kCacheSize,      // position 2: <cache size>
  kDriveAndPath,   // position 2: <drive>, position 3: <file or path>
};

struct CommandRow {
  const char* option;
  OperandKind operands;
  CommandHandler handler;
};

// To add a command: write its handler in the family's file under commands/,
// declare it in commands.h, add a row here and a line to the usage text.
// Rows are compared in this order, exactly and case-sensitively.
extern const std::array<CommandRow, 17> CommandTable;
