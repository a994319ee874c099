// The customer code in the package's URL: a code the sequence accepts becomes exactly one path
// segment that is neither "." nor "..", holds no "/" or "\", and still does so once a server has
// decoded it; decoding gives the code back.
#include <cstdint>
#include <string>

#include "app/upgrade_layout.h"
#include "app/url_segment.h"
#include "fuzz_check.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isSegmentSafe(const std::string& segment) {
    return !segment.empty() && segment != "." && segment != ".." &&
           segment.find_first_of("/\\") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string code(reinterpret_cast<const char*>(data), size);
    if (app::leavesItsFolder(code)) {
        FUZZ_CHECK(!isSegmentSafe(code));
        return 0;
    }
    const std::string encoded = app::percentEncodeSegment(code);
    FUZZ_CHECK(app::customerPackageRemotePath(code) == "/Sandel/" + encoded + "/Norvik.rar");
    FUZZ_CHECK(isSegmentSafe(encoded));

    std::string decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        FUZZ_CHECK(c != '%' || (i + 2 < encoded.size() && hexValue(encoded[i + 1]) >= 0 &&
                                hexValue(encoded[i + 2]) >= 0));
        if (c == '%') {
            decoded.push_back(
                static_cast<char>(hexValue(encoded[i + 1]) * 16 + hexValue(encoded[i + 2])));
            i += 2;
        } else {
            FUZZ_CHECK((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~');
            decoded.push_back(c);
        }
    }
    FUZZ_CHECK(decoded == code);
    FUZZ_CHECK(isSegmentSafe(decoded));
    return 0;
}
