// The simulated machine: the write filter's operations on the state folder,
// and what fbwfsim does beyond them (reboots, programs' reads and writes).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "wfapi/wfapi.h"
#include "wfsim/state.h"

namespace wfsim {

enum class Feature { kFilter, kCompression, kPreallocation };

struct CachedFile {
  std::string name;  // "C:\path"
  std::uintmax_t size;
};

// The library's function names, the ones faults can be injected into.
extern const std::string_view kFunctionNames[17];

class Machine {
 public:
  explicit Machine(StateFolder& state) : state_(state) {}

  WfStatus SetFeature(Feature feature, bool on);
  WfStatus QueryFeature(Feature feature, std::uint32_t* current, std::uint32_t* next);
  WfStatus QueryVolume(std::u16string_view volume, std::uint32_t* current, std::uint32_t* next);
  WfStatus Protect(std::u16string_view volume);
  WfStatus Unprotect(std::u16string_view volume);
  WfStatus SetThreshold(std::uint32_t megabytes);
  WfStatus AddExclusion(std::u16string_view volume, std::u16string_view path);
  WfStatus RemoveExclusion(std::u16string_view volume, std::u16string_view path);
  WfStatus Commit(std::u16string_view volume, std::u16string_view path);
  WfStatus Restore(std::u16string_view volume, std::u16string_view path);

  // The next session's configuration becomes current; the cache is emptied.
  WfStatus Reboot();
  // A program's write: into the cache while the volume is protected now and
  // no exclusion in force covers the path, else onto the disk.
  WfStatus Write(std::u16string_view volume, std::u16string_view path, std::string_view content,
                 bool& cached);
  // A program's read: the cached copy if there is one, else the disk's.
  WfStatus ReadFile(std::u16string_view volume, std::u16string_view path, std::string& content);
  std::vector<CachedFile> CachedFiles() const;

 private:
  struct Target {
    char volume;
    std::vector<std::string> names;
  };
  WfStatus Locate(std::u16string_view volume, std::u16string_view path, Target& target) const;
  WfStatus LocateVolume(std::u16string_view volume, char& letter) const;
  WfStatus WithCachedFile(std::u16string_view volume, std::u16string_view path,
                          const std::function<WfStatus(const Target&, const fs::path&)>& act);

  StateFolder& state_;
};

}  // namespace wfsim
