// Mouse routing of the window host's top-level window: presses, releases and double-clicks go
// to the windowless control under the pointer, which keeps the capture until the release.
#include "form/win32/host_input.h"

#include <windowsx.h>

#include "form/win32/host_gdi.h"

namespace form::win32 {

int shiftState(WPARAM wp) {
    int shift = 0;
    if (wp & MK_SHIFT)
        shift |= 1;
    if (wp & MK_CONTROL)
        shift |= 2;
    if (GetKeyState(VK_MENU) < 0)
        shift |= 4;
    return shift;
}

bool routeWindowlessMouse(Form& form, HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK: {
            const int button = (msg == WM_LBUTTONDOWN)                              ? LeftButton
                               : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK) ? RightButton
                                                                                    : MiddleButton;
            SetCapture(window);
            form.mouseDown(x, y, button, shiftState(wp));
            return true;
        }
        case WM_LBUTTONDBLCLK:
            SetCapture(window);
            form.doubleClick(x, y, shiftState(wp));
            return true;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            const int button = msg == WM_LBUTTONUP   ? LeftButton
                               : msg == WM_RBUTTONUP ? RightButton
                                                     : MiddleButton;
            form.mouseUp(x, y, button, shiftState(wp));
            if (GetCapture() == window)
                ReleaseCapture();
            return true;
        }
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lp) != window)
                form.cancelCapture();
            return true;
        default:
            return false;
    }
}

void setWindowlessPointer(const Form& form, HWND window, HCURSOR buttonPointer) {
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(window, &p);
    const Control* c = form.hitTest(p.x, p.y);
    SetCursor(cursorFor(c ? c->pointer() : Pointer::Default, buttonPointer));
}

}  // namespace form::win32
