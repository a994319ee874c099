#pragma once
// Starting the update tool: only the maker's own, checked while it is held so that it cannot be
// swapped between the check and the start, and with elevation when the system asks for it.
#include <cstdint>
#include <functional>
#include <string>

#include "app/services.h"

namespace app {

inline constexpr std::uint32_t kErrorElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED

enum class LaunchOutcome {
    Started,
    Refused,      // not the publisher's valid signature: the tool must not run
    Named,        // not started, for the reason `result` names; the tool is not at fault
    CannotStart,  // the file cannot be opened, or the system or the user refused the start
};

struct LaunchResult {
    LaunchOutcome outcome = LaunchOutcome::Started;
    // For Named: "VirusErr" (an antivirus program blocked or removed the tool), "ClockErr",
    // "RootErr" or "SignTimeoutErr" (the signature could not be judged).
    std::string result;
};

// Holds the tool at `path`, checks its signature through the held file off the window's thread
// (unless the build's publisher is empty), starts it, and releases it. A start the system
// refuses because the tool needs elevation is asked for once more through the shell. Both starts
// keep this program's working folder. While it waits (a scanner's sharing violation, the check),
// `pump` lets the window answer.
LaunchResult launchTool(const Services& services, const std::string& path,
                        const std::function<void()>& pump);

}  // namespace app
