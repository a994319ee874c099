#include "app/tool_launch.h"

#include <memory>

#include "app/scanner_patience.h"
#include "app/tool_check.h"
#include "download/failure_results.h"
#include "download/transfer.h"

namespace app {

namespace {

LaunchResult failedWith(std::uint32_t error) {
    if (download::isVirusError(error))
        return {LaunchOutcome::Named, download::kVirusErr};
    return {LaunchOutcome::CannotStart, {}};
}

}  // namespace

LaunchResult launchTool(const Services& svc, const std::string& path,
                        const std::function<void()>& pump) {
    ProcessLauncher& launcher = *svc.launcher;
    ScannerPatience patience(*svc.clock, pump);
    HoldResult tried = launcher.hold(path);
    while (!tried.program && patience.again(tried.error))
        tried = launcher.hold(path);
    if (!tried.program)
        return failedWith(tried.error);
    const std::shared_ptr<HeldProgram> held(std::move(tried.program));
    const std::string verdict =
        checkHeldTool(held, svc.toolPublisher, *svc.threads, *svc.clock, svc.signCheckMs, pump);
    if (verdict == download::kSignErr)
        return {LaunchOutcome::Refused, verdict};
    if (!verdict.empty())
        return {LaunchOutcome::Named, verdict};
    std::uint32_t error = launcher.start(path);
    while (patience.again(error))
        error = launcher.start(path);
    if (error == kErrorElevationRequired)
        error = launcher.startElevated(path);
    return error == 0 ? LaunchResult{} : failedWith(error);
}

}  // namespace app
