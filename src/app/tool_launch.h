#pragma once
// Starting the update tool: only the maker's own, checked while it is held so that it cannot be
// swapped between the check and the start, and with elevation when the system asks for it.
#include <cstdint>
#include <string>

#include "app/services.h"

namespace app {

// Windows error codes the start decides on.
inline constexpr std::uint32_t kErrorElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED

enum class LaunchOutcome {
    Started,
    Refused,      // not the publisher's valid signature: the tool must not run
    CannotStart,  // the file cannot be opened, or the system or the user refused the start
};

// Holds the tool at `path`, checks its signature through the held file (unless `publisher` is
// empty), starts it, and releases it. A start the system refuses because the tool needs
// elevation is asked for once more through the shell, with `folder` as its working folder.
LaunchOutcome launchTool(ProcessLauncher& launcher, const std::string& path,
                         const std::string& folder, const std::string& publisher);

}  // namespace app
