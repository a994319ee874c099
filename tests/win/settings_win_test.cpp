// The INI class over the real profile functions, in a temporary folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "settings/cls_ini.h"
#include "settings/win32/profile_win32.h"
#include "win_test_support.h"

namespace {

int errorNumber(const std::function<void()>& f, std::string* description = nullptr) {
    try {
        f();
    } catch (const settings::IniError& e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}

TEST(WinIni, NewObjectUsesTheWindowsDirectory) {
    settings::win32::Win32ProfileApi api;
    settings::ClsSkin ini(api);
    wchar_t dir[MAX_PATH];
    const UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
    EXPECT_EQ(ini.WindowsPath(), wintest::toUtf8(std::wstring(dir, n)));
    EXPECT_EQ(ini.INIPath(), ini.WindowsPath());
    EXPECT_EQ(ini.FileName(), "");
    EXPECT_EQ(errorNumber([&] { ini.ReadINI("boot", "shell"); }), 10000);
}

TEST(WinIni, RoundTripsIncludingLongAndEmptyValues) {
    wintest::TempFolder dir;
    settings::win32::Win32ProfileApi api;
    settings::ClsSkin ini(api);
    ini.INIPath(dir.path());
    ini.FileName("app.ini");
    ini.WriteINI("Skin", "Name", "Blue");
    EXPECT_EQ(ini.ReadINI("Skin", "Name"), "Blue");
    ini.WriteINI("Skin", "Name", "Green");  // replaced
    EXPECT_EQ(ini.ReadINI("Skin", "Name"), "Green");
    for (std::size_t len : {254u, 255u, 256u, 1000u, 5000u}) {
        std::string value;
        for (std::size_t i = 0; i < len; ++i)
            value.push_back(static_cast<char>('a' + i % 26));
        ini.WriteINI("Long", "Value", value);
        EXPECT_EQ(ini.ReadINI("Long", "Value"), value) << len;
    }
    EXPECT_TRUE(wintest::exists(dir.file("app.ini")));

    std::string description;
    ini.WriteINI("Skin", "Empty", "");
    EXPECT_EQ(errorNumber([&] { ini.ReadINI("Skin", "Empty"); }, &description), 10000);
    EXPECT_EQ(description, "Unable To read ini file entry.");
    EXPECT_EQ(errorNumber([&] { ini.ReadINI("Skin", "Missing"); }), 10000);
    EXPECT_EQ(errorNumber([&] { ini.ReadINI("NoSection", "Name"); }), 10000);
    ini.FileName("other.ini");
    EXPECT_EQ(errorNumber([&] { ini.ReadINI("Skin", "Name"); }), 10000);
}

TEST(WinIni, WritingIntoAMissingFolderIs10002) {
    wintest::TempFolder dir;
    settings::win32::Win32ProfileApi api;
    settings::ClsSkin ini(api);
    ini.INIPath(dir.file("no\\such\\folder"));
    ini.FileName("app.ini");
    std::string description;
    EXPECT_EQ(errorNumber([&] { ini.WriteINI("S", "K", "V"); }, &description), 10002);
    EXPECT_EQ(description, "There was a critical Error writing to the app.ini file.");
    EXPECT_EQ(ini.FileName(), "app.ini");
    EXPECT_EQ(ini.INIPath(), dir.file("no\\such\\folder"));
}

}  // namespace
