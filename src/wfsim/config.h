// The simulated filter's configuration and its text form, the file `config`:
//
//   [machine]             optional, as are its keys:
//   session = 3           which cache folder is the running session's
//   [current]             the running session
//   filter = off          on or off, as compression and preallocation
//   threshold = 64        cache threshold in MB, 16 to 1024
//   protected = C D       volume letters
//   [next]                the same keys, for the session after a reboot
//   [current exclusions]  one "LETTER \path" a line; these two are optional
//   [next exclusions]
//
// The settings come first so that a query of the whole filter can stop
// before the exclusion lists, however long they grow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wfsim {

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

  bool IsProtected(char volume) const {
    return filter && protected_volumes.find(volume) != std::string::npos;
  }
  bool operator==(const SessionConfig&) const = default;
};

struct Config {
  std::uint32_t session = 0;
  SessionConfig current;
  SessionConfig next;

  bool operator==(const Config&) const = default;
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

// Index of the exclusion of `volume` that names `path` (compared
// case-insensitively), or -1.
std::ptrdiff_t FindExclusion(const SessionConfig& session, char volume, std::string_view path);

}  // namespace wfsim
