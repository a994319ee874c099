#pragma once
// Mouse input of the window host's top-level window, routed to the windowless controls under
// the pointer (with capture, so a release reaches the pressed control), and the handler guard.
#include <windows.h>

#include <exception>

#include "form/form.h"

namespace form::win32 {

// A failing event handler must not unwind through the system's frames of a window procedure:
// the handler ends at the failing step, what it did so far stays done, and the window goes on.
template <typename Handler>
LRESULT guarded(Handler&& handler) {
    try {
        return handler();
    } catch (const std::exception&) {
        return 0;
    }
}

// The model's shift state (1 shift, 2 control, 4 alt) of a mouse message.
int shiftState(WPARAM wp);

// Routes a mouse message of the top-level window to the windowless controls; true when `msg`
// was one it handles (its result is then 0).
bool routeWindowlessMouse(Form& form, HWND window, UINT msg, WPARAM wp, LPARAM lp);

// WM_SETCURSOR over the client area: the pointer of the windowless control under the cursor.
void setWindowlessPointer(const Form& form, HWND window, HCURSOR buttonPointer);

}  // namespace form::win32
