// An HTTP-date as the engine reads Date and Last-Modified: a value exactly for the three forms,
// and then one that, written again in the form it came in (the same day's name), gives the text
// back; written as an IMF-fixdate it reads as the same value.
#include <cstdint>
#include <cstdio>
#include <string>

#include "download/http_date.h"
#include "fuzz_check.h"

namespace {

struct Civil {
    std::int64_t year;
    int month, day, hour, minute, second;  // month 1-12
};

// The date of a count of seconds since 1970, independently of the reader.
Civil civilOf(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (month <= 2 ? 1 : 0),
            month,
            day,
            static_cast<int>(rest / 3600),
            static_cast<int>(rest / 60 % 60),
            static_cast<int>(rest % 60)};
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string imf(const std::string& dayName, const Civil& c) {
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04lld %02d:%02d:%02d GMT", dayName.c_str(),
                  c.day, kMonths[c.month - 1], static_cast<long long>(c.year), c.hour, c.minute,
                  c.second);
    return text;
}

std::string rfc850(const std::string& dayName, const Civil& c) {
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d-%s-%02d %02d:%02d:%02d GMT", dayName.c_str(), c.day,
                  kMonths[c.month - 1], static_cast<int>(c.year % 100), c.hour, c.minute, c.second);
    return text;
}

// A day below 10 after a blank, or with a leading zero (both are two characters).
std::string asctime(const std::string& dayName, const Civil& c, bool zeroDay) {
    char text[64];
    std::snprintf(text, sizeof text,
                  zeroDay ? "%s %s %02d %02d:%02d:%02d %04lld" : "%s %s %2d %02d:%02d:%02d %04lld",
                  dayName.c_str(), kMonths[c.month - 1], c.day, c.hour, c.minute, c.second,
                  static_cast<long long>(c.year));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int64_t> value = download::parseHttpDate(text);
    if (!value)
        return 0;

    // Years 0000 to 9999, a leap second at the very end included.
    FUZZ_CHECK(*value >= -62167219200 && *value <= 253402300800);
    const std::size_t first = text.find_first_not_of(" \t");
    const std::string date = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    const std::size_t nameEnd = date.find_first_of(", ");
    FUZZ_CHECK(nameEnd == 3 || (nameEnd >= 6 && nameEnd <= 9));
    const std::string dayName = date.substr(0, nameEnd);
    // A leap second reads as the next second, which is written otherwise.
    if (date.find(":60") != std::string::npos)
        return 0;
    const Civil c = civilOf(*value);
    FUZZ_CHECK(download::parseHttpDate(imf("Mon", c)) == value);
    if (nameEnd > 3) {
        FUZZ_CHECK(c.year >= 1970 && c.year <= 2069);
        FUZZ_CHECK(rfc850(dayName, c) == date);
    } else if (date[3] == ',') {
        FUZZ_CHECK(imf(dayName, c) == date);
    } else {
        FUZZ_CHECK(asctime(dayName, c, date[8] == '0') == date);
    }
    return 0;
}
