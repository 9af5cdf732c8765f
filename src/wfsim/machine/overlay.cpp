#include "wfsim/machine/overlay.h"

#include <map>
#include <optional>
#include <string>

#include "wfsim/base/text.h"
#include "wfsim/machine/host_names.h"

namespace wfsim {

std::uint64_t EntryCost(std::string_view utf8_name) {
  const std::optional<std::u16string> units = FromUtf8(utf8_name);
  return kEntryCost + 2 * (units ? units->size() : utf8_name.size());
}

OverlayUsage MeasureOverlay(const fs::path& cache_folder) {
  OverlayUsage usage;
  if (Inspect(cache_folder).type != EntryType::kFolder) return usage;
  std::error_code ec;
  // The folders directly below are the volumes' roots, which cost nothing.
  for (fs::recursive_directory_iterator it(cache_folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it.depth() == 0) continue;
    const Entry entry = Inspect(it->path());
    if (entry.type != EntryType::kFile && entry.type != EntryType::kFolder) continue;
    if (const std::optional<std::string> name = RealName(it->path())) {
      usage.Count(*name, entry.type == EntryType::kFile, entry.size);
    }
  }
  return usage;
}

OverlayUsage AfterWrite(OverlayUsage usage, const CachedWrite& write) {
  usage.file_data += write.bytes;
  if (write.replaced) usage.file_data -= *write.replaced;
  for (const std::string& name : write.new_names) usage.dir_structure += EntryCost(name);
  return usage;
}

std::uint64_t UsedUnits(std::span<const fs::path> roots) {
  std::map<std::u16string, std::uint64_t> seen;  // by the name's folded form
  for (const fs::path& root : roots) {
    if (Inspect(root).type != EntryType::kFolder) continue;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
      const Entry entry = Inspect(it->path());
      if (entry.type != EntryType::kFile) continue;
      const std::optional<std::string> path = RealPath(root, it->path());
      const std::optional<std::u16string> name = path ? FromUtf8(*path) : std::nullopt;
      if (name) seen[FoldCase(*name)] = UnitsOf(entry.size);
    }
  }
  std::uint64_t units = 0;
  for (const auto& [name, taken] : seen) units += taken;
  return units;
}

}  // namespace wfsim
