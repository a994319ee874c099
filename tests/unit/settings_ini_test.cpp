// The INI class against a fake profile store.
#include <gtest/gtest.h>

#include <string>

#include "fake_profile.h"
#include "settings/cls_ini.h"

namespace {

using testsupport::FakeProfile;

TEST(ClsSkin, NewObjectPointsAtTheWindowsDirectory) {
    FakeProfile p;
    settings::ClsSkin ini(p);
    EXPECT_EQ(ini.WindowsPath(), "C:\\windows");
    EXPECT_EQ(ini.INIPath(), "C:\\windows");
    EXPECT_EQ(ini.FileName(), "");
    EXPECT_THROW(ini.ReadINI("s", "k"), settings::IniError);
    EXPECT_EQ(p.lastFile, "C:\\windows\\");
}

TEST(ClsSkin, RoundTripAddressesPathBackslashName) {
    FakeProfile p;
    settings::ClsSkin ini(p);
    ini.INIPath("D:\\Data");
    ini.FileName("app.ini");
    const std::string longValue(1000, 'v');
    ini.WriteINI("Main", "Key", longValue);
    EXPECT_EQ(p.lastFile, "D:\\Data\\app.ini");
    EXPECT_EQ(ini.ReadINI("Main", "Key"), longValue);
}

TEST(ClsSkin, ErrorsCarryNumberSourceAndDescription) {
    FakeProfile p;
    settings::ClsSkin ini(p);
    ini.FileName("app.ini");
    p.entries[{"S", "empty", "C:\\windows\\app.ini"}] = "";
    for (const char* key : {"missing", "empty"}) {
        try {
            ini.ReadINI("S", key);
            FAIL() << key;
        } catch (const settings::IniError& e) {
            EXPECT_EQ(e.number(), 10000);
            EXPECT_EQ(e.source(), "ReadFrom()");
            EXPECT_EQ(e.description(), "Unable To read ini file entry.");
        }
    }
    p.refuseWrites = true;
    try {
        ini.WriteINI("S", "k", "v");
        FAIL();
    } catch (const settings::IniError& e) {
        EXPECT_EQ(e.number(), 10002);
        EXPECT_EQ(e.source(), "WriteTo()");
        EXPECT_EQ(e.description(), "There was a critical Error writing to the app.ini file.");
    }
    p.throwOnWindows = true;
    try {
        settings::ClsSkin broken(p);
        FAIL();
    } catch (const settings::IniError& e) {
        EXPECT_EQ(e.number(), 10001);
        EXPECT_EQ(e.source(), "clsINI.cls");
        EXPECT_EQ(e.description(), "Unable To read the windows path.");
    }
}

TEST(ClsSkin, FailedWindowsPathLeavesItEmpty) {
    FakeProfile p;
    p.windows = "";
    settings::ClsSkin ini(p);
    EXPECT_EQ(ini.WindowsPath(), "");
    EXPECT_EQ(ini.INIPath(), "");
}

}  // namespace
