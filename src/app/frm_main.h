#pragma once
// The main window's logic: start-up, the command handlers, the screen switch, the upgrade
// sequence and its messages, and the install-folder test.
#include <memory>
#include <string>
#include <vector>

#include "app/roots_first.h"
#include "app/services.h"
#include "form/form.h"

namespace app {

class FrmMain {
  public:
    // Binds the handlers to the form's controls. The chrome's own bindings (title bar, grips)
    // are made by the skin subsystem.
    FrmMain(form::Form& form, Services& services);
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    void Form_Load();

    void cmdExit_Click();
    void cmdHelp_Click();
    void cmdProxy_Click();
    void cmdUpd_Click();
    void cmdBr_Click();
    void txtFolder_DblClick();
    void cmdOK_Click();
    void txtFolder_Change();

    void Layout_Setting(const std::string& mode);
    // `fileName`: the name of the file the result is about, for the boxes that name it.
    void fnMsgBox4Download(const std::string& result, const std::string& fileName);

    bool bDownloading = false;

    form::Form& form() { return frm_; }

  private:
    std::string proxyText();
    // The current text of a box, read afresh at every use.
    std::string boxText(const char* name);
    // An information box titled like every box of the program.
    void notify(const std::string& text);
    // The install folder for the next step of the upgrade; when the user has emptied the box
    // in the meantime, asks for it again and returns false (the sequence stops).
    bool folderForNextStep(std::string& folder);
    // The packages' folder in `folder`, created when missing; when it cannot be created, or a
    // path of the upgrade would be too long for Windows, says so and returns false (the sequence
    // stops before it downloads anything more). A folder this call creates is noted as made by
    // this run.
    bool tempFolderReady(const std::string& folder);
    // A package now lies in the packages' folder of `folder`: it stays.
    void packageArrivedIn(const std::string& folder);
    // Removes each packages' folder this run made that no package was put into (an emptied one
    // only: the file system refuses to remove a folder that holds anything).
    void removeMadeTempFolders();
    // The check that a downloaded update tool is signed by the maker (empty when it is off);
    // `roots` tells which of its tries was under way when the download's bound for it passed.
    AcceptFile toolAcceptor(const std::shared_ptr<RootsFirst>& roots) const;
    std::string download(const std::string& remotePath, const std::string& localPath,
                         const AcceptFile& accept);
    // A package's download; with package signatures, its signature's first, and the package
    // accepted only when that signature proves it the maker's.
    std::string downloadPackage(const std::string& remotePath, const std::string& localPath);

    form::Form& frm_;
    Services& svc_;
    bool browsing_ = false;  // the folder dialog is open
    // The packages' folders this upgrade made (the folder box may change between its steps),
    // each until a package arrives there.
    std::vector<std::string> madeTempFolders_;
};

}  // namespace app
