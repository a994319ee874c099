#include "app/tool_launch.h"

#include "app/tool_trust.h"
#include "common/windows_codes.h"
#include "results/results.h"

namespace app {

namespace {

// Decides whether a try refused with a sharing violation is made again, and waits before it
// with the window answering.
class ScannerPatience {
  public:
    ScannerPatience(download::Clock& clock, const std::function<void()>& pump)
        : clock_(clock), pump_(pump), since_(clock.nowMs()) {}
    bool again(std::uint32_t error) {
        if (error != norvik::kErrorSharingViolation || clock_.nowMs() - since_ >= kStartRetryMs)
            return false;
        if (pump_)
            pump_();
        clock_.sleepMs(kStartPauseMs);
        return true;
    }

  private:
    download::Clock& clock_;
    const std::function<void()>& pump_;
    const std::uint32_t since_;
};

std::string failedWith(std::uint32_t error) {
    return norvik::isVirusError(error) ? results::kVirusErr : kToolNotStarted;
}

}  // namespace

std::string launchTool(ProcessLauncher& launcher, const std::string& path,
                       const std::string& folder, const std::string& publisher,
                       download::Clock& clock, const std::function<void()>& pump) {
    ScannerPatience patience(clock, pump);
    HoldResult held = launcher.hold(path);
    while (!held.program && patience.again(held.error))
        held = launcher.hold(path);
    if (!held.program)
        return failedWith(held.error);
    if (!publisher.empty()) {
        const std::string verdict = toolSignatureResult(held.program->signature(), publisher);
        if (!verdict.empty())
            return verdict;
    }
    std::uint32_t error = launcher.start(path);
    while (patience.again(error))
        error = launcher.start(path);
    if (error == norvik::kErrorElevationRequired)
        error = launcher.startElevated(path, folder);
    return error == 0 ? results::kResultOk : failedWith(error);
}

}  // namespace app
