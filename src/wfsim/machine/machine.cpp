#include "wfsim/machine/machine.h"

#include <algorithm>
#include <map>

#include "wfsim/base/codes.h"
#include "wfsim/base/paths.h"
#include "wfsim/base/text.h"
#include "wfsim/machine/find.h"
#include "wfsim/machine/host_names.h"
#include "wfsim/state/files.h"

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

Outcome WriteSessionPair(bool current, bool next, std::uint32_t* current_out, std::uint32_t* next_out) {
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
    return WriteSessionPair(FeatureOf(config.current, feature), FeatureOf(config.next, feature), current, next);
  });
}

Outcome Machine::QueryVolume(std::u16string_view volume, std::uint32_t* current, std::uint32_t* next) {
  if (current == nullptr || next == nullptr) return kInvalidParameter;
  char letter = 0;
  if (Outcome located = LocateVolume(volume, letter); !located.ok()) return located;
  return state_.Read(ParseScope::kSettings, [&](const Config& config) {
    if (Outcome exists = state_.CheckVolume(letter); !exists.ok()) return exists;
    return WriteSessionPair(config.current.IsProtected(letter), config.next.IsProtected(letter), current, next);
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
    const fs::path root = cache / *part;
    const std::optional<std::string> path = RealPath(root, it->path());
    if (!path) continue;
    std::string hex;
    bool valid = true;
    for (++part; part != relative.end(); ++part) {
      hex += NativeHex(fs::path("\\")) + NativeHex(*part);
      valid = valid && IsUnicodeName(*part);
    }
    files.push_back({Utf8Of(root.filename()) + ":\\" + *path, entry.size, valid ? std::string() : hex});
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
    for (char letter : ExistingVolumes(state_.dir() / files::kVolumes)) view.volumes.push_back(FiguresOf(config, letter));
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
    return WriteSessionPair(config.current.virtual_size, config.next.virtual_size, current, next);
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

