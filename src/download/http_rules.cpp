#include "download/http_rules.h"

#include <limits>
#include <vector>

#include "common/ascii.h"
#include "download/http_date.h"

namespace download {

namespace {

std::string lower(std::string text) {
    for (char& c : text)
        c = norvik::asciiLower(c);
    return text;
}

std::string trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits only, within int64.
std::optional<std::int64_t> parseDigits(const std::string& digits) {
    if (digits.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        if (!isDigit(c))
            return std::nullopt;
        if (value > (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "http" or "https" (lower case) when the URL begins with one of them and "://", else "".
std::string webScheme(const std::string& url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos)
        return {};
    const std::string scheme = lower(url.substr(0, colon));
    return scheme == "http" || scheme == "https" ? scheme : std::string{};
}

// Where the authority of an absolute URL ends (the path, query or fragment begins).
std::size_t authorityEnd(const std::string& url) {
    const std::size_t start = url.find("://") + 3;
    const std::size_t end = url.find_first_of("/?#", start);
    return end == std::string::npos ? url.size() : end;
}

bool hasHost(const std::string& url) {
    const std::size_t start = url.find("://") + 3;
    const std::size_t end = authorityEnd(url);
    const std::size_t at = url.rfind('@', end);
    const std::size_t hostStart = (at != std::string::npos && at >= start) ? at + 1 : start;
    return end > hostStart && url[hostStart] != ':';
}

// RFC 3986 remove_dot_segments for an absolute path.
std::string removeDotSegments(const std::string& path) {
    std::vector<std::string> out;
    std::size_t i = 1;  // after the leading "/"
    for (;;) {
        const std::size_t slash = path.find('/', i);
        const std::string segment =
            path.substr(i, slash == std::string::npos ? std::string::npos : slash - i);
        const bool last = slash == std::string::npos;
        if (segment == "..") {
            if (!out.empty())
                out.pop_back();
            if (last)
                out.emplace_back();
        } else if (segment == ".") {
            if (last)
                out.emplace_back();
        } else {
            out.push_back(segment);
        }
        if (last)
            break;
        i = slash + 1;
    }
    std::string result;
    for (const std::string& s : out)
        result += "/" + s;
    return result.empty() ? "/" : result;
}

}  // namespace

std::optional<std::int64_t> parseContentLength(const std::string& text) {
    return parseDigits(trim(text));
}

bool isIdentityCoding(const std::optional<std::string>& coding) {
    if (!coding)
        return true;
    const std::string c = lower(trim(*coding));
    return c.empty() || c == "identity";
}

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isHtmlWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view afterWhiteSpace(std::string_view bytes) {
    while (!bytes.empty() && isHtmlWhiteSpace(bytes.front()))
        bytes.remove_prefix(1);
    return bytes;
}

// The bytes after a whole or cut byte-order mark and white space.
std::string_view afterBomAndWhiteSpace(std::string_view bytes) {
    std::size_t bom = 0;
    while (bom < kUtf8Bom.size() && bom < bytes.size() && bytes[bom] == kUtf8Bom[bom])
        ++bom;
    if (bom != kUtf8Bom.size() && bom != bytes.size())
        bom = 0;  // not a byte-order mark after all
    bytes.remove_prefix(bom);
    return afterWhiteSpace(bytes);
}

bool isPageType(const std::string& contentType) {
    const std::string type = lower(trim(contentType.substr(0, contentType.find(';'))));
    return type == "text/html" || type == "application/xhtml+xml";
}

}  // namespace

bool isWebPage(const std::optional<std::string>& contentType, std::string_view firstBytes,
               bool bodyStartsFile) {
    if (contentType && isPageType(*contentType))
        return true;
    if (!bodyStartsFile)
        return false;
    const std::string_view rest = afterBomAndWhiteSpace(firstBytes);
    return !rest.empty() && rest.front() == '<';
}

bool firstBytesUndecided(std::string_view firstBytes) {
    return afterBomAndWhiteSpace(firstBytes).empty();
}

bool PageSniff::undecided(std::string_view firstBytes) {
    // Below the length of a byte-order mark the bytes so far may be a cut one that the next byte
    // makes whole or not: those few are judged afresh, beyond them only the new bytes are looked
    // at.
    const bool afresh = looked_ < kUtf8Bom.size() || looked_ > firstBytes.size();
    const std::string_view rest =
        afresh ? afterBomAndWhiteSpace(firstBytes) : afterWhiteSpace(firstBytes.substr(looked_));
    looked_ = firstBytes.size() - rest.size();
    return rest.empty();
}

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<std::string> resolveLocation(const std::string& current,
                                           const std::string& location) {
    const std::string loc = trim(location);
    for (char c : loc)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::nullopt;
    if (loc.empty() || webScheme(current).empty())
        return std::nullopt;

    std::string target;
    const std::size_t schemeEnd = loc.find(':');
    const std::size_t firstDelimiter = loc.find_first_of("/?#");
    if (schemeEnd != std::string::npos && schemeEnd < firstDelimiter) {
        if (webScheme(loc).empty())
            return std::nullopt;  // another scheme, or "http:" without "//"
        target = loc;
    } else if (loc.rfind("//", 0) == 0) {
        target = webScheme(current) + ":" + loc;
    } else {
        const std::size_t origin = authorityEnd(current);
        const std::size_t baseEnd = current.find_first_of("?#", origin);
        std::string base = current.substr(
            origin, baseEnd == std::string::npos ? std::string::npos : baseEnd - origin);
        if (base.empty())
            base.push_back('/');
        std::string ref = loc.substr(0, loc.find('#'));
        std::string path;
        if (ref.empty())
            return current.substr(0, current.find('#'));
        if (ref[0] == '/')
            path = ref;
        else if (ref[0] == '?')
            path = base + ref;
        else
            path = base.substr(0, base.rfind('/') + 1) + ref;
        const std::size_t query = path.find('?');
        const std::string pathOnly = path.substr(0, query);
        const std::string rest = query == std::string::npos ? "" : path.substr(query);
        target = current.substr(0, origin) + removeDotSegments(pathOnly) + rest;
    }
    target = target.substr(0, target.find('#'));
    if (!hasHost(target))
        return std::nullopt;
    return target;
}

std::optional<UrlParts> splitUrl(const std::string& url) {
    const std::string scheme = webScheme(url);
    if (scheme.empty())
        return std::nullopt;
    const std::size_t start = url.find("://") + 3;
    const std::size_t end = authorityEnd(url);
    std::string host = url.substr(start, end - start);
    if (host.find('@') != std::string::npos)
        return std::nullopt;
    UrlParts parts;
    parts.secure = scheme == "https";
    parts.port = parts.secure ? 443 : 80;
    std::size_t colon = std::string::npos;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string::npos || (close + 1 < host.size() && host[close + 1] != ':'))
            return std::nullopt;
        colon = close + 1 < host.size() ? close + 1 : std::string::npos;
        parts.host = host.substr(1, close - 1);
    } else {
        colon = host.find(':');
        parts.host = host.substr(0, colon);
    }
    if (parts.host.empty())
        return std::nullopt;
    if (colon != std::string::npos && colon + 1 < host.size()) {
        const std::optional<std::int64_t> port = parseDigits(host.substr(colon + 1));
        if (!port || *port < 1 || *port > 65535)
            return std::nullopt;
        parts.port = static_cast<std::uint16_t>(*port);
    }
    parts.object = url.substr(end, url.find('#', end) - end);
    if (parts.object.empty() || parts.object.front() != '/')
        parts.object = "/" + parts.object;
    return parts;
}

bool isDowngrade(const std::string& from, const std::string& to) {
    return isSecureUrl(from) && !isSecureUrl(to);
}

bool isSecureUrl(const std::string& url) {
    return webScheme(url) == "https";
}

std::optional<std::string> plainHttpUrl(const std::string& url) {
    if (!isSecureUrl(url))
        return std::nullopt;
    return "http" + url.substr(url.find("://"));
}

std::optional<ContentRange> parseContentRange(const std::string& text) {
    const std::string t = trim(text);
    if (lower(t.substr(0, 6)) != "bytes ")
        return std::nullopt;
    const std::string span = trim(t.substr(6));
    const std::size_t dash = span.find('-');
    const std::size_t slash = span.find('/');
    if (dash == std::string::npos || slash == std::string::npos || dash > slash)
        return std::nullopt;
    const auto first = parseDigits(span.substr(0, dash));
    const auto last = parseDigits(span.substr(dash + 1, slash - dash - 1));
    const auto total = parseDigits(span.substr(slash + 1));
    if (!first || !last || !total)
        return std::nullopt;
    return ContentRange{*first, *last, *total};
}

Validator resumeValidator(const std::optional<std::string>& acceptRanges,
                          const std::optional<std::string>& etag,
                          const std::optional<std::string>& lastModified,
                          const std::optional<std::string>& date) {
    if (!acceptRanges || lower(trim(*acceptRanges)) != "bytes")
        return {};
    // Any entity-tag, even a weak or empty one, rules the date out as a validator.
    if (etag)
        return etag->empty() || etag->rfind("W/", 0) == 0 ? Validator{} : Validator{true, *etag};
    if (!lastModified || !date)
        return {};
    const std::optional<std::int64_t> modified = parseHttpDate(*lastModified);
    const std::optional<std::int64_t> served = parseHttpDate(*date);
    if (!modified || !served || *served - *modified < kStrongDateSeconds)
        return {};
    return {false, *lastModified};
}

std::string rangeHeaders(std::int64_t offset, const Validator& validator) {
    return "Range: bytes=" + std::to_string(offset) + "-\r\nIf-Range: " + validator.text + "\r\n";
}

std::optional<std::int64_t> resumeOverlap(const RangeAnswer& answer, std::int64_t offset,
                                          std::int64_t total, const Validator& first) {
    const std::optional<std::string>& validator = first.etag ? answer.etag : answer.lastModified;
    if (first.empty() || !validator || *validator != first.text)
        return std::nullopt;
    const std::optional<ContentRange> range =
        answer.contentRange ? parseContentRange(*answer.contentRange) : std::nullopt;
    const std::optional<std::int64_t>& length = answer.contentLength;
    if (!range || range->first > offset || range->first > range->last || range->last != total - 1 ||
        range->total != total || !length || *length != total - range->first)
        return std::nullopt;
    return offset - range->first;
}

std::uint32_t retryDelayMs(int retry) {
    return 1000u << (retry - 1);
}

}  // namespace download
