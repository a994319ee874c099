#include "download/http_date.h"

namespace download {

namespace {

constexpr std::string_view kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::string_view kLongDays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                          "Friday", "Saturday", "Sunday"};
constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Reads a date's pieces from the front of its text.
class Reader {
  public:
    explicit Reader(std::string_view text) : rest_(text) {}
    bool done() const { return rest_.empty(); }
    bool literal(std::string_view s) {
        if (rest_.substr(0, s.size()) != s)
            return false;
        rest_.remove_prefix(s.size());
        return true;
    }
    // Exactly `count` decimal digits.
    std::optional<int> digits(std::size_t count) {
        if (rest_.size() < count)
            return std::nullopt;
        int value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = rest_[i];
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + (c - '0');
        }
        rest_.remove_prefix(count);
        return value;
    }
    // The index of the name that begins the text.
    template <std::size_t N>
    std::optional<int> name(const std::string_view (&names)[N]) {
        for (std::size_t i = 0; i < N; ++i)
            if (literal(names[i]))
                return static_cast<int>(i);
        return std::nullopt;
    }

  private:
    std::string_view rest_;
};

struct Civil {
    std::optional<int> year, month, day, hour, minute, second;
};

bool isLeap(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysSinceEpoch(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;  // rounded down: year 0's January is in y -1
    const int yearOfEra = y - era * 400;
    const int monthFromMarch = (month + 9) % 12;
    const int dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

std::optional<std::int64_t> secondsOf(const Civil& c) {
    if (!c.year || !c.month || !c.day || !c.hour || !c.minute || !c.second)
        return std::nullopt;
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int monthDays = kMonthDays[*c.month] + (*c.month == 1 && isLeap(*c.year) ? 1 : 0);
    // A leap second (60) is a time the grammar allows.
    if (*c.day < 1 || *c.day > monthDays || *c.hour > 23 || *c.minute > 59 || *c.second > 60)
        return std::nullopt;
    return daysSinceEpoch(*c.year, *c.month + 1, *c.day) * 86400 + *c.hour * 3600 + *c.minute * 60 +
           *c.second;
}

// "hh:mm:ss" into `c`; false when it is not there.
bool readTime(Reader& r, Civil& c) {
    c.hour = r.digits(2);
    if (!c.hour || !r.literal(":"))
        return false;
    c.minute = r.digits(2);
    if (!c.minute || !r.literal(":"))
        return false;
    c.second = r.digits(2);
    return c.second.has_value();
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::int64_t> parseHttpDate(std::string_view text) {
    Reader r(trimmed(text));
    Civil c;
    // The long names first: each begins with its short one.
    if (r.name(kLongDays)) {
        // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT".
        if (!r.literal(", ") || !(c.day = r.digits(2)) || !r.literal("-") ||
            !(c.month = r.name(kMonths)) || !r.literal("-"))
            return std::nullopt;
        const std::optional<int> year = r.digits(2);
        if (!year)
            return std::nullopt;
        c.year = *year < 70 ? 2000 + *year : 1900 + *year;
        if (!r.literal(" ") || !readTime(r, c) || !r.literal(" GMT"))
            return std::nullopt;
    } else if (!r.name(kDays)) {
        return std::nullopt;
    } else if (r.literal(", ")) {
        // IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT".
        if (!(c.day = r.digits(2)) || !r.literal(" ") || !(c.month = r.name(kMonths)) ||
            !r.literal(" ") || !(c.year = r.digits(4)) || !r.literal(" ") || !readTime(r, c) ||
            !r.literal(" GMT"))
            return std::nullopt;
    } else {
        // asctime: "Sun Nov  6 08:49:37 1994", a one-digit day after a blank.
        if (!r.literal(" ") || !(c.month = r.name(kMonths)) || !r.literal(" "))
            return std::nullopt;
        c.day = r.literal(" ") ? r.digits(1) : r.digits(2);
        if (!c.day || !r.literal(" ") || !readTime(r, c) || !r.literal(" ") ||
            !(c.year = r.digits(4)))
            return std::nullopt;
    }
    if (!r.done())
        return std::nullopt;
    return secondsOf(c);
}

}  // namespace download
