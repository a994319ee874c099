// The chrome bound to User32 and GDI32.
#include "skin/win32/skin_wiring.h"

#include <windows.h>

#include <memory>

#include "common/win32/gdi_handles.h"
#include "skin/chrome.h"
#include "skin/mdl_skin.h"

namespace skin::win32 {
namespace {

HWND toHwnd(std::uintptr_t h) {
    return reinterpret_cast<HWND>(h);
}

class Win32WindowApi : public WindowApi {
  public:
    std::uintptr_t createRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth,
                                      int ellipseHeight) override {
        return reinterpret_cast<std::uintptr_t>(
            CreateRoundRectRgn(left, top, right, bottom, ellipseWidth, ellipseHeight));
    }
    int setWindowRgn(std::uintptr_t hwnd, std::uintptr_t region, bool redraw) override {
        // The system owns a region it accepted; one it refused is still ours to free.
        norvik::win32::UniqueRegion owned(reinterpret_cast<HRGN>(region));
        const int accepted = SetWindowRgn(toHwnd(hwnd), owned.get(), redraw ? TRUE : FALSE);
        if (accepted)
            owned.release();
        return accepted;
    }
    bool releaseCapture() override { return ReleaseCapture() != FALSE; }
    std::intptr_t sendMessage(std::uintptr_t hwnd, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override {
        return SendMessageW(toHwnd(hwnd), message, wParam, lParam);
    }
    bool getCursorPos(CursorPoint& point) override {
        POINT p;
        if (!GetCursorPos(&p))
            return false;
        point.X = p.x;
        point.Y = p.y;
        return true;
    }
};

Win32WindowApi& api() {
    static Win32WindowApi instance;
    return instance;
}

// The chrome of the program's one skinned window, made at its first use.
Chrome& chromeOf(form::Form& frm) {
    static std::unique_ptr<Chrome> chrome;
    if (!chrome)
        chrome = std::make_unique<Chrome>(frm, api());
    return *chrome;
}

}  // namespace

void AttachChrome(form::Form& frm) {
    chromeOf(frm);
}

void LayoutSkin(form::Form& frm, bool resizable) {
    chromeOf(frm).Layout(resizable);
}

}  // namespace skin::win32
