#include "app/tool_launch.h"

#include <memory>

#include "app/tool_trust.h"

namespace app {

LaunchOutcome launchTool(ProcessLauncher& launcher, const std::string& path,
                         const std::string& folder, const std::string& publisher) {
    const std::unique_ptr<HeldProgram> held = launcher.hold(path);
    if (!held)
        return LaunchOutcome::CannotStart;
    if (!publisher.empty() && !isPublishersFile(held->signature(), publisher))
        return LaunchOutcome::Refused;
    std::uint32_t error = launcher.start(path);
    if (error == kErrorElevationRequired)
        error = launcher.startElevated(path, folder);
    return error == 0 ? LaunchOutcome::Started : LaunchOutcome::CannotStart;
}

}  // namespace app
