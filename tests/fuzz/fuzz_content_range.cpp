// Content-Range of a resumed answer: whatever the text and the announced length, an answer the
// engine appends lies inside the file, starts exactly where the partial file ends and announces
// exactly the bytes up to the file's end.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "download/http_rules.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    // The engine resumes a file of a parsed, non-negative length from inside it.
    const std::int64_t total = in.ConsumeIntegralInRange<std::int64_t>(0, INT64_MAX);
    const std::int64_t offset = in.ConsumeIntegralInRange<std::int64_t>(0, total);
    const std::optional<std::int64_t> length =
        in.ConsumeBool() ? std::optional<std::int64_t>(in.ConsumeIntegral<std::int64_t>())
                         : std::nullopt;
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::optional<download::ContentRange> range = download::parseContentRange(text);
    if (range)
        FUZZ_CHECK(range->first >= 0 && range->last >= 0 && range->total >= 0);
    if (download::rangeAnswerFits(range, length, offset, total)) {
        FUZZ_CHECK(range->first == offset);
        FUZZ_CHECK(range->first <= range->last && range->last < total);
        FUZZ_CHECK(range->total == total);
        FUZZ_CHECK(*length == range->last - range->first + 1);
    }
    return 0;
}
