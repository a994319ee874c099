#include "app/frm_main.h"

#include <exception>

#include "app/screen_modes.h"

namespace app {

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
    if (svc_.layoutSkin) svc_.layoutSkin(frm_, true);
    if (svc_.setTopmost) svc_.setTopmost(frm_, false);
    // TODO(upgrade sequence): BaseUrl from the Windows version name.
    Layout_Setting(kModeHome);
    frm_.control("lblTitle").setText("Upgrade Norvik 12.0");
}

void FrmMain::cmdExit_Click() {
    if (svc_.abandonDownloads) svc_.abandonDownloads();
    svc_.runtime->endProgram();
}

void FrmMain::cmdHelp_Click() {
    if (bDownloading) return;
    Layout_Setting(kModeHelp);
}

void FrmMain::cmdProxy_Click() {
    if (bDownloading) return;
    Layout_Setting(kModeProxy);
}

void FrmMain::cmdUpd_Click() {
    if (bDownloading) return;
    Layout_Setting(kModeUpgrade);
}

void FrmMain::cmdBr_Click() {
    if (bDownloading) return;
    std::string folder;
    try {
        if (svc_.selectFolder) folder = svc_.selectFolder();
    } catch (const std::exception&) {
    }
    try {
        frm_.control("txtFolder").setText(folder);
    } catch (const std::exception&) {
    }
}

void FrmMain::txtFolder_DblClick() { cmdBr_Click(); }

void FrmMain::cmdOK_Click() {
    // TODO(upgrade sequence)
}

void FrmMain::txtFolder_Change() {
    // TODO(upgrade sequence): the install-folder test.
}

void FrmMain::Layout_Setting(const std::string& mode) { layoutSetting(frm_, mode); }

void FrmMain::fnMsgBox4Download(const std::string& result) { (void)result; }

std::string FrmMain::proxyText() {
    return frm_.control("txtIP").text() + ":" + frm_.control("txtPort").text();
}

}  // namespace app
