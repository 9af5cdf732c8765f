// What the library keeps for the process that loaded it, beyond the state
// folder: the one open cache search, and the notifications registered. Calls
// may come from several threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wfapi/wfapi.h"
#include "wfsim/state/platform.h"

namespace wfsim {

struct SearchEntry {
  std::u16string name;  // volume-relative: "\dir\file"
  std::uint64_t size;
};

// One implicit search a process: FbwfFindFirst starts it afresh.
class CacheSearch {
 public:
  static CacheSearch& OfProcess();

  void Start(std::vector<SearchEntry> entries);
  bool IsOpen() const;
  bool Close();  // false when none was open
  // Fills `detail` with the next entry and moves past it; 234 (the size
  // needed in `size`) leaves it for the next call; 18 at the end, until closed.
  WfStatus Next(FbwfCacheDetail* detail, WfUlong* size);
};

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
