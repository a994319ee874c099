// The window host's top-level window: its class, creation and window procedure, the form-level
// changes (caption, colour, bounds, state), the session's end, and the first showing.
#include "form/win32/window_host.h"

#include <stdexcept>
#include <string>

#include "common/win32/utf16.h"
#include "form/win32/child_windows.h"
#include "form/win32/host_gdi.h"
#include "form/win32/host_input.h"
#include "form/win32/painter.h"
#include "ui/win32/resource_pictures.h"

namespace form::win32 {
namespace {

// The icons belong to the class: the window gets them as it is made (under Wine its display
// driver converts them for the window manager then, not once more for each WM_SETICON).
bool registerFormClass(HINSTANCE instance, WNDPROC proc, HICON bigIcon, HICON smallIcon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /*IDC_ARROW*/);
    wc.lpszClassName = kMainWindowClass;
    wc.hIcon = bigIcon;
    wc.hIconSm = smallIcon;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

[[noreturn]] void failToStart(const char* what) {
    throw std::runtime_error(std::string(what) + " (error " + std::to_string(GetLastError()) + ")");
}

}  // namespace

WindowHost::WindowHost(Form& form, const HostResources& resources)
    : form_(form),
      res_(resources),
      fonts_(std::make_unique<FontCache>()),
      painter_(std::make_unique<Painter>(form_, res_.pictures, *fonts_)),
      children_(std::make_unique<ChildWindows>(form_, *painter_, *fonts_, res_.buttonPointer)) {
    if (!registerFormClass(res_.instance, &WindowHost::mainProc, res_.iconBig, res_.iconSmall) ||
        !ChildWindows::registerClass(res_.instance))
        failToStart("cannot register the window classes");
    const Rect b = form_.boundsPixels();
    const int x = (GetSystemMetrics(SM_CXSCREEN) - b.width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - b.height) / 2;
    const std::wstring caption = norvik::win32::toWide(form_.caption());
    if (!CreateWindowExW(0, kMainWindowClass, caption.c_str(),
                         WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, x, y, b.width,
                         b.height, nullptr, nullptr, res_.instance, this))
        failToStart("cannot create the main window");
    form_.attachHost(this, reinterpret_cast<std::uintptr_t>(hwnd_));
    syncBoundsFromWindow();
    children_->create(hwnd_, res_.instance, true);
}

WindowHost::~WindowHost() {
    form_.attachHost(nullptr, 0);
    if (IsWindow(hwnd_))
        DestroyWindow(hwnd_);
}

long WindowHost::paintCount() const {
    return painter_->paintCount();
}
long long WindowHost::paintedPixels() const {
    return painter_->paintedPixels();
}

void WindowHost::loadAndShow(int showCommand) {
    children_->sizePictureBoxesToTheirPictures();
    if (form_.onLoad)
        guarded([this] {
            form_.onLoad();
            return LRESULT{0};
        });
    // What the first screen shows is decoded before the window appears, and the window and its
    // children are painted at once, so it never shows half drawn; the message loop decodes the
    // pictures of the other screens while it is idle.
    // Only the child windows the first screen shows are made before it appears (the load may
    // have shown more); the hidden ones follow before any message is handled.
    decodeVisiblePictures();
    children_->create(hwnd_, res_.instance, true);
    ShowWindow(hwnd_, showCommand);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    children_->create(hwnd_, res_.instance, false);
    syncBoundsFromWindow();
}

void WindowHost::decodeVisiblePictures() {
    for (const auto* list : {&form_.windowless(), &form_.children()})
        for (const Control* c : *list)
            if (c->visible())
                painter_->pictureOf(*c);
}

void WindowHost::controlChanged(Control& control, ControlChange what) {
    if (!children_->controlChanged(control, what))
        painter_->invalidate(hwnd_, control);
}

void WindowHost::formChanged(FormChange what) {
    switch (what) {
        case FormChange::Caption: {
            const std::wstring caption = norvik::win32::toWide(form_.caption());
            SetWindowTextW(hwnd_, caption.c_str());
            break;
        }
        case FormChange::BackColour:
            InvalidateRect(hwnd_, nullptr, FALSE);
            break;
        case FormChange::Bounds: {
            const Rect b = form_.boundsPixels();
            SetWindowPos(hwnd_, nullptr, b.left, b.top, b.width, b.height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            syncBoundsFromWindow();
            break;
        }
        case FormChange::State: {
            const WindowState s = form_.windowState();
            const int cmd = s == WindowState::Maximized   ? SW_MAXIMIZE
                            : s == WindowState::Minimized ? SW_MINIMIZE
                                                          : SW_RESTORE;
            ShowWindow(hwnd_, cmd);
            syncBoundsFromWindow();
            break;
        }
    }
}

bool WindowHost::setFocus(Control& control) {
    return children_->setFocus(hwnd_, control);
}

void WindowHost::syncBoundsFromWindow() {
    RECT r;
    if (!GetWindowRect(hwnd_, &r))
        return;
    form_.boundsChangedBySystem(Rect{r.left, r.top, r.right - r.left, r.bottom - r.top});
    form_.stateChangedBySystem(IsZoomed(hwnd_)   ? WindowState::Maximized
                               : IsIconic(hwnd_) ? WindowState::Minimized
                                                 : WindowState::Normal);
}

void WindowHost::closeRequested() {
    // Closing from the system (Alt+F4, the taskbar) and the end of the session take the same
    // way out as the program's own exit.
    if (form_.onClose) {
        form_.onClose();
        return;
    }
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK WindowHost::mainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        auto* host = static_cast<WindowHost*>(cs->lpCreateParams);
        host->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
    }
    auto* host = reinterpret_cast<WindowHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!host)
        return DefWindowProcW(hwnd, msg, wp, lp);
    return guarded([&] { return host->handleMain(msg, wp, lp); });
}

LRESULT WindowHost::handleMain(UINT msg, WPARAM wp, LPARAM lp) {
    if (routeWindowlessMouse(form_, hwnd_, msg, wp, lp))
        return 0;
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            painter_->paintWindow(hwnd_);
            return 0;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wp) == hwnd_ && LOWORD(lp) == HTCLIENT) {
                setWindowlessPointer(form_, hwnd_, res_.buttonPointer);
                return TRUE;
            }
            break;
        case WM_CTLCOLOREDIT:
            if (HBRUSH brush =
                    children_->editColours(reinterpret_cast<HWND>(lp), reinterpret_cast<HDC>(wp)))
                return reinterpret_cast<LRESULT>(brush);
            break;
        case WM_COMMAND:
            if (HIWORD(wp) == EN_CHANGE)
                children_->editChanged(reinterpret_cast<HWND>(lp));
            return 0;
        case WM_WINDOWPOSCHANGED:
            syncBoundsFromWindow();
            break;
        case WM_ACTIVATE:
            if (LOWORD(wp) != WA_INACTIVE && children_->restoreFocus())
                return 0;
            break;
        case WM_CLOSE:
            closeRequested();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;  // nothing to save: the session may end
        case WM_ENDSESSION:
            if (wp)
                closeRequested();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace form::win32
