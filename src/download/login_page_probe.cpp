// A request that could not be sent, named for what the user can mend; after a refused
// certificate, the question over plain HTTP whether a network that wants a login answers.
#include <optional>
#include <string>

#include "common/windows_codes.h"
#include "download/attempt.h"
#include "download/failure_results.h"
#include "download/http_rules.h"

namespace download {

// The request for `url` could not be sent: the result names what the user can mend (see
// resultForRefusedRequest). A network that wants a login first intercepts HTTPS with a
// certificate of its own and answers plain HTTP with its page: then the login is named.
End Attempt::refused(const NetOwner& session, const NetOwner& request, const std::string& url,
                     std::uint32_t error) {
    RefusedRequest refusal{error, isSecureUrl(url), false, std::nullopt};
    if (refusal.secure) {
        const Result<std::uint32_t> flags = s_.net.queryOption(request.get(), kOptionSecurityFlags);
        refusal.channelSetUp = flags.ok() && (flags.value & kSecurityFlagSecure) != 0;
    }
    if (error == norvik::kErrorInternetSecCertDateInvalid) {
        const Result<std::uint64_t> start = s_.net.certificateStart(request.get());
        if (start.ok())
            refusal.certificateStart = start.value;
    }
    SecureContext context = call_.secure;
    context.now = s_.clock.systemTime();
    const std::string result = resultForRefusedRequest(refusal, context);
    if (isRefusedCertificate(error) && loginPageOverHttp(session, result))
        return {Ending::Failed, results::kPageErr};
    return ended(result);
}

// True when the configured server, asked over plain HTTP for the probe's path (see
// CallShared::probeUrl), answers with a web page; only its status, headers and first bytes are
// read, nothing is written. While it runs, a stalled question stands for `refusedResult`.
bool Attempt::loginPageOverHttp(const NetOwner& session, const std::string& refusedResult) {
    std::string plain = call_.probeUrl;
    if (plain.empty())
        return false;
    a_.refusedResult = refusedResult;
    a_.probing.store(true);
    NetOwner connection(s_.net, 0);
    NetOwner request(s_.net, 0);
    int hop = 0;
    const Answer answer = ask(session, connection, request, plain, hop, "");
    if (answer.end || answer.refusal || answer.status < 200 || answer.status > 299)
        return false;
    const std::optional<std::string> contentType = header(request, kQueryContentType);
    if (isWebPage(contentType, {}, false))
        return true;
    pacer_.emplace(s_.clock.nowMs());
    Head head;
    return !readHead(request, head, false) && isWebPage(contentType, head.bytes, true);
}

}  // namespace download
