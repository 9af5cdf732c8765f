// The overlay's accounting: what the running session's cache takes of the
// threshold, and what a volume holds as the disk has it (actual) and as
// programs see it through the overlay (virtual).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "wfsim/state/os.h"

namespace wfsim {

// The filter keeps a record of every cached file and folder. Its size is not
// documented; the stand-in estimates it as a fixed cost plus the name.
inline constexpr std::uint64_t kEntryCost = 64;
std::uint64_t EntryCost(std::string_view utf8_name);  // kEntryCost + 2 bytes a 16-bit unit

struct OverlayUsage {
  std::uint64_t dir_structure = 0;  // EntryCost of each cached file and folder
  std::uint64_t file_data = 0;      // the cached files' sizes

  std::uint64_t Total() const { return dir_structure + file_data; }
  // A cached file (of `size` bytes) or folder more.
  void Count(std::string_view utf8_name, bool file, std::uint64_t size) {
    dir_structure += EntryCost(utf8_name);
    if (file) file_data += size;
  }
  bool operator==(const OverlayUsage&) const = default;
};

// Every volume's files and folders below the session's cache folder.
OverlayUsage MeasureOverlay(const fs::path& cache_folder);

inline std::uint64_t ThresholdBytes(std::uint32_t megabytes) { return std::uint64_t{megabytes} << 20; }

// What the overlay has left below `threshold`: 0 once it is reached.
inline std::uint64_t Left(const OverlayUsage& usage, std::uint64_t threshold) {
  return usage.Total() < threshold ? threshold - usage.Total() : 0;
}

// A write into the cache as the overlay counts it: the file's new size in
// place of its cached copy's, if the cache holds one, and a record for each
// name on its way that the cache does not hold yet, the file's own included.
struct CachedWrite {
  std::uint64_t bytes = 0;
  std::optional<std::uint64_t> replaced;
  std::vector<std::string> new_names;  // UTF-8
};
OverlayUsage AfterWrite(OverlayUsage usage, const CachedWrite& write);

// A write fits when its result stays within the threshold.
inline bool Fits(const OverlayUsage& after, std::uint64_t threshold) { return after.Total() <= threshold; }

// Volumes are formatted with 512-byte sectors and 4 KiB allocation units;
// a file takes whole units.
inline constexpr std::uint32_t kBytesPerSector = 512;
inline constexpr std::uint32_t kSectorsPerUnit = 8;
inline constexpr std::uint64_t kUnitBytes = kBytesPerSector * kSectorsPerUnit;
inline std::uint64_t UnitsOf(std::uint64_t bytes) { return (bytes + kUnitBytes - 1) / kUnitBytes; }

// The units taken by the files a program sees below `roots`, the files of a
// later root hiding those of an earlier one at the same path.
std::uint64_t UsedUnits(std::span<const fs::path> roots);

}  // namespace wfsim
