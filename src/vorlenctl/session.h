// A session's settings as vorlenctl reads, compares and sets them. Every key
// is optional: a desired state names only what it wants, and a reading
// leaves out what the device's library can't tell.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ctl {

// A threshold read as 4294967295 bytes, the most a ULONG holds, is 4096 MB
// or more.
inline constexpr std::uint32_t kThresholdCap = 4096;

struct Session {
  std::optional<bool> filter;
  std::optional<bool> compression;
  std::optional<bool> preallocation;
  std::optional<std::uint32_t> threshold_mb;
  std::optional<std::vector<std::string>> protected_volumes;  // "C:", in order
  // Each protected volume's whole list, paths as added (UTF-8).
  std::optional<std::map<std::string, std::vector<std::string>>> exclusions;

  bool operator==(const Session&) const = default;
};

// Whether two thresholds in MB are the same setting: a reading of the cap
// equals any value from the cap up.
bool SameThreshold(std::uint32_t have, std::uint32_t want);

// Two exclusion lists name the same paths, compared as the filter compares
// names: without regard to case, order or repetition.
bool SameExclusions(const std::vector<std::string>& have, const std::vector<std::string>& want);

// The folded form a path is compared by.
std::string ExclusionKey(const std::string& path);

// "c:" as the filter writes it, "C:"; nullopt for anything but a letter and a colon.
std::optional<std::string> VolumeName(const std::string& text);

// A difference between the next session and a desired one: a key, or one
// volume's exclusions.
struct Difference {
  std::string key;
  std::string volume;  // for exclusions
};
std::vector<Difference> Differences(const Session& have, const Session& want);

}  // namespace ctl
