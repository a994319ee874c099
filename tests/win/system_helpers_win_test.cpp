// GetWindowsVersionName and the old-TLS result (by the product type) under the Windows versions
// Wine can pretend to be, and SetTopmost on a real window.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "download/win32/download_wiring.h"
#include "win_test_support.h"

namespace {

// The program next to this test executable.
std::wstring besideThisExe(const wchar_t* name) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

// Runs the probe with `args` and returns what it printed.
std::string runProbe(const wchar_t* args = L"") {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        return "(no pipe)";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + besideThisExe(L"version_probe.exe") + L"\" " + args;
    const BOOL started =
        CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    std::string out;
    if (started) {
        char buf[256];
        DWORD got = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0)
            out.append(buf, got);
        WaitForSingleObject(pi.hProcess, 30000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    } else {
        out = "(probe did not start)";
    }
    CloseHandle(readEnd);
    return out;
}

const wchar_t* kProbeKey = L"Software\\Wine\\AppDefaults\\version_probe.exe";

TEST(WinVersionName, UnderEachWineVersion) {
    struct Case {
        const wchar_t* wine;
        const char* name;
        const char* oldTls = "";  // what a failed handshake is named there
    };
    for (const Case& c :
         {Case{L"winxp", "Windows 2000"}, Case{L"win2k3", "Windows 2000"},
          Case{L"win2k", "Windows 2000"}, Case{L"vista", "Unknown Windows Version", "TlsVistaErr"},
          Case{L"win2008", "Unknown Windows Version", "TlsServer2008Err"},
          Case{L"win7", "Unknown Windows Version", "TlsErr"},
          Case{L"win2008r2", "Unknown Windows Version", "TlsErr"},
          Case{L"win10", "Unknown Windows Version"}, Case{L"win98", "Windows 98"},
          Case{L"win95", "Windows 95"}, Case{L"nt40", "Windows NT 4.0"}}) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kProbeKey, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.wine),
                       static_cast<DWORD>((wcslen(c.wine) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        EXPECT_EQ(runProbe(), c.name) << wintest::toUtf8(c.wine);
        EXPECT_EQ(runProbe(L"tls"), c.oldTls) << wintest::toUtf8(c.wine);
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, kProbeKey);
}

LRESULT CALLBACK plainProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProcW(h, m, w, l);
}

TEST(WinSetTopmost, ChangesOnlyTheStackingBand) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = plainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"NorvikTopmostTest";
    RegisterClassW(&wc);
    const HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"topmost", WS_POPUP | WS_VISIBLE, 37,
                                      41, 211, 123, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    wintest::pumpMessages();
    form::Form frm(wintest::progressForm(), 15, 15);
    frm.attachHost(nullptr, reinterpret_cast<std::uintptr_t>(hwnd));

    RECT before{};
    GetWindowRect(hwnd, &before);
    auto topmost = [&] { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    auto sameRect = [&] {
        RECT r{};
        GetWindowRect(hwnd, &r);
        return r.left == before.left && r.top == before.top && r.right == before.right &&
               r.bottom == before.bottom;
    };

    download::win32::SetTopmost(frm, false);  // not topmost already: nothing moves
    EXPECT_FALSE(topmost());
    EXPECT_TRUE(sameRect());
    download::win32::SetTopmost(frm, true);
    EXPECT_TRUE(topmost());
    EXPECT_TRUE(sameRect());
    download::win32::SetTopmost(frm, false);
    EXPECT_FALSE(topmost());
    EXPECT_TRUE(sameRect());
    DestroyWindow(hwnd);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

}  // namespace
