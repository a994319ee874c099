#include "app/win32/one_copy_guard.h"

#include "app/one_copy.h"
#include "form/win32/window_host.h"

namespace app::win32 {
namespace {

constexpr wchar_t kGuardName[] = L"Local\\UpgradeNorvik.OneCopy";

// The running copy may still be starting: its window is waited for this long at most, so that
// a second start always ends well within a second.
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
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, kGuardName);
    const DWORD error = GetLastError();
    guard.reset(mutex);
    const GuardState state = guardState(mutex != nullptr, error);
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
