#include "wfsim/state/state.h"

#include <algorithm>
#include <charconv>

#include "os/threads.h"
#include "wfsim/base/paths.h"
#include "wfsim/config/sealed_config.h"
#include "wfsim/state/files.h"

namespace wfsim {

namespace {

// Far beyond any real exclusion list; a bigger file is not a configuration.
constexpr std::size_t kConfigLimit = 16u << 20;

// The configuration last parsed in this process, with the bytes it was
// parsed from: a program that makes several calls in a row parses it once.
// Small ones only, so that a long list is not held on to.
constexpr std::size_t kKeptConfigBytes = 64u << 10;
// A configuration this small is parsed whole even for its settings alone, so
// that one parse serves all of a program's calls.
constexpr std::size_t kParsedWholeBytes = 4u << 10;

struct LastParsed {
  // The same bytes parse the same wherever they are; a whole parse serves a
  // read of the settings too.
  bool Serves(ParseScope wanted, const FileText& read) const {
    return config && (scope == wanted || scope == ParseScope::kAll) && text.view() == read.view();
  }

  os::Mutex mutex;
  ParseScope scope = ParseScope::kAll;
  FileText text;
  std::shared_ptr<const Config> config;
};

// Made as the library loads, not at its first use: it then outlives the
// notification watcher, whose thread reads configurations until a static
// made later stops it at unloading.
LastParsed last_parsed;

}  // namespace

Outcome NotPlain(const fs::path& path, const char* what) {
  return {kAccessDenied, Quoted(path) + " is not " + what + " (a link, a device or a second name of another file)"};
}

// Why a file of the folder's own could not be read; kOk when it was.
Outcome ReadFailure(ReadOutcome outcome, const fs::path& file, const char* limit) {
  switch (outcome) {
    case ReadOutcome::kRead:
      return kOk;
    case ReadOutcome::kTooLarge:
      return {kFileCorrupt, Quoted(file) + " is over the read limit of " + limit};
    case ReadOutcome::kNotPlainFile:
      return NotPlain(file, "a plain file");
    case ReadOutcome::kMissing:
    case ReadOutcome::kFailed:
      break;
  }
  return {kAccessDenied, Quoted(file) + " can't be read: " + LastSystemError().reason};
}

namespace {

// A read of the settings needs nothing past the first exclusion list's header.
bool HasSettings(std::string_view text, std::size_t fresh) {
  constexpr std::string_view kHeaders[] = {"\n[current exclusions]", "\n[next exclusions]"};
  for (std::string_view header : kHeaders) {
    // A header may straddle the previous read.
    const std::size_t from = fresh > header.size() ? fresh - header.size() : 0;
    if (text.find(header, from) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

// A list change is refused when the configuration would pass its read limit
// once a reboot copies the next list into the current one: a reboot always fits.
Outcome FitsAfterReboot(std::size_t size) {
  if (size <= kConfigLimit) return kOk;
  return {kDiskFull, "the change would take the configuration past its read limit of 16 MiB at the next reboot"};
}

Outcome ChangeFailed(const std::string& what) {
  const SystemError error = LastSystemError();
  return {error.kind == SystemError::Kind::kReadOnly ? kWriteProtect : kAccessDenied, what + ": " + error.reason};
}

Outcome ChangeFailed(const std::string& what, const std::error_code& error) {
  const bool read_only = error == std::errc::read_only_file_system;
  return {read_only ? kWriteProtect : kAccessDenied, what + ": " + error.message()};
}

std::string StateFolder::CacheName(const Config& config) {
  // Built by appending: GCC 12 warns falsely about a concatenation's overlap.
  std::string name(files::kCache);
  if (config.session == 0) return name;
  name += '.';
  name += std::to_string(config.session);
  return name;
}

fs::path StateFolder::CacheFolder(const Config& config) const { return dir_ / CacheName(config); }

Outcome StateFolder::StructureFolder(const fs::path& folder, bool create) const {
  Entry entry = Inspect(folder);
  std::error_code ec;
  if (entry.type == EntryType::kMissing && create) {
    fs::create_directory(folder, ec);
    entry = Inspect(folder);
  }
  if (entry.type == EntryType::kFolder) return kOk;
  if (entry.type == EntryType::kMissing) return ChangeFailed("the folder " + Quoted(folder) + " can't be made", ec);
  return NotPlain(folder, "a plain folder");
}

Outcome StateFolder::CheckCache(const Config& config) const {
  const EntryType type = Inspect(NamedIn(dir_, CacheName(config)).c_str()).type;
  if (type == EntryType::kMissing || type == EntryType::kFolder) return kOk;
  return NotPlain(CacheFolder(config), "a plain folder");
}

Outcome StateFolder::CheckVolume(char volume) const {
  const auto check = [](const fs::path::string_type& folder) -> Outcome {
    const EntryType type = Inspect(folder.c_str()).type;
    if (type == EntryType::kMissing) return kInvalidDrive;
    return type == EntryType::kFolder ? Outcome(kOk) : NotPlain(folder, "a plain folder");
  };
  const fs::path::string_type volumes = NamedIn(dir_, files::kVolumes);
  if (Outcome outer = check(volumes); !outer.ok()) return outer;
  return check(volumes + fs::path::preferred_separator + static_cast<NativeChar>(volume));
}

std::optional<FileLock> StateFolder::LockedAlone(FileLock::Mode mode, Outcome& failure) const {
  FileLock::Failure why = FileLock::Failure::kNone;
  std::optional<FileLock> lock = FileLock::Acquire(NamedIn(dir_, files::kLock).c_str(), mode, why, deadline_);
  if (lock) return lock;
  if (why == FileLock::Failure::kTimedOut) {
    std::string cause = "the state folder " + Quoted(dir_) + " is busy: ";
    const std::optional<long> holder = LockHolder(dir_ / files::kLock);
    cause += holder ? "process " + std::to_string(*holder) : std::string("another process");
    cause += " has held its lock for " + std::to_string(LockWait().count()) + " ms";
    failure = {kTimeout, cause};
    return lock;
  }
  const std::string reason = LastSystemError().reason;
  const Entry entry = Inspect(dir_ / files::kLock);
  if (entry.type != EntryType::kMissing && !IsPlain(entry)) {
    failure = NotPlain(dir_ / files::kLock, "a plain file");
  } else {
    failure = {kAccessDenied, "the state folder " + Quoted(dir_) + " can't be used: " + reason};
  }
  return lock;
}

std::optional<FileLock> StateFolder::Locked(FileLock::Mode mode, Outcome& failure) const {
  const fs::path::string_type ready = NamedIn(dir_, files::kResetReady);
  // A reset cut short after its switch is completed first, under the
  // exclusive lock; a shared lock is then taken again.
  while (mode == FileLock::Mode::kShared) {
    {
      std::optional<FileLock> shared = LockedAlone(mode, failure);
      if (!shared || Inspect(ready.c_str()).type == EntryType::kMissing) return shared;
    }
    if (!Locked(FileLock::Mode::kExclusive, failure)) return std::nullopt;
  }
  std::optional<FileLock> lock = LockedAlone(mode, failure);
  if (!lock || Inspect(ready.c_str()).type == EntryType::kMissing) return lock;
  if (Outcome finished = FinishReset(); !finished.ok()) {
    failure = finished;
    return std::nullopt;
  }
  return lock;
}

Outcome StateFolder::Prepare() {
  // The configuration's kind is checked when it is read.
  if (Inspect(NamedIn(dir_, files::kConfig).c_str()).type != EntryType::kMissing) return kOk;
  std::error_code ec;
  fs::create_directories(dir_, ec);
  if (Inspect(dir_).type == EntryType::kMissing) return ChangeFailed("the state folder " + Quoted(dir_) + " can't be made", ec);
  return Exclusively([&]() -> Outcome {
    if (Inspect(dir_ / files::kConfig).type != EntryType::kMissing) return kOk;  // another process was first
    for (const fs::path& folder : {dir_ / files::kVolumes, VolumeRoot('C'), VolumeRoot('D')}) {
      if (Outcome made = StructureFolder(folder, true); !made.ok()) return made;
    }
    return WriteConfig(FormatConfig(Config::Fresh(kReleases[0])));
  });
}

Outcome StateFolder::ReadText(ParseScope scope, FileText& text) const {
  const auto enough = scope == ParseScope::kSettings ? HasSettings : nullptr;
  const ReadOutcome read = ReadRegularFile(NamedIn(dir_, files::kConfig).c_str(), kConfigLimit, text, enough);
  return read == ReadOutcome::kRead ? Outcome(kOk) : ReadFailure(read, dir_ / files::kConfig, "16 MiB");
}

Outcome StateFolder::Parse(std::string_view text, ParseScope scope, Config& config) const {
  ParseError error;
  if (ParseConfig(text, scope, config, error)) return kOk;
  return {kFileCorrupt, Quoted(dir_ / files::kConfig) + ", line " + std::to_string(error.line) + ": " + error.what};
}

Outcome StateFolder::Load(ParseScope scope, Config& config) const {
  FileText text;
  Outcome outcome = ReadText(scope, text);
  return outcome.ok() ? Parse(text.view(), scope, config) : outcome;
}

// A list that can't be parsed fails only the calls that need the lists: the
// settings are then parsed alone.
Outcome StateFolder::ParseForCalls(const FileText& text, ParseScope& scope,
                                   std::shared_ptr<const Config>& config) const {
  if (scope == ParseScope::kSettings && text.whole() && text.size() <= kParsedWholeBytes) {
    auto whole = std::make_shared<Config>();
    if (Parse(text.view(), ParseScope::kAll, *whole).ok()) {
      scope = ParseScope::kAll;
      config = std::move(whole);
      return kOk;
    }
  }
  auto parsed = std::make_shared<Config>();
  Outcome outcome = Parse(text.view(), scope, *parsed);
  if (outcome.ok()) config = std::move(parsed);
  return outcome;
}

Outcome StateFolder::LoadShared(ParseScope scope, std::shared_ptr<const Config>& config) const {
  FileText text;
  if (Outcome read = ReadText(scope, text); !read.ok()) return read;
  LastParsed& last = last_parsed;
  if (const os::MutexTryLock lock(last.mutex); lock.held() && last.Serves(scope, text)) {
    config = last.config;
    return kOk;
  }
  ParseScope parsed_scope = scope;
  if (Outcome outcome = ParseForCalls(text, parsed_scope, config); !outcome.ok()) return outcome;
  if (const os::MutexTryLock lock(last.mutex); lock.held() && text.size() <= kKeptConfigBytes) {
    last.scope = parsed_scope;
    last.text = std::move(text);  // kept, not copied
    last.config = config;
  }
  return kOk;
}

Outcome StateFolder::WithConfig(FileLock::Mode mode, ParseScope scope,
                                const std::function<Outcome(const Config&)>& body) const {
  Outcome failure;
  const std::optional<FileLock> lock = Locked(mode, failure);
  if (!lock) return failure;
  std::shared_ptr<const Config> config;
  if (Outcome loaded = LoadShared(scope, config); !loaded.ok()) return loaded;
  if (Outcome cache = CheckCache(*config); !cache.ok()) return cache;
  return body(*config);
}

Outcome StateFolder::Read(ParseScope scope, const std::function<Outcome(const Config&)>& body) const {
  return WithConfig(FileLock::Mode::kShared, scope, body);
}

Outcome StateFolder::ActOnFiles(ParseScope scope,
                                const std::function<Outcome(const Config&)>& body) const {
  return WithConfig(FileLock::Mode::kExclusive, scope, body);
}

Outcome StateFolder::Update(const std::function<Outcome(Config&)>& body) {
  return Exclusively([&]() -> Outcome {
    Config before;
    if (Outcome loaded = Load(ParseScope::kAll, before); !loaded.ok()) return loaded;
    Config after = before;
    if (Outcome changed = body(after); !changed.ok()) return changed;
    return Store(before, after);
  });
}

Outcome StateFolder::Store(const Config& before, const Config& after) {
  if (after == before) return kOk;
  if (Outcome written = WriteConfig(FormatConfig(after)); !written.ok()) return written;
  if (after.session != before.session) RemoveOtherCaches(after);
  return kOk;
}

Outcome StateFolder::WriteConfig(std::span<const std::string_view> pieces) {
  std::size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  if (size > kConfigLimit) {
    return {kDiskFull, "the change would take the configuration past its read limit of 16 MiB"};
  }
  if (!ReplaceDurably(dir_ / files::kConfigNew, dir_ / files::kConfig, pieces)) {
    return ChangeFailed("the configuration can't be written in " + Quoted(dir_));
  }
  return kOk;
}

Outcome StateFolder::ChangeNextExclusion(ListChange change, char volume, const std::string& path,
                                         const std::function<Outcome(const Config& settings)>& check) {
  return Exclusively([&]() -> Outcome {
    FileText text;
    if (Outcome read = ReadText(ParseScope::kAll, text); !read.ok()) return read;
    const std::optional<SealedText> sealed = OpenSealed(text.view(), volume, PathKey(path));
    Config config;
    const ParseScope scope = sealed ? ParseScope::kSettings : ParseScope::kAll;
    if (Outcome parsed = Parse(sealed ? sealed->body : text.view(), scope, config); !parsed.ok()) return parsed;
    if (Outcome accepted = check(config); !accepted.ok()) return accepted;
    if (!sealed) return ChangeParsedExclusion(config, change, volume, path);
    const bool found = !sealed->lines.empty();
    if (change == ListChange::kAdd && found) return kOk;
    if (change == ListChange::kRemove && !found) return kFileNotFound;
    SealedChange changed;
    if (change == ListChange::kAdd) {
      AddSealedLine(*sealed, text.size(), volume, path, changed);
      if (Outcome fits = FitsAfterReboot(changed.rebooted_size); !fits.ok()) return fits;
    } else {
      RemoveSealedLines(*sealed, changed);
    }
    return WriteConfig(changed.pieces);
  });
}

// Parsed whole: the lists themselves change, and are written out sealed.
Outcome StateFolder::ChangeParsedExclusion(const Config& config, ListChange change, char volume,
                                           const std::string& path) {
  Config after = config;
  if (change == ListChange::kAdd) {
    if (ListsExclusion(after.next, volume, path)) return kOk;
    after.next.exclusions.push_back({volume, path});
    Config rebooted = after;
    rebooted.current = after.next;
    if (Outcome fits = FitsAfterReboot(FormatConfig(rebooted).size()); !fits.ok()) return fits;
  } else if (RemoveExclusions(after.next, volume, path) == 0) {
    return kFileNotFound;
  }
  return Store(config, after);
}

// The new machine is built aside, in reset.new, and becomes reset.ready in
// one rename: a reset cut short before that leaves the old machine, and
// after it every call first completes the switch (FinishReset), so no call
// sees a mix of the two.
Outcome StateFolder::Reset(const Config& machine) {
  return Exclusively([&]() -> Outcome {
    const fs::path aside = dir_ / files::kResetNew;
    std::error_code ec;
    fs::remove_all(aside, ec);  // a leftover, or a link there: never what it points to
    // A refused reset leaves nothing of its own behind.
    const auto refused = [&](Outcome why) {
      std::error_code ignored;
      fs::remove_all(aside, ignored);
      return why;
    };
    for (const fs::path& folder : {aside, aside / files::kVolumes, aside / files::kVolumes / "C", aside / files::kVolumes / "D"}) {
      if (Outcome made = StructureFolder(folder, true); !made.ok()) return refused(made);
    }
    Config fresh = machine;
    fresh.session = 0;
    while (Inspect(CacheFolder(fresh)).type != EntryType::kMissing) ++fresh.session;
    const std::string text = FormatConfig(fresh);
    const std::string_view pieces[] = {text};
    if (!WriteNewFile(aside / files::kConfig, pieces) || !MoveDurably(aside, dir_ / files::kResetReady)) {
      return refused(ChangeFailed("the new machine can't be made in " + Quoted(aside)));
    }
    return FinishReset();
  });
}

Outcome StateFolder::FinishReset() const {
  const fs::path ready = dir_ / files::kResetReady;
  const EntryType type = Inspect(ready).type;
  if (type == EntryType::kMissing) return kOk;
  std::error_code ec;
  if (type == EntryType::kFolder) {
    // Each step is done again or skipped by the next call if this one is cut short.
    if (Inspect(ready / files::kVolumes).type == EntryType::kFolder) {
      fs::remove_all(dir_ / files::kVolumes, ec);
      if (!MoveDurably(ready / files::kVolumes, dir_ / files::kVolumes)) return ChangeFailed("a reset can't be completed");
    }
    if (Inspect(ready / files::kConfig).type == EntryType::kFile &&
        !MoveDurably(ready / files::kConfig, dir_ / files::kConfig)) {
      return ChangeFailed("a reset can't be completed");
    }
    // A new machine has no pending fault and no calls yet.
    for (const std::string_view name : {files::kFaults, files::kJournal, files::kJournalPrevious,
                                        files::kJournalIncomplete}) {
      fs::remove(dir_ / name, ec);
    }
    Config config;
    if (Load(ParseScope::kSettings, config).ok()) RemoveOtherCaches(config);
  }
  // A reset that can't be completed (a file system made read-only since) is
  // said so, not tried again forever.
  if (fs::remove_all(ready, ec) == static_cast<std::uintmax_t>(-1) || Inspect(ready).type != EntryType::kMissing) {
    return ChangeFailed("a reset cut short can't be completed: " + Quoted(ready) + " can't be removed", ec);
  }
  return kOk;
}

void StateFolder::RemoveOtherCaches(const Config& config) const {
  const fs::path keep = CacheFolder(config).filename();
  std::error_code ec;
  for (fs::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const bool a_cache = name.starts_with(files::kCache) &&
                         (name.size() == files::kCache.size() || name[files::kCache.size()] == '.');
    if (name != keep && a_cache) {
      std::error_code ignored;
      fs::remove_all(it->path(), ignored);  // removes links, never what they point to
    }
  }
}

}  // namespace wfsim
