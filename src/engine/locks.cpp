#include "engine/locks.h"

#include <cassert>
#include <chrono>

namespace vorda {

namespace {

bool take(std::atomic<int32_t>& count) {
    if (count.fetch_add(1, std::memory_order_acq_rel) + 1 == 1) {
        return true;
    }
    count.fetch_sub(1, std::memory_order_acq_rel);
    return false;
}

}  // namespace

void spinAcquire(LockCounter& lock) {
#ifndef NDEBUG
    assert(lock.owner_.load() != std::this_thread::get_id() &&
           "a thread spins on a lock it holds itself");
#endif
    while (!take(lock.count_)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
#ifndef NDEBUG
    lock.owner_.store(std::this_thread::get_id());
#endif
}

bool tryAcquire(LockCounter& lock) {
    if (!take(lock.count_)) {
        return false;
    }
#ifndef NDEBUG
    lock.owner_.store(std::this_thread::get_id());
#endif
    return true;
}

void release(LockCounter& lock) {
#ifndef NDEBUG
    lock.owner_.store(std::thread::id());
#endif
    lock.count_.fetch_sub(1, std::memory_order_acq_rel);
}

}  // namespace vorda
