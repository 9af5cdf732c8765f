// What programs do with the files of a volume (reads, writes, listings), and
// the filter's commit and restore of a cached file.
#include <algorithm>
#include <functional>
#include <map>

#include "wfsim/base/paths.h"
#include "wfsim/base/text.h"
#include "wfsim/machine/find.h"
#include "wfsim/machine/machine.h"

namespace wfsim {

namespace {

// The folders on the way to `found`'s file below `root`, and the records of
// the long names among them and of the file's own, record first.
Outcome MakeParents(const fs::path& scratch, const fs::path& root, const Found& found) {
  fs::path folder = root;
  const fs::path relative = found.path.lexically_relative(root);
  auto part = relative.begin();
  for (std::size_t i = 0; i < found.names.size(); ++i, ++part) {
    const fs::path entry = folder / *part;
    if (!RecordName(scratch, entry, found.names[i])) return ChangeFailed(Quoted(entry) + "'s name can't be recorded");
    if (i + 1 == found.names.size()) break;
    std::error_code ec;
    fs::create_directory(entry, ec);
    if (ec) return ChangeFailed("the folder " + Quoted(entry) + " can't be made", ec);
    folder = entry;
  }
  return kOk;
}

bool Covered(const SessionConfig& session, char volume, const std::vector<std::string>& names) {
  const std::string key = PathKey(JoinPath(names));
  return std::any_of(session.exclusions.begin(), session.exclusions.end(), [&](const Exclusion& e) {
    return e.volume == volume && Covers(PathKey(e.path), key);
  });
}

}  // namespace

namespace {

// Commit and restore act, under the exclusive lock, on a path of a volume
// protected now that no exclusion in force covers.
using FileAct = std::function<Outcome(const Found& disk, const Found& cache)>;

Outcome OnCachedPath(StateFolder& state, char letter, const std::vector<std::string>& names,
                     const FileAct& act) {
  return state.ActOnFiles(ParseScope::kAll, [&](const Config& config) -> Outcome {
    if (Outcome exists = state.CheckVolume(letter); !exists.ok()) return exists;
    if (!config.current.IsProtected(letter)) return kInvalidDrive;
    if (Covered(config.current, letter, names)) {
      return {kInvalidFunction, ShownPath(letter, names, names.size()) + " is write-through: an exclusion covers it"};
    }
    Found disk, cache;
    const Outcome found = FindOnDiskAndInCache(state, config, letter, names, disk, cache);
    return found.ok() ? act(disk, cache) : found;
  });
}

Outcome NoDiskCopy(const Found& cache) {
  std::string cause = cache.names.back();
  cause += " has no copy on the disk: it was made in this session";
  return {kInvalidFunction, cause};
}

}  // namespace

// The filter commits only files that exist on the disk; it creates none.
Outcome Machine::Commit(std::u16string_view volume, std::u16string_view path) {
  Target target;
  if (Outcome located = Locate(volume, path, target); !located.ok()) return located;
  return OnCachedPath(state_, target.volume, target.names, [](const Found& disk, const Found& cache) {
    if (cache.type != EntryType::kFile) return Outcome(kFileNotFound);
    if (disk.type != EntryType::kFile) return NoDiskCopy(cache);
    // One rename: the disk copy is the old content or the new, never a mix.
    if (MoveDurably(cache.path, disk.path)) {
      DropRecord(cache.path);
      return Outcome(kOk);
    }
    return ChangeFailed(Quoted(cache.path) + " can't be moved to the disk");
  });
}

Outcome Machine::Restore(std::u16string_view volume, std::u16string_view path) {
  Target target;
  if (Outcome located = Locate(volume, path, target); !located.ok()) return located;
  return OnCachedPath(state_, target.volume, target.names, [](const Found& disk, const Found& cache) {
    const bool in_cache = cache.type == EntryType::kFile, on_disk = disk.type == EntryType::kFile;
    if (!in_cache && !on_disk) return Outcome(kFileNotFound);  // nothing, or a folder
    if (!in_cache) return Outcome(kAccessDenied, "the file is on the disk but not in the cache");
    if (!on_disk) return NoDiskCopy(cache);
    std::error_code ec;
    if (fs::remove(cache.path, ec)) {
      DropRecord(cache.path);
      return Outcome(kOk);
    }
    return ChangeFailed(Quoted(cache.path) + " can't be removed", ec);
  });
}


namespace {

// A cached write's result must fit what the running session's threshold
// allows: the file's new size, and the records of the file and of each
// folder on its way that the cache does not hold yet.
Outcome FitsTheOverlay(const StateFolder& state, const Config& config, const Found& cache, char letter,
                       std::uint64_t bytes) {
  CachedWrite write{bytes, std::nullopt, {}};
  if (cache.type == EntryType::kFile) {
    write.replaced = Inspect(cache.path).size;
  } else {
    const fs::path root = state.CacheRoot(config, letter);
    fs::path walked = root;
    const fs::path relative = cache.path.lexically_relative(root);
    auto part = relative.begin();
    for (const std::string& name : cache.names) {
      walked /= *part++;
      if (Inspect(walked).type == EntryType::kMissing) write.new_names.push_back(name);
    }
  }
  const OverlayUsage now = MeasureOverlay(state.CacheFolder(config));
  const OverlayUsage after = AfterWrite(now, write);
  const std::uint64_t threshold = ThresholdBytes(config.current.threshold);
  if (Fits(after, threshold)) return kOk;
  return {kDiskFull, "the overlay is full: the write needs " + std::to_string(after.Total() - now.Total()) +
                         " bytes of it and it has " + std::to_string(Left(now, threshold)) + " left of " +
                         std::to_string(threshold)};
}

}  // namespace

Outcome Machine::Write(std::u16string_view volume, std::u16string_view path, std::string_view content,
                       bool& cached) {
  Target target;
  if (Outcome located = Locate(volume, path, target); !located.ok()) return located;
  const char letter = target.volume;
  return state_.ActOnFiles(ParseScope::kAll, [&](const Config& config) -> Outcome {
    if (Outcome exists = state_.CheckVolume(letter); !exists.ok()) return exists;
    cached = config.current.IsProtected(letter) && !Covered(config.current, letter, target.names);
    Found disk, cache;
    Outcome found = FindOnDiskAndInCache(state_, config, letter, target.names, disk, cache);
    if (found.ok()) found = KeepsTheTreeValid(disk, cache, letter);
    if (!found.ok()) return found;
    if (cached) {
      for (const fs::path& folder : {state_.CacheFolder(config), state_.CacheRoot(config, letter)}) {
        if (Outcome made = state_.StructureFolder(folder, true); !made.ok()) return made;
      }
    }
    if (cached) {
      if (Outcome fits = FitsTheOverlay(state_, config, cache, letter, content.size()); !fits.ok()) return fits;
    }
    const Found& into = cached ? cache : disk;
    const fs::path root = cached ? state_.CacheRoot(config, letter) : state_.VolumeRoot(letter);
    if (Outcome made = state_.StructureFolder(state_.ScratchFolder(), true); !made.ok()) return made;
    if (Outcome made = MakeParents(state_.ScratchFolder() / "name.new", root, into); !made.ok()) return made;
    if (ReplaceDurably(state_.ScratchFolder() / "write.new", into.path, content)) return Outcome(kOk);
    return ChangeFailed(Quoted(into.path) + " can't be written");
  });
}

Outcome Machine::ReadFile(std::u16string_view volume, std::u16string_view path, std::string& content) {
  Target target;
  if (Outcome located = Locate(volume, path, target); !located.ok()) return located;
  const char letter = target.volume;
  return state_.Read(ParseScope::kSettings, [&](const Config& config) -> Outcome {
    if (Outcome exists = state_.CheckVolume(letter); !exists.ok()) return exists;
    Found file;
    for (const fs::path& root : {state_.CacheRoot(config, letter), state_.VolumeRoot(letter)}) {
      if (Outcome found = Find(root, letter, target.names, file); !found.ok()) return found;
      if (file.type == EntryType::kFile) break;
    }
    if (file.type != EntryType::kFile) return kFileNotFound;
    switch (ReadRegularFile(file.path, std::size_t{1} << 30, content)) {
      case ReadOutcome::kRead:
        return kOk;
      case ReadOutcome::kTooLarge:
        return {kAccessDenied, ShownPath(letter, file.names, file.names.size()) + " is over the read limit of 1 GiB"};
      default:
        return {kAccessDenied, ShownPath(letter, file.names, file.names.size()) + " can't be read"};
    }
  });
}

namespace {

// The plain files and folders of `folder`, added to `seen` by folded name;
// later calls (the cache) cover what earlier ones (the disk) added.
void AddEntries(const fs::path& folder, bool cached, std::map<std::u16string, ListedEntry>& seen) {
  if (Inspect(folder).type != EntryType::kFolder) return;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const Entry entry = Inspect(it->path());
    const std::optional<std::string> real = RealName(it->path());
    if (!IsPlain(entry) || !real) continue;
    const std::string& name = *real;
    const std::optional<std::u16string> wide = FromUtf8(name);
    const std::u16string key = wide ? FoldCase(*wide) : std::u16string(name.begin(), name.end());
    ListedEntry& listed = seen[key];
    const bool folder_in_both = entry.type == EntryType::kFolder && cached && listed.folder;
    listed = {name, entry.type == EntryType::kFolder, cached && !folder_in_both, entry.size};
  }
}

}  // namespace

Outcome Machine::List(std::u16string_view volume, std::u16string_view path,
                      std::vector<ListedEntry>& entries) const {
  entries.clear();
  Target target;
  if (path == u"\\") {
    if (Outcome located = LocateVolume(volume, target.volume); !located.ok()) return located;
  } else if (Outcome located = Locate(volume, path, target); !located.ok()) {
    return located;
  }
  const char letter = target.volume;
  return state_.Read(ParseScope::kSettings, [&](const Config& config) -> Outcome {
    if (Outcome exists = state_.CheckVolume(letter); !exists.ok()) return exists;
    Found disk, cache;
    if (Outcome found = FindOnDiskAndInCache(state_, config, letter, target.names, disk, cache); !found.ok()) {
      return found;
    }
    if (cache.type == EntryType::kFile || disk.type == EntryType::kFile) {
      const bool cached = cache.type == EntryType::kFile;
      const Found& file = cached ? cache : disk;
      entries.push_back({file.names.back(), false, cached, Inspect(file.path).size});
      return kOk;
    }
    if (cache.type != EntryType::kFolder && disk.type != EntryType::kFolder) return kFileNotFound;
    std::map<std::u16string, ListedEntry> seen;
    AddEntries(disk.path, false, seen);
    AddEntries(cache.path, true, seen);
    for (auto& [key, entry] : seen) entries.push_back(std::move(entry));
    return kOk;
  });
}

}  // namespace wfsim
