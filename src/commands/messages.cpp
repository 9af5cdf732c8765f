#include "commands/commands.h"

void PrintRebootNotice(std::FILE* out) { std::fputs("Reboot system for change to take effect\n", out); }

// Codes are shown in signed decimal: 0xFFFFFFFF reads "Error -1 ".
void PrintErrorCodeLine(std::FILE* out, WfStatus status) {
  std::fprintf(out, "Error %d \n", static_cast<int>(static_cast<std::int32_t>(status)));
}
