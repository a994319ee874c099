// norvik-driver: a console program that drives the UpgradeNorvik window for end-to-end tests.
// One command per run; results on stdout (UTF-8), exit code 0 on success, 1 on failure,
// 2 on a usage error. Controls are named as in the window definition.
#include <windows.h>
// after windows.h, whose types it uses
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/utf16.h"
#include "form/form.h"
#include "ui/frm_main_def.h"

namespace {

using norvik::win32::toUtf8;
using norvik::win32::toWide;

void out(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fwrite("\n", 1, 1, stdout);
    std::fflush(stdout);
}

int fail(const std::string& why) {
    std::fprintf(stderr, "driver: %s\n", why.c_str());
    return 1;
}

std::wstring classOf(HWND h) {
    wchar_t buf[128] = {};
    GetClassNameW(h, buf, 127);
    return buf;
}

std::wstring textOf(HWND h) {
    const int n = static_cast<int>(SendMessageW(h, WM_GETTEXTLENGTH, 0, 0));
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    SendMessageW(h, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<size_t>(n));
    return s;
}

struct Found {
    std::wstring cls;
    std::wstring title;  // empty: any
    HWND hwnd = nullptr;
};

BOOL CALLBACK findTop(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    if (!IsWindowVisible(h) || classOf(h) != f->cls)
        return TRUE;
    if (!f->title.empty() && textOf(h) != f->title)
        return TRUE;
    f->hwnd = h;
    return FALSE;
}

HWND waitFor(const std::wstring& cls, const std::wstring& title, int timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        Found f{cls, title, nullptr};
        EnumWindows(findTop, reinterpret_cast<LPARAM>(&f));
        if (f.hwnd)
            return f.hwnd;
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

HWND mainWindow(int timeoutMs = 10000) {
    return waitFor(L"NorvikForm", L"", timeoutMs);
}

// Polls `done` every 10 ms for at most `timeoutMs`; true as soon as it holds.
template <typename Condition>
bool waitUntil(Condition done, int timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}

// Waits until the window's thread has taken every input queued for it before this call: a
// thread gets a paint message only when no input is waiting, so a one-pixel repaint asked for
// now is done (the window has no update region left) once that input has been taken.
bool waitInputTaken(HWND window, int timeoutMs) {
    RECT client;
    GetClientRect(window, &client);
    const RECT pixel{client.right / 2, client.bottom / 2, client.right / 2 + 1,
                     client.bottom / 2 + 1};
    InvalidateRect(window, &pixel, FALSE);
    return waitUntil([&] { return !IsWindow(window) || !GetUpdateRect(window, nullptr, FALSE); },
                     timeoutMs);
}

// The child window of a named control, found through its stable window id.
HWND child(HWND main, const std::string& name) {
    const form::FormDef& def = ui::frmMainDefinition();
    for (size_t i = 0; i < def.children.size(); ++i)
        if (def.children[i].name == name)
            return GetDlgItem(main, form::childWindowId(static_cast<int>(i)));
    return nullptr;
}

void postClick(HWND target, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(target, WM_LBUTTONUP, 0, at);
}

void sendInput(DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

int intArg(const std::vector<std::string>& a, size_t i, int fallback) {
    return i < a.size() ? std::atoi(a[i].c_str()) : fallback;
}

std::string rectText(const RECT& r) {
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
}

// Selects `path` in the open folder dialog: the string must live in the dialog's process.
bool selectInFolderDialog(HWND dlg, const std::wstring& path) {
    DWORD pid = 0;
    GetWindowThreadProcessId(dlg, &pid);
    HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!proc)
        return false;
    const SIZE_T bytes = (path.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(proc, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    bool ok = remote && WriteProcessMemory(proc, remote, path.c_str(), bytes, nullptr);
    if (ok) {
        constexpr UINT kSetSelectionW = WM_USER + 103;  // BFFM_SETSELECTIONW
        SendMessageW(dlg, kSetSelectionW, TRUE, reinterpret_cast<LPARAM>(remote));
    }
    if (remote)
        VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
    CloseHandle(proc);
    return ok;
}

struct DialogSearch {
    DWORD pid;
    bool found;
};

BOOL CALLBACK findDialogOf(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<DialogSearch*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == s->pid && IsWindowVisible(h) && classOf(h) == L"#32770") {
        s->found = true;
        return FALSE;
    }
    return TRUE;
}

// True while a message box (or any dialog) of the process `pid` is shown.
bool dialogOf(DWORD pid) {
    DialogSearch search{pid, false};
    EnumWindows(findDialogOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

double nowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// Asks the window again and again whether it answers (WM_NULL, at most 250 ms each) until it is
// gone, one of its process's message boxes shows, or `limitMs` have passed. Prints the longest
// answer in milliseconds, the count of unanswered asks and the count of asks.
int probeResponsive(HWND m, int limitMs) {
    DWORD pid = 0;
    GetWindowThreadProcessId(m, &pid);
    const double start = nowMs();
    double worst = 0;
    int unanswered = 0, asks = 0;
    while (IsWindow(m) && !dialogOf(pid) && nowMs() - start < limitMs) {
        DWORD_PTR result = 0;
        const double before = nowMs();
        const LRESULT ok = SendMessageTimeoutW(m, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 250, &result);
        const double took = nowMs() - before;
        if (!ok && IsWindow(m))
            ++unanswered;
        if (IsWindow(m) && took > worst)
            worst = took;
        ++asks;
        Sleep(20);
    }
    out(std::to_string(static_cast<int>(worst + 0.5)) + " " + std::to_string(unanswered) + " " +
        std::to_string(asks));
    return 0;
}

// Ends the program the way a user or the system does and waits for its process to end. Prints
// the milliseconds from the first message to the end of the process.
int exitBy(HWND m, const std::string& how, int limitMs) {
    DWORD pid = 0;
    GetWindowThreadProcessId(m, &pid);
    HANDLE proc = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!proc)
        return fail("cannot open the program's process");
    const double start = nowMs();
    if (how == "button") {
        HWND button = child(m, "cmdExit");
        RECT r;
        GetClientRect(button, &r);
        postClick(button, r.right / 2, r.bottom / 2);
    } else if (how == "close") {
        PostMessageW(m, WM_CLOSE, 0, 0);
    } else if (how == "syscommand") {
        PostMessageW(m, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (how == "endsession") {
        DWORD_PTR agreed = 0;
        if (SendMessageTimeoutW(m, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                                static_cast<UINT>(limitMs), &agreed) &&
            agreed) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(m, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                                static_cast<UINT>(limitMs), &ignored);
        }
    } else {
        CloseHandle(proc);
        return 2;
    }
    const DWORD waited = WaitForSingleObject(proc, static_cast<DWORD>(limitMs));
    CloseHandle(proc);
    out(std::to_string(static_cast<int>(nowMs() - start + 0.5)));
    return waited == WAIT_OBJECT_0 ? 0 : fail("the program did not end");
}

// Opens a file without sharing it, as another program holding it would, for `ms` milliseconds.
int holdFile(const std::string& path, int ms) {
    HANDLE f = CreateFileW(toWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return fail("cannot open " + path);
    out("held");
    Sleep(static_cast<DWORD>(ms));
    CloseHandle(f);
    return 0;
}

// The edit boxes of a dialog: the user name's (the first plain one) and the password's.
struct LoginEdits {
    HWND user = nullptr, password = nullptr;
};

BOOL CALLBACK findEdits(HWND h, LPARAM lp) {
    auto* e = reinterpret_cast<LoginEdits*>(lp);
    if (classOf(h) != L"Edit" || !IsWindowVisible(h) || !IsWindowEnabled(h))
        return TRUE;
    if (GetWindowLongW(h, GWL_STYLE) & ES_PASSWORD)
        e->password = e->password ? e->password : h;
    else
        e->user = e->user ? e->user : h;
    return TRUE;
}

BOOL CALLBACK findLoginDialog(HWND h, LPARAM lp) {
    if (!IsWindowVisible(h) || classOf(h) != L"#32770")
        return TRUE;
    LoginEdits edits;
    EnumChildWindows(h, findEdits, reinterpret_cast<LPARAM>(&edits));
    if (!edits.password || !edits.user)
        return TRUE;
    *reinterpret_cast<HWND*>(lp) = h;
    return FALSE;
}

// The system's credentials dialog (a dialog with a user name and a password box), or null.
HWND waitForLogin(int timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            EnumWindows(findLoginDialog, reinterpret_cast<LPARAM>(&found));
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

int run(const std::vector<std::string>& a) {
    if (a.empty())
        return 2;
    const std::string& cmd = a[0];

    if (cmd == "wait-main") {
        HWND m = mainWindow(intArg(a, 1, 10000));
        if (!m)
            return fail("no main window");
        RECT r;
        GetWindowRect(m, &r);
        out(rectText(r) + " " + toUtf8(textOf(m)));
        return 0;
    }
    if (cmd == "modules") {  // the DLLs the main window's process has loaded, lower case
        HWND m = mainWindow(intArg(a, 1, 10000));
        DWORD pid = 0;
        if (!m || !GetWindowThreadProcessId(m, &pid))
            return fail("no main window");
        // Closed like a file: "none" is INVALID_HANDLE_VALUE here too.
        const norvik::win32::UniqueFileHandle snapshot(
            CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
        if (!snapshot)
            return fail("no module list");
        std::string names;
        MODULEENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Module32FirstW(snapshot.get(), &entry); more;
             more = Module32NextW(snapshot.get(), &entry)) {
            std::string name = toUtf8(entry.szModule);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            names += (names.empty() ? "" : " ") + name;
        }
        out(names);
        return 0;
    }
    if (cmd == "wait-window") {  // wait-window CLASS [timeout]: prints the window's rectangle
        HWND w = waitFor(toWide(a.at(1)), L"", intArg(a, 2, 10000));
        if (!w)
            return fail("no window of class " + a.at(1));
        RECT r;
        GetWindowRect(w, &r);
        out(rectText(r) + " " + toUtf8(textOf(w)));
        return 0;
    }
    if (cmd == "wait-gone") {
        const DWORD start = GetTickCount();
        while (mainWindow(0)) {
            if (static_cast<int>(GetTickCount() - start) >= intArg(a, 1, 10000))
                return fail("main window still there");
            Sleep(50);
        }
        return 0;
    }
    if (cmd == "dpi") {  // the screen's dots per inch as the system reports them to programs
        HDC screen = GetDC(nullptr);
        out(std::to_string(GetDeviceCaps(screen, LOGPIXELSY)));
        ReleaseDC(nullptr, screen);
        return 0;
    }
    if (cmd == "screen") {
        out(std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " " +
            std::to_string(GetSystemMetrics(SM_CYSCREEN)));
        return 0;
    }
    if (cmd == "wait-dialog") {  // wait-dialog TITLE [timeout]: prints the dialog's static text
        HWND box = waitFor(L"#32770", toWide(a.at(1)), intArg(a, 2, 10000));
        if (!box)
            return fail("no dialog titled " + a.at(1));
        wchar_t text[4096] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 4095);
        std::string t = toUtf8(text);
        for (char& ch : t)
            if (ch == '\r')
                ch = '|';  // CR LF shows as "|\n"
        out(t);
        return 0;
    }
    if (cmd == "dialog-press") {  // dialog-press TITLE ID: posts a command to the dialog
        HWND box = waitFor(L"#32770", toWide(a.at(1)), 5000);
        if (!box)
            return fail("no dialog titled " + a.at(1));
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(intArg(a, 2, IDOK), BN_CLICKED), 0);
        return 0;
    }
    if (cmd == "wait-login") {  // wait-login [timeout]: rectangle, handle, main window enabled,
                                // title
        HWND box = waitForLogin(intArg(a, 1, 10000));
        if (!box)
            return fail("no credentials dialog");
        RECT r;
        GetWindowRect(box, &r);
        HWND m = mainWindow(0);
        out(rectText(r) + " " + std::to_string(reinterpret_cast<std::uintptr_t>(box)) + " " +
            (m && IsWindowEnabled(m) ? "enabled" : "disabled") + " " + toUtf8(textOf(box)));
        return 0;
    }
    if (cmd == "login") {  // login USER PASSWORD: fills in the credentials dialog and confirms;
                           // login-cancel: cancels it
        HWND box = waitForLogin(5000);
        if (!box)
            return fail("no credentials dialog");
        LoginEdits edits;
        EnumChildWindows(box, findEdits, reinterpret_cast<LPARAM>(&edits));
        SendMessageW(edits.user, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(toWide(a.at(1)).c_str()));
        SendMessageW(edits.password, WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(toWide(a.at(2)).c_str()));
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    if (cmd == "login-cancel") {
        HWND box = waitForLogin(5000);
        if (!box)
            return fail("no credentials dialog");
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    }
    if (cmd == "dialog-rect") {
        HWND box = waitFor(L"#32770", toWide(a.at(1)), 5000);
        if (!box)
            return fail("no dialog titled " + a.at(1));
        RECT r;
        GetWindowRect(box, &r);
        out(rectText(r));
        return 0;
    }
    if (cmd == "folder-select") {  // folder-select PATH: choose PATH in "Browse for Folder"
        HWND dlg = waitFor(L"#32770", L"Browse for Folder", 10000);
        if (!dlg)
            return fail("no folder dialog");
        const std::wstring path = toWide(a.at(1));
        // The selection shows as the tree's caret item; the dialog may still be filling its
        // tree when asked, so it is asked again.
        auto selected = [dlg] {
            HWND tree = GetDlgItem(dlg, 14145);
            return !tree ||
                   SendMessageW(tree, 0x1100 + 10 /*TVM_GETNEXTITEM*/, 9 /*TVGN_CARET*/, 0) != 0;
        };
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!selectInFolderDialog(dlg, path))
                return fail("cannot select in the dialog");
            if (waitUntil(selected, 2000))
                break;
        }
        PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    // Mouse input through the system (moves the real cursor): screen coordinates.
    if (cmd == "mouse-down" || cmd == "mouse-move" || cmd == "mouse-up") {
        if (a.size() >= 3)
            SetCursorPos(intArg(a, 1, 0), intArg(a, 2, 0));
        if (cmd == "mouse-down")
            sendInput(MOUSEEVENTF_LEFTDOWN);
        if (cmd == "mouse-up")
            sendInput(MOUSEEVENTF_LEFTUP);
        if (cmd == "mouse-move")
            sendInput(MOUSEEVENTF_MOVE);
        HWND m = mainWindow(0);
        if (m && !waitInputTaken(m, 5000))
            return fail("the program did not take the mouse input");
        return 0;
    }

    if (cmd == "hold-file")  // hold-file PATH MS: keeps PATH open without sharing
        return holdFile(a.at(1), intArg(a, 2, 10000));

    HWND m = mainWindow();
    if (!m)
        return fail("no main window");

    if (cmd == "responsive")  // responsive LIMIT_MS: longest answer to WM_NULL
        return probeResponsive(m, intArg(a, 1, 60000));
    if (cmd == "exit-by")  // exit-by button|close|syscommand|endsession LIMIT_MS
        return exitBy(m, a.at(1), intArg(a, 2, 5000));

    if (cmd == "rect") {
        RECT r;
        GetWindowRect(m, &r);
        out(rectText(r));
        return 0;
    }
    if (cmd == "caption") {
        out(toUtf8(textOf(m)));
        return 0;
    }
    if (cmd == "state") {
        out(IsZoomed(m) ? "maximized" : IsIconic(m) ? "minimized" : "normal");
        return 0;
    }
    if (cmd == "minimize") {  // as the taskbar does
        PostMessageW(m, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return 0;
    }
    if (cmd == "foreground") {  // 1 when the main window is the foreground window
        out(GetForegroundWindow() == m ? "1" : "0");
        return 0;
    }
    if (cmd == "children") {  // one line per child control: name visible left top width height
        for (const form::ControlDef& d : ui::frmMainDefinition().children) {
            HWND c = child(m, d.name);
            if (!c)
                return fail("missing child " + d.name);
            RECT r;
            GetWindowRect(c, &r);
            MapWindowPoints(nullptr, m, reinterpret_cast<POINT*>(&r), 2);
            out(d.name + " " + (IsWindowVisible(c) ? "1 " : "0 ") + rectText(r));
        }
        return 0;
    }
    if (cmd == "focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(m, nullptr), &info);
        for (const form::ControlDef& d : ui::frmMainDefinition().children)
            if (child(m, d.name) == info.hwndFocus) {
                out(d.name);
                return 0;
            }
        out("");
        return 0;
    }
    if (cmd == "click-at" || cmd == "dblclick-at" || cmd == "press-at" || cmd == "rpress-at") {
        const LPARAM at = MAKELPARAM(intArg(a, 1, 0), intArg(a, 2, 0));
        if (cmd == "rpress-at") {
            PostMessageW(m, WM_RBUTTONDOWN, MK_RBUTTON, at);
            PostMessageW(m, WM_RBUTTONUP, 0, at);
            return 0;
        }
        PostMessageW(m, WM_LBUTTONDOWN, MK_LBUTTON, at);
        if (cmd == "press-at")
            return 0;
        PostMessageW(m, WM_LBUTTONUP, 0, at);
        if (cmd == "dblclick-at") {
            PostMessageW(m, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
            PostMessageW(m, WM_LBUTTONUP, 0, at);
        }
        return 0;
    }
    if (cmd == "close") {
        PostMessageW(m, WM_CLOSE, 0, 0);
        return 0;
    }

    // Commands on one named child control.
    if (a.size() < 2)
        return 2;
    HWND c = child(m, a[1]);
    if (!c)
        return fail("no control " + a[1]);
    RECT r;
    GetClientRect(c, &r);
    if (cmd == "click") {
        postClick(c, r.right / 2, r.bottom / 2);
        return 0;
    }
    if (cmd == "dblclick") {
        const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
        postClick(c, r.right / 2, r.bottom / 2);
        PostMessageW(c, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        PostMessageW(c, WM_LBUTTONUP, 0, at);
        return 0;
    }
    if (cmd == "get-text") {
        out(toUtf8(textOf(c)));
        return 0;
    }
    if (cmd == "set-text") {  // like a paste: one change
        const std::wstring text = toWide(a.size() > 2 ? a[2] : "");
        SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return 0;
    }
    if (cmd == "type") {  // one character at a time, like the keyboard
        for (wchar_t ch : toWide(a.size() > 2 ? a[2] : ""))
            PostMessageW(c, WM_CHAR, ch, 1);
        return 0;
    }
    if (cmd == "visible") {
        out(IsWindowVisible(c) ? "1" : "0");
        return 0;
    }
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(toUtf8(argv[i]));
    const int rc = run(args);
    if (rc == 2)
        std::fprintf(stderr, "driver: usage error\n");
    return rc;
}
