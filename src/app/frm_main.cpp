#include "app/frm_main.h"

#include <exception>
#include <memory>
#include <utility>

#include "app/exit_codes.h"
#include "app/network_paths.h"
#include "app/proxy_entries.h"
#include "app/screen_modes.h"
#include "app/tool_check.h"
#include "app/tool_launch.h"
#include "app/upgrade_layout.h"
#include "app/url_segment.h"
#include "common/skip_failure.h"
#include "download/check_caption.h"
#include "results/results.h"

namespace app {
namespace {

// Keeps the window busy for as long as the upgrade sequence runs, and makes it idle again on
// every way out that leaves the window open (a reported failure, an early stop, an exception).
class BusyScope {
  public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

FrmMain::FrmMain(form::Form& form, Services& services) : frm_(form), svc_(services) {
    frm_.onLoad = [this] { Form_Load(); };
    frm_.control("cmdExit").onClick = [this] { cmdExit_Click(); };
    frm_.control("cmdHelp").onClick = [this] { cmdHelp_Click(); };
    frm_.control("cmdProxy").onClick = [this] { cmdProxy_Click(); };
    frm_.control("cmdUpd").onClick = [this] { cmdUpd_Click(); };
    frm_.control("cmdBr").onClick = [this] { cmdBr_Click(); };
    frm_.control("cmdOK").onClick = [this] { cmdOK_Click(); };
    frm_.control("txtFolder").onDblClick = [this] { txtFolder_DblClick(); };
    frm_.control("txtFolder").onChange = [this] { txtFolder_Change(); };
}

void FrmMain::Form_Load() {
    if (svc_.layoutSkin)
        svc_.layoutSkin(frm_, true);
    if (svc_.setTopmost)
        svc_.setTopmost(frm_, false);
    const std::string versionName = svc_.windowsVersionName ? svc_.windowsVersionName() : "";
    if (svc_.setBaseUrl)
        svc_.setBaseUrl(baseUrlFor(versionName, svc_.downloadHost));
    Layout_Setting(kModeHome);
    frm_.control("lblTitle").setText("Upgrade Norvik 12.0");
}

void FrmMain::cmdExit_Click() {
    if (svc_.abandonDownloads)
        svc_.abandonDownloads();
    removeMadeTempFolders();
    svc_.runtime->endProgram(kExitClosed);
}

void FrmMain::cmdHelp_Click() {
    if (bDownloading)
        return;
    Layout_Setting(kModeHelp);
}

void FrmMain::cmdProxy_Click() {
    if (bDownloading)
        return;
    Layout_Setting(kModeProxy);
}

void FrmMain::cmdUpd_Click() {
    if (bDownloading)
        return;
    Layout_Setting(kModeUpgrade);
}

void FrmMain::cmdBr_Click() {
    // The folder dialog has no owner, so the window stays usable while it is open: a second
    // browse then would stack a second dialog on the first.
    if (bDownloading || browsing_)
        return;
    std::string folder;
    browsing_ = true;
    norvik::skipOnFailure([&] {
        if (svc_.selectFolder)
            folder = svc_.selectFolder();
    });
    browsing_ = false;
    norvik::skipOnFailure([&] { frm_.control("txtFolder").setText(folder); });
}

void FrmMain::txtFolder_DblClick() {
    cmdBr_Click();
}

void FrmMain::cmdOK_Click() {
    if (bDownloading)
        return;

    const std::string code = boxText("txtRK");
    if (code.empty()) {
        notify(kMsgEnterCustomerCode);
        return;
    }
    if (leavesItsFolder(code)) {
        notify(kMsgInvalidCustomerCode);
        return;
    }

    // The upgrade screen again: empty progress caption, smallest bar.
    Layout_Setting(kModeUpgrade);

    if (boxText("txtFolder").empty()) {
        notify(kMsgEnterFolder);
        norvik::skipOnFailure([&] { frm_.control("txtFolder").setFocus(); });
        cmdBr_Click();
        return;
    }

    // The proxy boxes are hidden on this screen, so what they hold now is what every download
    // uses.
    if (!proxyEntriesValid(boxText("txtIP"), boxText("txtPort"))) {
        notify(kMsgBadProxy);
        return;
    }

    // Busy from here on, before the first pass over pending events: an OK click that waits in
    // the queue meets the flag raised and does nothing.
    BusyScope busy(bDownloading);
    std::string folder;
    // The packages' folder is made before the tool's download; when the upgrade stops, every
    // folder this run made and put no package into goes again, wherever the folder box points
    // now.
    struct MadeForNow {
        FrmMain& main;
        ~MadeForNow() { main.removeMadeTempFolders(); }
    } madeForNow{*this};
    // A proxy's login given during the downloads serves this upgrade's downloads only.
    struct DownloadsOver {
        Services& svc;
        void now() {
            if (svc.endUpgrade)
                svc.endUpgrade();
        }
        ~DownloadsOver() { now(); }
    } downloadsOver{svc_};

    // The update tool. The old copy stays until the new one, complete and signed by the maker,
    // replaces it in one rename; an old copy that could not be replaced then (read-only, or
    // held open by another program) stops the upgrade before anything is downloaded.
    madeTempFolders_.clear();
    if (!folderForNextStep(folder) || !tempFolderReady(folder))
        return;
    const std::string toolPath = toolLocalPath(folder);
    if (svc_.files->isPlainFile(toolPath) && !svc_.files->canReplace(toolPath)) {
        notify(msgCannotDeleteOldTool(toolPath));
        return;
    }
    svc_.runtime->doEvents();
    const auto roots = std::make_shared<RootsFirst>(svc_.signCheckMs);
    std::string result = roots->named(download(kRemoteTool, toolPath, toolAcceptor(roots)));
    if (!result.empty()) {
        fnMsgBox4Download(result, std::string(results::kToolFileName));
        return;
    }

    // The system package; its result is not examined.
    if (!folderForNextStep(folder) || !tempFolderReady(folder))
        return;
    const std::string systemPackage = systemPackageLocalPath(folder);
    svc_.runtime->doEvents();
    if (downloadPackage(kRemoteSystemPackage, systemPackage).empty())
        packageArrivedIn(folder);

    // The customer's package.
    const std::string codeNow = boxText("txtRK");
    if (leavesItsFolder(codeNow)) {
        notify(codeNow.empty() ? kMsgEnterCustomerCode : kMsgInvalidCustomerCode);
        return;
    }
    const std::string remotePackage = customerPackageRemotePath(codeNow);
    if (!folderForNextStep(folder) || !tempFolderReady(folder))
        return;
    const std::string customerPackage = customerPackageLocalPath(folder);
    svc_.runtime->doEvents();
    result = downloadPackage(remotePackage, customerPackage);
    if (!result.empty()) {
        fnMsgBox4Download(result, kCustomerPackageName);
        return;
    }
    packageArrivedIn(folder);

    // Hand over to the update tool and end.
    downloadsOver.now();
    if (!folderForNextStep(folder))
        return;
    const std::string toolToStart = toolLocalPath(folder);
    // The folder is read afresh, but only the tool this run downloaded may be started: a copy
    // in another folder (the box was changed meanwhile) could be any old version.
    if (toolToStart != toolPath) {
        notify(kMsgFolderChanged);
        return;
    }
    // The progress caption says what the window waits for; the last download's caption comes
    // back when the tool does not start.
    form::Control& caption = frm_.control("ProgressCap");
    const std::string captionBefore = caption.text();
    caption.setText(download::checkingCaption(toolToStart));
    result = launchTool(svc_, toolToStart, [this] { svc_.runtime->doEvents(); });
    if (result.empty()) {
        madeTempFolders_.clear();  // what the tool finds stays as it is
        svc_.runtime->endProgram(kExitToolStarted);
        return;
    }
    caption.setText(captionBefore);
    if (result == kToolNotStarted) {
        notify(msgCannotStartTool(toolToStart));
        return;
    }
    // Changed since it was checked at its download: it must not stay to be started later.
    if (result == results::kSignErr)
        svc_.files->deleteFile(toolToStart);
    fnMsgBox4Download(result, std::string(results::kToolFileName));
}

void FrmMain::txtFolder_Change() {
    const std::string folder = boxText("txtFolder");
    if (folder.empty())
        return;
    // Both lookups are always made.
    const bool hasInfo = svc_.files->isPlainFile(infoMarkerPath(folder));
    const bool hasDll = svc_.files->isPlainFile(dllMarkerPath(folder));
    if (hasInfo && hasDll)
        return;
    // Not the wrong folder but one this process cannot see: say how to give it.
    const bool unseen = svc_.drives && driveUnseenWhileElevated(folder, *svc_.drives);
    svc_.runtime->msgBox(
        unseen ? msgDriveUnseenWhileElevated(folder.substr(0, 2)) : kMsgWrongFolder, kMsgTitle,
        form::MsgIcon::Critical);
    // Runs this test once more, which stops at the empty text.
    frm_.control("txtFolder").setText("");
}

void FrmMain::Layout_Setting(const std::string& mode) {
    layoutSetting(frm_, mode);
}

void FrmMain::fnMsgBox4Download(const std::string& result, const std::string& fileName) {
    const results::Row* row = results::find(result);
    if (!row)
        return;
    switch (row->icon) {
        case results::Icon::Information:
            svc_.runtime->msgBox(results::boxText(*row, fileName), kMsgTitle,
                                 form::MsgIcon::Information);
            return;
    }
}

std::string FrmMain::proxyText() {
    return boxText("txtIP") + ":" + boxText("txtPort");
}

std::string FrmMain::boxText(const char* name) {
    return frm_.control(name).text();
}

void FrmMain::notify(const std::string& text) {
    svc_.runtime->msgBox(text, kMsgTitle, form::MsgIcon::Information);
}

bool FrmMain::folderForNextStep(std::string& folder) {
    folder = boxText("txtFolder");
    if (!folder.empty())
        return true;
    // Without a folder the paths would point at the root of the current drive.
    notify(kMsgEnterFolder);
    return false;
}

bool FrmMain::tempFolderReady(const std::string& folder) {
    const std::string tempFolder = tempFolderPath(folder);
    if (pathsFitWindows(folder)) {
        if (svc_.files->exists(tempFolder))
            return true;
        if (svc_.files->createFolder(tempFolder)) {
            madeTempFolders_.push_back(tempFolder);
            return true;
        }
    }
    notify(msgDiskErrIn(tempFolder));
    return false;
}

void FrmMain::packageArrivedIn(const std::string& folder) {
    const std::string tempFolder = tempFolderPath(folder);
    std::erase(madeTempFolders_, tempFolder);
}

void FrmMain::removeMadeTempFolders() {
    for (const std::string& made : std::exchange(madeTempFolders_, {}))
        svc_.files->removeFolder(made);
}

AcceptFile FrmMain::toolAcceptor(const std::shared_ptr<RootsFirst>& roots) const {
    if (svc_.toolPublisher.empty())
        return {};
    // Copies and shares only: the check runs on the transfer thread, which may outlast this
    // call. The clock outlives every thread.
    return [verifier = svc_.signatures, clock = svc_.clock, publisher = svc_.toolPublisher,
            roots](const std::string& path) -> std::string {
        if (!verifier || !clock)
            return results::kSignErr;
        return checkDownloadedTool(*verifier, *clock, path, publisher, *roots);
    };
}

std::string FrmMain::downloadPackage(const std::string& remotePath, const std::string& localPath) {
    if (!svc_.packageSignatures)
        return download(remotePath, localPath, {});
    if (!svc_.downloadToMemory || !svc_.packageVerifier || !svc_.clock)
        return results::kPackageSignErr;
    // First, so that a package without one is not downloaded for nothing.
    const download::MemoryDownload signature = svc_.downloadToMemory(
        remotePath + kSignatureSuffix, kMaxPackageSignatureBytes, proxyText());
    const std::string refused = signatureDownloadResult(signature);
    if (!refused.empty())
        return refused;
    // Copies and shares only: the check runs on the transfer thread, which may outlast this
    // call. The verifier and the clock outlive every thread.
    const auto roots = std::make_shared<RootsFirst>(svc_.signCheckMs);
    return roots->named(download(
        remotePath, localPath,
        [verifier = svc_.packageVerifier, clock = svc_.clock, publisher = svc_.toolPublisher,
         bytes = signature.bytes, roots](const std::string& path) -> std::string {
            return checkDownloadedPackage(*verifier, *clock, path, bytes, publisher, *roots);
        }));
}

std::string FrmMain::download(const std::string& remotePath, const std::string& localPath,
                              const AcceptFile& accept) {
    if (!svc_.downloadFile)
        return results::kNetErr;
    return svc_.downloadFile(remotePath, localPath, &frm_.control("ProgressCap"),
                             &frm_.control("ProgressBar"), proxyText(), accept);
}

}  // namespace app
