#pragma once
// One owner for every kind of Windows handle: a value, the value that means "none", and the call
// that releases it. Move-only; released exactly once, on every way out of a scope.
#include <windows.h>

#include <utility>

namespace norvik::win32 {

// Traits: `using type = ...; static type invalid(); static void close(type);`
template <typename Traits>
class UniqueHandle {
  public:
    using type = typename Traits::type;

    UniqueHandle() noexcept : value_(Traits::invalid()) {}
    explicit UniqueHandle(type value) noexcept : value_(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }
    // Gives the handle up without releasing it.
    type release() noexcept { return std::exchange(value_, Traits::invalid()); }
    void reset(type value = Traits::invalid()) noexcept {
        const type old = std::exchange(value_, value);
        if (old != Traits::invalid())
            Traits::close(old);
    }

  private:
    type value_;
};

// Kernel objects (threads, processes, events), for which "none" is null.
struct KernelHandleTraits {
    using type = HANDLE;
    static type invalid() { return nullptr; }
    static void close(type h) { CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// Files from CreateFileW, for which "none" is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { CloseHandle(h); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

}  // namespace norvik::win32
