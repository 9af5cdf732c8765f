// How fbwfsim reads its arguments.
#include <cstdint>

#include "wfsim/fbwfsim/fbwfsim.h"
#include "wfsim/state/text.h"

namespace wfsim {

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
