// The state folder: the configuration file, its lock, the injected faults,
// and the folders of the volumes' disks and of the cache.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "wfapi/wfapi.h"
#include "wfsim/config.h"
#include "wfsim/platform.h"

namespace wfsim {

struct Fault {
  std::string function;
  WfStatus code;
  std::uint32_t count;
};

class StateFolder {
 public:
  explicit StateFolder(fs::path dir) : dir_(std::move(dir)) {}

  const fs::path& dir() const { return dir_; }
  fs::path VolumeRoot(char volume) const { return dir_ / "volumes" / std::string(1, volume); }
  fs::path CacheRoot(char volume) const { return dir_ / "cache" / std::string(1, volume); }
  fs::path ScratchFolder() const { return dir_ / "tmp"; }
  bool VolumeExists(char volume) const;

  // Creates the folder on first use, with volumes C and D and a fresh
  // configuration; leaves an existing one as it is.
  WfStatus Prepare();

  // Runs `body` with the configuration under the lock; a shared one unless
  // the body changes files of the volumes or the cache.
  WfStatus Read(ParseScope scope, const std::function<WfStatus(const Config&)>& body,
                FileLock::Mode mode = FileLock::Mode::kShared) const;

  // Read-modify-write under the exclusive lock. The configuration is written
  // back, durably, only when `body` succeeds and changed it; a failed call
  // leaves the state as it was.
  WfStatus Update(const std::function<WfStatus(Config&)>& body);

  // Takes the next injected failure of `function`, if one is waiting.
  bool TakeFault(std::string_view function, WfStatus& code);
  WfStatus AddFault(const Fault& fault);
  std::vector<Fault> Faults() const;

  // Why the last read of the configuration failed, for fbwfsim's messages.
  const std::string& problem() const { return problem_; }

 private:
  WfStatus Load(ParseScope scope, Config& config) const;
  bool WriteFaults(const std::vector<Fault>& faults);

  fs::path dir_;
  mutable std::string problem_;
};

}  // namespace wfsim
