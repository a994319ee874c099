// The folder picker against a scripted shell: what the dialog is asked for, what comes back in
// each outcome, and that every item list the shell hands out is released.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "shell/mod_open_dir.h"

namespace {

struct FakeShell : shell::ShellApi {
    long rootResult = 0;
    shell::ItemList chosen = 0x2000;
    bool hasPath = true;
    std::string pathAnswer = "C:\\Work";
    std::string displayAnswer = "Work";
    bool browseThrows = false;

    int rootFolderAsked = -1;
    std::uintptr_t rootOwner = 99;
    shell::BrowseInfo seen;
    std::string displayBufferSeen;
    std::string pathBufferSeen;
    int browseCalls = 0;
    std::multiset<shell::ItemList> handedOut, freed;

    long getSpecialFolderLocation(std::uintptr_t owner, int folder,
                                  shell::ItemList& item) override {
        rootOwner = owner;
        rootFolderAsked = folder;
        if (rootResult != 0)
            return rootResult;
        item = 0x1000;
        handedOut.insert(item);
        return 0;
    }
    shell::ItemList browseForFolder(shell::BrowseInfo& info) override {
        ++browseCalls;
        seen = info;
        displayBufferSeen = *info.pszDisplayName;
        if (browseThrows)
            throw std::runtime_error("shell failure");
        if (!chosen)
            return 0;
        // Like the W call: the name, then the buffer's NULs.
        info.pszDisplayName->replace(0, displayAnswer.size(), displayAnswer);
        handedOut.insert(chosen);
        return chosen;
    }
    bool getPathFromIDList(shell::ItemList, std::string& path) override {
        pathBufferSeen = path;
        if (!hasPath)
            return false;
        path.replace(0, pathAnswer.size(), pathAnswer);
        return true;
    }
    void freeItemList(shell::ItemList item) override { freed.insert(item); }
};

TEST(SelectFolder, AsksForFileSystemFoldersUnderTheDesktopWithoutOwner) {
    FakeShell fake;
    EXPECT_EQ(shell::SelectFolder(fake), "C:\\Work");
    EXPECT_EQ(fake.rootFolderAsked, 0);  // CSIDL_DESKTOP
    EXPECT_EQ(fake.rootOwner, 0u);
    EXPECT_EQ(fake.seen.hwndOwner, 0u);
    EXPECT_EQ(fake.seen.pidlRoot, 0x1000u);
    EXPECT_EQ(fake.seen.lpszTitle, "Select a folder:");
    EXPECT_EQ(fake.seen.ulFlags, 1u);  // BIF_RETURNONLYFSDIRS
    EXPECT_EQ(fake.seen.iImage, 0);
    EXPECT_EQ(fake.displayBufferSeen, std::string(260, '\0'));
    EXPECT_EQ(fake.pathBufferSeen, std::string(260, '\0'));
    EXPECT_EQ(fake.freed, fake.handedOut);
}

TEST(SelectFolder, AFailureInsideGivesEmptyAndStillReleasesTheRoot) {
    FakeShell fake;
    fake.browseThrows = true;
    EXPECT_EQ(shell::SelectFolder(fake), "");
    EXPECT_EQ(fake.freed, fake.handedOut);
    EXPECT_EQ(fake.freed.count(0x1000), 1u);
}

struct BrowseCase {
    const char* what;
    long rootResult;
    shell::ItemList chosen;
    bool hasPath;
    std::string pathAnswer;
    std::string expected;      // result
    std::string expectedPath;  // the path argument afterwards; it came in as "D:\\Before"
};

class BrowseFolderOutcome : public ::testing::TestWithParam<BrowseCase> {};

TEST_P(BrowseFolderOutcome, ReturnsAndStores) {
    const BrowseCase& c = GetParam();
    FakeShell fake;
    fake.rootResult = c.rootResult;
    fake.chosen = c.chosen;
    fake.hasPath = c.hasPath;
    fake.pathAnswer = c.pathAnswer;
    std::string path = "D:\\Before";
    const std::string result = shell::BrowseFolder(fake, 5, 0x41, path, 0x77, "Title");
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(result.size(), c.expected.size());  // nothing after the text, no NULs
    EXPECT_EQ(path, c.expectedPath);
    EXPECT_EQ(fake.freed, fake.handedOut);
    if (c.rootResult == 0) {
        EXPECT_EQ(fake.seen.hwndOwner, 0x77u);
        EXPECT_EQ(fake.seen.ulFlags, 0x41u);
        EXPECT_EQ(fake.seen.lpszTitle, "Title");
        EXPECT_EQ(fake.rootFolderAsked, 5);
    } else {
        EXPECT_EQ(fake.browseCalls, 0);  // the dialog is not shown
    }
}

// 3 + 256 = 259 characters, the longest path the 260-character buffer holds.
const std::string k259 = "C:\\" + std::string(256, 'x');

INSTANTIATE_TEST_SUITE_P(
    Outcomes, BrowseFolderOutcome,
    ::testing::Values(BrowseCase{"Confirmed", 0, 0x2000, true, "C:\\Work", "C:\\Work", "C:\\Work"},
                      BrowseCase{"RootUnresolved", static_cast<long>(0x80004005), 0x2000, true,
                                 "C:\\Work", "D:\\Before", "D:\\Before"},
                      BrowseCase{"Cancelled", 0, 0, true, "C:\\Work", "", "D:\\Before"},
                      BrowseCase{"NoFileSystemPath", 0, 0x2000, false, "", "Work", "Work"},
                      BrowseCase{"PathOf259Characters", 0, 0x2000, true, k259, k259, k259},
                      BrowseCase{"NonAsciiFolder", 0, 0x2000, true,
                                 "C:\\D\xe1\xbb\xaf li\xe1\xbb\x87u",
                                 "C:\\D\xe1\xbb\xaf li\xe1\xbb\x87u",
                                 "C:\\D\xe1\xbb\xaf li\xe1\xbb\x87u"}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
