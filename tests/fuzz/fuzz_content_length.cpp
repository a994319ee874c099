// Content-Length as the engine reads it: a byte count exactly when the text is decimal digits
// (blanks around them allowed) whose value fits in 63 bits, and then that value.
#include <cstdint>
#include <string>

#include "download/http_rules.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int64_t> value = download::parseContentLength(text);

    const std::size_t first = text.find_first_not_of(" \t");
    const std::string digits = first == std::string::npos
                                   ? ""
                                   : text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    bool allDigits = !digits.empty();
    for (const char c : digits)
        allDigits = allDigits && c >= '0' && c <= '9';
    const std::size_t lead = digits.find_first_not_of('0');
    const std::string significant = lead == std::string::npos ? "0" : digits.substr(lead);
    const std::string max = "9223372036854775807";
    const bool fits =
        significant.size() < max.size() || (significant.size() == max.size() && significant <= max);

    FUZZ_CHECK(value.has_value() == (allDigits && fits));
    if (value) {
        FUZZ_CHECK(*value >= 0);
        FUZZ_CHECK(std::to_string(*value) == significant);
    }
    return 0;
}
