// Interlocked counters that serve as locks between the threads: the Mailbox's
// mailboxLock, the Link's timeoutLock and exchangeLock, the Controller's settingsLock.
//
// Acquire: increment; the caller owns the lock when the counter then reads exactly 1.
// A spinning caller that does not own it decrements again, sleeps 1 ms and retries; a
// trying caller decrements and gives up. Release: decrement. Every holder releases what
// it takes, so the counters are never reset.
//
// A thread that spins on a lock it holds itself would spin for ever (a message box's loop
// that runs a handler needing the lock its caller holds): debug builds stop there with an
// assertion instead.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace vorda {

class LockCounter {
  public:
    LockCounter() = default;
    LockCounter(const LockCounter&) = delete;
    LockCounter& operator=(const LockCounter&) = delete;

    // How many hold or are trying to take the lock (0: free).
    int32_t count() const { return count_.load(std::memory_order_acquire); }

  private:
    friend void spinAcquire(LockCounter& lock);
    friend bool tryAcquire(LockCounter& lock);
    friend void release(LockCounter& lock);
    std::atomic<int32_t> count_{0};
#ifndef NDEBUG
    std::atomic<std::thread::id> owner_{};
#endif
};

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
