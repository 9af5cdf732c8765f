// The simulated machine: the write filter's operations on the state folder,
// and what fbwfsim does beyond them (reboots, programs' reads and writes).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "wfapi/wfapi.h"
#include "wfsim/machine/overlay.h"
#include "wfsim/state/state.h"

namespace wfsim {

enum class Feature { kFilter, kCompression, kPreallocation };

struct CachedFile {
  std::string name;  // "C:\path"
  std::uintmax_t size;
  std::string hex = {};  // of "\path" in the platform's units, when it is not valid Unicode
};

// An entry of a folder as a program sees it.
struct ListedEntry {
  std::string name;  // UTF-8
  bool folder;
  bool cached;          // the cache's copy, not the disk's, is what is seen
  std::uintmax_t size;  // of a file
};

// The overlay's figures as FbwfGetMemoryUsage gives them, in bytes.
struct MemoryUsage {
  std::uint64_t current_threshold = 0;
  std::uint64_t next_threshold = 0;
  OverlayUsage used;

  // What the overlay has left in the running session.
  std::uint64_t Left() const { return wfsim::Left(used, current_threshold); }
};

// A volume's size and what its files take, in bytes: on the disk (actual),
// and as programs see it through the overlay (virtual, the same as actual
// where the volume is not protected now).
struct VolumeFigures {
  char letter;
  std::uint64_t capacity;
  std::uint64_t actual_used;
  std::uint64_t virtual_used;
};

// The whole machine at one moment, read under one lock.
struct MachineView {
  Config config;
  std::vector<CachedFile> files;
  MemoryUsage memory;
  std::vector<VolumeFigures> volumes;
  std::vector<Fault> faults;
};

struct VolumeSize {
  std::uint64_t total_units = 0;
  std::uint64_t available_units = 0;
};

class Machine {
 public:
  explicit Machine(StateFolder& state) : state_(state) {}
  const StateFolder& state() const { return state_; }

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
  Outcome View(MachineView& view) const;

  // The library's other functions. Each checks the volume and the session's
  // state under the lock it reads with.
  Outcome Memory(MemoryUsage& usage) const;
  // Volumes configured for protection in the session, whether the filter is
  // on or not.
  Outcome VolumeList(bool current, std::string& letters) const;
  Outcome ExclusionList(std::u16string_view volume, bool current, std::vector<std::string>& paths) const;
  // The files of `volume` cached now, in name order, for a cache search: 1
  // with the filter off now, 15 for a volume not protected now, 2 for none.
  Outcome CacheSearch(std::u16string_view volume, std::vector<CachedFile>& files) const;
  // 1 when the filter is off in the running session.
  Outcome NeedsFilterNow() const;
  // A notification of `megabytes` left: 1 with the filter off now, 6 for an
  // event that is not valid, 87 for 0 or more than the current threshold.
  Outcome CheckNotification(std::uint32_t megabytes, bool valid_event) const;
  Outcome SizeDisplay(std::uint32_t* current, std::uint32_t* next) const;
  Outcome SetSizeDisplay(std::uint32_t next);
  // The volume's size and free space in allocation units: as the disk has it,
  // or as programs see it through the overlay (`through_overlay`).
  Outcome Size(std::u16string_view volume, bool through_overlay, VolumeSize& size) const;
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
  MemoryUsage MemoryOf(const Config& config) const;
  VolumeFigures FiguresOf(const Config& config, char letter) const;
  // Reads the configuration and checks under the same lock that `volume`
  // exists, then runs `body`.
  Outcome ReadVolume(std::u16string_view volume, ParseScope scope,
                     const std::function<Outcome(const Config&, char letter)>& body) const;

  StateFolder& state_;
};

}  // namespace wfsim
