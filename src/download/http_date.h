#pragma once
// The dates of HTTP headers (Date, Last-Modified), as a server or anyone on the way wrote them.
#include <cstdint>
#include <optional>
#include <string_view>

namespace download {

// An HTTP-date in any of its three forms (IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT", the
// obsolete RFC 850 "Sunday, 06-Nov-94 08:49:37 GMT" and asctime "Sun Nov  6 08:49:37 1994"), blanks
// around it allowed, as seconds since 1970 (UTC). A two-digit year below 70 is 20xx, else 19xx.
// nullopt for anything else, an impossible date or time included (the day's name is not checked
// against the date).
std::optional<std::int64_t> parseHttpDate(std::string_view text);

}  // namespace download
