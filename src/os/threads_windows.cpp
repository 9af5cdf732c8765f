// Threads on Windows, through its own calls.
#include <windows.h>

#include "os/threads.h"

namespace os {

Mutex::Mutex() : native_(new CRITICAL_SECTION) { InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(native_)); }
Mutex::~Mutex() {
  DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(native_));
  delete static_cast<CRITICAL_SECTION*>(native_);
}
void Mutex::Lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(native_)); }
bool Mutex::TryLock() { return TryEnterCriticalSection(static_cast<CRITICAL_SECTION*>(native_)) != 0; }
void Mutex::Unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(native_)); }

namespace {
struct ThreadStart {
  void (*body)(void*);
  void* argument;
};
DWORD WINAPI RunThread(void* start) {
  const ThreadStart copy = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  copy.body(copy.argument);
  return 0;
}
}  // namespace

bool Thread::Start(void (*body)(void*), void* argument) {
  auto* start = new ThreadStart{body, argument};
  const HANDLE thread = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return false;
  }
  native_ = thread;
  return true;
}

void Thread::Join() {
  const HANDLE thread = native_;
  native_ = nullptr;
  if (thread != nullptr) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

Wakeup::Wakeup() : native_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
Wakeup::~Wakeup() { CloseHandle(native_); }
void Wakeup::Signal() { SetEvent(native_); }
bool Wakeup::Wait(unsigned milliseconds) { return WaitForSingleObject(native_, milliseconds) == WAIT_OBJECT_0; }

}  // namespace os
