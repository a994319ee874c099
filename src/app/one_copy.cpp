#include "app/one_copy.h"

#include "common/windows_codes.h"

namespace app {

GuardState guardState(bool gotHandle, std::uint32_t lastError) {
    if (gotHandle)
        return lastError == norvik::kErrorAlreadyExists ? GuardState::HeldByAnotherCopy
                                                        : GuardState::Taken;
    // A guard that cannot be made at all (no resources) must not keep the program from
    // running; one that exists but is not ours to open means another copy holds it.
    return lastError == norvik::kErrorAccessDenied ? GuardState::HeldByAnotherCopy
                                                   : GuardState::Unavailable;
}

StartPlan planStart(GuardState guard, bool otherWindowFound, bool otherMinimized) {
    StartPlan plan;
    if (guard != GuardState::HeldByAnotherCopy)
        return plan;
    plan.runThisCopy = false;
    plan.bringOtherForward = otherWindowFound;
    plan.restoreOther = otherWindowFound && otherMinimized;
    return plan;
}

}  // namespace app
