#pragma once
// The seams of a transfer's two threads: a millisecond clock and the computer's date, the
// transfer thread itself, and the window thread's bounded wait for its messages or the
// transfer's signal. The Windows layer uses GetTickCount, GetSystemTimeAsFileTime, CreateThread
// and MsgWaitForMultipleObjects; tests use a fake clock and threads they control.
#include <cstdint>
#include <functional>

namespace download {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since some start; differences are taken modulo 2^32.
    virtual std::uint32_t nowMs() = 0;
    // Sleeps on the calling thread: the transfer thread between tries of a rename; the
    // window's thread in short pauses between tries of the tool's start (pumping its messages
    // before each) and while the program ends (when no message is to be taken any more).
    virtual void sleepMs(std::uint32_t ms) = 0;
    // The computer's date: 100-nanosecond units since 1601, UTC (FILETIME).
    virtual std::uint64_t systemTime() = 0;
};

class Threads {
  public:
    virtual ~Threads() = default;
    // Runs `body` on a new thread that nobody ever waits for; false when none could be started.
    virtual bool start(std::function<void()> body) = 0;
    // On the window's thread: returns when a message arrives for it, when wake() is called, or
    // after `ms` milliseconds, whichever comes first. Takes no message from the queue.
    virtual void waitForMessageOrWake(std::uint32_t ms) = 0;
    // From any thread: ends the current or next waitForMessageOrWake early.
    virtual void wake() = 0;
};

}  // namespace download
