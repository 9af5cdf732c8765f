#include "wfsim/base/paths.h"

#include "wfsim/base/text.h"

namespace wfsim {

std::string JoinPath(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += '\\' + name;
  return joined;
}

std::string PathKey(std::string_view utf8_path) { return FoldCaseUtf8(utf8_path); }

bool Covers(std::string_view excluded, std::string_view path) {
  if (!path.starts_with(excluded)) return false;
  return path.size() == excluded.size() || path[excluded.size()] == '\\';
}

}  // namespace wfsim
