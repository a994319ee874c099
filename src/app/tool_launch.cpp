#include "app/tool_launch.h"

#include <memory>

#include "app/network_paths.h"
#include "app/scanner_patience.h"
#include "app/tool_check.h"
#include "common/windows_codes.h"
#include "results/results.h"

namespace app {

namespace {

std::string failedWith(std::uint32_t error) {
    return norvik::isVirusError(error) ? results::kVirusErr : kToolNotStarted;
}

}  // namespace

std::string launchTool(const Services& svc, const std::string& path,
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
    if (!verdict.empty())
        return verdict;
    std::uint32_t error = launcher.start(path);
    while (patience.again(error))
        error = launcher.start(path);
    if (error == norvik::kErrorElevationRequired) {
        // The elevated process does not see this logon's network drive letters: the tool and
        // the working folder go to it by their network paths.
        const std::string folder = launcher.workingFolder();
        error = svc.drives ? launcher.startElevated(networkFormOf(path, *svc.drives),
                                                    networkFormOf(folder, *svc.drives))
                           : launcher.startElevated(path, folder);
    }
    return error == 0 ? results::kResultOk : failedWith(error);
}

}  // namespace app
