// Stand-in for the maker's update tool. Started by UpgradeNorvik after the downloads, it writes
// sandel-report.txt beside itself (UTF-8, one "key: value" per line): that it ran, its own path,
// how many arguments it got and its raw command line, its working folder, and the size and
// SHA-256 of the two packages in NorvikSandelTemp, and whose Authenticode signature it carries. It
// then shows a small window with what it found, which closes by itself after a few seconds, or not
// at all when SANDEL_EXIT_AT_ONCE=1.
#include <windows.h>

#include <bcrypt.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/win32/signature_check.h"
#include "common/win32/utf16.h"

namespace {

using norvik::win32::toUtf8;
using norvik::win32::toWide;

constexpr UINT kShowMilliseconds = 5000;
constexpr UINT_PTR kCloseTimer = 1;

std::wstring modulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            // Wine 8 names a program started by its UNC path "UNC\server\share\...", its NT
            // name without the "\??\" (Windows: "\\server\share\...").
            const std::wstring path(buffer.data(), n);
            return path.rfind(L"UNC\\", 0) == 0 ? L"\\" + path.substr(3) : path;
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring currentFolder() {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0)
        return {};
    std::wstring folder(n, L'\0');
    const DWORD written = GetCurrentDirectoryW(n, folder.data());
    folder.resize(written < n ? written : 0);
    return folder;
}

std::wstring folderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Arguments after the program's own name, split the way C programs split them.
int argumentCount(const wchar_t* commandLine) {
    int argc = 0;
    if (LPWSTR* argv = CommandLineToArgvW(commandLine, &argc))
        LocalFree(argv);
    return argc > 0 ? argc - 1 : 0;
}

// A line of the report holds one value: line breaks inside it are written as \r and \n.
std::string oneLine(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

struct FileFacts {
    bool found = false;
    bool readable = false;
    std::uint64_t size = 0;
    std::string sha256;  // lower-case hex
};

// Size and SHA-256 of a file, read in one pass.
FileFacts examine(const std::wstring& path) {
    FileFacts facts;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return facts;
    facts.found = true;

    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
              BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    std::vector<unsigned char> chunk(64 * 1024);
    while (ok) {
        DWORD got = 0;
        if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        facts.size += got;
        ok = BCryptHashData(hash, chunk.data(), got, 0) == 0;
    }
    unsigned char digest[32] = {};
    if (ok)
        ok = BCryptFinishHash(hash, digest, sizeof(digest), 0) == 0;
    if (hash)
        BCryptDestroyHash(hash);
    if (alg)
        BCryptCloseAlgorithmProvider(alg, 0);
    CloseHandle(file);

    if (ok) {
        static const char kHex[] = "0123456789abcdef";
        for (const unsigned char b : digest) {
            facts.sha256 += kHex[b >> 4];
            facts.sha256 += kHex[b & 0x0F];
        }
        facts.readable = true;
    }
    return facts;
}

// Writes the whole report under a temporary name first, so that a reader never sees half of it.
bool writeReport(const std::wstring& path, const std::string& text) {
    const std::wstring partial = path + L".partial";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(file);
    if (!ok || !MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(partial.c_str());
        return false;
    }
    return true;
}

std::wstring g_windowText;
HFONT g_font = nullptr;

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TIMER:
            if (wParam == kCloseTimer)
                DestroyWindow(hwnd);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT rc;
            GetClientRect(hwnd, &rc);
            InflateRect(&rc, -12, -12);
            HGDIOBJ old = SelectObject(dc, g_font ? g_font : GetStockObject(DEFAULT_GUI_FONT));
            SetBkMode(dc, TRANSPARENT);
            DrawTextW(dc, g_windowText.c_str(), -1, &rc, DT_LEFT | DT_TOP | DT_WORDBREAK);
            SelectObject(dc, old);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void showFindings(HINSTANCE instance, int show) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"NorvikSandelStandIn";
    if (!RegisterClassW(&wc))
        return;
    // The system's message font covers more scripts than the old default GUI font.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        g_font = CreateFontIndirectW(&metrics.lfMessageFont);

    const int width = 480, height = 220;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND hwnd =
        CreateWindowExW(0, wc.lpszClassName, L"Sandel", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, x,
                        y, width, height, nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    SetTimer(hwnd, kCloseTimer, kShowMilliseconds, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (g_font)
        DeleteObject(g_font);
}

std::wstring describe(const std::wstring& name, const FileFacts& f) {
    if (!f.found)
        return name + L": khong tim thay";
    if (!f.readable)
        return name + L": khong doc duoc";
    return name + L": " + std::to_wstring(f.size) + L" byte";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    const std::wstring exe = modulePath();
    const std::wstring folder = folderOf(exe);
    const wchar_t* commandLine = GetCommandLineW();
    const std::wstring temp = folder + L"\\NorvikSandelTemp";

    struct Package {
        const wchar_t* name;
        FileFacts facts;
    };
    Package packages[] = {{L"Norvik_sys.rar", {}}, {L"Norvik.rar", {}}};
    for (Package& p : packages)
        p.facts = examine(temp + L"\\" + p.name);

    std::string report;
    auto line = [&report](const std::string& key, const std::string& value) {
        report += key + ": " + oneLine(value) + "\r\n";
    };
    line("ran", "yes");
    line("exe path", toUtf8(exe));
    line("argument count", std::to_string(argumentCount(commandLine)));
    line("command line", toUtf8(commandLine ? commandLine : L""));
    line("working folder", toUtf8(currentFolder()));
    // The program that started this tool accepts only its maker's signature: say whose it is.
    const app::SignatureCheck signature = app::win32::checkSignature(exe, nullptr, false);
    char status[16];
    wsprintfA(status, "0x%08lX", static_cast<unsigned long>(signature.status));
    line("signature", signature.status == app::kTrustValid ? "valid, signed by " + signature.signer
                                                           : std::string("none (") + status + ")");
    for (const Package& p : packages) {
        const std::string key = "NorvikSandelTemp\\" + toUtf8(p.name);
        const FileFacts& f = p.facts;
        line(key + " size", !f.found     ? "missing"
                            : f.readable ? std::to_string(f.size)
                                         : "unreadable");
        line(key + " sha256", f.readable ? f.sha256 : "-");
    }
    const std::wstring reportPath = folder + L"\\sandel-report.txt";
    const bool written = writeReport(reportPath, report);

    wchar_t atOnce[8] = {};
    const DWORD n = GetEnvironmentVariableW(L"SANDEL_EXIT_AT_ONCE", atOnce, 8);
    if (n == 1 && atOnce[0] == L'1')
        return written ? 0 : 1;

    g_windowText =
        L"Chuong trinh cap nhat Sandel (ban thay the) da chay tu:\r\n" + folder + L"\r\n\r\n";
    for (const Package& p : packages)
        g_windowText += describe(p.name, p.facts) + L"\r\n";
    g_windowText +=
        written ? L"\r\nBao cao: " + reportPath : L"\r\nKhong ghi duoc bao cao: " + reportPath;
    g_windowText += L"\r\n\r\nCua so nay tu dong dong sau " +
                    std::to_wstring(kShowMilliseconds / 1000) + L" giay.";
    showFindings(instance, show);
    return written ? 0 : 1;
}
