// The main window's logic against fakes: start-up, the command handlers with the busy guard,
// the install-folder test and the upgrade sequence (boxes, downloads, paths, the tool's start).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "app/scanner_patience.h"
#include "app/tool_launch.h"
#include "app/upgrade_layout.h"
#include "app_fakes.h"
#include "common/windows_codes.h"
#include "download_fakes.h"
#include "form/form.h"
#include "results/results.h"
#include "ui/frm_main_def.h"

namespace {

const std::string kHost = "updates.example.test:8443";

using form::MsgIcon;
using namespace appfakes;

// The thread that checks the held tool: runs the check at once, or keeps it until the test ends
// (a check that does not return, also one that gets as far as a check that never returns); the
// window's waits move the clock.
class FakeCheckThreads : public download::Threads {
  public:
    explicit FakeCheckThreads(fakes::FakeClock& clock) : clock_(clock) {}
    bool start(std::function<void()> body) override {
        if (refuse)
            return false;
        if (hang) {
            kept.push_back(std::move(body));
            return true;
        }
        try {
            body();
        } catch (const CheckNeverReturns&) {
        }
        return true;
    }
    void waitForMessageOrWake(std::uint32_t ms) override { clock_.now += ms; }
    void wake() override {}

    bool refuse = false, hang = false;
    std::vector<std::function<void()>> kept;

  private:
    fakes::FakeClock& clock_;
};

struct Download {
    std::string remote, local, proxy;
    bool busy;
    bool checked;  // the download came with a check of the complete file
};

const std::string kFolder = "C:\\Program Files\\Norvik";

class AppUpgrade : public testing::Test {
  protected:
    AppUpgrade() : frm_(ui::frmMainDefinition(), 15, 15) {
        svc_.downloadHost = kHost;
        svc_.runtime = &runtime_;
        svc_.files = &files_;
        svc_.launcher = &launcher_;
        svc_.signatures = &launcher_;
        svc_.drives = &drives_;
        svc_.clock = &clock_;
        svc_.threads = &checkThreads_;
        svc_.toolPublisher = kPublisher;
        // As the engine: a failure leaves the local path as it was; a complete file is offered
        // to the check before it replaces what the local path held.
        svc_.downloadFile = [this](const std::string& remote, const std::string& local,
                                   form::Control* cap, form::Control* bar, const std::string& proxy,
                                   const app::AcceptFile& accept) {
            EXPECT_EQ(cap, &frm_.control("ProgressCap"));
            EXPECT_EQ(bar, &frm_.control("ProgressBar"));
            log_.push_back("download " + remote + " -> " + local);
            downloads_.push_back({remote, local, proxy, main_.bDownloading, bool(accept)});
            if (duringDownload)
                duringDownload(static_cast<int>(downloads_.size()));
            auto it = results_.find(remote);
            if (it != results_.end())
                return it->second;
            if (accept) {
                std::string refused;
                try {
                    refused = accept(local + ".part");
                } catch (const CheckNeverReturns&) {
                    refused = results::kSignTimeoutErr;  // the engine's answer at its bound
                }
                if (!refused.empty())
                    return refused;
            }
            files_.entries[local].content = "new " + remote;
            return std::string();
        };
        svc_.packageVerifier = &packageVerifier_;
        // A package's signature: "signature of" the package, unless scripted.
        svc_.downloadToMemory = [this](const std::string& remote, std::size_t maxBytes,
                                       const std::string&) {
            EXPECT_EQ(maxBytes, 64u * 1024u);
            log_.push_back("download " + remote + " into memory");
            auto it = signatures_.find(remote);
            if (it != signatures_.end())
                return it->second;
            return download::MemoryDownload{"", false, "signature of " + remote};
        };
        svc_.abandonDownloads = [this] { log_.push_back("abandon"); };
        svc_.endUpgrade = [this] { ++upgradesEnded_; };
        svc_.setBaseUrl = [this](const std::string& url) { log_.push_back("baseUrl " + url); };
        svc_.windowsVersionName = [this] { return versionName_; };
        svc_.setTopmost = [this](form::Form&, bool onTop) {
            log_.push_back(onTop ? "topmost on" : "topmost off");
        };
        svc_.layoutSkin = [this](form::Form& f, bool resizable) {
            log_.push_back(resizable ? "skin resizable" : "skin");
            f.setCaption(f.control("lblTitle").text());
        };
        svc_.selectFolder = [this] {
            log_.push_back("picker");
            return pickerAnswer_;
        };
    }

    void installAt(const std::string& folder) {
        files_.entries[folder + "\\Norvik.dll"] = {};
        files_.entries[folder + "\\Report\\Info.xml"] = {};
    }

    // Upgrade screen with the code and a valid folder, as a user would leave it; nothing recorded
    // yet (calls, boxes, downloads).
    void prepare(const std::string& code = "KH001", const std::string& folder = kFolder) {
        installAt(folder);
        click("cmdUpd");
        frm_.control("txtRK").setText(code);
        frm_.control("txtFolder").setText(folder);
        log_.clear();
        runtime_.boxes.clear();
        downloads_.clear();
    }

    void click(const char* name) { frm_.control(name).fireClick(); }

    // Runs OK as the window would; true when the program ended.
    bool pressOK() {
        try {
            click("cmdOK");
        } catch (const ProgramEnded&) {
            return true;
        }
        return false;
    }

    std::vector<std::string> remotes() const {
        std::vector<std::string> r;
        for (const Download& d : downloads_)
            r.push_back(d.remote);
        return r;
    }
    int count(const std::string& prefix) const {
        int n = 0;
        for (const std::string& l : log_)
            n += l.rfind(prefix, 0) == 0;
        return n;
    }
    // Exactly one box was shown: `text`, titled "THONG BAO", with `icon`.
    void expectOneBox(const std::string& text, MsgIcon icon = MsgIcon::Information) {
        ASSERT_EQ(runtime_.boxes.size(), 1u);
        EXPECT_EQ(runtime_.boxes[0].text, text);
        EXPECT_EQ(runtime_.boxes[0].title, "THONG BAO");
        EXPECT_EQ(runtime_.boxes[0].icon, icon);
    }
    void expectIdleOnUpgradeScreen() {
        EXPECT_FALSE(main_.bDownloading);
        EXPECT_TRUE(frm_.control("cmdOK").visible());
        EXPECT_EQ(count("start "), 0);
        EXPECT_EQ(count("end"), 0);
    }

    std::vector<std::string> log_;
    int upgradesEnded_ = 0;  // the engine told that the upgrade's downloads are over
    FakeRuntime runtime_{log_};
    FakeFiles files_{log_};
    FakeLauncher launcher_{log_};
    FakePackageVerifier packageVerifier_{log_};
    FakeDrives drives_;
    fakes::FakeClock clock_;
    FakeCheckThreads checkThreads_{clock_};
    app::Services svc_;
    form::Form frm_;
    app::FrmMain main_{frm_, svc_};

    std::vector<Download> downloads_;
    std::map<std::string, std::string> results_;
    std::map<std::string, download::MemoryDownload> signatures_;
    std::function<void(int)> duringDownload;
    std::string versionName_ = "Windows 7";
    std::string pickerAnswer_;
};

const std::string kPkg = "/Sandel/KH001/Norvik.rar";
const std::string kTemp = kFolder + "\\NorvikSandelTemp";

// ----------------------------------------------------------------------------------------------
// Start-up

TEST_F(AppUpgrade, FormLoadRunsItsStepsInOrderAndKeepsTheDesignCaption) {
    frm_.onLoad();
    EXPECT_EQ(log_, (std::vector<std::string>{"skin resizable", "topmost off",
                                              "baseUrl https://" + kHost}));
    EXPECT_EQ(frm_.caption(), "Norvik Tools");
    EXPECT_EQ(frm_.control("lblTitle").text(), "Upgrade Norvik 12.0");
    EXPECT_TRUE(frm_.control("bg").visible());
    EXPECT_TRUE(frm_.control("cmdUpd").visible());
    EXPECT_FALSE(frm_.control("cmdOK").visible());
    EXPECT_FALSE(frm_.control("ProgressBar").visible());
    EXPECT_FALSE(frm_.control("ProgressCap").visible());
    EXPECT_FALSE(main_.bDownloading);
}

TEST_F(AppUpgrade, FormLoadChoosesHttpOnlyForWindows2000) {
    struct Case {
        const char* name;
        const char* scheme;
    };
    for (const Case& c : {Case{"Windows 2000", "http://"}, Case{"Windows XP", "https://"},
                          Case{"Windows 7", "https://"}, Case{"Windows 98", "https://"},
                          Case{"windows 2000", "https://"}, Case{"", "https://"}}) {
        log_.clear();
        versionName_ = c.name;
        main_.Form_Load();
        EXPECT_EQ(log_.at(2), std::string("baseUrl ") + c.scheme + kHost) << c.name;
    }
}

// ----------------------------------------------------------------------------------------------
// Commands and the busy guard

TEST_F(AppUpgrade, ScreensSwitchFreelyAndKeepTheTexts) {
    click("cmdProxy");
    frm_.control("txtIP").setText("proxy.lan");
    frm_.control("txtPort").setText("3128");
    click("cmdHelp");
    EXPECT_TRUE(frm_.control("bg5").visible());
    click("cmdUpd");
    EXPECT_TRUE(frm_.control("bg2").visible());
    EXPECT_TRUE(frm_.control("cmdOK").visible());
    click("cmdProxy");
    EXPECT_TRUE(frm_.control("bg3").visible());
    EXPECT_EQ(frm_.control("txtIP").text(), "proxy.lan");
    EXPECT_EQ(frm_.control("txtPort").text(), "3128");
}

// Browse fills the folder box with the choice, a cancel empties it (no box); the dialog has no
// owner, so clicks while it is open reach the window but open no second dialog.
TEST_F(AppUpgrade, BrowseFillsTheFolderAndOpensOneDialogAtATime) {
    installAt("E:\\N");
    click("cmdUpd");
    int opened = 0;
    svc_.selectFolder = [&] {
        ++opened;
        click("cmdBr");
        frm_.control("txtFolder").fireDblClick();
        return pickerAnswer_;
    };
    pickerAnswer_ = "E:\\N";
    frm_.control("txtFolder").fireDblClick();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(frm_.control("txtFolder").text(), "E:\\N");
    pickerAnswer_ = "";
    click("cmdBr");  // closed again: the next browse opens it
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(frm_.control("txtFolder").text(), "");
    EXPECT_TRUE(runtime_.boxes.empty());
}

// Each guarded command, fired in the middle of the tool's download.
class AppBusyCommand : public AppUpgrade, public testing::WithParamInterface<const char*> {};

TEST_P(AppBusyCommand, DoesNothingWhileDownloading) {
    prepare();
    const std::string what = GetParam();
    pickerAnswer_ = "E:\\Other";
    installAt("E:\\Other");
    std::vector<bool> before, after;
    const char* watched[] = {"bg2", "bg3", "bg5", "cmdOK", "cmdUpd", "txtRK", "txtIP"};
    duringDownload = [&](int n) {
        if (n != 1)
            return;
        for (const char* c : watched)
            before.push_back(frm_.control(c).visible());
        if (what == "txtFolder_DblClick")
            frm_.control("txtFolder").fireDblClick();
        else
            click(what.c_str());
        for (const char* c : watched)
            after.push_back(frm_.control(c).visible());
    };
    EXPECT_TRUE(pressOK());
    EXPECT_EQ(before, after);
    EXPECT_EQ(count("picker"), 0);
    EXPECT_EQ(frm_.control("txtFolder").text(), kFolder);
    EXPECT_EQ(remotes(),
              (std::vector<std::string>{app::kRemoteTool, app::kRemoteSystemPackage, kPkg}));
    EXPECT_TRUE(runtime_.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(AppCommands, AppBusyCommand,
                         testing::Values("cmdOK", "cmdHelp", "cmdProxy", "cmdUpd", "cmdBr",
                                         "txtFolder_DblClick"),
                         [](const testing::TestParamInfo<const char*>& i) {
                             return std::string(i.param);
                         });

// Exit abandons the downloads and ends at once, idle or during any of the three downloads.
TEST_F(AppUpgrade, ExitEndsAtOnceIdleOrDuringEachDownload) {
    EXPECT_THROW(click("cmdExit"), ProgramEnded);
    EXPECT_EQ(log_, (std::vector<std::string>{"abandon", "end 1"}));
    for (int during = 1; during <= 3; ++during) {
        SCOPED_TRACE(during);
        prepare();
        duringDownload = [&](int n) {
            if (n == during)
                click("cmdExit");
        };
        EXPECT_TRUE(pressOK());
        EXPECT_EQ(static_cast<int>(downloads_.size()), during);
        // Until a package has arrived there, the packages' folder made for this run goes too.
        std::vector<std::string> expected{"abandon", "end 1"};
        if (during <= 2)
            expected.insert(expected.begin() + 1, "rmdir " + kTemp);
        EXPECT_EQ(std::vector<std::string>(log_.end() - expected.size(), log_.end()), expected);
        EXPECT_EQ(count("start "), 0);
        EXPECT_TRUE(runtime_.boxes.empty());
    }
}

TEST_F(AppUpgrade, AnOkClickQueuedBehindTheFirstDoesNothing) {
    prepare();
    runtime_.onDoEvents = [&](int n) {
        if (n == 1) {
            EXPECT_TRUE(main_.bDownloading);
            click("cmdOK");  // a second click waiting in the queue
        }
    };
    EXPECT_TRUE(pressOK());
    EXPECT_EQ(downloads_.size(), 3u);
    EXPECT_EQ(count("start "), 1);
    for (const Download& d : downloads_)
        EXPECT_TRUE(d.busy) << d.remote;
}

// ----------------------------------------------------------------------------------------------
// Refusals before anything starts

// A code that is empty or leaves its folder is refused before anything: no lookup, no download,
// no pass over pending events, the screen not laid out again.
TEST_F(AppUpgrade, CustomerCodesEmptyOrLeavingTheirFolderAreRefusedBeforeAnything) {
    for (const char* code : {"", ".", "..", "../Sandel", "..\\x", "a/b"}) {
        SCOPED_TRACE(code);
        prepare(code);
        frm_.control("ProgressCap").setText("12 KB");
        EXPECT_FALSE(pressOK());
        expectOneBox(*code ? app::kMsgInvalidCustomerCode : "Xin vui long nhap ma khach hang.");
        EXPECT_EQ(log_.size(), 1u);
        EXPECT_EQ(frm_.control("ProgressCap").text(), "12 KB");
        EXPECT_FALSE(main_.bDownloading);
        EXPECT_TRUE(downloads_.empty());
    }
}

TEST_F(AppUpgrade, EmptyFolderAsksOpensThePickerAndDownloadsNothing) {
    struct Case {
        std::string picked;
        std::string folderAfter;
    };
    installAt("E:\\Norvik");
    for (const Case& c : {Case{"E:\\Norvik", "E:\\Norvik"}, Case{"", ""}}) {
        SCOPED_TRACE(c.picked);
        prepare("KH001", "");
        pickerAnswer_ = c.picked;
        EXPECT_FALSE(pressOK());
        expectOneBox("Xin vui long cho biet thu muc da cai dat Norvik.");
        EXPECT_EQ(frm_.focused(), &frm_.control("txtFolder"));
        EXPECT_EQ(count("picker"), 1);
        EXPECT_EQ(frm_.control("txtFolder").text(), c.folderAfter);
        EXPECT_TRUE(downloads_.empty());
        EXPECT_EQ(runtime_.doEventsCount, 0);
        EXPECT_FALSE(main_.bDownloading);
    }
}

// ----------------------------------------------------------------------------------------------
// The install-folder test

struct FolderCase {
    const char* label;
    std::function<void(FakeFiles&, FakeDrives&)> arrange;
    std::string box;  // "": accepted
    std::string folder = "F:\\N";
};

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.label;
}

class AppFolderTest : public AppUpgrade, public testing::WithParamInterface<FolderCase> {};

TEST_P(AppFolderTest, AcceptsOnlyBothMarkersAsPlainFiles) {
    const FolderCase& c = GetParam();
    installAt(c.folder);
    c.arrange(files_, drives_);
    click("cmdUpd");
    log_.clear();
    frm_.control("txtFolder").setText(c.folder);
    // Both lookups are made even when the first one fails.
    EXPECT_EQ(count("plain? " + c.folder + "\\Report\\Info.xml"), 1);
    EXPECT_EQ(count("plain? " + c.folder + "\\Norvik.dll"), 1);
    if (c.box.empty()) {
        EXPECT_TRUE(runtime_.boxes.empty());
        EXPECT_EQ(frm_.control("txtFolder").text(), c.folder);
    } else {
        expectOneBox(c.box, MsgIcon::Critical);
        EXPECT_EQ(frm_.control("txtFolder").text(), "");
        EXPECT_EQ(count("plain? "), 2);  // the clearing change stops at the empty text
    }
}

const std::string kWrongFolder =
    "Thu muc chua dung.\r\nXin vui long cho biet thu muc da cai dat Norvik.";

// The markers as the process sees them: a drive letter this elevated process cannot see (the
// user's own mapping) is named as such; without elevation, or with the drive there, a folder
// without its markers is the wrong one.
void unseenDrive(FakeFiles& f, FakeDrives& d) {
    f.entries.clear();
    d.kinds["F:\\"] = FakeDrives::Kind::NoRootDir;
}

INSTANTIATE_TEST_SUITE_P(
    AppMarkers, AppFolderTest,
    testing::Values(
        FolderCase{"both", [](FakeFiles&, FakeDrives&) {}, ""},
        FolderCase{"noDll", [](FakeFiles& f, FakeDrives&) { f.entries.erase("F:\\N\\Norvik.dll"); },
                   kWrongFolder},
        FolderCase{"noInfo",
                   [](FakeFiles& f, FakeDrives&) { f.entries.erase("F:\\N\\Report\\Info.xml"); },
                   kWrongFolder},
        FolderCase{"hiddenDll",
                   [](FakeFiles& f, FakeDrives&) { f.entries["F:\\N\\Norvik.dll"].hidden = true; },
                   kWrongFolder},
        FolderCase{
            "systemInfo",
            [](FakeFiles& f, FakeDrives&) { f.entries["F:\\N\\Report\\Info.xml"].system = true; },
            kWrongFolder},
        FolderCase{"dllIsFolder",
                   [](FakeFiles& f, FakeDrives&) { f.entries["F:\\N\\Norvik.dll"].folder = true; },
                   kWrongFolder},
        FolderCase{
            "infoIsFolder",
            [](FakeFiles& f, FakeDrives&) { f.entries["F:\\N\\Report\\Info.xml"].folder = true; },
            kWrongFolder},
        FolderCase{"driveUnseenWhileElevated",
                   [](FakeFiles& f, FakeDrives& d) {
                       unseenDrive(f, d);
                       d.elevated = true;
                   },
                   "UpgradeNorvik dang chay voi quyen cao nhat nen khong thay o dia F:.\r\nXin "
                   "vui long cho biet thu muc da cai dat Norvik bang duong dan mang (\\\\may "
                   "chu\\thu muc chia se\\...)."},
        FolderCase{"driveMissingNotElevated", unseenDrive, kWrongFolder},
        FolderCase{"markersMissingOnASeenDriveElevated",
                   [](FakeFiles& f, FakeDrives& d) {
                       f.entries.clear();
                       d.elevated = true;
                   },
                   kWrongFolder},
        FolderCase{"uncFolder", [](FakeFiles&, FakeDrives&) {}, "", "\\\\srv\\share\\Norvik"},
        FolderCase{"uncFolderWithoutMarkersElevated",
                   [](FakeFiles& f, FakeDrives& d) {
                       f.entries.clear();
                       d.elevated = true;
                   },
                   kWrongFolder, "\\\\srv\\share\\Norvik"}),
    [](const testing::TestParamInfo<FolderCase>& i) { return std::string(i.param.label); });

TEST_F(AppUpgrade, TypingAPathFailsAtTheFirstLetterAndPastingItIsAccepted) {
    installAt("C:\\N");
    click("cmdUpd");
    frm_.control("txtFolder").textEditedByUser("C");
    ASSERT_EQ(runtime_.boxes.size(), 1u);
    EXPECT_EQ(runtime_.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(frm_.control("txtFolder").text(), "");
    runtime_.boxes.clear();
    frm_.control("txtFolder").textEditedByUser("C:\\N");
    EXPECT_TRUE(runtime_.boxes.empty());
    EXPECT_EQ(frm_.control("txtFolder").text(), "C:\\N");
}

// ----------------------------------------------------------------------------------------------
// The sequence

TEST_F(AppUpgrade, DownloadsTheThreeFilesInOrderThenStartsTheToolAndEnds) {
    prepare();
    frm_.control("ProgressCap").setText("left over");
    EXPECT_TRUE(pressOK());
    const std::string tool = kFolder + "\\Sandel.exe";
    EXPECT_EQ(log_, (std::vector<std::string>{
                        "exists? " + kTemp,
                        "mkdir " + kTemp,
                        "plain? " + tool,
                        "doEvents",
                        "download /Sandel/Sandel.exe -> " + tool,
                        "verify " + tool + ".part",
                        "exists? " + kTemp,
                        "doEvents",
                        "download /Sandel/Norvik_sys.rar -> " + kTemp + "\\Norvik_sys.rar",
                        "exists? " + kTemp,
                        "doEvents",
                        "download " + kPkg + " -> " + kTemp + "\\Norvik.rar",
                        "hold " + tool,
                        "verify held",
                        "start " + tool,
                        "release",
                        "end 0",
                    }));
    // The screen was laid out again; the last caption is the start's.
    EXPECT_EQ(frm_.control("ProgressCap").text(), "Dang kiem tra Sandel.exe ...");
    EXPECT_TRUE(runtime_.boxes.empty());
}

// The packages' folder is reused, or created before anything is downloaded and again before a
// package when it went missing; one that cannot be created, or an install folder so deep that a
// path of the upgrade would pass Windows' limit (counted in UTF-16 characters: the longest is the
// system package's partial file, 222 + 37), stops the upgrade at once with the folder named. A
// trailing backslash is doubled as it stands.
TEST_F(AppUpgrade, TemporaryFolderIsReadyBeforeAnythingIsDownloaded) {
    struct Case {
        const char* label;
        std::string folder;
        bool present;
        bool refuse;  // its creation fails
        int mkdirs;
        bool refused;
    };
    std::string deepest = "C:";  // 222 characters
    while (deepest.size() < 222)
        deepest += "\\" + std::string(std::min<size_t>(40, 222 - deepest.size() - 1), 'd');
    std::string wide = "C:\\";  // 222 characters, two bytes each in UTF-8 but one in UTF-16
    while (wide.size() < 3 + 2 * 219)
        wide += "\xC4\x90";
    for (const Case& c : {Case{"present", kFolder, true, false, 0, false},
                          Case{"missing", kFolder, false, false, 1, false},
                          Case{"uncreatable", kFolder, false, true, 1, true},
                          Case{"deepestThatFits", deepest, false, false, 1, false},
                          Case{"oneTooDeep", deepest + "x", false, false, 0, true},
                          Case{"wideCharactersFit", wide, false, false, 1, false},
                          Case{"driveRoot", "D:\\", false, false, 1, false},
                          Case{"uncFolder", "\\\\srv\\share\\Norvik", false, false, 1, false}}) {
        SCOPED_TRACE(c.label);
        const std::string temp = c.folder + "\\NorvikSandelTemp";
        files_.entries.erase(temp);
        if (c.present)
            files_.entries[temp] = Entry{true, false, false, {}};
        files_.refuseFolders = c.refuse;
        prepare("KH001", c.folder);
        EXPECT_EQ(pressOK(), !c.refused);
        EXPECT_EQ(count("mkdir " + temp), c.mkdirs);
        if (c.refused) {
            expectOneBox("Khong ghi duoc tep vao thu muc cai dat Norvik.\r\n" + temp +
                         "\r\nXin vui long kiem tra dung luong dia va quyen ghi vao thu muc "
                         "nay.");
            EXPECT_TRUE(downloads_.empty());
            expectIdleOnUpgradeScreen();
            continue;
        }
        ASSERT_EQ(downloads_.size(), 3u);
        EXPECT_EQ(downloads_[0].local, c.folder + "\\Sandel.exe");
        EXPECT_EQ(downloads_[1].local, temp + "\\Norvik_sys.rar");
        EXPECT_EQ(downloads_[2].local, temp + "\\Norvik.rar");
        EXPECT_EQ(count("start " + c.folder + "\\Sandel.exe"), 1);
        EXPECT_EQ(count("exists? " + temp), 3);
        EXPECT_LT(std::find(log_.begin(), log_.end(), "exists? " + temp) - log_.begin(),
                  std::find(log_.begin(), log_.end(),
                            "download /Sandel/Sandel.exe -> " + c.folder + "\\Sandel.exe") -
                      log_.begin());
    }
    // Gone while the tool downloads: created again before the package.
    files_.refuseFolders = false;
    files_.entries.erase(kTemp);
    prepare();
    duringDownload = [&](int n) {
        if (n == 1)
            files_.entries.erase(kTemp);
    };
    EXPECT_TRUE(pressOK());
    EXPECT_EQ(count("mkdir " + kTemp), 2);
    // Made for a tool that then fails: the folder goes again, one that was there stays. Made in
    // a folder the box then left (the packages went to the other one), or holding no package
    // when the run fails: it goes from where it was made.
    const std::string other = "D:\\Norvik";
    const std::string otherTemp = other + "\\NorvikSandelTemp";
    installAt(other);
    struct Failure {
        const char* label;
        std::string failing;   // the remote path whose download fails
        const char* failing2;  // another one, or nullptr
        bool moved;            // the box points to `other` from the tool's download on
        bool keptHere, keptThere;
    };
    for (const Failure& f : {
             Failure{"toolFails", app::kRemoteTool, nullptr, false, false, false},
             Failure{"noPackageArrives", kPkg, app::kRemoteSystemPackage.c_str(), false, false,
                     false},
             Failure{"systemPackageArrived", kPkg, nullptr, false, true, false},
             Failure{"movedThenPackageFails", kPkg, nullptr, true, false, true},
             Failure{"movedAndNoPackageArrives", kPkg, app::kRemoteSystemPackage.c_str(), true,
                     false, false},
         }) {
        SCOPED_TRACE(f.label);
        results_.clear();
        results_[f.failing] = "NetErr";
        if (f.failing2)
            results_[f.failing2] = "NetErr";
        for (const std::string& t : {kTemp, otherTemp}) {
            files_.entries.erase(t);
            files_.entries.erase(t + "\\Norvik_sys.rar");
        }
        prepare();
        duringDownload = [&](int n) {
            if (n == 1 && f.moved)
                frm_.control("txtFolder").setText(other);
        };
        EXPECT_FALSE(pressOK());
        duringDownload = nullptr;
        // The fake keeps a folder as one entry: removing it is allowed only where nothing arrived.
        EXPECT_EQ(files_.entries.count(kTemp), f.keptHere ? 1u : 0u);
        EXPECT_EQ(files_.entries.count(otherTemp), f.keptThere ? 1u : 0u);
        EXPECT_EQ(count("rmdir " + kTemp), f.keptHere ? 0 : 1);
    }
    results_[app::kRemoteTool] = "NetErr";
    files_.entries[kTemp] = Entry{true, false, false, {}};
    prepare();
    EXPECT_FALSE(pressOK());
    EXPECT_EQ(files_.entries.count(kTemp), 1u);
    EXPECT_EQ(count("rmdir " + kTemp), 0);
}

TEST_F(AppUpgrade, OldToolStaysUntilACheckedNewOneReplacesIt) {
    const std::string tool = kFolder + "\\Sandel.exe";
    struct Case {
        const char* label;
        std::function<void()> arrange;
        bool replaced;
    };
    for (const Case& c : {
             Case{"upgraded", [] {}, true},
             Case{"toolNetErr", [this] { results_[app::kRemoteTool] = "NetErr"; }, false},
             Case{"toolFileErr", [this] { results_[app::kRemoteTool] = "FileErr"; }, false},
             Case{"toolDiskErr", [this] { results_[app::kRemoteTool] = "DiskErr"; }, false},
             Case{"toolUnsigned", [this] { launcher_.downloaded = {}; }, false},
             Case{"packageFails", [this] { results_[kPkg] = "NetErr"; }, true},
             Case{"cannotStart", [this] { launcher_.startError = 5; }, true},
         }) {
        SCOPED_TRACE(c.label);
        results_.clear();
        launcher_.downloaded = kSignedByUs;
        launcher_.startError = 0;
        prepare();
        files_.entries[tool].content = "old";
        files_.entries[kTemp] = Entry{true, false, false, {}};
        files_.entries[kTemp + "\\Norvik.rar"].content = "old package";
        c.arrange();
        pressOK();
        EXPECT_EQ(count("delete "), 0);
        ASSERT_TRUE(files_.entries.count(tool));
        EXPECT_EQ(files_.entries[tool].content, c.replaced ? "new " + app::kRemoteTool : "old");
        // Whether it could be replaced was asked before its download.
        EXPECT_EQ(log_.at(2), "replaceable? " + tool);
        EXPECT_EQ(log_.at(4), "download /Sandel/Sandel.exe -> " + tool);
    }
}

TEST_F(AppUpgrade, OldToolThatCannotBeReplacedStopsTheUpgrade) {
    prepare();
    const std::string tool = kFolder + "\\Sandel.exe";
    files_.entries[tool].content = "old";
    files_.unreplaceable.insert(tool);
    EXPECT_FALSE(pressOK());
    expectOneBox(app::msgCannotDeleteOldTool(tool));
    EXPECT_NE(app::msgCannotDeleteOldTool(tool).find(tool), std::string::npos);
    EXPECT_TRUE(downloads_.empty());
    EXPECT_EQ(files_.entries[tool].content, "old");
    expectIdleOnUpgradeScreen();
}

TEST_F(AppUpgrade, ProxyEntriesAreCheckedThenUsedAsHostColonPortAtEachDownload) {
    struct Case {
        const char *ip, *port, *proxy;  // proxy nullptr: refused before anything happens
    };
    for (const Case& c :
         {Case{"", "", ":"}, Case{"host", "", "host:"}, Case{"10.0.0.1", "3128", "10.0.0.1:3128"},
          Case{"h", "1", "h:1"}, Case{"h", "65535", "h:65535"}, Case{"", "8080", nullptr},
          Case{"h", "abc", nullptr}, Case{"h", "0", nullptr}, Case{"h", "99999", nullptr},
          Case{"h", "65536", nullptr}, Case{"h", "-1", nullptr}, Case{"h", " 80", nullptr},
          Case{"h", "80x", nullptr}, Case{"h", "000080", "h:000080"}}) {
        SCOPED_TRACE(std::string(c.ip) + ":" + c.port);
        prepare();
        files_.entries[kFolder + "\\Sandel.exe"].content = "old";
        frm_.control("txtIP").setText(c.ip);
        frm_.control("txtPort").setText(c.port);
        const bool ended = pressOK();
        if (!c.proxy) {
            expectOneBox("Thong tin proxy khong hop le.");
            EXPECT_EQ(count("replaceable? "), 0);
            EXPECT_TRUE(downloads_.empty());
            expectIdleOnUpgradeScreen();
            continue;
        }
        EXPECT_TRUE(ended);
        ASSERT_EQ(downloads_.size(), 3u);
        for (const Download& d : downloads_)
            EXPECT_EQ(d.proxy, c.proxy) << d.remote;
    }
    // A change made during one download is used by the next.
    prepare();
    frm_.control("txtIP").setText("10.0.0.1");
    frm_.control("txtPort").setText("3128");
    duringDownload = [&](int n) {
        if (n == 1)
            frm_.control("txtPort").setText("9");
    };
    pressOK();
    EXPECT_EQ(downloads_[0].proxy, "10.0.0.1:3128");
    EXPECT_EQ(downloads_[1].proxy, "10.0.0.1:9");
}

// (The encoding itself: app_paths_test.cpp.)
TEST_F(AppUpgrade, CustomerCodeEntersTheUrlAsOneEncodedSegment) {
    prepare("a?b#c%2F");
    EXPECT_TRUE(pressOK());
    ASSERT_EQ(downloads_.size(), 3u);
    EXPECT_EQ(downloads_[2].remote, "/Sandel/a%3Fb%23c%252F/Norvik.rar");
}

// Each step reads the boxes afresh. A changed code is used for the package; an emptied box stops
// the upgrade instead of using the drive root; a changed folder stops it before the start, as
// the tool was downloaded into the first folder and a copy in the other could be old.
TEST_F(AppUpgrade, BoxesChangedDuringTheUpgradeAreReadAfreshAtEachStep) {
    struct Change {
        int during;
        const char* box;
        const char* text;
    };
    struct Case {
        const char* label;
        std::vector<Change> changes;
        size_t downloads;
        std::string message;  // "" when the tool starts
    };
    installAt("G:\\Moved");
    for (const Case& c : {
             Case{"folderEmptied1", {{1, "txtFolder", ""}}, 1, app::kMsgEnterFolder},
             Case{"folderEmptied2", {{2, "txtFolder", ""}}, 2, app::kMsgEnterFolder},
             Case{"folderEmptied3", {{3, "txtFolder", ""}}, 3, app::kMsgEnterFolder},
             Case{"codeEmptied", {{1, "txtRK", ""}}, 2, app::kMsgEnterCustomerCode},
             Case{"codeChanged", {{2, "txtRK", "KH002"}}, 3, ""},
             Case{"folderMoved",
                  {{1, "txtFolder", "G:\\Moved"}, {2, "txtRK", "KH002"}},
                  3,
                  app::kMsgFolderChanged},
         }) {
        SCOPED_TRACE(c.label);
        prepare();
        duringDownload = [&](int n) {
            for (const Change& change : c.changes)
                if (change.during == n)
                    frm_.control(change.box).setText(change.text);
        };
        EXPECT_EQ(pressOK(), c.message.empty());
        EXPECT_EQ(downloads_.size(), c.downloads);
        EXPECT_EQ(count("mkdir \\"), 0);
        if (c.message.empty()) {
            EXPECT_EQ(downloads_.at(2).remote, "/Sandel/KH002/Norvik.rar");
            EXPECT_EQ(count("start " + kFolder + "\\Sandel.exe"), 1);
            continue;
        }
        expectOneBox(c.message);
        expectIdleOnUpgradeScreen();
    }
    duringDownload = nullptr;
    // The moved folder: the tool went to the first, the packages to the second.
    ASSERT_EQ(downloads_.size(), 3u);
    EXPECT_EQ(downloads_[0].local, kFolder + "\\Sandel.exe");
    EXPECT_EQ(downloads_[1].local, "G:\\Moved\\NorvikSandelTemp\\Norvik_sys.rar");
    EXPECT_EQ(downloads_[2].remote, "/Sandel/KH002/Norvik.rar");
    EXPECT_EQ(downloads_[2].local, "G:\\Moved\\NorvikSandelTemp\\Norvik.rar");
}

// ----------------------------------------------------------------------------------------------
// Results

struct ResultCase {
    const char* label;
    std::string failing;  // remote path whose download fails
    std::string result;   // its box, or none for a text that names no result
    size_t downloads;
};

void PrintTo(const ResultCase& c, std::ostream* os) {
    *os << c.label;
}

class AppDownloadResult : public AppUpgrade, public testing::WithParamInterface<ResultCase> {};

TEST_P(AppDownloadResult, FailureShowsItsBoxLeavesTheWindowIdleAndStartsNothing) {
    const ResultCase& c = GetParam();
    prepare();
    results_[c.failing] = c.result;
    EXPECT_FALSE(pressOK());
    EXPECT_EQ(downloads_.size(), c.downloads);
    EXPECT_EQ(upgradesEnded_, 1);
    if (!results::find(c.result)) {
        EXPECT_TRUE(runtime_.boxes.empty());
    } else {
        expectOneBox(results::boxText(c.result,
                                      c.failing == app::kRemoteTool ? "Sandel.exe" : "Norvik.rar"));
    }
    expectIdleOnUpgradeScreen();

    // Idle again: commands answer, and a second OK runs the whole sequence from the start.
    results_.clear();
    downloads_.clear();
    EXPECT_TRUE(pressOK());
    EXPECT_EQ(remotes(),
              (std::vector<std::string>{app::kRemoteTool, app::kRemoteSystemPackage, kPkg}));
}

// The results a whole upgrade through the engine gives (network, disk, signature, clock, secure
// channel, antivirus) are checked with their boxes by torture_test.cpp.
INSTANTIATE_TEST_SUITE_P(
    AppResults, AppDownloadResult,
    testing::Values(ResultCase{"toolFile", "/Sandel/Sandel.exe", "FileErr", 1},
                    ResultCase{"toolProxyAuth", "/Sandel/Sandel.exe", "ProxyAuthErr", 1},
                    ResultCase{"toolPage", "/Sandel/Sandel.exe", "PageErr", 1},
                    ResultCase{"toolSignTimeout", "/Sandel/Sandel.exe", "SignTimeoutErr", 1},
                    ResultCase{"toolOther", "/Sandel/Sandel.exe", "Oops", 1},
                    ResultCase{"pkgFile", "/Sandel/KH001/Norvik.rar", "FileErr", 3},
                    ResultCase{"pkgProxyAuth", "/Sandel/KH001/Norvik.rar", "ProxyAuthErr", 3},
                    ResultCase{"pkgPage", "/Sandel/KH001/Norvik.rar", "PageErr", 3},
                    ResultCase{"pkgSignTimeout", "/Sandel/KH001/Norvik.rar", "SignTimeoutErr", 3},
                    ResultCase{"pkgOther", "/Sandel/KH001/Norvik.rar", "neterr", 3}),
    [](const testing::TestParamInfo<ResultCase>& i) { return std::string(i.param.label); });

TEST_F(AppUpgrade, SystemPackageFailureIsIgnored) {
    std::vector<std::string> failures{"Other"};
    for (const results::Row& row : results::kRows)
        failures.push_back(row.name);
    for (const std::string& r : failures) {
        prepare();
        results_[app::kRemoteSystemPackage] = r;
        EXPECT_TRUE(pressOK()) << r;
        EXPECT_EQ(downloads_.size(), 3u);
        EXPECT_TRUE(runtime_.boxes.empty());
        EXPECT_EQ(count("start " + kFolder + "\\Sandel.exe"), 1);
    }
}

// The tool is checked when its download is complete and again, held, just before its start;
// each time cache-only first, and once more with retrieval allowed only after a refusal for the
// root alone.
struct TrustCase {
    const char* label;
    std::string publisher;  // the build's setting; "" turns the check off
    app::SignatureCheck check;
    std::string result;                               // "" accepted
    int fetches = 0;                                  // checks with retrieval allowed
    std::optional<app::SignatureCheck> fetched = {};  // their answer; none: as `check`
    bool fetchNeverReturns = false;
};

void PrintTo(const TrustCase& c, std::ostream* os) {
    *os << c.label;
}

class AppToolTrust : public AppUpgrade, public testing::WithParamInterface<TrustCase> {};

TEST_P(AppToolTrust, OnlyThePublishersToolReplacesTheOldOneAndStarts) {
    const TrustCase& c = GetParam();
    const std::string tool = kFolder + "\\Sandel.exe";
    for (const bool atStart : {false, true}) {
        SCOPED_TRACE(atStart ? "checked before the start" : "checked after the download");
        svc_.toolPublisher = c.publisher;
        launcher_.downloaded = atStart ? kSignedByUs : c.check;
        launcher_.atStart = atStart ? c.check : kSignedByUs;
        launcher_.downloadedFetching = atStart ? std::nullopt : c.fetched;
        launcher_.atStartFetching = atStart ? c.fetched : std::nullopt;
        launcher_.fetchNeverReturns = c.fetchNeverReturns;
        prepare();
        files_.entries[tool].content = "old";
        const std::uint32_t before = clock_.nowMs();
        EXPECT_EQ(pressOK(), c.result.empty());
        EXPECT_EQ(std::count_if(log_.begin(), log_.end(),
                                [](const std::string& l) {
                                    return l.size() > 9 && l.substr(l.size() - 9) == " fetching";
                                }),
                  c.fetches);
        if (atStart && c.fetchNeverReturns) {  // one bound for both tries
            EXPECT_LE(clock_.nowMs() - before, 60000u + 33u);
        }
        if (c.publisher.empty()) {
            EXPECT_EQ(count("verify"), 0);
            EXPECT_FALSE(downloads_.at(0).checked);
        }
        if (c.result.empty()) {
            EXPECT_EQ(downloads_.size(), 3u);
            EXPECT_EQ(count("start " + tool), 1);
            continue;
        }
        expectOneBox(results::boxText(c.result));
        expectIdleOnUpgradeScreen();
        if (atStart && c.result != "SignErr") {
            // Not the tool's fault: it stays for the next try.
            EXPECT_EQ(downloads_.size(), 3u);
            EXPECT_EQ(count("delete " + tool), 0);
        } else if (atStart) {
            // The file changed after its check: it is released, then removed.
            EXPECT_EQ(downloads_.size(), 3u);
            EXPECT_FALSE(files_.entries.count(tool));
            EXPECT_LT(std::find(log_.begin(), log_.end(), "release"),
                      std::find(log_.begin(), log_.end(), "delete " + tool));
        } else {
            EXPECT_EQ(downloads_.size(), 1u);
            EXPECT_EQ(files_.entries[tool].content, "old");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    AppTrust, AppToolTrust,
    testing::Values(
        TrustCase{"signedByUs", kPublisher, kSignedByUs, ""},
        TrustCase{
            "otherPublisher", kPublisher, {app::kTrustValid, "Other Software Ltd"}, "SignErr"},
        TrustCase{"publisherInOtherCase",
                  kPublisher,
                  {app::kTrustValid, "NORVIK SOFTWARE JSC"},
                  "SignErr"},
        TrustCase{"unsigned", kPublisher, {app::kTrustNoSignature, ""}, "SignErr"},
        TrustCase{"badDigest", kPublisher, {app::kTrustBadDigest, kPublisher}, "SignErr"},
        // A root this computer lacks: named only for the publisher's own, otherwise sound,
        // signature.
        TrustCase{"untrustedRoot", kPublisher, {0x800B0109, kPublisher}, "RootErr", 1},
        TrustCase{"chainNotBuilt", kPublisher, {0x800B010A, kPublisher}, "RootErr", 1},
        // Windows fetched the root in the second check, or did not within the bound.
        TrustCase{"rootFetched", kPublisher, {0x800B0109, kPublisher}, "", 1, kSignedByUs},
        TrustCase{"chainCompleted", kPublisher, {0x800B010A, kPublisher}, "", 1, kSignedByUs},
        TrustCase{"rootFetchOutlastsTheBound",
                  kPublisher,
                  {0x800B0109, kPublisher},
                  "RootErr",
                  1,
                  std::nullopt,
                  true},
        TrustCase{"untrustedRootOfAnother", kPublisher, {0x800B0109, "Other Ltd"}, "SignErr"},
        TrustCase{"chainNotBuiltUnnamed", kPublisher, {0x800B010A, ""}, "SignErr"},
        // Refused as expired: the computer's date lies before the signer's certificate begins,
        // or after it.
        TrustCase{
            "clockBeforeSigner", kPublisher, {app::kTrustExpired, "", 0, 100, 200}, "ClockErr"},
        TrustCase{"expiredSigner", kPublisher, {app::kTrustExpired, "", 0, 300, 200}, "SignErr"},
        TrustCase{
            "expiredUnknownStart", kPublisher, {app::kTrustExpired, "", 0, 100, 0}, "SignErr"},
        // (An antivirus program that keeps the file from the check: torture_test.cpp.)
        TrustCase{"checkOff", "", {app::kTrustNoSignature, ""}, ""}),
    [](const testing::TestParamInfo<TrustCase>& i) { return std::string(i.param.label); });

// With package signatures, each package's signature is downloaded into memory first, and the
// package is checked against it when its download is complete, before it replaces the old one:
// from the cache first, once more fetching roots when refused for the root alone. (The real
// CMS and chain verification: tests/win/package_signature_win_test.cpp.)
struct PackageCase {
    const char* label;
    bool systemPackage;  // the system package's signature fails, else the customer's
    download::MemoryDownload signature;
    std::vector<app::SignatureCheck> checks;  // in turn, of the failing package
    std::string result;              // the box's result ("" the tool starts); about Norvik.rar
    int checksMade;                  // of the failing package
    bool fetchNeverReturns = false;  // the bound passes during the check that fetches roots
};

void PrintTo(const PackageCase& c, std::ostream* os) {
    *os << c.label;
}

class AppPackageTrust : public AppUpgrade, public testing::WithParamInterface<PackageCase> {};

TEST_P(AppPackageTrust, OnlyPackagesSignedByThePublisherReplaceTheOldOnes) {
    const PackageCase& c = GetParam();
    svc_.packageSignatures = true;
    const std::string remote = c.systemPackage ? app::kRemoteSystemPackage : kPkg;
    const std::string local = kTemp + (c.systemPackage ? "\\Norvik_sys.rar" : "\\Norvik.rar");
    prepare();
    files_.entries[local].content = "old";
    signatures_[remote + ".p7s"] = c.signature;
    packageVerifier_.checks[local + ".part"] = c.checks;
    packageVerifier_.fetchNeverReturns = c.fetchNeverReturns;
    EXPECT_EQ(pressOK(), c.result.empty());

    // Each signature before its package; nothing of it is written.
    const std::vector<std::string> expected{
        "download " + app::kRemoteTool + " -> " + kFolder + "\\Sandel.exe",
        "download " + app::kRemoteSystemPackage + ".p7s into memory",
        "download " + app::kRemoteSystemPackage + " -> " + kTemp + "\\Norvik_sys.rar",
        "download " + kPkg + ".p7s into memory",
        "download " + kPkg + " -> " + kTemp + "\\Norvik.rar"};
    std::vector<std::string> transfers;
    for (const std::string& line : log_)
        if (line.rfind("download ", 0) == 0)
            transfers.push_back(line);
    const bool packageFetched = c.signature.result.empty() && !c.signature.tooLarge;
    std::vector<std::string> upTo(expected.begin(), expected.end());
    if (!c.systemPackage && !c.result.empty())
        upTo.resize(packageFetched ? 5 : 4);
    else if (c.systemPackage && !packageFetched)
        upTo.erase(upTo.begin() + 2);
    EXPECT_EQ(transfers, upTo);
    int checks = 0;
    for (const std::string& line : log_)
        if (line.rfind("verify package " + local + ".part with signature of " + remote, 0) == 0)
            checks +=
                line.find(checks == 0 ? "from the cache" : "fetching roots") != std::string::npos;
    EXPECT_EQ(checks, c.checksMade);
    // Only a package that passed its check replaces the old one (every system row fails).
    const bool replaced = c.result.empty() && !c.systemPackage;
    EXPECT_EQ(files_.entries[local].content, replaced ? "new " + remote : "old");
    if (c.result.empty()) {
        EXPECT_TRUE(runtime_.boxes.empty());
        EXPECT_EQ(count("start " + kFolder + "\\Sandel.exe"), 1);
        return;
    }
    expectOneBox(results::boxText(c.result, "Norvik.rar"));
    expectIdleOnUpgradeScreen();
}

const app::SignatureCheck kUntrustedRoot{app::kTrustUntrustedRoot, kPublisher};
const download::MemoryDownload kSignature{"", false, "signature of " + kPkg + ".p7s"};
const download::MemoryDownload kSystemSignature{"", false,
                                                "signature of /Sandel/Norvik_sys.rar.p7s"};

INSTANTIATE_TEST_SUITE_P(
    AppPackages, AppPackageTrust,
    testing::Values(
        PackageCase{"signedByUs", false, kSignature, {kSignedByUs}, "", 1},
        // CRYPT_E_HASH_VALUE: the signature was made over other bytes.
        PackageCase{"otherBytes", false, kSignature, {{0x80091007, ""}}, "PackageSignErr", 1},
        PackageCase{"otherSigner",
                    false,
                    kSignature,
                    {{app::kTrustValid, "Other Software Ltd"}},
                    "PackageSignErr",
                    1},
        // CERT_E_WRONG_USAGE: the maker's name on a certificate without the code-signing
        // purpose.
        PackageCase{"notForCodeSigning",
                    false,
                    kSignature,
                    {{0x800B0110, kPublisher}},
                    "PackageSignErr",
                    1},
        // A root this computer lacks: fetched on the second check, or still missing.
        PackageCase{"rootFetched", false, kSignature, {kUntrustedRoot, kSignedByUs}, "", 2},
        PackageCase{"untrustedRoot", false, kSignature, {kUntrustedRoot}, "RootErr", 2},
        PackageCase{
            "boundPassesWhileFetching", false, kSignature, {kUntrustedRoot}, "RootErr", 2, true},
        PackageCase{"untrustedRootOfAnother",
                    false,
                    kSignature,
                    {{app::kTrustUntrustedRoot, "Other Ltd"}},
                    "PackageSignErr",
                    1},
        // CRYPT_E_ASN1_EOD: a truncated signature cannot be read.
        PackageCase{"truncated", false, kSignature, {{0x80093102, ""}}, "PackageSignErr", 1},
        PackageCase{"missing", false, {"FileErr", false, ""}, {}, "PackageSignErr", 0},
        PackageCase{"largerThanItsBound", false, {"DiskErr", true, ""}, {}, "PackageSignErr", 0},
        // Any other failure of the signature's download is that download's own.
        PackageCase{"signatureCut", false, {"NetErr", false, ""}, {}, "NetErr", 0},
        PackageCase{"signaturePage", false, {"PageErr", false, ""}, {}, "PageErr", 0},
        PackageCase{"quarantined", false, kSignature, {{0, "", 5}}, "VirusErr", 1},
        // The system package's failures are not shown; its old copy stays, the upgrade goes on.
        PackageCase{"systemOtherBytes", true, kSystemSignature, {{0x80091007, ""}}, "", 1},
        PackageCase{"systemUntrustedRoot", true, kSystemSignature, {kUntrustedRoot}, "", 2},
        PackageCase{"systemMissing", true, {"FileErr", false, ""}, {}, "", 0},
        PackageCase{"systemLarge", true, {"DiskErr", true, ""}, {}, "", 0}),
    [](const testing::TestParamInfo<PackageCase>& i) { return std::string(i.param.label); });

// Without package signatures the program asks for exactly the three files.
TEST_F(AppUpgrade, PackageSignaturesOffAskForNoSignature) {
    prepare();
    EXPECT_TRUE(pressOK());
    EXPECT_EQ(remotes(),
              (std::vector<std::string>{app::kRemoteTool, app::kRemoteSystemPackage, kPkg}));
    EXPECT_EQ(count("download /Sandel/KH001/Norvik.rar.p7s"), 0);
    EXPECT_EQ(count("verify package"), 0);
}

// True when the window answered (a pump in the log) between each two tries of `what`.
bool pumpedBetweenTries(const std::vector<std::string>& log, const std::string& what) {
    bool tried = false, pumped = false;
    for (const std::string& line : log) {
        if (line.rfind(what, 0) == 0) {
            if (tried && !pumped)
                return false;
            tried = true;
            pumped = false;
        }
        pumped = pumped || line == "doEvents";
    }
    return true;
}

// A scanner that holds on is waited for until the bound, tried again after each pause; one that
// lets go is tried again until then (`tries` scripted; -1: until the bound).
void expectScannerWait(std::uint32_t waitedMs, int tries, int expectedTries) {
    EXPECT_LE(waitedMs, app::kScannerRetryMs + app::kScannerPauseMs);
    if (expectedTries >= 0) {
        EXPECT_EQ(tries, expectedTries);
        EXPECT_EQ(waitedMs == 0, expectedTries <= 1);
        return;
    }
    EXPECT_GE(waitedMs, app::kScannerRetryMs);
    EXPECT_GE(tries, 2);
}

// Starting the checked tool: elevation through the shell when the system asks for it; a scanner
// still reading the new tool is waited for up to 2 s by the clock, the window answering. (An
// antivirus block at the hold or the start, never tried again, with its box: torture_test.cpp.)
TEST_F(AppUpgrade, ToolStartElevatesWaitsForAScannerAndNamesEachFailure) {
    const std::string tool = kFolder + "\\Sandel.exe";
    const std::string runas = "runas " + tool;
    const std::string cannotStart = app::msgCannotStartTool(tool);
    struct Case {
        const char* label;
        std::uint32_t holdError, startError, elevatedError;
        int busyHolds, busyStarts;
        std::string box;              // "": started
        int holds, starts, elevated;  // -1: as many as the scanner's bound allows
    };
    for (const Case& c : {
             Case{"started", 0, 0, 0, 0, 0, "", 1, 1, 0},
             Case{"elevated", 0, norvik::kErrorElevationRequired, 0, 0, 0, "", 1, 1, 1},
             Case{"elevationDeclined", 0, norvik::kErrorElevationRequired, 1223, 0, 0, cannotStart,
                  1, 1, 1},
             Case{"notAProgram", 0, 193, 0, 0, 0, cannotStart, 1, 1, 0},
             Case{"cannotBeOpened", 5, 0, 0, 0, 0, cannotStart, 1, 0, 0},
             Case{"scannerLetsGoOfTheStart", 0, 0, 0, 0, 5, "", 1, 6, 0},
             Case{"scannerLetsGoOfTheFile", 0, 0, 0, 3, 0, "", 4, 1, 0},
             Case{"scannerHoldsOn", 0, 0, 0, 0, 1000, cannotStart, 1, -1, 0},
         }) {
        SCOPED_TRACE(c.label);
        runtime_.boxes.clear();
        launcher_.holdError = c.holdError;
        launcher_.startError = c.startError;
        launcher_.elevatedError = c.elevatedError;
        launcher_.busyHolds = c.busyHolds;
        launcher_.busyStarts = c.busyStarts;
        prepare();
        const std::uint32_t before = clock_.nowMs();
        EXPECT_EQ(pressOK(), c.box.empty());
        const bool startsWait = c.starts != 1;
        expectScannerWait(clock_.nowMs() - before, startsWait ? count("start ") : count("hold "),
                          startsWait ? c.starts : c.holds);
        EXPECT_EQ(count(startsWait ? "hold " : "start "), startsWait ? c.holds : c.starts);
        EXPECT_EQ(count(runas), c.elevated);
        EXPECT_TRUE(pumpedBetweenTries(log_, "hold ") && pumpedBetweenTries(log_, "start "));
        if (c.starts > 0) {  // held from before the check until after the start
            EXPECT_EQ(log_.at(log_.size() - 2), "release");
            EXPECT_EQ(log_.back(), c.box.empty() ? "end 0" : "box " + c.box);
        }
        if (c.box.empty())
            continue;
        expectOneBox(c.box);
        EXPECT_FALSE(main_.bDownloading);
        EXPECT_EQ(count("end"), 0);
        EXPECT_EQ(count("delete "), 0);
        click("cmdHelp");  // the window answers again
        EXPECT_TRUE(frm_.control("bg5").visible());
    }
}

// The elevated process does not see this logon's network drive letters: a tool or working
// folder on one goes to the elevated start by its network path (the universal name, else the
// drive's connection), the plain start keeps the path as it stands, and so does every start from
// a local drive or a UNC folder, and one whose network name is unknown.
TEST_F(AppUpgrade, AnElevatedStartReachesANetworkDriveByItsNetworkPath) {
    using Kind = FakeDrives::Kind;
    struct Case {
        const char* label;
        std::string folder, ownFolder;
        bool universal, connection;  // the network names known for Z:
        std::string tool, in;        // what the elevated start gets
    };
    const std::string share = "\\\\srv\\share";
    for (const Case& c : {
             Case{"networkDrive", "Z:\\Norvik", "Z:\\Work", true, true,
                  share + "\\Norvik\\Sandel.exe", share + "\\Work"},
             Case{"onlyTheConnectionKnown", "Z:\\Norvik", "Z:\\Work", false, true,
                  share + "\\Norvik\\Sandel.exe", share + "\\Work"},
             Case{"noNetworkNameKnown", "Z:\\Norvik", "Z:\\Work", false, false,
                  "Z:\\Norvik\\Sandel.exe", "Z:\\Work"},
             Case{"localDrive", kFolder, "C:\\Work", true, true, kFolder + "\\Sandel.exe",
                  "C:\\Work"},
             Case{"localToolNetworkWorkingFolder", kFolder, "Z:\\", true, true,
                  kFolder + "\\Sandel.exe", share + "\\"},
             Case{"uncFolder", share + "\\Norvik", "C:\\Work", true, true,
                  share + "\\Norvik\\Sandel.exe", "C:\\Work"},
         }) {
        SCOPED_TRACE(c.label);
        drives_ = {};
        drives_.kinds["Z:\\"] = Kind::Remote;
        if (c.universal) {
            drives_.universal["Z:\\Norvik\\Sandel.exe"] = share + "\\Norvik\\Sandel.exe";
            drives_.universal["Z:\\Work"] = share + "\\Work";
            drives_.universal["Z:\\"] = share + "\\";
        }
        if (c.connection)
            drives_.connections["Z:"] = share;
        launcher_.ownFolder = c.ownFolder;
        launcher_.startError = norvik::kErrorElevationRequired;
        prepare("KH001", c.folder);
        EXPECT_TRUE(pressOK());
        EXPECT_EQ(count("start " + c.folder + "\\Sandel.exe"), 1);  // the plain start as it stands
        EXPECT_EQ(count("runas "), 1);
        EXPECT_EQ(count("runas " + c.tool + " in " + c.in), 1);
    }
}

// The downloaded tool's check opens the file that its download has just closed: a scanner
// reading it is waited for up to 2 s by the clock (on the transfer thread: no pumping), and a file
// that is gone or locked away right after our own write was quarantined.
TEST_F(AppUpgrade, TheDownloadedToolsCheckWaitsForAScannerAndNamesAQuarantine) {
    const std::uint32_t busy = norvik::kErrorSharingViolation;
    struct Case {
        const char* label;
        std::vector<std::uint32_t> openErrors;
        std::string box;  // "": the upgrade goes on
        int checks;       // -1: as many as the scanner's bound allows
    };
    for (const Case& c : {
             Case{"scannerLetsGo", {busy, busy, busy, 0}, "", 4},
             Case{"scannerHoldsOn", {busy}, results::boxText(results::kVirusErr), -1},
             Case{"quarantinedAway", {2}, results::boxText(results::kVirusErr), 1},
             Case{"quarantinedLocked", {5}, results::boxText(results::kVirusErr), 1},
             Case{"blocked", {225}, results::boxText(results::kVirusErr), 1},
         }) {
        SCOPED_TRACE(c.label);
        launcher_.openErrors = c.openErrors;
        prepare();
        const std::uint32_t before = clock_.nowMs();
        EXPECT_EQ(pressOK(), c.box.empty());
        expectScannerWait(clock_.nowMs() - before, count("verify " + kFolder + "\\Sandel.exe.part"),
                          c.checks);
        EXPECT_EQ(count("doEvents"), c.box.empty() ? 3 : 1);  // the transfer thread pumps nothing
        if (c.box.empty())
            continue;
        expectOneBox(c.box);
        EXPECT_EQ(downloads_.size(), 1u);
        expectIdleOnUpgradeScreen();
    }
}

// The held tool is checked on a thread of its own: the window answers meanwhile, the caption
// says what it waits for, Exit ends the program at any time, and a check that outlasts its bound
// (or cannot be started) is named; the tool stays for the next try. The bound covers the
// cache-only try and the one that may fetch the root together.
TEST_F(AppUpgrade, TheHeldToolsCheckIsBoundedOffTheWindowsThread) {
    const std::string tool = kFolder + "\\Sandel.exe";
    struct Case {
        const char* label;
        bool hang, refuse;
        std::uint32_t firstTryMs;  // a cache-only try refused for the root; the fetch never ends
        int exitAtPump;            // 0: no Exit
        bool ended;
        std::string box;
        int fetches;
    };
    const std::string timeout = results::boxText(results::kSignTimeoutErr);
    for (const Case& c : {
             Case{"outlastsItsBound", true, false, 0, 0, false, timeout, 0},
             Case{"noThread", false, true, 0, 0, false, timeout, 0},
             Case{"exitWhileChecking", true, false, 0, 20, true, "", 0},
             Case{"fetchOutlastsTheRestOfTheBound", false, false, 40000, 0, false,
                  results::boxText(results::kRootErr), 1},
             Case{"exitWhileFetching", false, false, 40000, 20, true, "", 1},
             Case{"firstTryOutlastsTheBound", false, false, 61000, 0, false, timeout, 0},
         }) {
        SCOPED_TRACE(c.label);
        checkThreads_.hang = c.hang;
        checkThreads_.refuse = c.refuse;
        launcher_.check = nullptr;
        if (c.firstTryMs > 0)
            launcher_.check = [&](const std::string&, bool held, bool fetching) {
                if (!held)
                    return kSignedByUs;
                if (fetching)
                    throw CheckNeverReturns{};
                clock_.now += c.firstTryMs;
                return app::SignatureCheck{app::kTrustUntrustedRoot, kPublisher};
            };
        prepare();
        std::vector<std::string> captions;  // at each pump after the three downloads
        runtime_.onDoEvents = [&](int) {
            if (downloads_.size() < 3)
                return;
            captions.push_back(frm_.control("ProgressCap").text());
            if (static_cast<int>(captions.size()) == c.exitAtPump)
                click("cmdExit");
        };
        const std::uint32_t before = clock_.nowMs();
        EXPECT_EQ(pressOK(), c.ended);
        runtime_.onDoEvents = nullptr;
        checkThreads_.kept.clear();  // the abandoned check lets go of the tool
        launcher_.check = nullptr;
        EXPECT_EQ(count("start "), 0);
        EXPECT_EQ(count("verify held fetching"), c.fetches);
        const bool waits = c.hang || c.fetches > 0;
        if (waits) {
            // Pumped once per frame from the first wait on.
            ASSERT_FALSE(captions.empty());
            EXPECT_EQ(captions.front(), "Dang kiem tra Sandel.exe ...");
            EXPECT_GE(static_cast<int>(captions.size()),
                      c.ended ? c.exitAtPump : (60000 - int(c.firstTryMs)) / 33);
        }
        if (c.ended) {
            EXPECT_EQ(count("end 1"), 1);
            EXPECT_TRUE(runtime_.boxes.empty());
            continue;
        }
        const std::uint32_t bound = std::max(60000u, c.firstTryMs);
        EXPECT_LE(clock_.nowMs() - before, waits ? bound + 33u : c.firstTryMs);
        EXPECT_GE(clock_.nowMs() - before, waits ? bound : c.firstTryMs);
        expectOneBox(c.box);
        EXPECT_EQ(frm_.control("ProgressCap").text(), "");  // the last download's caption
        EXPECT_EQ(count("delete " + tool), 0);
        expectIdleOnUpgradeScreen();
    }
}

}  // namespace
