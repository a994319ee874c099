// The upgrade sequence's real file system and process start, on real files.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/win32/drive_names.h"
#include "app/win32/platform.h"
#include "common/win32/unique_handle.h"
#include "win_test_support.h"

namespace {

using wintest::TempFolder;

struct SnapshotTraits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { CloseHandle(h); }
};

// Whether a process whose program file is named `exeName` is running.
bool isRunning(const std::wstring& exeName) {
    norvik::win32::UniqueHandle<SnapshotTraits> snapshot(
        CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return true;  // cannot tell: keep waiting
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry))
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0)
            return true;
    return false;
}

// Polls until no process of that program file runs; false when `timeoutMs` has passed first.
bool waitUntilEnded(const std::wstring& exeName, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (isRunning(exeName)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

void setAttributes(const std::string& path, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(norvik::win32::toWide(path).c_str(), attributes));
}

TEST(AppPlatformWin, PlainFilesAreOrdinaryReadOnlyOrArchiveOnly) {
    TempFolder dir("-attributes Đà");
    app::FileSystem& fs = app::win32::realFileSystem();
    struct Case {
        const char* name;
        DWORD attributes;
        bool plain;
    };
    for (const Case& c : {Case{"normal.dll", FILE_ATTRIBUTE_NORMAL, true},
                          Case{"readonly.dll", FILE_ATTRIBUTE_READONLY, true},
                          Case{"archive.dll", FILE_ATTRIBUTE_ARCHIVE, true},
                          Case{"hidden.dll", FILE_ATTRIBUTE_HIDDEN, false},
                          Case{"system.dll", FILE_ATTRIBUTE_SYSTEM, false}}) {
        const std::string path = dir.file(c.name);
        ASSERT_TRUE(wintest::writeAll(path, "x"));
        setAttributes(path, c.attributes);
        EXPECT_EQ(fs.isPlainFile(path), c.plain) << c.name;
        EXPECT_TRUE(fs.exists(path)) << c.name;
        setAttributes(path, FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_FALSE(fs.isPlainFile(dir.path()));
    EXPECT_TRUE(fs.exists(dir.path()));
    EXPECT_FALSE(fs.isPlainFile(dir.file("missing.dll")));
    EXPECT_FALSE(fs.exists(dir.file("missing.dll")));
    EXPECT_FALSE(fs.isPlainFile(dir.file("bad<name>?.dll")));
}

TEST(AppPlatformWin, AReadOnlyFileIsNotDeleted) {
    TempFolder dir;
    app::FileSystem& fs = app::win32::realFileSystem();
    const std::string locked = dir.file("Sandel.exe");
    ASSERT_TRUE(wintest::writeAll(locked, "old tool"));
    setAttributes(locked, FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(fs.deleteFile(locked));
    EXPECT_EQ(wintest::readAll(locked), std::optional<std::string>("old tool"));
    setAttributes(locked, FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(fs.deleteFile(locked));
    EXPECT_FALSE(fs.exists(locked));
}

// A file can be replaced only when it is writable and no other handle has it open, whatever
// sharing that handle allows (a rename onto an open file fails under Wine even then).
TEST(AppPlatformWin, AFileCanBeReplacedOnlyWhenWritableAndNotOpenElsewhere) {
    TempFolder dir;
    app::FileSystem& fs = app::win32::realFileSystem();
    const std::string tool = dir.file("Sandel.exe");
    ASSERT_TRUE(wintest::writeAll(tool, "old tool"));
    struct Case {
        const char* label;
        DWORD attributes;
        DWORD openSharing;  // ~0u: not open elsewhere
        bool replaceable;
    };
    for (const Case& c : {Case{"plain", FILE_ATTRIBUTE_NORMAL, ~0u, true},
                          Case{"readOnly", FILE_ATTRIBUTE_READONLY, ~0u, false},
                          Case{"openSharingAll", FILE_ATTRIBUTE_NORMAL,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
                          Case{"openSharingRead", FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, false}}) {
        SCOPED_TRACE(c.label);
        setAttributes(tool, c.attributes);
        HANDLE other = INVALID_HANDLE_VALUE;
        if (c.openSharing != ~0u)
            other = CreateFileW(norvik::win32::toWide(tool).c_str(), GENERIC_READ, c.openSharing,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(fs.canReplace(tool), c.replaceable);
        if (other != INVALID_HANDLE_VALUE)
            CloseHandle(other);
        setAttributes(tool, FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(wintest::readAll(tool), std::optional<std::string>("old tool"));
    }
}

TEST(AppPlatformWin, CreatesOneFolderLevel) {
    TempFolder dir;
    app::FileSystem& fs = app::win32::realFileSystem();
    EXPECT_TRUE(fs.createFolder(dir.file("NorvikSandelTemp")));
    EXPECT_TRUE(fs.exists(dir.file("NorvikSandelTemp")));
    EXPECT_FALSE(fs.createFolder(dir.file("a\\b")));
}

TEST(AppPlatformWin, StartsOnlyARealProgramAndKeepsTheErrorCode) {
    TempFolder dir("-start with spaces");
    app::ProcessLauncher& launcher = app::win32::realProcessLauncher();
    EXPECT_EQ(launcher.start(dir.file("missing.exe")),
              static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    const app::HoldResult missing = launcher.hold(dir.file("missing.exe"));
    EXPECT_EQ(missing.program, nullptr);
    EXPECT_EQ(missing.error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    const std::string notAProgram = dir.file("Sandel.exe");
    ASSERT_TRUE(wintest::writeAll(notAProgram, "this is not a program"));
    EXPECT_NE(launcher.start(notAProgram), 0u);

    // A real program in a folder whose name has spaces starts (and ends by itself), also while
    // it is held for its start.
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring probe = self;
    probe = probe.substr(0, probe.find_last_of(L"\\/") + 1) + L"version_probe.exe";
    const std::string copy = dir.file("probe copy.exe");
    ASSERT_TRUE(CopyFileW(probe.c_str(), norvik::win32::toWide(copy).c_str(), FALSE));
    {
        const app::HoldResult held = launcher.hold(copy);
        ASSERT_NE(held.program, nullptr);
        EXPECT_EQ(launcher.start(copy), 0u);
    }
    // The folder can be removed only once the program has ended.
    EXPECT_TRUE(waitUntilEnded(L"probe copy.exe", 10000));
    // The working folder handed to an elevated start.
    wchar_t own[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, own), 0u);
    EXPECT_EQ(launcher.workingFolder(), norvik::win32::toUtf8(own));
}

// Drive letters as this process sees them. Wine has no network drives and its elevation differs
// from Windows' (the decisions on them are tested through the seams): a local drive is neither
// missing nor remote and has no network name, a letter without a drive has no root.
TEST(AppPlatformWin, DriveNamesOfALocalAndAMissingDrive) {
    using Kind = app::DriveNames::Kind;
    app::DriveNames& drives = app::win32::realDriveNames();
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 2u);
    const std::string drive = norvik::win32::toUtf8(std::wstring(system, 2));
    EXPECT_EQ(drives.kindOf(drive + "\\"), Kind::Other);
    EXPECT_EQ(drives.universalName(drive + "\\Norvik\\Sandel.exe"), "");
    EXPECT_EQ(drives.connectionOf(drive), "");
    const DWORD used = GetLogicalDrives();
    for (char letter = 'Y'; letter > 'D'; --letter)
        if (!(used & (1u << (letter - 'A')))) {
            EXPECT_EQ(drives.kindOf(std::string(1, letter) + ":\\"), Kind::NoRootDir) << letter;
            break;
        }
    std::printf("runsElevated under this Windows: %d\n", drives.runsElevated() ? 1 : 0);
}

}  // namespace
