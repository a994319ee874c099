#include "app/win32/one_copy_guard.h"

#include "app/one_copy.h"
#include "form/win32/window_host.h"

namespace app::win32 {
namespace {

constexpr wchar_t kGuardName[] = L"Local\\UpgradeNorvik.OneCopy";

// The guard: made owned by this copy's main thread when it is new, so that another start can
// wait for it; the system releases it (as abandoned) however the copy ends. An existing guard
// is opened without being owned (the initial owner is ignored then).
GuardState createGuard(norvik::win32::UniqueKernelHandle& guard) {
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, kGuardName);
    const DWORD error = GetLastError();
    guard.reset(mutex);
    return guardState(mutex != nullptr, error);
}

// One look of at most kGuardLookMs: true when the guard came free and this copy owns it now.
bool guardCameFree(norvik::win32::UniqueKernelHandle& guard) {
    if (guard) {
        const DWORD waited = WaitForSingleObject(guard.get(), kGuardLookMs);
        return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    // Not ours to open (made by a copy with higher rights): made anew once that copy is gone.
    Sleep(kGuardLookMs);
    return createGuard(guard) != GuardState::HeldByAnotherCopy;
}

HWND visibleMainWindow() {
    const HWND window = FindWindowW(form::win32::kMainWindowClass, nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

}  // namespace

bool claimOneCopy(norvik::win32::UniqueKernelHandle& guard) {
    const GuardState state = createGuard(guard);
    if (state != GuardState::HeldByAnotherCopy)
        return true;
    // The other copy may be ending (Thoat pressed, the tool started): its guard comes free
    // within moments, and then this copy runs as the first.
    const DWORD start = GetTickCount();
    bool windowBefore = false;
    for (;;) {
        const bool free = guardCameFree(guard);
        const HWND other = free ? nullptr : visibleMainWindow();
        switch (afterLook(free, other != nullptr, windowBefore, GetTickCount() - start)) {
            case SecondStart::RunAsFirst:
                return true;
            case SecondStart::KeepWaiting:
                windowBefore = other != nullptr;
                continue;
            case SecondStart::EndQuietly:
                guard.reset();
                return false;
            case SecondStart::BringOtherForward: {
                guard.reset();
                const StartPlan plan = planStart(state, true, IsIconic(other) != FALSE);
                // Asynchronous, so that a copy that does not answer cannot hold this one.
                if (plan.restoreOther)
                    ShowWindowAsync(other, SW_RESTORE);
                // The copy's message box, when it shows one, rather than the window under it.
                if (plan.bringOtherForward)
                    SetForegroundWindow(GetLastActivePopup(other));
                return false;
            }
        }
    }
}

}  // namespace app::win32
