// The notifications registered by the process that loaded the library
// (FbwfCacheThresholdNotification), and the watcher thread that fires them.
#pragma once

#include <cstdint>

#include "wfapi/wfapi.h"
#include "wfsim/state/os.h"

namespace wfsim {

// Signals `event` once, when the overlay of the machine in `state_folder` has
// less than `level` bytes left. A watcher thread of the library looks every
// kWatchIntervalMs, for as long as some registration waits. 6 when the
// event can't be held (see events.h).
inline constexpr unsigned kWatchIntervalMs = 100;
WfStatus WatchOverlay(const fs::path& state_folder, std::uint64_t level, void* event);
// Drops every registration that has not fired, and ends the watcher thread:
// once it returns, no thread of the library runs.
void StopWatching();

}  // namespace wfsim
