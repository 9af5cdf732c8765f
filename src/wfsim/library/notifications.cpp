#include "wfsim/library/notifications.h"

#include <algorithm>
#include <string>
#include <vector>

#include "wfsim/machine/machine.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace wfsim {

#ifdef _WIN32

bool IsValidEvent(void* event) {
  DWORD flags = 0;
  return event != nullptr && GetHandleInformation(event, &flags) != 0;
}

void SignalEvent(void* event) { SetEvent(event); }

#else

bool IsValidEvent(void* event) {
  const auto fd = static_cast<int>(reinterpret_cast<std::intptr_t>(event));
  if (fd <= 0 || fcntl(fd, F_GETFD) == -1) return false;
  char target[64] = {};
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
  return length > 0 && std::string_view(target, static_cast<std::size_t>(length)) == "anon_inode:[eventfd]";
}

void SignalEvent(void* event) {
  const std::uint64_t one = 1;
  const auto fd = static_cast<int>(reinterpret_cast<std::intptr_t>(event));
  [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
}

#endif

namespace {

struct Registration {
  fs::path state_folder;
  std::uint64_t level;
  void* event;
  std::uint64_t id;
};

class Watcher {
 public:
  static Watcher& OfProcess() {
    static Watcher* watcher = new Watcher;  // never destroyed: its thread may outlive exit
    return *watcher;
  }

  void Add(const fs::path& state_folder, std::uint64_t level, void* event) {
    const MutexLock lock(mutex_);
    registrations_.push_back({state_folder, level, event, ++last_id_});
    if (running_) return;
    running_ = StartDetachedThread([](void* watcher) { static_cast<Watcher*>(watcher)->Loop(); }, this);
  }

  void Clear() {
    const MutexLock lock(mutex_);
    registrations_.clear();
  }

 private:
  static bool Due(const Registration& registration) {
    StateFolder state(registration.state_folder);
    MemoryUsage usage;
    return Machine(state).Memory(usage).ok() && usage.Left() < registration.level;
  }

  void Loop() {
    for (;;) {
      SleepMilliseconds(kWatchIntervalMs);
      std::vector<Registration> waiting;
      {
        const MutexLock lock(mutex_);
        if (registrations_.empty()) {
          running_ = false;
          return;
        }
        waiting = registrations_;
      }
      for (const Registration& registration : waiting) {
        if (!Due(registration)) continue;
        const MutexLock lock(mutex_);
        // Signalled under the lock, so a registration cleared meanwhile never fires.
        const auto still = std::find_if(registrations_.begin(), registrations_.end(),
                                        [&](const Registration& r) { return r.id == registration.id; });
        if (still == registrations_.end()) continue;
        SignalEvent(registration.event);
        registrations_.erase(still);
      }
    }
  }

  Mutex mutex_;
  std::vector<Registration> registrations_;
  std::uint64_t last_id_ = 0;
  bool running_ = false;
};

}  // namespace

void WatchOverlay(const fs::path& state_folder, std::uint64_t level, void* event) {
  Watcher::OfProcess().Add(state_folder, level, event);
}

void StopWatching() { Watcher::OfProcess().Clear(); }

}  // namespace wfsim
