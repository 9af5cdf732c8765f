#include "wfsim/machine/find.h"

#include "wfsim/state/text.h"

namespace wfsim {

namespace {

// The entry of `folder` whose name equals `name` but for case, if any.
std::optional<std::string> MatchCase(const fs::path& folder, const std::string& name) {
  const std::optional<std::u16string> wanted = FromUtf8(name);
  if (!wanted) return std::nullopt;
  const std::u16string key = FoldCase(*wanted);
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = Utf8Of(it->path().filename());
    const std::optional<std::u16string> wide = FromUtf8(entry);
    if (wide && FoldCase(*wide) == key) return entry;
  }
  return std::nullopt;
}

}  // namespace

fs::path PathFromUtf8(const std::string& name) {
  return fs::path(std::u8string(name.begin(), name.end()));
}

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
    if (searching) {
      entry = Inspect(found.path / PathFromUtf8(name));
      if (entry.type == EntryType::kMissing) {
        if (std::optional<std::string> own = MatchCase(found.path, name)) {
          name = std::move(*own);
          entry = Inspect(found.path / PathFromUtf8(name));
        }
      }
      if (entry.type != EntryType::kMissing && !IsPlain(entry)) {
        return {kInvalidName, ShownPath(volume, names, i + 1) + " is a link or not a plain file or folder"};
      }
      if (entry.type != EntryType::kMissing) name = OwnName(found.path / PathFromUtf8(name));
      if (entry.type == EntryType::kFile && i + 1 < names.size()) found.file_at = i;
      searching = entry.type == EntryType::kFolder;
    }
    found.path /= PathFromUtf8(name);
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
