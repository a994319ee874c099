#pragma once
// Starting the update tool: only the maker's own, checked while it is held so that it cannot be
// swapped between the check and the start, and with elevation when the system asks for it.
#include <cstdint>
#include <functional>
#include <string>

#include "app/services.h"
#include "download/thread_api.h"

namespace app {

// Windows error codes the start decides on.
inline constexpr std::uint32_t kErrorSharingViolation = 32;    // ERROR_SHARING_VIOLATION
inline constexpr std::uint32_t kErrorElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED

// An antivirus program may still be reading the freshly written tool: a hold or a start refused
// with a sharing violation is tried again until this long after the first try, this long apart.
inline constexpr std::uint32_t kStartRetryMs = 2000;
inline constexpr std::uint32_t kStartPauseMs = 50;

enum class LaunchOutcome {
    Started,
    Refused,      // not the publisher's valid signature: the tool must not run
    WrongClock,   // the signature cannot be judged: the computer's date lies before the signer's
    Blocked,      // an antivirus program blocked or removed the tool
    CannotStart,  // the file cannot be opened, or the system or the user refused the start
};

// Holds the tool at `path`, checks its signature through the held file (unless `publisher` is
// empty), starts it, and releases it. A start the system refuses because the tool needs
// elevation is asked for once more through the shell, with `folder` as its working folder.
// Between the tries after a sharing violation, `pump` lets the window answer.
LaunchOutcome launchTool(ProcessLauncher& launcher, const std::string& path,
                         const std::string& folder, const std::string& publisher,
                         download::Clock& clock, const std::function<void()>& pump);

}  // namespace app
