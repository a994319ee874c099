// The request of an attempt: its connection and handle, sending it, and the redirects that follow.
#include <memory>
#include <optional>
#include <string>

#include "common/windows_codes.h"
#include "download/attempt.h"
#include "download/http_rules.h"

namespace download {

Attempt::Answer Attempt::ask(const NetOwner& session, NetOwner& connection, NetOwner& request,
                             std::string& url, int& hop, const std::string& headers) {
    for (;; ++hop) {
        if (!request.get())
            if (const std::optional<End> failed = openRequest(session, connection, request, url))
                return {failed};
        const Status sent = send(request, headers);
        if (!sent.ok())
            return {std::nullopt, sent.error};
        const std::optional<std::int64_t> code = number(header(request, kQueryStatusCode));
        if (!code)
            return {End{Ending::Cut, results::kNetErr}};  // no status line: the server went
        if (*code > 999)
            return {End{Ending::Failed, results::kNetErr}};
        const int status = static_cast<int>(*code);
        if (!isRedirectStatus(status))
            return {std::nullopt, 0, status};
        const std::optional<std::string> location = header(request, kQueryLocation);
        const std::optional<std::string> next =
            location ? resolveLocation(url, *location) : std::nullopt;
        if (hop == kMaxRedirects || !next || isDowngrade(url, *next))
            return {End{Ending::Failed, results::kNetErr}};
        url = *next;
        request.reset(0);
    }
}

// The request for `url` on a connection to its server, in place of the previous hop's.
std::optional<End> Attempt::openRequest(const NetOwner& session, NetOwner& connection,
                                        NetOwner& request, const std::string& url) {
    const std::optional<UrlParts> parts = splitUrl(url);
    if (!parts)
        return End{Ending::Failed, results::kNetErr};
    request.reset(0);
    const Result<NetHandle> c = s_.net.connect(session.get(), parts->host, parts->port);
    if (!c.ok())
        return internetFailure(c.error);
    connection.reset(c.value);
    // Not through the Internet cache: a package must not take twice its size on disk.
    // Keep-alive: a proxy's NTLM or Negotiate login holds for its connection only. No cookies
    // sent or stored: a portal's would reach the real server, and the program leaves nothing in
    // the user's profile.
    const Result<NetHandle> r = s_.net.openRequest(
        connection.get(), parts->object,
        kFlagExistingConnect | kFlagNoCacheWrite | kFlagReload | kFlagNoAutoRedirect |
            kFlagKeepConnection | kFlagNoCookies | (parts->secure ? kFlagSecure : 0));
    if (!r.ok())
        return internetFailure(r.error);
    request.reset(r.value);
    // The proxy's login given earlier in the upgrade: WinINet answers the proxy's 407 with it
    // itself. Where it cannot be handed on, the 407 comes back and the user is asked.
    if (const std::shared_ptr<const ProxyCredentials>& login = plan_.login) {
        s_.net.setStringOption(request.get(), kOptionProxyUsername, login->user());
        s_.net.setStringOption(request.get(), kOptionProxyPassword, login->password());
    }
    return std::nullopt;
}

// Sends the request. A certificate whose revocation status could not be obtained (the lists'
// server unreachable, as often behind a proxy that Windows does not use for them) is
// accepted, as browsers do: the request is sent once more without the revocation check. A
// revoked certificate, and every other refusal, stays final.
Status Attempt::send(const NetOwner& request, const std::string& headers) {
    const Status sent = s_.net.sendRequest(request.get(), headers);
    if (sent.ok() || sent.error != norvik::kErrorInternetSecCertRevFailed)
        return sent;
    const Result<std::uint32_t> flags = s_.net.queryOption(request.get(), kOptionSecurityFlags);
    if (!flags.ok() || !s_.net
                            .setOption(request.get(), kOptionSecurityFlags,
                                       flags.value | kSecurityFlagIgnoreRevocation)
                            .ok())
        return sent;
    return s_.net.sendRequest(request.get(), headers);
}

std::optional<std::string> Attempt::header(const NetOwner& request, std::uint32_t level) {
    Result<std::string> r = s_.net.queryInfo(request.get(), level);
    if (!r.ok())
        return std::nullopt;
    return std::move(r.value);
}

std::optional<std::int64_t> Attempt::number(const std::optional<std::string>& text) {
    return text ? parseContentLength(*text) : std::nullopt;
}

}  // namespace download
