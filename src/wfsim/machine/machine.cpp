#include "wfsim/machine/machine.h"

#include <algorithm>
#include <map>

#include "wfsim/state/codes.h"
#include "wfsim/state/paths.h"
#include "wfsim/state/text.h"

namespace wfsim {

namespace {

template <typename Session>
auto& FeatureOf(Session& session, Feature feature) {
  switch (feature) {
    case Feature::kCompression: return session.compression;
    case Feature::kPreallocation: return session.preallocation;
    case Feature::kFilter: break;
  }
  return session.filter;
}

fs::path PathFromUtf8(const std::string& name) {
  return fs::path(std::u8string(name.begin(), name.end()));
}

std::string Shown(char volume, const std::vector<std::string>& names, std::size_t count) {
  std::string shown(1, volume);
  shown += ':';
  for (std::size_t i = 0; i < count && i < names.size(); ++i) shown += '\\' + names[i];
  return shown;
}

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
        return {kInvalidName, Shown(volume, names, i + 1) + " is a link or not a plain file or folder"};
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

// In the view a program sees, the cache over the disk, a path is a file or a
// folder, never both.
Outcome KeepsTheTreeValid(const Found& disk, const Found& cache, char volume) {
  for (const Found* side : {&disk, &cache}) {
    if (side->file_at != Found::kNowhere) {
      return {kAccessDenied, Shown(volume, side->names, side->names.size()) + " runs into the file " +
                                 Shown(volume, side->names, side->file_at + 1)};
    }
    if (side->type == EntryType::kFolder) {
      return {kAccessDenied, Shown(volume, side->names, side->names.size()) + " is a folder"};
    }
  }
  return kOk;
}

Outcome MakeParents(const fs::path& file) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (!ec) return kOk;
  return ChangeFailed("the folder " + Quoted(file.parent_path()) + " can't be made", ec);
}

bool Covered(const SessionConfig& session, char volume, const std::vector<std::string>& names) {
  const std::string key = PathKey(JoinPath(names));
  return std::any_of(session.exclusions.begin(), session.exclusions.end(), [&](const Exclusion& e) {
    return e.volume == volume && Covers(PathKey(e.path), key);
  });
}

Outcome Report(bool current, bool next, std::uint32_t* current_out, std::uint32_t* next_out) {
  *current_out = current ? 1 : 0;
  *next_out = next ? 1 : 0;
  return kOk;
}

}  // namespace

Outcome Machine::LocateVolume(std::u16string_view volume, char& letter) const {
  const std::optional<char> parsed = ParseVolume(volume);
  if (!parsed) return kInvalidName;
  letter = *parsed;
  return kOk;
}

Outcome Machine::Locate(std::u16string_view volume, std::u16string_view path, Target& target) const {
  const std::optional<char> parsed = ParseVolume(volume);
  if (!parsed) return kInvalidName;
  std::optional<std::vector<std::string>> names = ParsePath(path);
  if (!names) return {kInvalidName, "not a path on the volume: " + PathProblem(path)};
  target = {*parsed, std::move(*names)};
  return kOk;
}

namespace {

// The checks every function shares come first, in this order: a malformed
// volume or path (123), a volume that does not exist (15), and for the
// changes that need it, a filter not enabled for the next session (1).
Outcome NeedsFilterNext(const Config& config) {
  return config.next.filter ? kOk : kInvalidFunction;
}

// Exclusions belong to a volume protected for the next session.
Outcome NeedsProtectionNext(const StateFolder& state, const Config& config, char letter) {
  if (Outcome exists = state.CheckVolume(letter); !exists.ok()) return exists;
  if (Outcome ready = NeedsFilterNext(config); !ready.ok()) return ready;
  return config.next.Lists(letter) ? kOk : kInvalidDrive;
}

}  // namespace

Outcome Machine::SetFeature(Feature feature, bool on) {
  return state_.Update([&](Config& config) -> Outcome {
    // The filter itself is switched in any state.
    if (feature != Feature::kFilter && !config.next.filter) return kInvalidFunction;
    FeatureOf(config.next, feature) = on;
    return kOk;
  });
}

Outcome Machine::QueryFeature(Feature feature, std::uint32_t* current, std::uint32_t* next) {
  if (current == nullptr || next == nullptr) return kInvalidParameter;
  return state_.Read(ParseScope::kSettings, [&](const Config& config) {
    return Report(FeatureOf(config.current, feature), FeatureOf(config.next, feature), current, next);
  });
}

Outcome Machine::QueryVolume(std::u16string_view volume, std::uint32_t* current, std::uint32_t* next) {
  if (current == nullptr || next == nullptr) return kInvalidParameter;
  char letter = 0;
  if (Outcome located = LocateVolume(volume, letter); !located.ok()) return located;
  return state_.Read(ParseScope::kSettings, [&](const Config& config) {
    if (Outcome exists = state_.CheckVolume(letter); !exists.ok()) return exists;
    return Report(config.current.IsProtected(letter), config.next.IsProtected(letter), current, next);
  });
}

Outcome Machine::Protect(std::u16string_view volume) {
  char letter = 0;
  if (Outcome located = LocateVolume(volume, letter); !located.ok()) return located;
  return state_.Update([&](Config& config) -> Outcome {
    if (Outcome exists = state_.CheckVolume(letter); !exists.ok()) return exists;
    if (Outcome ready = NeedsFilterNext(config); !ready.ok()) return ready;
    std::string& set = config.next.protected_volumes;
    if (set.find(letter) == std::string::npos) {
      set.push_back(letter);
      std::sort(set.begin(), set.end());
    }
    return kOk;
  });
}

Outcome Machine::Unprotect(std::u16string_view volume, bool drop_exclusions) {
  char letter = 0;
  if (Outcome located = LocateVolume(volume, letter); !located.ok()) return located;
  return state_.Update([&](Config& config) -> Outcome {
    if (Outcome exists = state_.CheckVolume(letter); !exists.ok()) return exists;
    if (Outcome ready = NeedsFilterNext(config); !ready.ok()) return ready;
    if (!config.next.Lists(letter)) return kInvalidDrive;
    std::erase(config.next.protected_volumes, letter);
    if (drop_exclusions) {
      std::erase_if(config.next.exclusions, [&](const Exclusion& e) { return e.volume == letter; });
    }
    return kOk;
  });
}

Outcome Machine::SetThreshold(std::uint32_t megabytes) {
  return state_.Update([&](Config& config) -> Outcome {
    if (Outcome ready = NeedsFilterNext(config); !ready.ok()) return ready;
    if (!config.release->Allows(megabytes)) return kInvalidParameter;
    config.next.threshold = megabytes;
    return kOk;
  });
}

Outcome Machine::AddExclusion(std::u16string_view volume, std::u16string_view path) {
  Target target;
  if (Outcome located = Locate(volume, path, target); !located.ok()) return located;
  return state_.ChangeNextExclusion(StateFolder::ListChange::kAdd, target.volume, JoinPath(target.names),
                                    [&](const Config& config) { return NeedsProtectionNext(state_, config, target.volume); });
}

Outcome Machine::RemoveExclusion(std::u16string_view volume, std::u16string_view path) {
  Target target;
  if (Outcome located = Locate(volume, path, target); !located.ok()) return located;
  return state_.ChangeNextExclusion(StateFolder::ListChange::kRemove, target.volume, JoinPath(target.names),
                                    [&](const Config& config) { return NeedsProtectionNext(state_, config, target.volume); });
}

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
      return {kInvalidFunction, Shown(letter, names, names.size()) + " is write-through: an exclusion covers it"};
    }
    Found disk, cache;
    Outcome found = Find(state.VolumeRoot(letter), letter, names, disk);
    if (found.ok()) found = Find(state.CacheRoot(config, letter), letter, disk.names, cache);
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
    if (MoveDurably(cache.path, disk.path)) return Outcome(kOk);
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
    if (fs::remove(cache.path, ec)) return Outcome(kOk);
    return ChangeFailed(Quoted(cache.path) + " can't be removed", ec);
  });
}

Outcome Machine::Reboot() {
  return state_.Update([&](Config& config) {
    config.current = config.next;
    // A session whose cache folder is not there yet starts with an empty cache.
    do {
      ++config.session;
    } while (Inspect(state_.CacheFolder(config)).type != EntryType::kMissing);
    return kOk;
  });
}

namespace {

// A cached write's result must fit what the running session's threshold
// allows: the file's new size, and the records of the file and of each
// folder on its way that the cache does not hold yet.
Outcome FitsTheOverlay(const StateFolder& state, const Config& config, const Found& cache, char letter,
                       std::uint64_t bytes) {
  const OverlayUsage now = MeasureOverlay(state.CacheFolder(config));
  OverlayUsage after = now;
  after.file_data += bytes;
  if (cache.type == EntryType::kFile) {
    after.file_data -= Inspect(cache.path).size;
  } else {
    fs::path walked = state.CacheRoot(config, letter);
    for (const std::string& name : cache.names) {
      walked /= PathFromUtf8(name);
      if (Inspect(walked).type == EntryType::kMissing) after.dir_structure += EntryCost(name);
    }
  }
  const std::uint64_t threshold = ThresholdBytes(config.current.threshold);
  if (after.Total() <= threshold) return kOk;
  const std::uint64_t left = now.Total() < threshold ? threshold - now.Total() : 0;
  return {kDiskFull, "the overlay is full: the write needs " + std::to_string(after.Total() - now.Total()) +
                         " bytes of it and it has " + std::to_string(left) + " left of " +
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
    Outcome found = Find(state_.VolumeRoot(letter), letter, target.names, disk);
    if (found.ok()) found = Find(state_.CacheRoot(config, letter), letter, disk.names, cache);
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
    if (Outcome made = state_.StructureFolder(state_.ScratchFolder(), true); !made.ok()) return made;
    if (Outcome made = MakeParents(into.path); !made.ok()) return made;
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
        return {kAccessDenied, Shown(letter, file.names, file.names.size()) + " is over the read limit of 1 GiB"};
      default:
        return {kAccessDenied, Shown(letter, file.names, file.names.size()) + " can't be read"};
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
    if (!IsPlain(entry)) continue;
    const std::string name = Utf8Of(it->path().filename());
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
    Outcome found = Find(state_.VolumeRoot(letter), letter, target.names, disk);
    if (found.ok()) found = Find(state_.CacheRoot(config, letter), letter, disk.names, cache);
    if (!found.ok()) return found;
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

namespace {

// Each file below the session's cache folder, as "C:\\path", in name order.
std::vector<CachedFile> ListCache(const fs::path& cache) {
  std::vector<CachedFile> files;
  if (Inspect(cache).type != EntryType::kFolder) return files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(cache, ec), end; !ec && it != end; it.increment(ec)) {
    const Entry entry = Inspect(it->path());
    if (entry.type != EntryType::kFile) continue;
    const fs::path relative = it->path().lexically_relative(cache);
    auto part = relative.begin();
    std::string name = Utf8Of(*part) + ":", hex;
    bool valid = true;
    for (++part; part != relative.end(); ++part) {
      (name += '\\') += Utf8Of(*part);
      hex += NativeHex(fs::path("\\")) + NativeHex(*part);
      valid = valid && IsUnicodeName(*part);
    }
    files.push_back({name, entry.size, valid ? std::string() : hex});
  }
  std::sort(files.begin(), files.end(), [](const CachedFile& a, const CachedFile& b) { return a.name < b.name; });
  return files;
}

// The volumes whose disks the state folder holds: one-letter plain folders.
std::string ExistingVolumes(const fs::path& volumes) {
  std::string letters;
  std::error_code ec;
  for (fs::directory_iterator it(volumes, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = Utf8Of(it->path().filename());
    if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z' && Inspect(it->path()).type == EntryType::kFolder) {
      letters += name;
    }
  }
  std::sort(letters.begin(), letters.end());
  return letters;
}

}  // namespace

Outcome Machine::CachedFiles(std::vector<CachedFile>& files) const {
  return state_.Read(ParseScope::kSettings, [&](const Config& config) {
    files = ListCache(state_.CacheFolder(config));
    return Outcome(kOk);
  });
}

MemoryUsage Machine::MemoryOf(const Config& config) const {
  return {ThresholdBytes(config.current.threshold), ThresholdBytes(config.next.threshold),
          MeasureOverlay(state_.CacheFolder(config))};
}

VolumeFigures Machine::FiguresOf(const Config& config, char letter) const {
  const fs::path view[] = {state_.VolumeRoot(letter), state_.CacheRoot(config, letter)};
  const std::uint64_t actual = UsedUnits(std::span<const fs::path>(view, 1));
  return {letter, config.Capacity(letter), actual * kUnitBytes,
          (config.current.IsProtected(letter) ? UsedUnits(view) : actual) * kUnitBytes};
}

Outcome Machine::View(MachineView& view) const {
  return state_.Read(ParseScope::kAll, [&](const Config& config) {
    view.config = config;
    view.files = ListCache(state_.CacheFolder(config));
    view.memory = MemoryOf(config);
    view.volumes.clear();
    for (char letter : ExistingVolumes(state_.dir() / "volumes")) view.volumes.push_back(FiguresOf(config, letter));
    return state_.Faults(view.faults);
  });
}

Outcome Machine::ReadVolume(std::u16string_view volume, ParseScope scope,
                           const std::function<Outcome(const Config&, char)>& body) const {
  const std::optional<char> letter = ParseVolume(volume);
  if (!letter) return kInvalidName;
  return state_.Read(scope, [&](const Config& config) -> Outcome {
    if (Outcome exists = state_.CheckVolume(*letter); !exists.ok()) return exists;
    return body(config, *letter);
  });
}

Outcome Machine::Memory(MemoryUsage& usage) const {
  return state_.Read(ParseScope::kSettings, [&](const Config& config) {
    usage = MemoryOf(config);
    return Outcome(kOk);
  });
}

Outcome Machine::VolumeList(bool current, std::string& letters) const {
  return state_.Read(ParseScope::kSettings, [&](const Config& config) {
    letters = (current ? config.current : config.next).protected_volumes;
    return Outcome(kOk);
  });
}

Outcome Machine::ExclusionList(std::u16string_view volume, bool current,
                               std::vector<std::string>& paths) const {
  paths.clear();
  return ReadVolume(volume, ParseScope::kAll, [&](const Config& config, char letter) -> Outcome {
    const SessionConfig& session = current ? config.current : config.next;
    if (!session.Lists(letter)) return kInvalidDrive;
    for (const Exclusion& e : session.exclusions) {
      if (e.volume == letter) paths.push_back(e.path);
    }
    return kOk;
  });
}

Outcome Machine::CacheSearch(std::u16string_view volume, std::vector<CachedFile>& files) const {
  return ReadVolume(volume, ParseScope::kSettings, [&](const Config& config, char letter) -> Outcome {
    if (!config.current.filter) return kInvalidFunction;
    if (!config.current.IsProtected(letter)) return kInvalidDrive;
    files = ListCache(state_.CacheFolder(config));
    std::erase_if(files, [&](const CachedFile& file) { return file.name[0] != letter; });
    return files.empty() ? Outcome(kFileNotFound) : Outcome(kOk);
  });
}

Outcome Machine::NeedsFilterNow() const {
  return state_.Read(ParseScope::kSettings, [](const Config& config) {
    return config.current.filter ? Outcome(kOk) : Outcome(kInvalidFunction);
  });
}

Outcome Machine::CheckNotification(std::uint32_t megabytes, bool valid_event) const {
  return state_.Read(ParseScope::kSettings, [&](const Config& config) -> Outcome {
    if (!config.current.filter) return kInvalidFunction;
    if (!valid_event) return kInvalidHandle;
    if (megabytes == 0 || megabytes > config.current.threshold) return kInvalidParameter;
    return kOk;
  });
}

Outcome Machine::SizeDisplay(std::uint32_t* current, std::uint32_t* next) const {
  if (current == nullptr || next == nullptr) return kInvalidParameter;
  return state_.Read(ParseScope::kSettings, [&](const Config& config) -> Outcome {
    if (!config.current.filter) return kInvalidFunction;
    return Report(config.current.virtual_size, config.next.virtual_size, current, next);
  });
}

Outcome Machine::SetSizeDisplay(std::uint32_t next) {
  return state_.Update([&](Config& config) -> Outcome {
    if (Outcome ready = NeedsFilterNext(config); !ready.ok()) return ready;
    if (next > 1) return kInvalidParameter;
    config.next.virtual_size = next == 1;
    return kOk;
  });
}

Outcome Machine::Size(std::u16string_view volume, bool through_overlay, VolumeSize& size) const {
  return ReadVolume(volume, ParseScope::kSettings, [&](const Config& config, char letter) -> Outcome {
    if (Outcome ready = NeedsFilterNext(config); !ready.ok()) return ready;
    if (!config.current.IsProtected(letter)) return kInvalidDrive;
    const VolumeFigures figures = FiguresOf(config, letter);
    const std::uint64_t used = through_overlay ? figures.virtual_used : figures.actual_used;
    size.total_units = figures.capacity / kUnitBytes;
    size.available_units = (used < figures.capacity ? figures.capacity - used : 0) / kUnitBytes;
    // What programs see can't outgrow what the overlay has left.
    if (through_overlay) size.available_units = std::min(size.available_units, MemoryOf(config).Left() / kUnitBytes);
    return kOk;
  });
}

}  // namespace wfsim
