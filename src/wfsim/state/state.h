// The state folder: the configuration file, its lock, the injected faults,
// and the folders of the volumes' disks and of the running session's cache.
// Nothing in it is reached through a link: a link where the folder's own
// structure has a file or folder makes the call fail with 5.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "wfapi/wfapi.h"
#include "wfsim/base/codes.h"
#include "wfsim/config/config.h"
#include "wfsim/state/files.h"
#include "wfsim/state/os.h"

namespace wfsim {

struct Fault {
  std::string function;
  WfStatus code;
  std::uint32_t count;
};

// A change the system refused: 19 on a read-only file system, else 5, with
// what could not be done and the system's reason, from LastSystemError() or
// from `error`.
Outcome ChangeFailed(const std::string& what);
Outcome ChangeFailed(const std::string& what, const std::error_code& error);

// 5, naming a file or folder of the state folder that is not `what` it must be.
Outcome NotPlain(const fs::path& path, const char* what);
// Why a file of the folder's own could not be read; kOk when it was.
Outcome ReadFailure(ReadOutcome outcome, const fs::path& file, const char* limit);

class StateFolder {
 public:
  // Every lock a call takes is waited for until `deadline` at most.
  explicit StateFolder(fs::path dir, Deadline deadline = DeadlineFromNow())
      : dir_(std::move(dir)), deadline_(deadline) {}

  const fs::path& dir() const { return dir_; }
  fs::path VolumeRoot(char volume) const { return dir_ / files::kVolumes / std::string(1, volume); }
  // Each session's cache has a folder of its own, named by `config`, so a
  // reboot replaces it in one durable step: the configuration's.
  fs::path CacheFolder(const Config& config) const;
  static std::string CacheName(const Config& config);
  fs::path CacheRoot(const Config& config, char volume) const {
    return CacheFolder(config) / std::string(1, volume);
  }
  fs::path ScratchFolder() const { return dir_ / "tmp"; }

  // kOk, 15 for a volume that does not exist, 5 for a link in its place.
  Outcome CheckVolume(char volume) const;
  // kOk while the session's cache folder is a plain folder or not made yet,
  // 5 otherwise: nothing outside the state folder is reached through it.
  // Read and ActOnFiles check it before their body runs.
  Outcome CheckCache(const Config& config) const;
  // A folder of the state folder's own structure: kOk when it is a plain
  // folder (made when `create` and missing), 5 otherwise.
  Outcome StructureFolder(const fs::path& folder, bool create) const;

  // Creates the folder on first use, with volumes C and D and a fresh
  // configuration, written last, so a first use that was cut short is
  // completed by the next call.
  Outcome Prepare();

  // Runs `body` with the configuration under the shared lock.
  Outcome Read(ParseScope scope, const std::function<Outcome(const Config&)>& body) const;

  // Runs `body` with the configuration under the exclusive lock, for calls
  // that change the volumes' files or the cache but not the configuration.
  Outcome ActOnFiles(ParseScope scope, const std::function<Outcome(const Config&)>& body) const;

  // Read-modify-write under the exclusive lock. The configuration is written
  // back, durably, only when `body` succeeds and changed it; a failed call
  // leaves the state as it was. A change whose text would pass the read
  // limit is refused with 112. Once a new session's configuration is
  // written, every other session's cache is removed.
  Outcome Update(const std::function<Outcome(Config&)>& body);

  // Adds `path` (UTF-8, as given) to the next session's exclusions of
  // `volume`, or removes it (2 when it is not listed), once `check` accepts
  // the settings. A configuration this program wrote, as its seal shows, is
  // changed by copying its bytes around the one line; any other is parsed
  // whole first, as Update does. The same promises hold as for Update.
  enum class ListChange { kAdd, kRemove };
  Outcome ChangeNextExclusion(ListChange change, char volume, const std::string& path,
                              const std::function<Outcome(const Config& settings)>& check);

  // Makes the machine new, whatever state the folder is in: the `fresh`
  // configuration (see Config::Fresh), volumes C and D with empty disks, an
  // empty cache, no pending fault. All or nothing: a reset cut short at any
  // point leaves the old machine or the new one.
  Outcome Reset(const Config& fresh);

  // The next injected failure of `function`, if one is waiting; it fires
  // only once its count, one less, has been stored.
  Outcome TakeFault(WfFunction function, std::optional<WfStatus>& fired);
  Outcome AddFault(const Fault& fault);
  Outcome ClearFaults();
  Outcome Faults(std::vector<Fault>& faults) const;

  // The journal of the library's calls, one line a call, each appended
  // whole or not at all under the journal's own lock (journal.lock). Past
  // kJournalRotateBytes the file becomes journal.1, replacing the one
  // before, so the two hold at most twice that and a line, and no line of a
  // returned call is lost to a trim. A line that can't be written leaves
  // journal.incomplete behind. Failing to write it fails no call, and
  // writing it allocates nothing.
  static constexpr std::size_t kJournalLines = 10000;
  static constexpr std::uintmax_t kJournalRotateBytes = 2u << 20;
  void Journal(std::string_view line) const { AppendToJournal(dir_, deadline_, line); }
  static void AppendToJournal(const fs::path& dir, Deadline deadline, std::string_view line);
  // The last kJournalLines whole lines, and whether some line could not be
  // written since the journal was last emptied.
  Outcome JournalLines(std::vector<std::string>& lines, bool& incomplete) const;
  Outcome ClearJournal();

 private:
  Outcome Load(ParseScope scope, Config& config) const;
  // Load, parsing only bytes this process has not parsed last.
  Outcome LoadShared(ParseScope scope, std::shared_ptr<const Config>& config) const;
  // Parses `text` for `scope`, or whole where that is cheap; `scope` says which.
  Outcome ParseForCalls(const FileText& text, ParseScope& scope, std::shared_ptr<const Config>& config) const;
  Outcome ChangeParsedExclusion(const Config& config, ListChange change, char volume, const std::string& path);
  // Read and ActOnFiles: the lock, the configuration, the cache folder's check.
  Outcome WithConfig(FileLock::Mode mode, ParseScope scope,
                     const std::function<Outcome(const Config&)>& body) const;
  Outcome ReadText(ParseScope scope, FileText& text) const;
  Outcome Parse(std::string_view text, ParseScope scope, Config& config) const;
  // Writes `after` in place of `before`, under the exclusive lock.
  Outcome Store(const Config& before, const Config& after);
  Outcome WriteConfig(std::span<const std::string_view> pieces);
  Outcome WriteConfig(std::string_view text) {
    return WriteConfig(std::span<const std::string_view>(&text, 1));
  }
  // Runs `body` under the exclusive lock.
  template <typename Body>
  Outcome Exclusively(Body body) const {
    Outcome failure;
    const std::optional<FileLock> lock = Locked(FileLock::Mode::kExclusive, failure);
    return lock ? body() : failure;
  }
  // The lock, once any reset cut short after its switch is completed.
  std::optional<FileLock> Locked(FileLock::Mode mode, Outcome& failure) const;
  std::optional<FileLock> LockedAlone(FileLock::Mode mode, Outcome& failure) const;
  Outcome FinishReset() const;
  Outcome WriteFaults(const std::vector<Fault>& faults);
  void RemoveOtherCaches(const Config& config) const;

  fs::path dir_;
  Deadline deadline_;
};

}  // namespace wfsim
