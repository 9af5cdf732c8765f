// The notifications registered by the process that loaded the library
// (FbwfCacheThresholdNotification), and the watcher thread that fires them.
#pragma once

#include <cstdint>

#include "wfsim/state/platform.h"

namespace wfsim {

// The event of a notification: a Windows event, or elsewhere an eventfd
// descriptor passed as the handle.
bool IsValidEvent(void* event);
void SignalEvent(void* event);

// Signals `event` once, when the overlay of the machine in `state_folder` has
// less than `level` bytes left. A watcher thread of the library looks every
// kWatchInterval, for as long as some registration waits.
inline constexpr int kWatchIntervalMs = 100;
void WatchOverlay(const fs::path& state_folder, std::uint64_t level, void* event);
// Drops every registration that has not fired.
void StopWatching();

}  // namespace wfsim
