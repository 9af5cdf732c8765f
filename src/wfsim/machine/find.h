// Paths of a volume looked up as programs see them: on the disk, in the
// running session's cache, and the cache over the disk.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "wfsim/machine/host_names.h"
#include "wfsim/state/state.h"

namespace wfsim {

// "C:\a\b": the volume and the first `count` names.
std::string ShownPath(char volume, const std::vector<std::string>& names, std::size_t count);

// Where `names` lead below `root`. Names compare case-insensitively, as on
// the platform the filter runs on: each takes the spelling of an entry that
// is already there, and the rest keep the spelling given.
struct Found {
  fs::path path;
  std::vector<std::string> names;
  EntryType type = EntryType::kMissing;  // of the last name
  std::size_t file_at = kNowhere;        // a file met before the last name
  static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);
};

// A link, or anything but a plain file or folder, on the way is refused with
// 123: nothing outside the state folder is ever reached through a volume.
Outcome Find(const fs::path& root, char volume, const std::vector<std::string>& names, Found& found);

// `names` on the volume's disk, then the same names, spelt as the disk has
// them, in the running session's cache.
Outcome FindOnDiskAndInCache(const StateFolder& state, const Config& config, char volume,
                             const std::vector<std::string>& names, Found& disk, Found& cache);

// In the view a program sees, the cache over the disk, a path is a file or a
// folder, never both.
Outcome KeepsTheTreeValid(const Found& disk, const Found& cache, char volume);

}  // namespace wfsim
