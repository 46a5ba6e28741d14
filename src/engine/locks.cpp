#include "engine/locks.h"

#include <chrono>
#include <thread>

namespace vorda {

void spinAcquire(LockCounter& lock) {
    while (lock.fetch_add(1, std::memory_order_acq_rel) + 1 != 1) {
        lock.fetch_sub(1, std::memory_order_acq_rel);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool tryAcquire(LockCounter& lock) {
    if (lock.fetch_add(1, std::memory_order_acq_rel) + 1 == 1) {
        return true;
    }
    lock.fetch_sub(1, std::memory_order_acq_rel);
    return false;
}

void release(LockCounter& lock) {
    lock.fetch_sub(1, std::memory_order_acq_rel);
}

}  // namespace vorda
