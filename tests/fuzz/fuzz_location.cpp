// Location resolution against the current URL, twice in a row as a chain of redirects goes: a
// resolved Location is an absolute http(s) URL with a host, without a fragment or control
// characters; a reference without a scheme keeps the current scheme; a relative path has no
// dot segments left and keeps its trailing slash when it ends in one. (That a redirect from
// https to http is never followed, fuzz_http_answer checks on the requests sent.)
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "download/http_rules.h"
#include "fuzz_check.h"

namespace {

std::string lowerScheme(const std::string& url) {
    std::string s = url.substr(0, url.find("://"));
    for (char& c : s)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return s;
}

void checkResolved(const std::string& current, const std::string& location,
                   const std::string& target) {
    const std::string scheme = lowerScheme(target);
    FUZZ_CHECK(target.find("://") != std::string::npos && (scheme == "http" || scheme == "https"));
    // The host follows the user information, if any, and is not empty.
    const std::size_t authority = target.find("://") + 3;
    const std::size_t authorityEnd = std::min(target.find_first_of("/?", authority), target.size());
    const std::size_t at = target.rfind('@', authorityEnd - 1);
    const std::size_t host = at != std::string::npos && at >= authority ? at + 1 : authority;
    FUZZ_CHECK(host < authorityEnd && target[host] != ':');
    FUZZ_CHECK(target.find('#') == std::string::npos);
    for (const char c : target)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);

    const std::size_t start = location.find_first_not_of(" \t");
    const std::string loc = location.substr(start);
    const std::size_t colon = loc.find(':');
    const bool hasScheme = colon != std::string::npos && colon < loc.find_first_of("/?#");
    if (!hasScheme)
        FUZZ_CHECK(scheme == lowerScheme(current));
    const std::string refPath = loc.substr(0, loc.find_first_of("?#"));
    if (hasScheme || loc.rfind("//", 0) == 0 || refPath.empty())
        return;
    // A relative reference: the path is resolved.
    const std::size_t pathStart = target.find_first_of("/?", authority);
    const std::string path = target.substr(pathStart, target.find('?', authority) - pathStart);
    FUZZ_CHECK(path.find("/./") == std::string::npos && path.find("/../") == std::string::npos);
    for (const char* dots : {"/.", "/..", ".", ".."}) {
        const std::string d = dots;
        if (refPath == d || (refPath.size() > d.size() && d[0] == '/' &&
                             refPath.compare(refPath.size() - d.size(), d.size(), d) == 0))
            FUZZ_CHECK(!path.empty() && path.back() == '/');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static const char* const kStarts[] = {"https://h.vn/Sandel/a/Sandel.exe?x=1",
                                          "http://h.vn:8080/Sandel/Sandel.exe", "https://h.vn",
                                          "HTTPS://user@h.vn/a/b/"};
    std::string current = kStarts[in.ConsumeIntegralInRange<int>(0, 3)];
    for (int hop = 0; hop < 2 && in.remaining_bytes() > 0; ++hop) {
        const std::string location = in.ConsumeRandomLengthString(200);
        const std::optional<std::string> next = download::resolveLocation(current, location);
        if (!next)
            return 0;
        checkResolved(current, location, *next);
        // Resolving the result again changes nothing (but blanks that stood before a fragment,
        // kept at the end of the result, are trimmed then).
        if (next->back() != ' ' && next->back() != '\t')
            FUZZ_CHECK(download::resolveLocation(current, *next) == *next);
        current = *next;
    }
    return 0;
}
