// The window host as the program's runtime: the message loop, DoEvents for nested handlers,
// the modal message boxes and the end of the program.
#include "common/frame.h"
#include "common/win32/utf16.h"
#include "form/win32/child_windows.h"
#include "form/win32/window_host.h"
#include "ui/win32/resource_pictures.h"

namespace form::win32 {

void WindowHost::dispatch(MSG& msg) {
    if (!children_->dispatchDialogKeys(hwnd_, msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void WindowHost::run() {
    MSG msg;
    // While the queue is empty, the pictures no screen has shown yet are decoded one at a time,
    // so that the first switch to another screen finds its pictures ready.
    bool picturesLeft = res_.pictures != nullptr;
    for (;;) {
        if (picturesLeft && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            picturesLeft = res_.pictures->decodeNext();
            continue;
        }
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0)
            break;
        dispatch(msg);
    }
}

void WindowHost::doEvents() {
    // A download calls this after every wait for a message or the transfer, which a busy queue
    // (mouse moves, posted messages) ends early, so it may come hundreds of times a second. A
    // progress display needs no more than about 30 pictures a second: within one frame time of
    // the last paint only sent, posted and input messages are taken; the invalid region waits for
    // a later call or for the message loop.
    const DWORD now = GetTickCount();  // wraps after 49 days; the unsigned difference does not
    const bool paintDue = now - lastPaint_ >= norvik::kFrameMs;
    const UINT flags =
        PM_REMOVE | (paintDue ? 0 : (PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, flags)) {
        if (msg.message == WM_PAINT)
            lastPaint_ = now;
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        dispatch(msg);
    }
}

void WindowHost::msgBox(const std::string& text, const std::string& title, MsgIcon icon) {
    const std::wstring t = norvik::win32::toWide(text);
    const std::wstring c = norvik::win32::toWide(title);
    const UINT flags = MB_OK | (icon == MsgIcon::Critical ? MB_ICONERROR : MB_ICONINFORMATION);
    HWND owner = IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
    MessageBoxW(owner, t.c_str(), c.c_str(), flags);
}

void WindowHost::endProgram(int exitCode) {
    if (IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    // TerminateProcess rather than ExitProcess: a transfer thread may be blocked inside WinINet
    // holding one of its locks, and ExitProcess runs every DLL's detach code, which can wait on
    // that lock for ever. Nothing is left to save: downloads were abandoned before this call.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
}

}  // namespace form::win32
