// Content-Range of a resumed answer: whatever the texts and validators, an answer the engine joins
// to the partial file lies inside the file, starts where the partial file ends or earlier (the
// overlap skipped), announces exactly the bytes up to the file's end and carries the first
// answer's validator, which is strong: a strong ETag, or with no ETag at all a Last-Modified at
// least 60 s before a readable Date.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "download/http_date.h"
#include "download/http_rules.h"
#include "fuzz_check.h"

namespace {
std::optional<std::string> maybe(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? std::optional<std::string>(in.ConsumeRandomLengthString(40))
                            : std::nullopt;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    // The engine resumes a file of a parsed, non-negative length from inside it.
    const std::int64_t total = in.ConsumeIntegralInRange<std::int64_t>(0, INT64_MAX);
    const std::int64_t offset = in.ConsumeIntegralInRange<std::int64_t>(0, total);
    const std::optional<std::string> ranges = maybe(in), etag = maybe(in), lastModified = maybe(in),
                                     date = maybe(in);
    const download::Validator first = download::resumeValidator(ranges, etag, lastModified, date);
    if (!first.empty() && !first.etag) {
        FUZZ_CHECK(!etag && lastModified == first.text && date);
        FUZZ_CHECK(*download::parseHttpDate(*date) - *download::parseHttpDate(*lastModified) >=
                   download::kStrongDateSeconds);
    }
    download::RangeAnswer answer;
    if (in.ConsumeBool())
        answer.contentLength = in.ConsumeIntegral<std::int64_t>();
    answer.etag = maybe(in);
    answer.lastModified = maybe(in);
    answer.contentRange = in.ConsumeRemainingBytesAsString();

    const std::optional<download::ContentRange> range =
        download::parseContentRange(*answer.contentRange);
    if (range)
        FUZZ_CHECK(range->first >= 0 && range->last >= 0 && range->total >= 0);
    if (const std::optional<std::int64_t> overlap =
            download::resumeOverlap(answer, offset, total, first)) {
        FUZZ_CHECK(range && *overlap == offset - range->first && *overlap >= 0);
        FUZZ_CHECK(range->first <= range->last && range->last < total);
        FUZZ_CHECK(range->total == total);
        FUZZ_CHECK(*answer.contentLength == range->last - range->first + 1);
        FUZZ_CHECK(!first.empty() && (!first.etag || first.text.rfind("W/", 0) != 0));
        FUZZ_CHECK((first.etag ? answer.etag : answer.lastModified) == first.text);
    }
    return 0;
}
