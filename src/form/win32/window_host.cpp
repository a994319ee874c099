#include "form/win32/window_host.h"

#include <windowsx.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "common/rounding.h"
#include "common/win32/utf16.h"

namespace form::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"NorvikForm";
constexpr wchar_t kPictureBoxClass[] = L"NorvikPictureBox";
WNDPROC g_editProc = nullptr;

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

int screenDpi(int axis) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, axis);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

COLORREF resolve(Colour c) {
    return c.isSystem ? GetSysColor(static_cast<int>(c.value)) : static_cast<COLORREF>(c.value);
}

RECT toRECT(const Rect& r) {
    return RECT{r.left, r.top, r.left + r.width, r.top + r.height};
}

UINT alignFlags(Align a) {
    switch (a) {
        case Align::Center:
            return DT_CENTER;
        case Align::Right:
            return DT_RIGHT;
        case Align::Left:
            break;
    }
    return DT_LEFT;
}

void registerClasses(HINSTANCE instance, WNDPROC mainProc, WNDPROC pictureProc) {
    static bool done = false;
    if (done)
        return;
    done = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /*IDC_ARROW*/);
    wc.lpszClassName = kFormClass;
    RegisterClassExW(&wc);

    WNDCLASSEXW pc{};
    pc.cbSize = sizeof pc;
    pc.style = CS_DBLCLKS;
    pc.lpfnWndProc = pictureProc;
    pc.hInstance = instance;
    pc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    pc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    pc.lpszClassName = kPictureBoxClass;
    RegisterClassExW(&pc);
}

}  // namespace

double screenTwipsPerPixelX() {
    return 1440.0 / screenDpi(LOGPIXELSX);
}
double screenTwipsPerPixelY() {
    return 1440.0 / screenDpi(LOGPIXELSY);
}

WindowHost::WindowHost(Form& form, const HostResources& resources) : form_(form), res_(resources) {
    registerClasses(res_.instance, &WindowHost::mainProc, &WindowHost::pictureBoxProc);
    const Rect b = form_.boundsPixels();
    const int x = (GetSystemMetrics(SM_CXSCREEN) - b.width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - b.height) / 2;
    const std::wstring caption = norvik::win32::toWide(form_.caption());
    hwnd_ = CreateWindowExW(0, kFormClass, caption.c_str(),
                            WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, x, y, b.width,
                            b.height, nullptr, nullptr, res_.instance, this);
    if (res_.iconBig)
        SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(res_.iconBig));
    if (res_.iconSmall)
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(res_.iconSmall));
    sizePictureBoxesToTheirPictures();
    form_.attachHost(this, reinterpret_cast<std::uintptr_t>(hwnd_));
    syncBoundsFromWindow();
    createChildren();
    orderChildrenForTabbing();
}

WindowHost::~WindowHost() {
    form_.attachHost(nullptr, 0);
    if (IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    for (auto& [key, font] : fonts_)
        DeleteObject(font);
    if (backBuffer_)
        DeleteObject(backBuffer_);
}

void WindowHost::createChildren() {
    for (Control* c : form_.children()) {
        const Rect& b = c->bounds();
        DWORD style = WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS | (c->visible() ? WS_VISIBLE : 0);
        DWORD exStyle = 0;
        const wchar_t* cls = kPictureBoxClass;
        std::wstring text;
        if (c->kind() == ControlKind::TextBox) {
            cls = L"EDIT";
            style |= ES_LEFT | ES_AUTOHSCROLL;
            text = norvik::win32::toWide(c->text());
        } else {
            text = norvik::win32::toWide(c->name());  // not shown; names the window for tools
        }
        if (c->border() == Border::Flat)
            style |= WS_BORDER;
        if (c->border() == Border::Sunken)
            exStyle |= WS_EX_CLIENTEDGE;
        HWND child = CreateWindowExW(
            exStyle, cls, text.c_str(), style, b.left, b.top, b.width, b.height, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(childWindowId(c->order()))), res_.instance,
            c);
        childWindows_[c] = child;
        childControls_[child] = c;
        if (c->kind() == ControlKind::TextBox) {
            SetWindowLongPtrW(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(c));
            WNDPROC previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowHost::editProc)));
            if (!g_editProc)
                g_editProc = previous;
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(c->font())), FALSE);
            SendMessageW(child, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);  // no limit
            SendMessageW(child, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(2, 2));
        }
    }
}

void WindowHost::sizePictureBoxesToTheirPictures() {
    // A picture box is as large as its picture plus its border, at any screen resolution.
    for (Control* c : form_.children()) {
        const ui::win32::GdiPicture* pic = pictureOf(*c);
        if (c->kind() != ControlKind::PictureBox || !pic)
            continue;
        const int border = c->border() == Border::Sunken ? 2 : c->border() == Border::Flat ? 1 : 0;
        c->setWidth(pic->width + 2 * border);
        c->setHeight(pic->height + 2 * border);
    }
}

void WindowHost::orderChildrenForTabbing() {
    // The dialog manager tabs in z-order: put the children in tab-index order.
    std::vector<Control*> ordered(form_.children().begin(), form_.children().end());
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](Control* a, Control* b) { return a->tabIndex() < b->tabIndex(); });
    HWND after = HWND_TOP;
    for (Control* c : ordered) {
        HWND child = childWindows_[c];
        SetWindowPos(child, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = child;
    }
}

HFONT WindowHost::fontFor(const Font& font) {
    const std::string key = font.face + "|" + std::to_string(font.points) + (font.bold ? "b" : "");
    auto it = fonts_.find(key);
    if (it != fonts_.end())
        return it->second;
    const int height = -norvik::roundToInt32(font.points * screenDpi(LOGPIXELSY) / 72.0);
    const std::wstring face = norvik::win32::toWide(font.face);
    HFONT f = CreateFontW(height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_SWISS, face.c_str());
    fonts_[key] = f;
    return f;
}

HCURSOR WindowHost::cursorFor(Pointer pointer) const {
    LPCWSTR id = MAKEINTRESOURCEW(32512);  // IDC_ARROW
    switch (pointer) {
        case Pointer::Button:
            if (res_.buttonPointer)
                return res_.buttonPointer;
            id = MAKEINTRESOURCEW(32649);  // IDC_HAND
            break;
        case Pointer::IBeam:
            id = MAKEINTRESOURCEW(32513);
            break;
        case Pointer::SizeWE:
            id = MAKEINTRESOURCEW(32644);
            break;
        case Pointer::SizeNS:
            id = MAKEINTRESOURCEW(32645);
            break;
        case Pointer::SizeNWSE:
            id = MAKEINTRESOURCEW(32642);
            break;
        case Pointer::SizeNESW:
            id = MAKEINTRESOURCEW(32643);
            break;
        case Pointer::Default:
            break;
    }
    return LoadCursorW(nullptr, id);
}

void WindowHost::loadAndShow(int showCommand) {
    if (form_.onLoad)
        guarded([this] {
            form_.onLoad();
            return LRESULT{0};
        });
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    syncBoundsFromWindow();
}

int WindowHost::run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!dispatchDialogKeys(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

bool WindowHost::dispatchDialogKeys(MSG& msg) {
    // Tab and shift+tab move among the visible children in tab order.
    if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP && msg.message != WM_CHAR)
        return false;
    if (!IsWindow(hwnd_) || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)))
        return false;
    if (msg.wParam != VK_TAB && msg.message != WM_CHAR)
        return false;
    if (msg.message == WM_CHAR && msg.wParam != L'\t')
        return false;
    return IsDialogMessageW(hwnd_, &msg) != 0;
}

void WindowHost::doEvents() {
    // A download calls this once per 4 KiB chunk, thousands of times a second. A progress
    // display needs no more than about 30 pictures a second: within 33 ms of the last paint
    // only sent, posted and input messages are taken; the invalid region waits for a later
    // call or for the message loop.
    constexpr DWORD kFrameMs = 33;
    const DWORD now = GetTickCount();  // wraps after 49 days; the unsigned difference does not
    const bool paintDue = now - lastPaint_ >= kFrameMs;
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
        if (!dispatchDialogKeys(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void WindowHost::msgBox(const std::string& text, const std::string& title, MsgIcon icon) {
    const std::wstring t = norvik::win32::toWide(text);
    const std::wstring c = norvik::win32::toWide(title);
    const UINT flags = MB_OK | (icon == MsgIcon::Critical ? MB_ICONERROR : MB_ICONINFORMATION);
    HWND owner = IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
    MessageBoxW(owner, t.c_str(), c.c_str(), flags);
}

void WindowHost::endProgram() {
    if (IsWindow(hwnd_))
        ShowWindow(hwnd_, SW_HIDE);
    ExitProcess(0);
}

void WindowHost::controlChanged(Control& control, ControlChange what) {
    auto it = childWindows_.find(&control);
    if (it == childWindows_.end()) {
        invalidateControl(control);
        return;
    }
    HWND child = it->second;
    const Rect& b = control.bounds();
    switch (what) {
        case ControlChange::Geometry:
            MoveWindow(child, b.left, b.top, b.width, b.height, TRUE);
            break;
        case ControlChange::Visible:
            ShowWindow(child, control.visible() ? SW_SHOWNA : SW_HIDE);
            break;
        case ControlChange::Text: {
            const std::wstring text = norvik::win32::toWide(control.text());
            settingText_ = true;  // the model fires Change itself
            SetWindowTextW(child, text.c_str());
            settingText_ = false;
            break;
        }
        case ControlChange::Picture:
            InvalidateRect(child, nullptr, TRUE);
            break;
    }
}

void WindowHost::invalidateControl(Control& c) {
    // Repaint where the control was drawn last and where it is now, nothing else.
    RECT dirty = toRECT(c.bounds());
    auto it = paintedRects_.find(&c);
    if (it != paintedRects_.end())
        UnionRect(&dirty, &dirty, &it->second);
    paintedRects_[&c] = toRECT(c.bounds());
    // Invalidating costs a round trip to the window server (in Wine); a rectangle that already
    // waits to be painted needs no second call (a download sets the caption once per chunk).
    RECT merged;
    UnionRect(&merged, &pendingPaint_, &dirty);
    if (EqualRect(&merged, &pendingPaint_))
        return;
    pendingPaint_ = merged;
    InvalidateRect(hwnd_, &dirty, FALSE);
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
    auto it = childWindows_.find(&control);
    if (it == childWindows_.end() || !IsWindowVisible(hwnd_) || !IsWindowVisible(it->second))
        return false;
    SetFocus(it->second);
    return GetFocus() == it->second;
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

int WindowHost::shiftState(WPARAM wp) {
    int shift = 0;
    if (wp & MK_SHIFT)
        shift |= 1;
    if (wp & MK_CONTROL)
        shift |= 2;
    if (GetKeyState(VK_MENU) < 0)
        shift |= 4;
    return shift;
}

void WindowHost::paint(HDC target, const RECT& dirty) {
    RECT client;
    GetClientRect(hwnd_, &client);
    if (!backBuffer_ || backBufferSize_.cx != client.right || backBufferSize_.cy != client.bottom) {
        if (backBuffer_)
            DeleteObject(backBuffer_);
        backBuffer_ = CreateCompatibleBitmap(target, std::max<LONG>(1, client.right),
                                             std::max<LONG>(1, client.bottom));
        backBufferSize_ = {client.right, client.bottom};
    }
    HDC mem = CreateCompatibleDC(target);
    HGDIOBJ oldBitmap = SelectObject(mem, backBuffer_);
    HRGN clip = CreateRectRgnIndirect(&dirty);
    SelectClipRgn(mem, clip);

    HBRUSH back = CreateSolidBrush(resolve(form_.backColour()));
    FillRect(mem, &dirty, back);
    DeleteObject(back);

    const auto& controls = form_.windowless();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        Control& c = **it;
        if (!c.visible())
            continue;
        RECT r = toRECT(c.bounds()), overlap;
        if (!IntersectRect(&overlap, &r, &dirty))
            continue;
        paintedRects_[&c] = r;
        drawControl(mem, c);
    }
    BitBlt(target, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top, mem,
           dirty.left, dirty.top, SRCCOPY);
    SelectClipRgn(mem, nullptr);
    DeleteObject(clip);
    SelectObject(mem, oldBitmap);
    DeleteDC(mem);
    ++paintCount_;
    paintedPixels_ += static_cast<long long>(dirty.right - dirty.left) * (dirty.bottom - dirty.top);
}

const ui::win32::GdiPicture* WindowHost::pictureOf(const Control& c) const {
    return res_.pictures ? res_.pictures->gdi(c.picture()) : nullptr;
}

void WindowHost::drawPicture(HDC dc, const ui::win32::GdiPicture& pic, int x, int y, int width,
                             int height) {
    // Plain GDI from the decoded bitmaps: copying is far cheaper per paint than drawing through
    // GDI+, and a nearest-neighbour stretch keeps a frame piece's edges as drawn.
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, pic.bitmap);
    if (!pic.opaque) {
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, x, y, width, height, source, 0, 0, pic.width, pic.height, blend);
    } else if (width == pic.width && height == pic.height) {
        BitBlt(dc, x, y, width, height, source, 0, 0, SRCCOPY);
    } else {
        const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, x, y, width, height, source, 0, 0, pic.width, pic.height, SRCCOPY);
        SetStretchBltMode(dc, oldMode);
    }
    SelectObject(source, old);
    DeleteDC(source);
}

void WindowHost::drawControl(HDC dc, Control& c) {
    RECT r = toRECT(c.bounds());
    switch (c.kind()) {
        case ControlKind::Image: {
            const ui::win32::GdiPicture* pic = pictureOf(c);
            if (!pic)
                return;  // an image without a picture draws nothing
            // Stretched: scaled to the control; otherwise at the picture's own size.
            const int w = c.stretch() ? c.width() : pic->width;
            const int h = c.stretch() ? c.height() : pic->height;
            drawPicture(dc, *pic, c.left(), c.top(), w, h);
            return;
        }
        case ControlKind::Label: {
            if (c.text().empty())
                return;
            const std::wstring text = norvik::win32::toWide(c.text());
            HGDIOBJ oldFont = SelectObject(dc, fontFor(c.font()));
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, resolve(c.foreColour()));
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                      DT_WORDBREAK | DT_NOPREFIX | alignFlags(c.align()));
            SelectObject(dc, oldFont);
            return;
        }
        case ControlKind::Shape: {
            HBRUSH fill = CreateSolidBrush(resolve(c.backColour()));
            FillRect(dc, &r, fill);
            DeleteObject(fill);
            HBRUSH outline = CreateSolidBrush(resolve(c.foreColour()));
            FrameRect(dc, &r, outline);
            DeleteObject(outline);
            return;
        }
        case ControlKind::PictureBox:
        case ControlKind::TextBox:
            return;
    }
}

WindowHost* WindowHost::hostOf(HWND child) {
    return reinterpret_cast<WindowHost*>(GetWindowLongPtrW(GetParent(child), GWLP_USERDATA));
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
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            SetRectEmpty(&pendingPaint_);
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            if (!IsRectEmpty(&ps.rcPaint))
                paint(dc, ps.rcPaint);
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK: {
            const int button = (msg == WM_LBUTTONDOWN)                              ? LeftButton
                               : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK) ? RightButton
                                                                                    : MiddleButton;
            SetCapture(hwnd_);
            form_.mouseDown(x, y, button, shiftState(wp));
            return 0;
        }
        case WM_LBUTTONDBLCLK:
            SetCapture(hwnd_);
            form_.doubleClick(x, y, shiftState(wp));
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            const int button = msg == WM_LBUTTONUP   ? LeftButton
                               : msg == WM_RBUTTONUP ? RightButton
                                                     : MiddleButton;
            form_.mouseUp(x, y, button, shiftState(wp));
            if (GetCapture() == hwnd_)
                ReleaseCapture();
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lp) != hwnd_)
                form_.cancelCapture();
            return 0;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wp) == hwnd_ && LOWORD(lp) == HTCLIENT) {
                POINT p;
                GetCursorPos(&p);
                ScreenToClient(hwnd_, &p);
                Control* c = form_.hitTest(p.x, p.y);
                SetCursor(cursorFor(c ? c->pointer() : Pointer::Default));
                return TRUE;
            }
            break;
        case WM_CTLCOLOREDIT: {
            auto it = childControls_.find(reinterpret_cast<HWND>(lp));
            if (it != childControls_.end()) {
                HDC dc = reinterpret_cast<HDC>(wp);
                SetTextColor(dc, resolve(it->second->foreColour()));
                SetBkColor(dc, resolve(it->second->backColour()));
                const Colour back = it->second->backColour();
                return reinterpret_cast<LRESULT>(
                    back.isSystem ? GetSysColorBrush(static_cast<int>(back.value))
                                  : GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        }
        case WM_COMMAND:
            if (HIWORD(wp) == EN_CHANGE && !settingText_) {
                auto it = childControls_.find(reinterpret_cast<HWND>(lp));
                if (it != childControls_.end()) {
                    HWND edit = it->first;
                    const int n = GetWindowTextLengthW(edit);
                    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
                    GetWindowTextW(edit, text.data(), n + 1);
                    text.resize(static_cast<size_t>(n));
                    it->second->textEditedByUser(norvik::win32::toUtf8(text));
                }
            }
            return 0;
        case WM_WINDOWPOSCHANGED:
            syncBoundsFromWindow();
            break;
        case WM_ACTIVATE:
            // Give the focus back to the control that had it when the window was left.
            if (LOWORD(wp) != WA_INACTIVE && form_.focused()) {
                auto it = childWindows_.find(form_.focused());
                if (it != childWindows_.end() && IsWindowVisible(it->second)) {
                    SetFocus(it->second);
                    return 0;
                }
            }
            break;
        case WM_CLOSE:
            if (form_.onClose) {
                form_.onClose();
                return 0;
            }
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK WindowHost::pictureBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* control = reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    WindowHost* host = hostOf(hwnd);
    if (!control || !host)
        return DefWindowProcW(hwnd, msg, wp, lp);
    return guarded([&] { return host->handlePictureBox(*control, hwnd, msg, wp, lp); });
}

LRESULT WindowHost::handlePictureBox(Control& c, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            // The picture sits unscaled at the inner top-left corner.
            if (const ui::win32::GdiPicture* pic = pictureOf(c))
                drawPicture(dc, *pic, 0, 0, pic->width, pic->height);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT) {
                SetCursor(cursorFor(c.pointer()));
                return TRUE;
            }
            break;
        case WM_SETFOCUS:
            form_.focusChangedBySystem(&c);
            return 0;
        case WM_LBUTTONDOWN:
            doubleClickedButton_ = nullptr;
            SetFocus(hwnd);
            SetCapture(hwnd);
            c.fireMouseDown({LeftButton, shiftState(wp), GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
            return 0;
        case WM_LBUTTONDBLCLK:
            // The second press of a double-click: DblClick now, and no second Click on release.
            doubleClickedButton_ = hwnd;
            SetCapture(hwnd);
            c.fireDblClick();
            return 0;
        case WM_LBUTTONUP: {
            const bool secondOfDouble = doubleClickedButton_ == hwnd;
            doubleClickedButton_ = nullptr;
            const bool captured = GetCapture() == hwnd;
            if (captured)
                ReleaseCapture();
            const POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            RECT client;
            GetClientRect(hwnd, &client);
            c.fireMouseUp({LeftButton, shiftState(wp), p.x, p.y});
            // A click is a press and a release over the button; the Click handler may run a
            // long nested job, so the capture is already released here.
            if (captured && !secondOfDouble && PtInRect(&client, p))
                c.fireClick();
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK WindowHost::editProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* control = reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    WindowHost* host = hostOf(hwnd);
    switch (msg) {
        case WM_SETFOCUS:
            if (host && control)
                host->form_.focusChangedBySystem(control);
            break;
        case WM_LBUTTONDBLCLK: {
            const LRESULT r = CallWindowProcW(g_editProc, hwnd, msg, wp, lp);
            if (control)
                guarded([&] {
                    control->fireDblClick();
                    return LRESULT{0};
                });
            return r;
        }
        default:
            break;
    }
    return CallWindowProcW(g_editProc, hwnd, msg, wp, lp);
}

}  // namespace form::win32
