#include "wfsim/machine.h"

#include <algorithm>

#include "wfsim/codes.h"
#include "wfsim/paths.h"
#include "wfsim/text.h"

namespace wfsim {

const std::string_view kFunctionNames[17] = {
    "FbwfEnableFilter",         "FbwfDisableFilter",
    "FbwfEnableCompression",    "FbwfDisableCompression",
    "FbwfEnableCachePreAllocation", "FbwfDisableCachePreAllocation",
    "FbwfIsFilterEnabled",      "FbwfIsCompressionEnabled",
    "FbwfIsCachePreAllocationEnabled", "FbwfIsVolumeProtected",
    "FbwfProtectVolume",        "FbwfUnprotectVolume",
    "FbwfSetCacheThreshold",    "FbwfAddExclusion",
    "FbwfRemoveExclusion",      "FbwfCommitFile",
    "FbwfRestoreFile",
};

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

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Names compare case-insensitively, as on the platform the filter runs on:
// each name takes the spelling of an entry that is already there.
fs::path Resolve(const fs::path& root, const std::vector<std::string>& names) {
  fs::path path = root;
  bool searching = true;
  for (const std::string& name : names) {
    fs::path next = path / PathFromUtf8(name);
    std::error_code ec;
    if (searching && !fs::exists(fs::symlink_status(next, ec))) {
      searching = false;
      const std::u16string key = FoldCase(*FromUtf8(name));
      for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        const std::optional<std::u16string> entry = FromUtf8(Utf8Of(it->path().filename()));
        if (entry && FoldCase(*entry) == key) {
          next = it->path();
          searching = true;
          break;
        }
      }
    }
    path = std::move(next);
  }
  return path;
}

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::symlink_status(path, ec));
}

bool Covered(const SessionConfig& session, char volume, const std::vector<std::string>& names) {
  const std::string key = PathKey(JoinPath(names));
  return std::any_of(session.exclusions.begin(), session.exclusions.end(), [&](const Exclusion& e) {
    return e.volume == volume && Covers(PathKey(e.path), key);
  });
}

WfStatus Report(bool current, bool next, std::uint32_t* current_out, std::uint32_t* next_out) {
  *current_out = current ? 1 : 0;
  *next_out = next ? 1 : 0;
  return kOk;
}

}  // namespace

WfStatus Machine::LocateVolume(std::u16string_view volume, char& letter) const {
  const std::optional<char> parsed = ParseVolume(volume);
  if (!parsed) return kInvalidName;
  if (!state_.VolumeExists(*parsed)) return kInvalidDrive;
  letter = *parsed;
  return kOk;
}

WfStatus Machine::Locate(std::u16string_view volume, std::u16string_view path, Target& target) const {
  const std::optional<char> parsed = ParseVolume(volume);
  std::optional<std::vector<std::string>> names = ParsePath(path);
  if (!parsed || !names) return kInvalidName;
  if (!state_.VolumeExists(*parsed)) return kInvalidDrive;
  target = {*parsed, std::move(*names)};
  return kOk;
}

WfStatus Machine::SetFeature(Feature feature, bool on) {
  return state_.Update([&](Config& config) {
    FeatureOf(config.next, feature) = on;
    return kOk;
  });
}

WfStatus Machine::QueryFeature(Feature feature, std::uint32_t* current, std::uint32_t* next) {
  if (current == nullptr || next == nullptr) return kInvalidParameter;
  return state_.Read(ParseScope::kSettings, [&](const Config& config) {
    return Report(FeatureOf(config.current, feature), FeatureOf(config.next, feature), current, next);
  });
}

WfStatus Machine::QueryVolume(std::u16string_view volume, std::uint32_t* current,
                              std::uint32_t* next) {
  if (current == nullptr || next == nullptr) return kInvalidParameter;
  char letter = 0;
  if (const WfStatus status = LocateVolume(volume, letter); status != kOk) return status;
  return state_.Read(ParseScope::kSettings, [&](const Config& config) {
    return Report(config.current.IsProtected(letter), config.next.IsProtected(letter), current, next);
  });
}

WfStatus Machine::Protect(std::u16string_view volume) {
  char letter = 0;
  if (const WfStatus status = LocateVolume(volume, letter); status != kOk) return status;
  return state_.Update([&](Config& config) {
    if (!config.next.filter) return kInvalidFunction;
    std::string& set = config.next.protected_volumes;
    if (set.find(letter) == std::string::npos) {
      set.push_back(letter);
      std::sort(set.begin(), set.end());
    }
    return kOk;
  });
}

WfStatus Machine::Unprotect(std::u16string_view volume) {
  char letter = 0;
  if (const WfStatus status = LocateVolume(volume, letter); status != kOk) return status;
  return state_.Update([&](Config& config) {
    std::erase(config.next.protected_volumes, letter);
    return kOk;
  });
}

WfStatus Machine::SetThreshold(std::uint32_t megabytes) {
  if (megabytes < 16 || megabytes > 1024) return kInvalidParameter;
  return state_.Update([&](Config& config) {
    config.next.threshold = megabytes;
    return kOk;
  });
}

WfStatus Machine::AddExclusion(std::u16string_view volume, std::u16string_view path) {
  Target target;
  if (const WfStatus status = Locate(volume, path, target); status != kOk) return status;
  return state_.Update([&](Config& config) {
    const std::string joined = JoinPath(target.names);
    if (FindExclusion(config.next, target.volume, joined) < 0) {
      config.next.exclusions.push_back({target.volume, joined});
    }
    return kOk;
  });
}

WfStatus Machine::RemoveExclusion(std::u16string_view volume, std::u16string_view path) {
  Target target;
  if (const WfStatus status = Locate(volume, path, target); status != kOk) return status;
  return state_.Update([&](Config& config) {
    const std::ptrdiff_t found = FindExclusion(config.next, target.volume, JoinPath(target.names));
    if (found < 0) return kFileNotFound;
    config.next.exclusions.erase(config.next.exclusions.begin() + found);
    return kOk;
  });
}

// Commit and restore: a cached file of a volume protected now, under the lock.
WfStatus Machine::WithCachedFile(std::u16string_view volume, std::u16string_view path,
                                 const std::function<WfStatus(const Target&, const fs::path&)>& act) {
  Target target;
  if (const WfStatus status = Locate(volume, path, target); status != kOk) return status;
  const auto with_file = [&](const Config& config) {
    if (!config.current.IsProtected(target.volume)) return kInvalidDrive;
    const fs::path cached = Resolve(state_.CacheRoot(target.volume), target.names);
    if (!IsRegularFile(cached)) return kFileNotFound;
    return act(target, cached);
  };
  return state_.Read(ParseScope::kSettings, with_file, FileLock::Mode::kExclusive);
}

WfStatus Machine::Commit(std::u16string_view volume, std::u16string_view path) {
  return WithCachedFile(volume, path, [&](const Target& target, const fs::path& cached) {
    const fs::path disk = Resolve(state_.VolumeRoot(target.volume), target.names);
    std::error_code ec;
    fs::create_directories(disk.parent_path(), ec);
    // One rename: the disk copy is the old content or the new, never a mix.
    return !ec && MoveDurably(cached, disk) ? kOk : kAccessDenied;
  });
}

WfStatus Machine::Restore(std::u16string_view volume, std::u16string_view path) {
  return WithCachedFile(volume, path, [](const Target&, const fs::path& cached) {
    std::error_code ec;
    return fs::remove(cached, ec) ? kOk : kAccessDenied;
  });
}

WfStatus Machine::Reboot() {
  const fs::path cache = state_.dir() / "cache";
  const fs::path discarded = state_.dir() / "cache.discarded";
  const WfStatus status = state_.Update([&](Config& config) {
    std::error_code ec;
    fs::remove_all(discarded, ec);
    fs::rename(cache, discarded, ec);
    if (ec && fs::exists(cache)) return kAccessDenied;
    config.current = config.next;
    return kOk;
  });
  std::error_code ec;
  fs::remove_all(discarded, ec);
  return status;
}

WfStatus Machine::Write(std::u16string_view volume, std::u16string_view path,
                        std::string_view content, bool& cached) {
  Target target;
  if (const WfStatus status = Locate(volume, path, target); status != kOk) return status;
  const auto write = [&](const Config& config) {
    cached = config.current.IsProtected(target.volume) &&
             !Covered(config.current, target.volume, target.names);
    const fs::path root = cached ? state_.CacheRoot(target.volume) : state_.VolumeRoot(target.volume);
    const fs::path file = Resolve(root, target.names);
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    fs::create_directories(state_.ScratchFolder(), ec);
    if (fs::is_directory(file, ec)) return kAccessDenied;
    return ReplaceDurably(state_.ScratchFolder() / "write.new", file, content) ? kOk : kAccessDenied;
  };
  return state_.Read(ParseScope::kAll, write, FileLock::Mode::kExclusive);
}

WfStatus Machine::ReadFile(std::u16string_view volume, std::u16string_view path,
                           std::string& content) {
  Target target;
  if (const WfStatus status = Locate(volume, path, target); status != kOk) return status;
  const auto read = [&](const Config&) {
    fs::path file = Resolve(state_.CacheRoot(target.volume), target.names);
    if (!IsRegularFile(file)) file = Resolve(state_.VolumeRoot(target.volume), target.names);
    if (!IsRegularFile(file)) return kFileNotFound;
    bool too_large = false;
    return wfsim::ReadRegularFile(file, std::size_t{1} << 30, content, too_large) ? kOk
                                                                                 : kAccessDenied;
  };
  return state_.Read(ParseScope::kSettings, read);
}

std::vector<CachedFile> Machine::CachedFiles() const {
  std::vector<CachedFile> files;
  const fs::path cache = state_.dir() / "cache";
  std::error_code ec;
  for (fs::recursive_directory_iterator it(cache, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const fs::path relative = it->path().lexically_relative(cache);
    auto part = relative.begin();
    std::string name = Utf8Of(*part) + ":";
    for (++part; part != relative.end(); ++part) (name += '\\') += Utf8Of(*part);
    files.push_back({name, it->file_size(ec)});
  }
  std::sort(files.begin(), files.end(),
            [](const CachedFile& a, const CachedFile& b) { return a.name < b.name; });
  return files;
}

}  // namespace wfsim
