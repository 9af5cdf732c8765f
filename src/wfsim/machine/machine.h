// The simulated machine: the write filter's operations on the state folder,
// and what fbwfsim does beyond them (reboots, programs' reads and writes).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "wfapi/wfapi.h"
#include "wfsim/state/state.h"

namespace wfsim {

enum class Feature { kFilter, kCompression, kPreallocation };

struct CachedFile {
  std::string name;  // "C:\path"
  std::uintmax_t size;
};

// An entry of a folder as a program sees it.
struct ListedEntry {
  std::string name;  // UTF-8
  bool folder;
  bool cached;          // the cache's copy, not the disk's, is what is seen
  std::uintmax_t size;  // of a file
};

// The library's function names, the ones faults can be injected into.
extern const std::string_view kFunctionNames[17];

class Machine {
 public:
  explicit Machine(StateFolder& state) : state_(state) {}

  Outcome SetFeature(Feature feature, bool on);
  Outcome QueryFeature(Feature feature, std::uint32_t* current, std::uint32_t* next);
  Outcome QueryVolume(std::u16string_view volume, std::uint32_t* current, std::uint32_t* next);
  Outcome Protect(std::u16string_view volume);
  // Nonzero `drop_exclusions` also drops the volume's list for the next
  // session; otherwise the list applies again when it is protected again.
  Outcome Unprotect(std::u16string_view volume, bool drop_exclusions);
  Outcome SetThreshold(std::uint32_t megabytes);
  Outcome AddExclusion(std::u16string_view volume, std::u16string_view path);
  Outcome RemoveExclusion(std::u16string_view volume, std::u16string_view path);
  Outcome Commit(std::u16string_view volume, std::u16string_view path);
  Outcome Restore(std::u16string_view volume, std::u16string_view path);

  // The next session's configuration becomes current with a new, empty cache.
  Outcome Reboot();
  // A program's write: into the cache while the volume is protected now and
  // no exclusion in force covers the path, else onto the disk. A program
  // sees the cache over the disk, and in that view no path is both a file
  // and a folder: a write that would make it so is refused with 5.
  Outcome Write(std::u16string_view volume, std::u16string_view path, std::string_view content,
                bool& cached);
  // A program's read: the cached copy if there is one, else the disk's.
  Outcome ReadFile(std::u16string_view volume, std::u16string_view path, std::string& content);
  Outcome CachedFiles(std::vector<CachedFile>& files) const;
  // What a program sees at `path` of `volume` ("\\" for its root): a
  // folder's entries, the cache over the disk, or the one file it names.
  Outcome List(std::u16string_view volume, std::u16string_view path,
               std::vector<ListedEntry>& entries) const;

 private:
  struct Target {
    char volume;
    std::vector<std::string> names;
  };
  Outcome Locate(std::u16string_view volume, std::u16string_view path, Target& target) const;
  Outcome LocateVolume(std::u16string_view volume, char& letter) const;

  StateFolder& state_;
};

}  // namespace wfsim
