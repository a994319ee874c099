// Entry point of UpgradeNorvik.exe: builds the real platform and runs the main window.
#include <windows.h>
// after windows.h, whose types it uses
#include <commctrl.h>

#include <exception>
#include <functional>
#include <memory>

#include "app/exit_codes.h"
#include "app/frm_main.h"
#include "app/upgrade_layout.h"
#include "app/win32/dll_search.h"
#include "app/win32/drive_names.h"
#include "app/win32/one_copy_guard.h"
#include "app/win32/package_signature.h"
#include "app/win32/platform.h"
#include "app/win32/signature_check.h"
#include "common/win32/utf16.h"
#include "download/win32/download_wiring.h"
#include "download/win32/win32_seams.h"
#include "form/win32/host_gdi.h"
#include "form/win32/window_host.h"
#include "shell/win32/shell_wiring.h"
#include "skin/win32/skin_wiring.h"
#include "ui/frm_main_def.h"
#include "ui/resource_ids.h"
#include "ui/win32/resource_pictures.h"

#ifndef NORVIK_WITHOUT_DEFAULT_DLL_DIRECTORIES
#define NORVIK_WITHOUT_DEFAULT_DLL_DIRECTORIES 0
#endif

namespace {

// A start-up step failed: without it the window could not be shown, so say so and end.
int startFailed() {
    app::win32::loadLateDlls(app::win32::LateDlls::folder);  // the box's sounds
    MessageBoxW(nullptr, norvik::win32::toWide(app::kMsgStartFailed).c_str(),
                norvik::win32::toWide(app::kMsgTitle).c_str(), MB_OK | MB_ICONINFORMATION);
    return app::kExitStartFailed;
}

// Before every download, of a file or into memory, whichever comes first: the network's DLLs by
// their full paths, and the process-wide connection limits before the first connection (not at
// start, where they would load WinINet and what it imports before the window).
void prepareNetwork() {
    app::win32::loadLateDlls(app::win32::LateDlls::network);
    app::win32::loadTlsDllFromSystemFolder();
    [[maybe_unused]] static const bool limitsRaised = download::win32::RaiseConnectionLimits();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Before anything loads a DLL by name.
    app::win32::loadDllsFromSystemFolderOnly(NORVIK_WITHOUT_DEFAULT_DLL_DIRECTORIES != 0);
    // One copy per session: a second start shows the running copy's window and ends.
    norvik::win32::UniqueKernelHandle oneCopyGuard;
    if (!app::win32::claimOneCopy(oneCopyGuard))
        return app::kExitAnotherCopyRuns;
    // The manifest asks for version 6 of the common controls, which must be registered before
    // the first window: Windows XP otherwise creates no edit box and no message box.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    if (!InitCommonControlsEx(&controls))
        return startFailed();

    // GDI+ starts at the first picture without a pre-decoded copy, normally once the window is
    // shown: gdiplus.dll is loaded safely first.
    const ui::win32::ResourcePictures pictures(
        instance, [] { app::win32::loadLateDlls(app::win32::LateDlls::pictures); });

    form::Form frm(ui::frmMainDefinition(), form::win32::kWindowTwipsPerPixel,
                   form::win32::kWindowTwipsPerPixel);

    form::win32::HostResources resources;
    resources.instance = instance;
    resources.pictures = &pictures;
    resources.iconBig =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(ui::kAppIconGroup), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    resources.iconSmall = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(ui::kAppIconGroup), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    resources.buttonPointer = LoadCursorW(instance, MAKEINTRESOURCEW(ui::kButtonPointer));
    std::unique_ptr<form::win32::WindowHost> created;
    try {
        created = std::make_unique<form::win32::WindowHost>(frm, resources);
    } catch (const std::exception&) {
        return startFailed();
    }
    form::win32::WindowHost& host = *created;

    download::win32::SetPump([&host] { host.doEvents(); });
    download::win32::SetDialogOwner([&host] { return host.hwnd(); });

    app::Services services;
    services.downloadHost = NORVIK_DOWNLOAD_HOST;
    services.runtime = &host;
    services.files = &app::win32::realFileSystem();
    services.launcher = &app::win32::realProcessLauncher();
    services.signatures = &app::win32::realSignatureVerifier();
    services.drives = &app::win32::realDriveNames();
    download::win32::Win32Clock clock;
    services.clock = &clock;
    // Never destroyed: an abandoned check of the tool may still wake it while the process ends.
    services.threads = new download::win32::Win32Threads;
    services.signCheckMs = 1000u * NORVIK_SIGN_CHECK_SECONDS;
    services.toolPublisher = NORVIK_TOOL_PUBLISHER;
    services.packageSignatures = NORVIK_PACKAGE_SIGNATURES_REQUIRED;
    services.packageVerifier = &app::win32::realPackageVerifier();
    services.downloadFile = [](const std::string& remotePath, const std::string& localPath,
                               form::Control* caption, form::Control* bar, const std::string& proxy,
                               const app::AcceptFile& accept) {
        prepareNetwork();
        return download::win32::DownloadFile(remotePath, localPath, caption, bar, proxy, accept);
    };
    services.downloadToMemory = [](const std::string& remotePath, std::size_t maxBytes,
                                   const std::string& proxy) {
        prepareNetwork();
        return download::win32::DownloadToMemory(remotePath, maxBytes, proxy);
    };
    services.abandonDownloads = &download::win32::AbandonActiveDownloads;
    services.endUpgrade = &download::win32::EndUpgrade;
    services.setBaseUrl = &download::win32::SetBaseUrl;
    // A login portal is asked for the tool's path, the same for every customer.
    download::win32::SetLoginProbePath(app::kRemoteTool);
    services.windowsVersionName = &download::win32::GetWindowsVersionName;
    services.setTopmost = &download::win32::SetTopmost;
    services.layoutSkin = &skin::win32::LayoutSkin;
    services.selectFolder = [] {
        app::win32::loadLateDlls(app::win32::LateDlls::folder);
        return shell::win32::SelectFolder();
    };

    app::FrmMain frmMain(frm, services);
    skin::win32::AttachChrome(frm);
    // Closing the window from the system (Alt+F4, the taskbar) ends the program like exit.
    frm.onClose = [&frmMain] { frmMain.cmdExit_Click(); };
    // The folder test and OK are the first steps of every upgrade (OK's boxes, the network
    // drives, later the tool's start): their DLLs are loaded before them, not before the window.
    for (std::function<void()>* handler :
         {&frm.control("txtFolder").onChange, &frm.control("cmdOK").onClick})
        *handler = [run = std::move(*handler)] {
            app::win32::loadLateDlls(app::win32::LateDlls::folder);
            run();
        };

    // The window opens at its design size in the middle of the screen; a shortcut may still ask
    // for it minimized.
    const bool minimized = showCommand == SW_SHOWMINIMIZED || showCommand == SW_MINIMIZE ||
                           showCommand == SW_SHOWMINNOACTIVE;
    host.loadAndShow(minimized ? showCommand : SW_SHOWNORMAL);
    // The first screen comes from its pre-decoded pictures; GDI+, which the other screens'
    // pictures need, starts once the window is shown.
    if (!pictures.imagingStarted())
        return startFailed();
    // Every end the program chooses ends the process; a window gone by any other way is closed.
    host.run();
    return app::kExitClosed;
}
