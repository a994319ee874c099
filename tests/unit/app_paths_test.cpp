// The customer code as a URL segment and the plain-file decision on attribute masks.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/file_attributes.h"
#include "app/url_segment.h"

namespace {

struct EncodeCase {
    std::string in;
    std::string out;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
    *os << '"' << c.in << '"';
}

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

TEST(AppCustomerCode, DotSegmentsSeparatorsAndEmptyCannotNameACustomerFolder) {
    for (const char* bad : {"", ".", "..", "../x", "..\\x", "a/b", "/", "\\", "KH01/"})
        EXPECT_TRUE(app::leavesItsFolder(bad)) << bad;
    for (const char* good : {"...", ".a", "a.", " ", "x", "KH 01", "a?b#c", "x%2Fy"})
        EXPECT_FALSE(app::leavesItsFolder(good)) << good;
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
