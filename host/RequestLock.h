// RequestLock.h - the lock under which the substitute host answers one request.
//
// A spin lock that yields while it waits: requests are short, and the Windows build's runtime
// (mingw-w64 with Win32 threads) has no std::mutex. Acquire and release orderings make each
// request see everything the previous one wrote.
#ifndef REQUESTLOCK_H
#define REQUESTLOCK_H

#include <atomic>
#include <thread>

namespace xlhost {

class RequestLock {
  public:
    void lock() {
        while (held_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    void unlock() { held_.clear(std::memory_order_release); }

  private:
    std::atomic_flag held_ = ATOMIC_FLAG_INIT;
};

}  // namespace xlhost

#endif  // REQUESTLOCK_H
