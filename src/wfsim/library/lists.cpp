#include "wfsim/library/lists.h"

#include <cstring>

namespace wfsim {

Outcome CopyList(const std::vector<std::u16string>& names, void* buffer, WfUlong* size) {
  std::size_t units = 1;
  for (const std::u16string& name : names) units += name.size() + 1;
  const auto needed = static_cast<WfUlong>(units * sizeof(WfChar));
  const WfUlong given = *size;
  *size = needed;
  if (given < needed) return kMoreData;
  if (buffer == nullptr) return kInvalidParameter;
  auto* out = static_cast<char*>(buffer);
  for (const std::u16string& name : names) {
    std::memcpy(out, name.data(), name.size() * sizeof(WfChar));
    out += name.size() * sizeof(WfChar);
    out = static_cast<char*>(std::memset(out, 0, sizeof(WfChar))) + sizeof(WfChar);
  }
  std::memset(out, 0, sizeof(WfChar));
  return kOk;
}

}  // namespace wfsim
