#pragma once
// Starting the update tool: only the maker's own, checked while it is held so that it cannot be
// swapped between the check and the start, and with elevation when the system asks for it.
#include <cstdint>
#include <functional>
#include <string>

#include "app/services.h"

namespace app {

// What launchTool answers when the file cannot be opened, or the system or the user refused the
// start: no named result, the box names the tool's path.
inline const std::string kToolNotStarted = "ToolNotStarted";

// Holds the tool at `path`, checks its signature through the held file off the window's thread
// (unless the build's publisher is empty), starts it, and releases it. A start the system
// refuses because the tool needs elevation is asked for once more through the shell. Both starts
// keep this program's working folder; the elevated one gets the tool and that folder by their
// network paths when they lie on a network drive letter. While it waits (a scanner's sharing
// violation, the check), `pump` lets the window answer. Answers "" when the tool was started, the
// check's result when it refused the tool or could not judge it ("SignErr", "RootErr", "ClockErr",
// "SignTimeoutErr", "VirusErr"), "VirusErr" when an antivirus program blocked or removed the
// tool, and kToolNotStarted for every other failure.
std::string launchTool(const Services& services, const std::string& path,
                       const std::function<void()>& pump);

}  // namespace app
