#include "download/transfer.h"

#include <optional>
#include <utility>

#include "download/attempt.h"
#include "download/failure_results.h"
#include "download/http_rules.h"

namespace download {

End Attempt::run() {
    // A request the proxy refused for want of a login comes back with the user's
    // credentials, to be sent again on its own handles, which this attempt now owns.
    HeldRequest held{NetOwner(s_.net, 0), NetOwner(s_.net, 0), NetOwner(s_.net, 0), call_.url, 0};
    if (plan_.held)
        held = std::move(*plan_.held);
    NetOwner& session = held.session;
    NetOwner& connection = held.connection;
    NetOwner& request = held.request;
    if (!session.get()) {
        const ProxyChoice& proxy = call_.proxy;
        const Result<NetHandle> opened =
            proxy.useProxy
                ? s_.net.open(kAgent, kOpenTypeProxy, proxy.server.c_str(), kBypassList, 0)
                : s_.net.open(kAgent, kOpenTypePreconfig, nullptr, nullptr, 0);
        if (!opened.ok())
            return {Ending::Cut, results::kNetErr};
        session.reset(opened.value);
        // Windows honours these; where they are not (Wine), the window's stall clock still
        // is.
        for (std::uint32_t option :
             {kOptionConnectTimeout, kOptionSendTimeout, kOptionReceiveTimeout})
            s_.net.setOption(session.get(), option, call_.stallMs);
    }

    std::int64_t offset = 0;
    if (!plan_.validator.empty()) {
        norvik::LockGuard guard(call_.lock);
        offset = call_.bytesOnDisk;
    }
    const bool ranged = !plan_.validator.empty() && offset > 0 && offset < plan_.total;
    const std::string headers = ranged ? rangeHeaders(offset, plan_.validator) : "";

    std::string url = held.url;
    int hop = held.hop;
    const Answer answer = ask(session, connection, request, url, hop, headers);
    if (answer.refusal)
        return refused(session, request, url, answer.refusal);
    if (answer.end)
        return *answer.end;
    const int status = answer.status;

    if (status == 407) {
        return holdForLogin(session, connection, request, url, hop);
    }
    if (status == 404 || status == 410)
        return {Ending::Failed, results::kFileErr};
    if (ranged && status == 416)
        return {Ending::Restart, results::kNetErr};
    const bool resumed = ranged && status == 206;
    // "No content" is no file, and a part of one that was not asked for is not the file.
    if (!resumed &&
        (status < 200 || status > 299 || status == 204 || status == 205 || status == 206))
        return {Ending::Failed, results::kNetErr};
    // A network that wants a login first answers with its page, whatever was asked for.
    const std::optional<std::string> contentType = header(request, kQueryContentType);
    if (isWebPage(contentType, {}, false))
        return {Ending::Failed, results::kPageErr};
    // Only an uncoded body is the file itself.
    if (!isIdentityCoding(header(request, kQueryContentEncoding)))
        return {Ending::Failed, results::kNetErr};
    // A body that starts the file is judged on its first bytes before anything is written.
    pacer_.emplace(s_.clock.nowMs());
    Head head;
    if (!resumed) {
        if (const std::optional<End> cut = readHead(request, head, true))
            return *cut;
        if (isWebPage(contentType, head.bytes, true))
            return {Ending::Failed, results::kPageErr};
    }
    // Only a body whose length is known can be proven whole.
    if (!isIdentityCoding(header(request, kQueryTransferEncoding)))
        return {Ending::Failed, results::kNetErr};
    const std::optional<std::int64_t> length = number(header(request, kQueryContentLength));
    std::int64_t total = 0;
    std::int64_t overlap = 0;
    if (resumed) {
        // Parts are joined only when they belong to the same version of the file: a cache
        // that ignores If-Range may answer with the rest of a newer one.
        const std::optional<std::int64_t> skip =
            resumeOverlap({header(request, kQueryContentRange), length, header(request, kQueryEtag),
                           header(request, kQueryLastModified)},
                          offset, plan_.total, plan_.validator);
        if (!skip)
            return {Ending::Restart, results::kNetErr};
        overlap = *skip;
        total = plan_.total;
    } else {
        if (!length)
            return {Ending::Failed, results::kNetErr};
        total = *length;
        a_.validator =
            resumeValidator(header(request, kQueryAcceptRanges), header(request, kQueryEtag),
                            header(request, kQueryLastModified), header(request, kQueryDate));
        a_.freshStart = true;
    }

    if (const std::optional<End> failed = prepareFile(resumed, offset, total))
        return *failed;
    if (const std::optional<End> failed = store(head.bytes.data(), head.bytes.size(), total))
        return *failed;
    if (!head.ended)
        if (const std::optional<End> cut = readBody(request, total, overlap))
            return *cut;
    return finish(total);
}

void runAttempt(Seams seams, std::shared_ptr<CallShared> call,
                std::shared_ptr<AttemptState> attempt, AttemptPlan plan) {
    End end{Ending::Failed, results::kNetErr};
    try {
        end = Attempt(seams, *call, *attempt, plan).run();
    } catch (...) {
        // Out of memory or a failing check: the attempt has failed, nothing more.
    }
    {
        // A call given up while this thread held the lock left the file to it.
        norvik::LockGuard guard(call->lock);
        if (call->owner.load() == CallShared::kGivenUp && call->file)
            seams.files.close(std::exchange(call->file, 0));
    }
    attempt->ending = end.ending;
    attempt->result = end.result;
    attempt->ended.store(true);
    seams.threads.wake();
}

}  // namespace download
