// How fbwfsim reads its arguments and writes for people.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "text/utf8.h"
#include "wfsim/base/text.h"
#include "wfsim/fbwfsim/fbwfsim.h"

namespace wfsim {

namespace {
text::Console* console_output = nullptr;
}  // namespace

void PrintTo(text::Console* console) { console_output = console != nullptr && console->IsConsole() ? console : nullptr; }

int Print(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  if (console_output == nullptr) {
    const int size = std::vprintf(format, args);
    va_end(args);
    return size;
  }
  std::va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string bytes(size > 0 ? static_cast<std::size_t>(size) + 1 : 1, '\0');
  if (size > 0) std::vsnprintf(bytes.data(), bytes.size(), format, again);
  va_end(again);
  std::u16string units;
  text::ForEachOperandUnit(bytes.c_str(), [&](char16_t unit) { units.push_back(unit); });
  std::fflush(stdout);
  console_output->Write(units);
  return size;
}

std::u16string Arguments::Operand(int i) const {
  if (units == nullptr) return OperandUnits(typed[i]);
  std::u16string text;
  for (const WfChar* p = units[i]; *p != 0; ++p) text.push_back(static_cast<char16_t>(*p));
  return text;
}

bool ParseSize(std::string_view text, std::uint64_t& bytes) {
  unsigned shift = 0;
  if (!text.empty()) {
    const std::string_view suffixes = "KMGT";
    if (const auto at = suffixes.find(text.back()); at != std::string_view::npos) {
      shift = 10 * static_cast<unsigned>(at + 1);
      text.remove_suffix(1);
    }
  }
  if (!ParseNumber(text, bytes) || bytes == 0 || bytes > (UINT64_MAX >> shift)) return false;
  bytes <<= shift;
  return true;
}

}  // namespace wfsim
