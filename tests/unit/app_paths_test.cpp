// Server and disk paths of the upgrade, the customer code as a URL segment, the plain-file test
// on attribute masks and the choice of scheme.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/file_attributes.h"
#include "app/upgrade_layout.h"
#include "app/url_segment.h"

namespace {

struct EncodeCase {
    std::string in;
    std::string out;
};

class AppUrlSegment : public testing::TestWithParam<EncodeCase> {};

TEST_P(AppUrlSegment, KeepsUnreservedAndEncodesEveryOtherByte) {
    EXPECT_EQ(app::percentEncodeSegment(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(AppEncoding, AppUrlSegment,
                         testing::Values(EncodeCase{"", ""}, EncodeCase{"KH001", "KH001"},
                                         EncodeCase{"azAZ09-._~", "azAZ09-._~"},
                                         EncodeCase{"a b", "a%20b"}, EncodeCase{"../x", "..%2Fx"},
                                         EncodeCase{"a\\b", "a%5Cb"},
                                         EncodeCase{"a?b#c", "a%3Fb%23c"},
                                         EncodeCase{"100%", "100%25"}, EncodeCase{"%2F", "%252F"},
                                         EncodeCase{"a+b=c&d", "a%2Bb%3Dc%26d"},
                                         EncodeCase{"x:y@z;", "x%3Ay%40z%3B"},
                                         // UTF-8 bytes, upper-case hex: "Đà"
                                         EncodeCase{"\xC4\x90\xC3\xA0", "%C4%90%C3%A0"},
                                         EncodeCase{std::string("a\0b", 3), "a%00b"},
                                         EncodeCase{"\t\r\n\x7F", "%09%0D%0A%7F"}));

TEST(AppCustomerCode, DotSegmentsAndEmptyCannotNameACustomerFolder) {
    for (const char* bad : {"", ".", ".."})
        EXPECT_TRUE(app::isDotOrEmptySegment(bad)) << bad;
    for (const char* good : {"...", ".a", "a.", " ", "x"})
        EXPECT_FALSE(app::isDotOrEmptySegment(good)) << good;
}

TEST(AppLayout, CustomerPackageStaysInItsFolderOnTheServer) {
    EXPECT_EQ(app::customerPackageRemotePath("KH 01"), "/Sandel/KH%2001/Norvik.rar");
    EXPECT_EQ(app::customerPackageRemotePath("../../etc"), "/Sandel/..%2F..%2Fetc/Norvik.rar");
    EXPECT_EQ(app::customerPackageRemotePath("a?x=1#y"), "/Sandel/a%3Fx%3D1%23y/Norvik.rar");
}

TEST(AppLayout, LocalPathsAppendToTheFolderAsTyped) {
    struct Case {
        std::string folder, tool, temp, sys, pkg, info, dll;
    };
    for (const Case& c : {
             Case{"C:\\Norvik", "C:\\Norvik\\Sandel.exe", "C:\\Norvik\\NorvikSandelTemp",
                  "C:\\Norvik\\NorvikSandelTemp\\Norvik_sys.rar",
                  "C:\\Norvik\\NorvikSandelTemp\\Norvik.rar", "C:\\Norvik\\Report\\Info.xml",
                  "C:\\Norvik\\Norvik.dll"},
             // A drive root keeps its backslash: two in a row.
             Case{"D:\\", "D:\\\\Sandel.exe", "D:\\\\NorvikSandelTemp",
                  "D:\\\\NorvikSandelTemp\\Norvik_sys.rar", "D:\\\\NorvikSandelTemp\\Norvik.rar",
                  "D:\\\\Report\\Info.xml", "D:\\\\Norvik.dll"},
         }) {
        EXPECT_EQ(app::toolLocalPath(c.folder), c.tool);
        EXPECT_EQ(app::tempFolderPath(c.folder), c.temp);
        EXPECT_EQ(app::systemPackageLocalPath(c.folder), c.sys);
        EXPECT_EQ(app::customerPackageLocalPath(c.folder), c.pkg);
        EXPECT_EQ(app::infoMarkerPath(c.folder), c.info);
        EXPECT_EQ(app::dllMarkerPath(c.folder), c.dll);
    }
}

TEST(AppLayout, OnlyWindows2000UsesPlainHttp) {
    EXPECT_EQ(app::baseUrlFor("Windows 2000", "update.example"), "http://update.example");
    for (const char* name : {"Windows XP", "Windows 7", "Windows 10", "Windows 98", "",
                             "windows 2000", "Windows 2000 ", " Windows 2000", "Windows 2000x"})
        EXPECT_EQ(app::baseUrlFor(name, "h:8443"), "https://h:8443") << '"' << name << '"';
}

TEST(AppFileAttributes, PlainFilesAreOrdinaryReadOnlyOrArchive) {
    using namespace app;
    struct Case {
        std::uint32_t attrs;
        bool plain;
    };
    for (const Case& c :
         {Case{kAttrNormal, true}, Case{kAttrArchive, true}, Case{kAttrReadOnly, true},
          Case{kAttrReadOnly | kAttrArchive, true}, Case{0x2000 /* not content indexed */, true},
          Case{kAttrInvalid, false}, Case{kAttrDirectory, false},
          Case{kAttrDirectory | kAttrReadOnly, false}, Case{kAttrHidden, false},
          Case{kAttrSystem, false}, Case{kAttrHidden | kAttrArchive, false},
          Case{kAttrSystem | kAttrReadOnly, false}})
        EXPECT_EQ(isPlainFileAttributes(c.attrs), c.plain) << std::hex << c.attrs;
}

}  // namespace
