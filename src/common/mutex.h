#pragma once
// A plain lock shared by two threads: a critical section on Windows (the program's runtime has
// no std::mutex there), std::mutex elsewhere.
#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace norvik {

class Mutex {
  public:
#ifdef _WIN32
    Mutex() noexcept {
        InitializeCriticalSection(&section_);
    }
    ~Mutex() {
        DeleteCriticalSection(&section_);
    }
    void lock() noexcept {
        EnterCriticalSection(&section_);
    }
    bool tryLock() noexcept {
        return TryEnterCriticalSection(&section_) != FALSE;
    }
    void unlock() noexcept {
        LeaveCriticalSection(&section_);
    }
#else
    Mutex() noexcept = default;
    void lock() {
        mutex_.lock();
    }
    bool tryLock() {
        return mutex_.try_lock();
    }
    void unlock() {
        mutex_.unlock();
    }
#endif
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

  private:
#ifdef _WIN32
    CRITICAL_SECTION section_;
#else
    std::mutex mutex_;
#endif
};

// Holds the lock for a scope.
class LockGuard {
  public:
    explicit LockGuard(Mutex& mutex) : mutex_(mutex) { mutex_.lock(); }
    ~LockGuard() { mutex_.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    Mutex& mutex_;
};

}  // namespace norvik
