// The web-page test of a 2xx answer, on any Content-Type and first bytes, read in pieces as they
// arrive: a body that starts with "<" after an optional byte-order mark and white space, or an
// HTML type, is a page; an archive or a program (which cannot start so) never is; bytes that
// cannot tell yet are judged the same once more bytes arrive, and the sniff that reads on piece
// by piece judges as the whole-buffer test does; a resumed body is judged by its
// type alone.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "download/http_rules.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::optional<std::string> type =
        in.ConsumeBool() ? std::optional<std::string>(in.ConsumeRandomLengthString(40))
                         : std::nullopt;
    // Lengths (less one) of the pieces the body arrives in, used in turn.
    const std::string pieces = in.ConsumeRandomLengthString(8);
    const std::string body = in.ConsumeRemainingBytesAsString();

    const bool typedPage = download::isWebPage(type, {}, false);
    FUZZ_CHECK(download::isWebPage(type, body, false) == typedPage);
    const bool page = download::isWebPage(type, body, true);
    FUZZ_CHECK(!typedPage || page);

    // The reference: skip a whole UTF-8 byte-order mark, then HTML white space.
    std::size_t i = body.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\n' ||
                               body[i] == '\r' || body[i] == '\f'))
        ++i;
    const bool startsWithTag = i < body.size() && body[i] == '<';
    if (!typedPage)
        FUZZ_CHECK(page == startsWithTag);
    if (body.rfind("Rar!", 0) == 0 || body.rfind("MZ", 0) == 0)
        FUZZ_CHECK(page == typedPage);

    // Read in two pieces: while the first cannot tell, the whole decides; once it can, the whole
    // says the same.
    const std::string head = body.substr(0, body.size() / 2);
    if (!download::firstBytesUndecided(head))
        FUZZ_CHECK(download::isWebPage(type, head, true) == page);
    if (download::firstBytesUndecided(body))
        FUZZ_CHECK(!startsWithTag);

    // Read in any pieces: the sniff that remembers how far it looked says what the whole-buffer
    // test says of the bytes so far, after every piece.
    download::PageSniff sniff;
    std::size_t have = 0;
    for (std::size_t k = 0;; ++k) {
        const std::string_view so_far = std::string_view(body).substr(0, have);
        FUZZ_CHECK(sniff.undecided(so_far) == download::firstBytesUndecided(so_far));
        if (have == body.size())
            break;
        const std::size_t piece =
            pieces.empty() ? 1 : 1u + static_cast<unsigned char>(pieces[k % pieces.size()]);
        have = std::min(body.size(), have + piece);
    }
    return 0;
}
