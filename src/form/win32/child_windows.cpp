// The child windows of the window host: creation of the picture boxes and edits, their window
// procedures, focus and tab order, and the way their input and text reach the model.
#include "form/win32/child_windows.h"

#include <windowsx.h>

#include <algorithm>
#include <string>

#include "common/win32/utf16.h"
#include "form/win32/host_input.h"

namespace form::win32 {
namespace {

constexpr wchar_t kPictureBoxClass[] = L"NorvikPictureBox";
WNDPROC g_editProc = nullptr;  // the system's EDIT procedure, which the edits pass on to

}  // namespace

ChildWindows::ChildWindows(Form& form, Painter& painter, FontCache& fonts, HCURSOR buttonPointer)
    : form_(form), painter_(painter), fonts_(fonts), buttonPointer_(buttonPointer) {}

bool ChildWindows::registerClass(HINSTANCE instance) {
    WNDCLASSEXW pc{};
    pc.cbSize = sizeof pc;
    pc.style = CS_DBLCLKS;
    pc.lpfnWndProc = &ChildWindows::pictureBoxProc;
    pc.hInstance = instance;
    pc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /*IDC_ARROW*/);
    pc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    pc.lpszClassName = kPictureBoxClass;
    return RegisterClassExW(&pc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void ChildWindows::create(HWND parent, HINSTANCE instance, bool visibleOnly) {
    for (Control* c : form_.children()) {
        if (windows_.count(c) || (visibleOnly && !c->visible()))
            continue;
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
        bindings_.push_back(std::make_unique<Binding>(Binding{this, c}));
        Binding* binding = bindings_.back().get();
        HWND child = CreateWindowExW(
            exStyle, cls, text.c_str(), style, b.left, b.top, b.width, b.height, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(childWindowId(c->order()))), instance,
            binding);
        windows_[c] = child;
        controls_[child] = c;
        if (c->kind() == ControlKind::TextBox) {
            SetWindowLongPtrW(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(binding));
            WNDPROC previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChildWindows::editProc)));
            if (!g_editProc)
                g_editProc = previous;
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.get(c->font())), FALSE);
            SendMessageW(child, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);  // no limit
            SendMessageW(child, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(2, 2));
        }
    }
    orderForTabbing();
}

void ChildWindows::sizePictureBoxesToTheirPictures() {
    // A picture box is as large as its picture plus its border, at any screen resolution.
    for (Control* c : form_.children()) {
        if (c->kind() != ControlKind::PictureBox)
            continue;
        const ui::win32::GdiPicture* pic = painter_.pictureOf(*c);
        if (!pic)
            continue;
        const int border = c->border() == Border::Sunken ? 2 : c->border() == Border::Flat ? 1 : 0;
        c->setWidth(pic->width + 2 * border);
        c->setHeight(pic->height + 2 * border);
    }
}

void ChildWindows::orderForTabbing() {
    // The dialog manager tabs in z-order: put the children in tab-index order.
    std::vector<Control*> ordered(form_.children().begin(), form_.children().end());
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](Control* a, Control* b) { return a->tabIndex() < b->tabIndex(); });
    HWND after = HWND_TOP;
    for (Control* c : ordered) {
        const auto made = windows_.find(c);
        if (made == windows_.end())
            continue;
        HWND child = made->second;
        SetWindowPos(child, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = child;
    }
}

bool ChildWindows::controlChanged(Control& control, ControlChange what) {
    auto it = windows_.find(&control);
    if (it == windows_.end()) {
        const auto& windowed = form_.children();
        return std::find(windowed.begin(), windowed.end(), &control) != windowed.end();
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
            settingText_ = true;
            SetWindowTextW(child, text.c_str());
            settingText_ = false;
            break;
        }
        case ControlChange::Picture:
            InvalidateRect(child, nullptr, TRUE);
            break;
    }
    return true;
}

bool ChildWindows::setFocus(HWND parent, Control& control) {
    auto it = windows_.find(&control);
    if (it == windows_.end() || !IsWindowVisible(parent) || !IsWindowVisible(it->second))
        return false;
    SetFocus(it->second);
    return GetFocus() == it->second;
}

bool ChildWindows::restoreFocus() {
    if (!form_.focused())
        return false;
    auto it = windows_.find(form_.focused());
    if (it == windows_.end() || !IsWindowVisible(it->second))
        return false;
    SetFocus(it->second);
    return true;
}

HBRUSH ChildWindows::editColours(HWND edit, HDC dc) const {
    auto it = controls_.find(edit);
    if (it == controls_.end())
        return nullptr;
    SetTextColor(dc, resolve(it->second->foreColour()));
    SetBkColor(dc, resolve(it->second->backColour()));
    const Colour back = it->second->backColour();
    return back.isSystem ? GetSysColorBrush(static_cast<int>(back.value))
                         : GetSysColorBrush(COLOR_WINDOW);
}

void ChildWindows::editChanged(HWND edit) {
    if (settingText_)
        return;
    auto it = controls_.find(edit);
    if (it == controls_.end())
        return;
    const int n = GetWindowTextLengthW(edit);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(edit, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    it->second->textEditedByUser(norvik::win32::toUtf8(text));
}

bool ChildWindows::dispatchDialogKeys(HWND parent, MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP && msg.message != WM_CHAR)
        return false;
    if (!IsWindow(parent) || (msg.hwnd != parent && !IsChild(parent, msg.hwnd)))
        return false;
    if (msg.wParam != VK_TAB && msg.message != WM_CHAR)
        return false;
    if (msg.message == WM_CHAR && msg.wParam != L'\t')
        return false;
    return IsDialogMessageW(parent, &msg) != 0;
}

LRESULT CALLBACK ChildWindows::pictureBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* binding = reinterpret_cast<Binding*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!binding)
        return DefWindowProcW(hwnd, msg, wp, lp);
    return guarded(
        [&] { return binding->owner->handlePictureBox(*binding->control, hwnd, msg, wp, lp); });
}

LRESULT ChildWindows::handlePictureBox(Control& c, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT:
            painter_.paintPictureBox(hwnd, c);
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT) {
                SetCursor(cursorFor(c.pointer(), buttonPointer_));
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

LRESULT CALLBACK ChildWindows::editProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* binding = reinterpret_cast<Binding*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_SETFOCUS:
            if (binding)
                binding->owner->form_.focusChangedBySystem(binding->control);
            break;
        case WM_LBUTTONDBLCLK: {
            const LRESULT r = CallWindowProcW(g_editProc, hwnd, msg, wp, lp);
            if (binding)
                guarded([&] {
                    binding->control->fireDblClick();
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
