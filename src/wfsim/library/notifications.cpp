#include "wfsim/library/notifications.h"

#include <algorithm>
#include <map>
#include <vector>

#include "os/threads.h"
#include "wfsim/base/codes.h"
#include "wfsim/library/events.h"
#include "wfsim/machine/machine.h"

namespace wfsim {

namespace {

struct Registration {
  fs::path state_folder;
  std::uint64_t level;
  void* event;  // the library's own handle (see DuplicateEvent)
};

// One watcher thread a process, running while some registration waits. It
// reads each machine's overlay once a round, however many registrations
// wait on it. Uninitialize, and the library's unloading, stop it and wait for
// it to end; on Windows the thread also keeps the library loaded while it
// runs (see HoldLibrary).
class Watcher {
 public:
  static Watcher& OfProcess() {
    // Where the thread keeps the library loaded, nothing needs stopping at
    // unloading, and a process that ends has ended its threads first.
    if constexpr (kThreadHoldsLibrary) {
      static Watcher* const watcher = new Watcher;
      return *watcher;
    } else {
      static Watcher watcher;
      return watcher;
    }
  }
  ~Watcher() { Stop(); }

  WfStatus Add(const fs::path& state_folder, std::uint64_t level, void* event) {
    void* own = nullptr;
    if (const WfStatus duplicated = DuplicateEvent(event, own); duplicated != kOk) return duplicated;
    const os::MutexLock starting(lifecycle_);
    const os::MutexLock lock(mutex_);
    ForgetAnotherProcess();
    registrations_.push_back({state_folder, level, own});
    if (thread_.Started() && !finished_) return kOk;
    thread_.Join();  // one that ended by itself
    stopping_ = finished_ = false;
    owner_ = ProcessId();
    wakeup_.Wait(0);  // a stop signalled while no thread ran
    held_ = HoldLibrary();
    if (thread_.Start([](void* watcher) { static_cast<Watcher*>(watcher)->Run(); }, this)) return kOk;
    ReleaseLibrary(held_);
    Drop(registrations_);
    return kNotEnoughMemory;
  }

  // Drops every registration, and ends the thread.
  void Stop() {
    const os::MutexLock stopping(lifecycle_);
    {
      const os::MutexLock lock(mutex_);
      ForgetAnotherProcess();
      Drop(registrations_);
      stopping_ = true;
    }
    wakeup_.Signal();
    thread_.Join();
  }

 private:
  // A forked child has its parent's registrations but not its thread.
  void ForgetAnotherProcess() {
    if (!thread_.Started() || owner_ == ProcessId()) return;
    thread_.Forget();
    Drop(registrations_);
  }

  static void Drop(std::vector<Registration>& registrations) {
    for (const Registration& registration : registrations) CloseEvent(registration.event);
    registrations.clear();
  }

  void Run() {
    void* held = nullptr;
    {
      const os::MutexLock lock(mutex_);
      held = held_;
    }
    Loop();
    EndThreadReleasing(held);
  }

  void Loop() {
    while (!wakeup_.Wait(kWatchIntervalMs)) {
      std::vector<fs::path> folders;
      {
        const os::MutexLock lock(mutex_);
        // Decided under the lock: a registration made after it starts a new thread.
        if (stopping_ || registrations_.empty()) {
          finished_ = true;
          return;
        }
        for (const Registration& r : registrations_) {
          if (std::find(folders.begin(), folders.end(), r.state_folder) == folders.end()) folders.push_back(r.state_folder);
        }
      }
      for (const fs::path& folder : folders) {
        // A short wait: a busy machine is looked at again next round.
        StateFolder state(folder, std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchIntervalMs));
        MemoryUsage usage;
        if (Machine(state).Memory(usage).ok()) FireDue(folder, usage.Left());
      }
    }
    const os::MutexLock lock(mutex_);
    finished_ = true;  // the next registration joins it and starts another
  }

  // Signalled under the lock, so a registration dropped meanwhile never fires.
  void FireDue(const fs::path& folder, std::uint64_t left) {
    const os::MutexLock lock(mutex_);
    std::erase_if(registrations_, [&](const Registration& r) {
      if (r.state_folder != folder || left >= r.level) return false;
      SignalEvent(r.event);
      CloseEvent(r.event);
      return true;
    });
  }

  os::Mutex lifecycle_;  // a thread's start and stop, never taken by the thread
  os::Mutex mutex_;
  os::Wakeup wakeup_;
  os::Thread thread_;
  std::vector<Registration> registrations_;
  void* held_ = nullptr;
  unsigned long owner_ = 0;
  bool stopping_ = false;
  bool finished_ = false;
};

}  // namespace

WfStatus WatchOverlay(const fs::path& state_folder, std::uint64_t level, void* event) {
  return Watcher::OfProcess().Add(state_folder, level, event);
}

void StopWatching() { Watcher::OfProcess().Stop(); }

}  // namespace wfsim
