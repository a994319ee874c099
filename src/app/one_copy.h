#pragma once
// One copy of the program per Windows session: what a start does, given what it found of the
// session's guard and of an already running copy's window.
#include <cstdint>

namespace app {

enum class GuardState {
    Taken,              // this copy made the guard and holds it until it ends
    HeldByAnotherCopy,  // the guard exists: another copy runs in the session
    Unavailable,        // no guard could be made: this copy runs unguarded
};

// The guard's state from the mutex creation: whether a handle came back, and the error code
// the system left (an existing mutex made by a copy with higher rights refuses access).
GuardState guardState(bool gotHandle, std::uint32_t lastError);

// What the start does. When another copy runs, this one ends without a window; it first shows
// the other's window when that was found, restoring it when it is minimized.
struct StartPlan {
    bool runThisCopy = true;
    bool restoreOther = false;
    bool bringOtherForward = false;
};

StartPlan planStart(GuardState guard, bool otherWindowFound, bool otherMinimized);

}  // namespace app
