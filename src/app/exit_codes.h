#pragma once
// The program's exit codes: how it ended.
namespace app {

inline constexpr int kExitToolStarted = 0;      // the update tool was started
inline constexpr int kExitClosed = 1;           // exit, closing the window, end of the session
inline constexpr int kExitStartFailed = 2;      // the window could not be made
inline constexpr int kExitAnotherCopyRuns = 3;  // handed over to the copy already running

}  // namespace app
