#pragma once
// Starting the update tool: only the maker's own, checked while it is held so that it cannot be
// swapped between the check and the start, and with elevation when the system asks for it.
#include <cstdint>
#include <functional>
#include <string>

#include "app/services.h"
#include "download/thread_api.h"

namespace app {

// An antivirus program may still be reading the freshly written tool: a hold or a start refused
// with a sharing violation is tried again until this long after the first try, this long apart.
inline constexpr std::uint32_t kStartRetryMs = 2000;
inline constexpr std::uint32_t kStartPauseMs = 50;

// What launchTool answers when the file cannot be opened, or the system or the user refused the
// start: no named result, the box names the tool's path.
inline const std::string kToolNotStarted = "ToolNotStarted";

// Holds the tool at `path`, checks its signature through the held file (unless `publisher` is
// empty), starts it, and releases it. A start the system refuses because the tool needs
// elevation is asked for once more through the shell, with `folder` as its working folder.
// Between the tries after a sharing violation, `pump` lets the window answer. Answers "" when
// the tool was started, the check's result when it refused the tool ("SignErr", "ClockErr",
// "VirusErr"), "VirusErr" when an antivirus program blocked or removed the tool, and
// kToolNotStarted for every other failure.
std::string launchTool(ProcessLauncher& launcher, const std::string& path,
                       const std::string& folder, const std::string& publisher,
                       download::Clock& clock, const std::function<void()>& pump);

}  // namespace app
