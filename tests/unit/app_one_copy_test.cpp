// A start while another copy runs: the guard's state from the mutex creation, and the plan.
#include <gtest/gtest.h>

#include <cstdint>

#include "app/one_copy.h"
#include "common/windows_codes.h"

namespace {

using app::GuardState;

TEST(AppOneCopy, OnlyAnExistingGuardStopsTheStart) {
    struct Case {
        bool gotHandle;
        std::uint32_t lastError;
        GuardState state;
    };
    for (const Case& c : {Case{true, 0, GuardState::Taken},
                          Case{true, norvik::kErrorAlreadyExists, GuardState::HeldByAnotherCopy},
                          Case{false, norvik::kErrorAccessDenied, GuardState::HeldByAnotherCopy},
                          Case{false, 8 /*ERROR_NOT_ENOUGH_MEMORY*/, GuardState::Unavailable}}) {
        SCOPED_TRACE(c.lastError);
        EXPECT_EQ(app::guardState(c.gotHandle, c.lastError), c.state);
    }
}

TEST(AppOneCopy, ASecondStartShowsTheFirstCopysWindowAndEnds) {
    struct Case {
        GuardState guard;
        bool found, minimized;
        bool run, restore, forward;
    };
    for (const Case& c : {
             Case{GuardState::Taken, false, false, true, false, false},
             Case{GuardState::Unavailable, false, false, true, false, false},
             Case{GuardState::HeldByAnotherCopy, true, false, false, false, true},
             Case{GuardState::HeldByAnotherCopy, true, true, false, true, true},
             // The other copy is still starting or already ending: nothing to show.
             Case{GuardState::HeldByAnotherCopy, false, false, false, false, false},
         }) {
        SCOPED_TRACE(static_cast<int>(c.guard) * 100 + c.found * 10 + c.minimized);
        const app::StartPlan plan = app::planStart(c.guard, c.found, c.minimized);
        EXPECT_EQ(plan.runThisCopy, c.run);
        EXPECT_EQ(plan.restoreOther, c.restore);
        EXPECT_EQ(plan.bringOtherForward, c.forward);
    }
}

}  // namespace
