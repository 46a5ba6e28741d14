// Interlocked counters that serve as locks between the threads: the Mailbox's
// mailboxLock, the Link's timeoutLock and exchangeLock, the Controller's settingsLock.
//
// Acquire: increment; the caller owns the lock when the counter then reads exactly 1.
// A spinning caller that does not own it decrements again, sleeps 1 ms and retries; a
// trying caller decrements and gives up. Release: decrement. Every holder releases what
// it takes, so the counters are never reset.
#pragma once

#include <atomic>
#include <cstdint>

namespace vorda {

using LockCounter = std::atomic<int32_t>;

void spinAcquire(LockCounter& lock);
// True when the lock is now owned; false (and nothing held) otherwise.
bool tryAcquire(LockCounter& lock);
void release(LockCounter& lock);

// Holds a lock acquired by spinning for the lifetime of the guard.
class SpinGuard {
  public:
    explicit SpinGuard(LockCounter& lock) : lock_(lock) { spinAcquire(lock_); }
    ~SpinGuard() { release(lock_); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;

  private:
    LockCounter& lock_;
};

// Releases, when it goes, a lock that its creator already holds.
class HeldLock {
  public:
    explicit HeldLock(LockCounter& lock) : lock_(lock) {}
    ~HeldLock() { release(lock_); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

  private:
    LockCounter& lock_;
};

}  // namespace vorda
