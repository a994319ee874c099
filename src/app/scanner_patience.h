#pragma once
// An antivirus program opens a new executable to scan it as soon as it is closed, and holds it
// for a moment: a try refused with a sharing violation is made again, for a bounded time.
#include <cstdint>
#include <functional>

#include "common/windows_codes.h"
#include "download/thread_api.h"

namespace app {

// A try refused with a sharing violation is made again until this long after the first, this
// long apart.
inline constexpr std::uint32_t kScannerRetryMs = 2000;
inline constexpr std::uint32_t kScannerPauseMs = 50;

class ScannerPatience {
  public:
    // `pump`, when not empty, lets the window answer before each pause (on the window's thread).
    ScannerPatience(download::Clock& clock, std::function<void()> pump)
        : clock_(clock), pump_(std::move(pump)), since_(clock.nowMs()) {}
    // True when a try that failed with `error` is to be made again; it has waited then.
    bool again(std::uint32_t error) {
        if (error != norvik::kErrorSharingViolation || clock_.nowMs() - since_ >= kScannerRetryMs)
            return false;
        if (pump_)
            pump_();
        clock_.sleepMs(kScannerPauseMs);
        return true;
    }

  private:
    download::Clock& clock_;
    const std::function<void()> pump_;
    const std::uint32_t since_;
};

}  // namespace app
