// The simulated filter's configuration and its text form, the file `config`:
//
//   [machine]             optional, as are its keys:
//   release = xpe         the Windows release simulated (see kReleases)
//   session = 3           which cache folder is the running session's
//   capacity = C:8589934592 D:2147483648   volumes' sizes in bytes
//   [current]             the running session
//   filter = off          on or off, as compression and preallocation
//   threshold = 64        cache threshold in MB, in the release's range
//   protected = C D       volume letters
//   sizedisplay = actual  or virtual: the size programs are shown (optional)
//   [next]                the same keys, for the session after a reboot
//   [current exclusions]  one "LETTER \path" a line; these two are optional
//   [next exclusions]
//
// The settings come first so that a query of the whole filter can stop
// before the exclusion lists, however long they grow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace wfsim {

// The releases that shipped the filter differ in the threshold they allow.
struct Release {
  const char* name;
  const char* systems;
  std::uint32_t min_threshold;
  std::uint32_t max_threshold;
  std::uint32_t default_threshold;

  bool Allows(std::uint32_t megabytes) const {
    return megabytes >= min_threshold && megabytes <= max_threshold;
  }
};

inline constexpr Release kReleases[] = {
    {"xpe", "XP Embedded SP2 Feature Pack 2007 and SP3", 16, 1024, 64},
    {"wes2009", "Embedded Standard 2009, POSReady 2009", 16, 1024, 64},
    {"wes7-x86", "Standard 7 SP1, POSReady 7, 32-bit", 16, 1024, 128},
    {"wes7-x64", "Standard 7 SP1, POSReady 7, 64-bit", 16, 131072, 256},
    {"we8-x86", "Embedded 8 Standard, 32-bit", 16, 1024, 128},
    {"we8-x64", "Embedded 8 Standard, 64-bit", 16, 131072, 256},
};

// nullptr for a name that is not in kReleases.
// A release by its name in any case, as Windows users type names.
const Release* FindRelease(std::string_view name);

struct Exclusion {
  char volume;       // 'A' to 'Z'
  std::string path;  // "\name\name", UTF-8, as given

  bool operator==(const Exclusion&) const = default;
};

struct SessionConfig {
  bool filter = false;
  bool compression = false;
  bool preallocation = false;
  std::uint32_t threshold = 64;
  std::string protected_volumes;  // sorted letters
  std::vector<Exclusion> exclusions;
  bool virtual_size = false;  // the size display: programs see the volume's size through the overlay

  // Protection is in force only while the filter is on.
  bool IsProtected(char volume) const { return filter && Lists(volume); }
  bool Lists(char volume) const { return protected_volumes.find(volume) != std::string::npos; }
  bool operator==(const SessionConfig&) const = default;
};

// A volume's size when the configuration gives none: C 8 GiB, any other 2 GiB.
constexpr std::uint64_t DefaultCapacity(char volume) { return std::uint64_t{volume == 'C' ? 8u : 2u} << 30; }

struct Config {
  const Release* release = &kReleases[0];
  std::uint32_t session = 0;
  SessionConfig current;
  SessionConfig next;
  std::map<char, std::uint64_t> capacities;  // bytes; see Capacity

  bool operator==(const Config&) const = default;

  // The volume's size, or its DefaultCapacity.
  std::uint64_t Capacity(char volume) const;

  // A new machine of `release`: everything off, its default threshold, C of
  // 8 GiB and D of 2 GiB, actual sizes shown.
  static Config Fresh(const Release& release);
};

enum class ParseScope {
  kSettings,  // stops at the exclusion lists, which stay empty
  kAll,
};

struct ParseError {
  std::size_t line = 0;
  std::string what;
};

bool ParseConfig(std::string_view text, ParseScope scope, Config& config, ParseError& error);
std::string FormatConfig(const Config& config);

// Whether an exclusion of `volume` names `path`, compared case-insensitively;
// and removing every one that does (a list written when fewer names folded
// alike may hold two), how many there were.
bool ListsExclusion(const SessionConfig& session, char volume, std::string_view path);
std::size_t RemoveExclusions(SessionConfig& session, char volume, std::string_view path);

}  // namespace wfsim
