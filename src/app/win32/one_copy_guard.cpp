#include "app/win32/one_copy_guard.h"

#include "app/one_copy.h"
#include "form/win32/window_host.h"

namespace app::win32 {
namespace {

constexpr wchar_t kGuardName[] = L"Local\\UpgradeNorvik.OneCopy";

// The running copy may still be starting: its window is waited for this long at most, well
// within the second it takes a double-click too many to be forgotten.
constexpr DWORD kWindowWaitMs = 400;
constexpr DWORD kPollMs = 20;

HWND runningCopysWindow() {
    const DWORD start = GetTickCount();
    for (;;) {
        const HWND window = FindWindowW(form::win32::kMainWindowClass, nullptr);
        if (window && IsWindowVisible(window))
            return window;
        if (GetTickCount() - start >= kWindowWaitMs)
            return nullptr;
        Sleep(kPollMs);
    }
}

}  // namespace

bool claimOneCopy(norvik::win32::UniqueKernelHandle& guard) {
    guard.reset(CreateMutexW(nullptr, FALSE, kGuardName));
    const GuardState state = guardState(static_cast<bool>(guard), GetLastError());
    if (state != GuardState::HeldByAnotherCopy)
        return true;
    guard.reset();
    const HWND other = runningCopysWindow();
    const StartPlan plan = planStart(state, other != nullptr, other && IsIconic(other));
    // Asynchronous, so that a copy that does not answer cannot hold this one.
    if (plan.restoreOther)
        ShowWindowAsync(other, SW_RESTORE);
    // The copy's message box, when it shows one, rather than the window under it.
    if (plan.bringOtherForward)
        SetForegroundWindow(GetLastActivePopup(other));
    return plan.runThisCopy;
}

}  // namespace app::win32
