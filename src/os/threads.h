// Threads, with no threads library on Windows: the shipped binaries carry
// no winpthreads.
#pragma once

namespace os {

class Mutex {
 public:
  Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  ~Mutex();
  void Lock();
  // False, at once, when another thread holds it.
  bool TryLock();
  void Unlock();

 private:
  void* native_;
};

class MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;
  ~MutexLock() { mutex_.Unlock(); }

 private:
  Mutex& mutex_;
};

// Held only if it was free: for what can be done without it, so that no call
// waits on it, nor a child forked while another thread held it.
class MutexTryLock {
 public:
  explicit MutexTryLock(Mutex& mutex) : mutex_(mutex), held_(mutex.TryLock()) {}
  MutexTryLock(const MutexTryLock&) = delete;
  MutexTryLock& operator=(const MutexTryLock&) = delete;
  ~MutexTryLock() {
    if (held_) mutex_.Unlock();
  }
  bool held() const { return held_; }

 private:
  Mutex& mutex_;
  bool held_;
};

// A thread of the caller's own, which its owner stops and then joins.
class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  bool Start(void (*body)(void*), void* argument);
  // Waits for the thread to end. A thread of another process (the parent
  // of a forked child) is forgotten instead.
  void Join();
  bool Started() const { return native_ != nullptr; }
  void Forget() { native_ = nullptr; }

 private:
  void* native_ = nullptr;
};

// What a thread sleeps on between its rounds, and is woken by at once.
class Wakeup {
 public:
  Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;
  ~Wakeup();
  void Signal();
  // True when signalled (and then reset) within `milliseconds`.
  bool Wait(unsigned milliseconds);

 private:
  void* native_;
};

}  // namespace os
