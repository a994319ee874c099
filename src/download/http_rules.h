#pragma once
// The platform-free rules a transfer decides by: which answers carry the whole file, where a
// redirect leads, what a resumed answer must say, how long to wait before trying again, and which
// local failures may clear by themselves.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace download {

// A Content-Length text as a byte count: optional blanks around decimal digits and nothing else.
// nullopt when there is no usable number ("", "-1", "abc", "12abc", beyond 64 bits).
std::optional<std::int64_t> parseContentLength(const std::string& text);

// True for a Content-Encoding or Transfer-Encoding that leaves the body as it is (none or
// "identity"): any other coding would store something other than the file.
bool isIdentityCoding(const std::optional<std::string>& coding);

// True when a 2xx answer is a web page (a network's login page, say) rather than the file: its
// Content-Type is text/html or application/xhtml+xml (any parameters, any case), or, when the
// body carries the file from its first byte (`bodyStartsFile`, false for a 206 that resumes it),
// the body begins with "<" after an optional UTF-8 byte-order mark and white space. Neither a RAR
// archive nor a Windows executable can begin so. `firstBytes` are the body's first bytes as read
// so far; while they are only a byte-order mark and white space the bytes cannot tell, and the
// answer is false (see firstBytesUndecided).
bool isWebPage(const std::optional<std::string>& contentType, std::string_view firstBytes,
               bool bodyStartsFile);
// True while `firstBytes` hold nothing but (a part of) a UTF-8 byte-order mark and white space,
// so that isWebPage cannot judge them yet: the reader reads on until a byte decides, the body
// ends, or kPageSniffBytes are in hand (then the body is judged as it stands: not a page).
bool firstBytesUndecided(std::string_view firstBytes);
inline constexpr std::size_t kPageSniffBytes = 64 * 1024;

// True for the statuses whose Location is followed: 301, 302, 303, 307, 308.
bool isRedirectStatus(int status);
// At most this many redirects are followed within one request.
inline constexpr int kMaxRedirects = 5;

// The absolute http(s) URL a Location header leads to from `current`: absolute, scheme-relative
// ("//host/p"), absolute-path ("/p") and relative references, dot segments resolved, fragment
// dropped. nullopt for an empty or unusable Location (another scheme, no host, control chars).
std::optional<std::string> resolveLocation(const std::string& current, const std::string& location);

// True when going from `from` to `to` would leave https for plain http.
bool isDowngrade(const std::string& from, const std::string& to);

// True for an https URL.
bool isSecureUrl(const std::string& url);

// The same URL over plain http, host, port and path kept, for an https URL; nullopt for any
// other. A network that intercepts HTTPS to show its login page answers it with that page.
std::optional<std::string> plainHttpUrl(const std::string& url);

// "bytes first-last/total" of a Content-Range header.
struct ContentRange {
    std::int64_t first = 0, last = 0, total = 0;
};
std::optional<ContentRange> parseContentRange(const std::string& text);

// The request headers that resume a file of `total` bytes from byte `offset`, valid only while
// the server's `validator` (ETag or Last-Modified) still names the same file.
std::string rangeHeaders(std::int64_t offset, const std::string& validator);

// A resumed answer is the rest of the same file exactly when its Content-Range is
// "bytes offset-(total-1)/total" and it announces that many bytes.
bool rangeAnswerFits(const std::optional<ContentRange>& range,
                     const std::optional<std::int64_t>& contentLength, std::int64_t offset,
                     std::int64_t total);

// Retries of a transfer cut after some progress, and the wait before each (1, 2, 4 s).
inline constexpr int kMaxRetries = 3;
std::uint32_t retryDelayMs(int retry);  // retry = 1 ... kMaxRetries

// True for the Windows error codes of a file another program holds open or locked (sharing or
// lock violation, access denied while it closes): such a failure may clear within moments.
// Every other failure of a local file operation (disk full, access denied, a path the system
// refuses) stays.
bool mayClearSoon(std::uint32_t windowsError);
// How long a rename that may clear is tried again, and the pause between tries.
inline constexpr std::uint32_t kRenameRetryMs = 2000;
inline constexpr std::uint32_t kRenamePauseMs = 100;

}  // namespace download
