// The download engine and the system helpers bound to WinINet, kernel32 and user32.
#include "download/win32/download_wiring.h"

#include <windows.h>

#include "download/download_engine.h"
#include "download/failure_results.h"
#include "download/win32/win32_seams.h"
#include "download/windows_version.h"

namespace download::win32 {

namespace {
int stallSeconds = kDefaultStallSeconds;
int checkSeconds = kDefaultCheckSeconds;
std::int64_t buildEpoch = 0;

OSVERSIONINFOA windowsVersion() {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;  // 148
    GetVersionExA(&info);
    return info;
}

// The same with the product type (workstation, server or domain controller), which the larger
// structure brings (Windows 2000 on). Where the system refuses that structure the version comes
// without it (product type 0).
OSVERSIONINFOEXA productVersion() {
    OSVERSIONINFOEXA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;  // 156
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
        const OSVERSIONINFOA plain = windowsVersion();
        ZeroMemory(&info, sizeof info);
        info.dwMajorVersion = plain.dwMajorVersion;
        info.dwMinorVersion = plain.dwMinorVersion;
    }
    return info;
}

// Never destroyed: a transfer thread that was given up may still use the seams while the process
// ends.
WinInetApi& net() {
    static WinInetApi& instance = *new WinInetApi;
    return instance;
}

Engine& engine() {
    static Win32FileApi& files = *new Win32FileApi;
    static Win32Clock& clock = *new Win32Clock;
    static Win32Threads& threads = *new Win32Threads;
    static Engine& instance = []() -> Engine& {
        Engine& e = *new Engine(net(), files, clock, threads);
        const OSVERSIONINFOEXA version = productVersion();
        e.setWindowsVersion(version.dwMajorVersion, version.dwMinorVersion, version.wProductType);
        return e;
    }();
    return instance;
}
}  // namespace

void SetPump(std::function<void()> pump) {
    engine().setPump(std::move(pump));
}

void SetDialogOwner(std::function<HWND()> owner) {
    net().dialogOwner = std::move(owner);
}

bool RaiseConnectionLimits() {
    // Process-wide, before the first connection. Windows XP with Internet Explorer 6 allows two
    // connections per server (four to HTTP/1.0 ones), and a transfer given up in a stall keeps
    // its connection until its blocked call returns: a retry must never queue behind them.
    bool raised = true;
    for (std::uint32_t option : {kOptionMaxConnsPerServer, kOptionMaxConnsPer10Server})
        raised = net().setOption(0, option, kConnectionsPerServer).ok() && raised;
    return raised;
}

void SetStallSeconds(int seconds) {
    stallSeconds = seconds;
}

void SetCheckSeconds(int seconds) {
    checkSeconds = seconds;
}

void SetBuildEpoch(std::int64_t unixSeconds) {
    buildEpoch = unixSeconds;
}

void SetBaseUrl(const std::string& baseUrl) {
    engine().setBaseUrl(baseUrl);
}

void SetLoginProbePath(const std::string& path) {
    engine().setLoginProbePath(path);
}

namespace {
// The build's settings, and the regional settings read at each call: the user may change them
// while the program runs.
void applySettings() {
    engine().setGroupSeparator(systemGroupSeparator());
    engine().setStallSeconds(stallSeconds);
    engine().setCheckSeconds(checkSeconds);
    // FILETIME counts from 1601: 11644473600 s before 1970.
    engine().setBuildDate(
        buildEpoch > 0 ? (static_cast<std::uint64_t>(buildEpoch) + 11644473600u) * 10000000u : 0);
}
}  // namespace

std::string DownloadFile(const std::string& remotePath, const std::string& localPath,
                         form::Control* caption, form::Control* bar, const std::string& proxy,
                         const AcceptFile& accept) {
    applySettings();
    return engine().downloadFile(remotePath, localPath, caption, bar, proxy, accept);
}

MemoryDownload DownloadToMemory(const std::string& remotePath, std::size_t maxBytes,
                                const std::string& proxy) {
    applySettings();
    return engine().downloadToMemory(remotePath, maxBytes, proxy);
}

void EndUpgrade() {
    engine().endUpgrade();
}

void AbandonActiveDownloads() {
    engine().abandonActiveDownloads();
}

std::string GetWindowsVersionName() {
    const OSVERSIONINFOA info = windowsVersion();
    return windowsVersionName(info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId);
}

std::string GetOldTlsResult() {
    const OSVERSIONINFOEXA info = productVersion();
    return oldTlsResult(info.dwMajorVersion, info.dwMinorVersion, info.wProductType);
}

void SetTopmost(form::Form& frm, bool onTop) {
    const HWND window = reinterpret_cast<HWND>(frm.hWnd());
    // A hidden window that is not topmost has nothing to change: it comes to the top of the
    // other windows when it is shown (this spares the window system a round trip at start).
    const bool topmost = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (!onTop && !topmost && !IsWindowVisible(window))
        return;
    SetWindowPos(window, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

}  // namespace download::win32
