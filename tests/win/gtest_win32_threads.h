#pragma once
// Test builds only. The product is built with mingw-w64's "win32" thread model, whose runtime
// runs on Windows XP (the posix model's thread library needs Vista). That model's <mutex> and
// <condition_variable> (GCC 12) lack std::mutex and std::condition_variable, which GoogleTest's
// headers name in one internal class. This supplies both from Windows XP's own primitives; the
// product never includes it.
#include <condition_variable>
#include <mutex>

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#include <windows.h>

namespace std {

class mutex {
  public:
    mutex() noexcept { InitializeCriticalSection(&section_); }
    ~mutex() { DeleteCriticalSection(&section_); }
    mutex(const mutex&) = delete;
    mutex& operator=(const mutex&) = delete;
    void lock() { EnterCriticalSection(&section_); }
    bool try_lock() { return TryEnterCriticalSection(&section_) != 0; }
    void unlock() { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
};

// Waits by polling: enough for the test framework's one use (a notification between threads).
class condition_variable {
  public:
    condition_variable() noexcept = default;
    condition_variable(const condition_variable&) = delete;
    condition_variable& operator=(const condition_variable&) = delete;
    void notify_one() noexcept {}
    void notify_all() noexcept {}
    void wait(unique_lock<mutex>& lock) {
        lock.unlock();
        Sleep(1);
        lock.lock();
    }
    template <typename Predicate>
    void wait(unique_lock<mutex>& lock, Predicate ready) {
        while (!ready())
            wait(lock);
    }
};

}  // namespace std
#endif
