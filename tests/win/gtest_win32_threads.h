#pragma once
// Test builds only: mingw-w64's "win32" thread model (GCC 12) ships <mutex> and
// <condition_variable> without std::mutex and std::condition_variable, which GoogleTest's
// headers use. This fills in both over SRW locks and condition variables. The product never
// includes it.
#include <condition_variable>
#include <mutex>

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#include <windows.h>

namespace std {

class mutex {
  public:
    mutex() noexcept = default;
    mutex(const mutex&) = delete;
    mutex& operator=(const mutex&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    PSRWLOCK native_handle() { return &lock_; }

  private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class condition_variable {
  public:
    condition_variable() noexcept = default;
    condition_variable(const condition_variable&) = delete;
    condition_variable& operator=(const condition_variable&) = delete;
    void notify_one() noexcept { WakeConditionVariable(&cv_); }
    void notify_all() noexcept { WakeAllConditionVariable(&cv_); }
    void wait(unique_lock<mutex>& lock) {
        SleepConditionVariableSRW(&cv_, lock.mutex()->native_handle(), INFINITE, 0);
    }
    template <class Predicate>
    void wait(unique_lock<mutex>& lock, Predicate pred) {
        while (!pred())
            wait(lock);
    }

  private:
    CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};

}  // namespace std
#endif
