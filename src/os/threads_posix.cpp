// Threads on POSIX systems, through the standard library's.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "os/threads.h"

namespace os {

Mutex::Mutex() : native_(new std::mutex) {}
Mutex::~Mutex() { delete static_cast<std::mutex*>(native_); }
void Mutex::Lock() { static_cast<std::mutex*>(native_)->lock(); }
bool Mutex::TryLock() { return static_cast<std::mutex*>(native_)->try_lock(); }
void Mutex::Unlock() { static_cast<std::mutex*>(native_)->unlock(); }

bool Thread::Start(void (*body)(void*), void* argument) {
  try {
    native_ = new std::thread(body, argument);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void Thread::Join() {
  auto* thread = static_cast<std::thread*>(native_);
  native_ = nullptr;
  if (thread != nullptr) {
    thread->join();
    delete thread;
  }
}

namespace {
struct WakeupState {
  std::mutex mutex;
  std::condition_variable changed;
  bool signalled = false;
};
}  // namespace

Wakeup::Wakeup() : native_(new WakeupState) {}
Wakeup::~Wakeup() { delete static_cast<WakeupState*>(native_); }
void Wakeup::Signal() {
  auto* state = static_cast<WakeupState*>(native_);
  const std::lock_guard<std::mutex> lock(state->mutex);
  state->signalled = true;
  state->changed.notify_all();
}
bool Wakeup::Wait(unsigned milliseconds) {
  auto* state = static_cast<WakeupState*>(native_);
  std::unique_lock<std::mutex> lock(state->mutex);
  state->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return state->signalled; });
  const bool signalled = state->signalled;
  state->signalled = false;
  return signalled;
}

}  // namespace os
