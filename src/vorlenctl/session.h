// A session's settings as vorlenctl reads, compares and sets them. Every key
// is optional: a desired state names only what it wants, and a reading
// leaves out what the device's library can't tell.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ctl {

// A threshold read as 4294967295 bytes, the most a ULONG holds, is 4096 MB
// or more.
inline constexpr std::uint32_t kThresholdCap = 4096;

// Each volume's exclusion list, by volume name in order: a sorted vector, with
// the little of std::map's interface the program uses. (The Windows builds
// carry no part of the C++ runtime that is compiled for the P6, such as its
// red-black trees.)
class VolumeLists {
 public:
  using value_type = std::pair<std::string, std::vector<std::string>>;
  using const_iterator = std::vector<value_type>::const_iterator;

  VolumeLists() = default;
  VolumeLists(std::initializer_list<value_type> entries) {
    for (const value_type& entry : entries) (*this)[entry.first] = entry.second;
  }

  std::vector<std::string>& operator[](const std::string& volume) {
    const auto at = Place(volume);
    if (at != entries_.end() && at->first == volume) return at->second;
    return entries_.insert(at, {volume, {}})->second;
  }
  const_iterator find(const std::string& volume) const {
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), volume, Before);
    return at != entries_.end() && at->first == volume ? at : entries_.end();
  }
  std::size_t count(const std::string& volume) const { return find(volume) != end() ? 1 : 0; }
  const std::vector<std::string>& at(const std::string& volume) const { return find(volume)->second; }
  void erase(const std::string& volume) {
    if (const auto found = find(volume); found != end()) entries_.erase(found);
  }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  bool operator==(const VolumeLists&) const = default;

 private:
  static bool Before(const value_type& entry, const std::string& volume) { return entry.first < volume; }
  std::vector<value_type>::iterator Place(const std::string& volume) {
    return std::lower_bound(entries_.begin(), entries_.end(), volume, Before);
  }
  std::vector<value_type> entries_;
};

// The texts in order, each once.
inline std::vector<std::string> SortedUnique(std::vector<std::string> texts) {
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  return texts;
}

struct Session {
  std::optional<bool> filter;
  std::optional<bool> compression;
  std::optional<bool> preallocation;
  std::optional<std::uint32_t> threshold_mb;
  std::optional<std::vector<std::string>> protected_volumes;  // "C:", in order
  // Each protected volume's whole list, paths as added (UTF-8).
  std::optional<VolumeLists> exclusions;

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
