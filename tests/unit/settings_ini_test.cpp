// The INI class against a fake profile store.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>

#include "settings/cls_ini.h"

namespace {

class FakeProfile : public settings::ProfileApi {
  public:
    std::string windows = "C:\\windows";
    bool throwOnWindows = false;
    bool refuseWrites = false;
    std::map<std::string, std::string> entries;  // file|section|key -> value
    std::string lastFile;

    std::string windowsDirectory() override {
        if (throwOnWindows)
            throw std::runtime_error("no");
        return windows;
    }
    std::string readString(const std::string& s, const std::string& k,
                           const std::string& f) override {
        lastFile = f;
        auto it = entries.find(f + "|" + s + "|" + k);
        return it == entries.end() ? "" : it->second;
    }
    bool writeString(const std::string& s, const std::string& k, const std::string& v,
                     const std::string& f) override {
        lastFile = f;
        if (refuseWrites)
            return false;
        entries[f + "|" + s + "|" + k] = v;
        return true;
    }
};

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
    p.entries["C:\\windows\\app.ini|S|empty"] = "";
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
