#include "wfsim/machine/find.h"

#include "wfsim/base/text.h"
#include "wfsim/machine/host_names.h"

namespace wfsim {

std::string ShownPath(char volume, const std::vector<std::string>& names, std::size_t count) {
  std::string shown(1, volume);
  shown += ':';
  for (std::size_t i = 0; i < count && i < names.size(); ++i) shown += '\\' + names[i];
  return shown;
}

Outcome Find(const fs::path& root, char volume, const std::vector<std::string>& names, Found& found) {
  found = Found{root, {}, EntryType::kMissing, Found::kNowhere};
  Entry entry = Inspect(root);
  bool searching = entry.type == EntryType::kFolder;
  if (entry.type != EntryType::kMissing && !searching) {
    return {kAccessDenied, Quoted(root) + " is not a plain folder"};
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string name = names[i];
    fs::path next = found.path / PathFromUtf8(name);
    if (searching) {
      std::optional<fs::path> held = HostEntry(found.path, names[i], name);
      if (!held) {
        return {kAccessDenied, ShownPath(volume, names, i + 1) + " can't be kept: its folder holds too many names of the same hash"};
      }
      next = std::move(*held);
      entry = Inspect(next);
      if (entry.type != EntryType::kMissing && !IsPlain(entry)) {
        return {kInvalidName, ShownPath(volume, names, i + 1) + " is a link or not a plain file or folder"};
      }
      if (entry.type == EntryType::kFile && i + 1 < names.size()) found.file_at = i;
      searching = entry.type == EntryType::kFolder;
    } else if (NeedsMadeName(name)) {
      std::string ignored;
      next = *HostEntry(found.path, names[i], ignored);  // a folder not there: the first made name
    }
    found.path = std::move(next);
    found.names.push_back(std::move(name));
  }
  found.type = found.file_at == Found::kNowhere ? entry.type : EntryType::kMissing;
  if (names.empty()) found.type = EntryType::kFolder;
  return kOk;
}

Outcome KeepsTheTreeValid(const Found& disk, const Found& cache, char volume) {
  for (const Found* side : {&disk, &cache}) {
    if (side->file_at != Found::kNowhere) {
      return {kAccessDenied, ShownPath(volume, side->names, side->names.size()) + " runs into the file " +
                                 ShownPath(volume, side->names, side->file_at + 1)};
    }
    if (side->type == EntryType::kFolder) {
      return {kAccessDenied, ShownPath(volume, side->names, side->names.size()) + " is a folder"};
    }
  }
  return kOk;
}


Outcome FindOnDiskAndInCache(const StateFolder& state, const Config& config, char volume,
                             const std::vector<std::string>& names, Found& disk, Found& cache) {
  const Outcome found = Find(state.VolumeRoot(volume), volume, names, disk);
  return found.ok() ? Find(state.CacheRoot(config, volume), volume, disk.names, cache) : found;
}

}  // namespace wfsim
