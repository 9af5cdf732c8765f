#include "wfsim/state/os.h"

#include <cstdlib>

namespace wfsim {

namespace {

std::optional<fs::path> FolderFromEnvironment() {
  if (std::optional<fs::path> dir = os::EnvironmentPath("FBWFSIM_DIR")) return dir;
  std::optional<fs::path> home = os::UserStateHome();
  if (home) *home /= "fbwfsim";
  return home;
}

}  // namespace

// Taken once a process, as the folder is.
std::chrono::milliseconds LockWait() {
  static const std::chrono::milliseconds wait = [] {
    const char* set = std::getenv("FBWFSIM_LOCK_WAIT_MS");
    char* end = nullptr;
    const long long milliseconds = set != nullptr ? std::strtoll(set, &end, 10) : -1;
    if (set == nullptr || *set == '\0' || *end != '\0' || milliseconds < 0) return std::chrono::milliseconds(30000);
    return std::chrono::milliseconds(milliseconds);
  }();
  return wait;
}

// Taken once a process: a relative folder (FBWFSIM_DIR or HOME) is made
// absolute against the folder the process started in, so a script that
// changes folder keeps its machine.
const std::optional<fs::path>& StateFolderFromEnvironment() {
  static const std::optional<fs::path> folder = []() -> std::optional<fs::path> {
    std::optional<fs::path> found = FolderFromEnvironment();
    std::error_code ec;
    if (found && found->is_relative()) {
      const fs::path absolute = fs::absolute(*found, ec);
      if (!ec) found = absolute;
    }
    return found;
  }();
  return folder;
}

}  // namespace wfsim
