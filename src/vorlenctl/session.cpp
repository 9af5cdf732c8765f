#include "vorlenctl/session.h"

#include <algorithm>

#include "text/unicode.h"

namespace ctl {

bool SameThreshold(std::uint32_t have, std::uint32_t want) {
  return have == want || (have == kThresholdCap && want >= kThresholdCap);
}

std::string ExclusionKey(const std::string& path) { return text::FoldCaseUtf8(path); }

bool SameExclusions(const std::vector<std::string>& have, const std::vector<std::string>& want) {
  std::vector<std::string> a, b;
  for (const std::string& path : have) a.push_back(ExclusionKey(path));
  for (const std::string& path : want) b.push_back(ExclusionKey(path));
  return SortedUnique(std::move(a)) == SortedUnique(std::move(b));
}

std::optional<std::string> VolumeName(const std::string& text) {
  if (text.size() != 2 || text[1] != ':') return std::nullopt;
  const char letter = static_cast<char>(text[0] >= 'a' && text[0] <= 'z' ? text[0] - 0x20 : text[0]);
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  return std::string{letter, ':'};
}

std::vector<Difference> Differences(const Session& have, const Session& want) {
  std::vector<Difference> differences;
  const auto differs = [](const auto& h, const auto& w) { return w && (!h || *h != *w); };
  if (differs(have.filter, want.filter)) differences.push_back({"filter", {}});
  if (differs(have.compression, want.compression)) differences.push_back({"compression", {}});
  if (differs(have.preallocation, want.preallocation)) differences.push_back({"preallocation", {}});
  if (want.threshold_mb && (!have.threshold_mb || !SameThreshold(*have.threshold_mb, *want.threshold_mb))) {
    differences.push_back({"threshold_mb", {}});
  }
  if (differs(have.protected_volumes, want.protected_volumes)) differences.push_back({"protected", {}});
  if (want.exclusions) {
    for (const auto& [volume, paths] : *want.exclusions) {
      const auto found = have.exclusions ? have.exclusions->find(volume) : decltype(have.exclusions->end()){};
      if (!have.exclusions || found == have.exclusions->end() || !SameExclusions(found->second, paths)) {
        differences.push_back({"exclusions", volume});
      }
    }
  }
  return differences;
}

}  // namespace ctl
