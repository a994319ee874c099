#pragma once
// The platform-free rules a transfer decides by: which answers carry the whole file, where a
// redirect leads, what a resumed answer must say, and how long to wait before trying again.
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

// firstBytesUndecided for first bytes that grow piece by piece: it remembers how far it has
// looked, so that a long run of white space read in small pieces costs work linear in its length.
// Each call passes all the first bytes so far, the earlier ones unchanged.
class PageSniff {
  public:
    bool undecided(std::string_view firstBytes);

  private:
    // How many of the first bytes are a byte-order mark (perhaps cut) or white space.
    std::size_t looked_ = 0;
};

inline constexpr std::size_t kPageSniffBytes = 64 * 1024;

// True for the statuses whose Location is followed: 301, 302, 303, 307, 308.
bool isRedirectStatus(int status);
// At most this many redirects are followed within one request.
inline constexpr int kMaxRedirects = 5;

// The absolute http(s) URL a Location header leads to from `current`: absolute, scheme-relative
// ("//host/p"), absolute-path ("/p") and relative references, dot segments resolved, fragment
// dropped. nullopt for an empty or unusable Location (another scheme, no host, control chars).
std::optional<std::string> resolveLocation(const std::string& current, const std::string& location);

// The parts of an absolute http(s) URL that a connection and its request take.
struct UrlParts {
    bool secure = false;     // https
    std::string host;        // an IPv6 address without its brackets
    std::uint16_t port = 0;  // 80 or 443 when the URL names none
    std::string object;      // path and query, at least "/"
};
// nullopt for another scheme, a user name or password, no host, or a port outside 1-65535.
std::optional<UrlParts> splitUrl(const std::string& url);

// True when going from `from` to `to` would leave https for plain http.
bool isDowngrade(const std::string& from, const std::string& to);

// True for an https URL.
bool isSecureUrl(const std::string& url);

// The same URL over plain http (host, port and path kept) for an https URL; nullopt for any
// other. A network that intercepts HTTPS to show its login page answers it with that page.
std::optional<std::string> plainHttpUrl(const std::string& url);

// "bytes first-last/total" of a Content-Range header.
struct ContentRange {
    std::int64_t first = 0, last = 0, total = 0;
};
std::optional<ContentRange> parseContentRange(const std::string& text);

// A Last-Modified names one version of the file only when it lies at least this long before the
// answer's Date: a file changed within the same second as it was served could be changed again
// under the same date.
inline constexpr std::int64_t kStrongDateSeconds = 60;

// What names one version of the file, sent as If-Range: a strong ETag, else Last-Modified.
struct Validator {
    bool etag = false;  // `text` is an ETag (else a Last-Modified date)
    std::string text;   // "" when the server offers no resuming
    bool empty() const { return text.empty(); }
};
// The validator of a whole answer whose server offers byte ranges (Accept-Ranges "bytes"), only
// ever a strong one: its ETag unless weak; with no ETag at all, its Last-Modified when that lies at
// least kStrongDateSeconds before its Date (both readable). None otherwise: a weak ETag, a recent
// or unreadable date, no Date, or no byte ranges. Without one a cut download starts again.
Validator resumeValidator(const std::optional<std::string>& acceptRanges,
                          const std::optional<std::string>& etag,
                          const std::optional<std::string>& lastModified,
                          const std::optional<std::string>& date);

// The request headers that resume a file from byte `offset`, valid only while the server's
// `validator` still names the same version of the file.
std::string rangeHeaders(std::int64_t offset, const Validator& validator);

// The headers of a 206 that answers a resuming request.
struct RangeAnswer {
    std::optional<std::string> contentRange;
    std::optional<std::int64_t> contentLength;
    std::optional<std::string> etag, lastModified;
};
// A 206 continues the file of `total` bytes, of which `offset` are written, exactly when its
// Content-Range runs from `offset` or earlier to the end of a file of that total, it announces
// that many bytes, and it carries the first answer's validator of the same kind (a weak or
// another ETag, another or no date is another version, whatever If-Range asked for). Then the
// result is how many of its first bytes the file already holds (skipped); else nullopt: the
// file starts again from zero.
std::optional<std::int64_t> resumeOverlap(const RangeAnswer& answer, std::int64_t offset,
                                          std::int64_t total, const Validator& first);

// Retries of a transfer cut after some progress, and the wait before each (1, 2, 4 s).
inline constexpr int kMaxRetries = 3;
std::uint32_t retryDelayMs(int retry);  // retry = 1 ... kMaxRetries

}  // namespace download
