// The download engine and the system helpers bound to WinINet, kernel32 and user32.
#include "download/win32/download_wiring.h"

#include <windows.h>

#include "download/download_engine.h"
#include "download/win32/win32_seams.h"
#include "download/windows_version.h"

namespace download::win32 {

namespace {
Engine& engine() {
    static WinInetApi net;
    static Win32FileApi files;
    static Engine instance(net, files);
    return instance;
}
}  // namespace

void SetPump(std::function<void()> pump) {
    engine().setPump(std::move(pump));
}

void SetBaseUrl(const std::string& baseUrl) {
    engine().setBaseUrl(baseUrl);
}

std::string DownloadFile(const std::string& remotePath, const std::string& localPath,
                         form::Control* caption, form::Control* bar, const std::string& proxy,
                         const AcceptFile& accept) {
    // Read at each call: the user may change the regional settings while the program runs.
    engine().setGroupSeparator(systemGroupSeparator());
    if (!accept)
        return engine().downloadFile(remotePath, localPath, caption, bar, proxy);
    // Interim until the engine checks the file itself before its rename: the complete file is
    // kept under a name of its own, checked there, and only then renamed onto the local path.
    const std::string staged = localPath + ".unchecked";
    const std::string result = engine().downloadFile(remotePath, staged, caption, bar, proxy);
    if (!result.empty())
        return result;
    const std::wstring stagedW = toWide(staged);
    if (!accept(staged)) {
        DeleteFileW(stagedW.c_str());
        return kSignErr;
    }
    if (!MoveFileExW(stagedW.c_str(), toWide(localPath).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(stagedW.c_str());
        return kDiskErr;
    }
    return kResultOk;
}

void AbandonActiveDownloads() {
    engine().abandonActiveDownloads();
}

std::string GetWindowsVersionName() {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;  // 148
    GetVersionExA(&info);
    return windowsVersionName(info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId);
}

void SetTopmost(form::Form& frm, bool onTop) {
    SetWindowPos(reinterpret_cast<HWND>(frm.hWnd()), onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0,
                 0, SWP_NOMOVE | SWP_NOSIZE);
}

}  // namespace download::win32
