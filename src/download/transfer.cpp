#include "download/transfer.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "common/windows_codes.h"
#include "download/failure_results.h"
#include "download/http_rules.h"
#include "download/read_pacer.h"

namespace download {

namespace {

// Owns a WinINet handle of the seam.
class NetOwner {
  public:
    NetOwner(InternetApi& net, NetHandle handle) : net_(net), handle_(handle) {}
    ~NetOwner() { reset(0); }
    NetOwner(const NetOwner&) = delete;
    NetOwner& operator=(const NetOwner&) = delete;
    NetHandle get() const { return handle_; }
    NetHandle release() { return std::exchange(handle_, 0); }
    void reset(NetHandle handle) {
        if (handle_)
            net_.closeHandle(handle_);
        handle_ = handle;
    }

  private:
    InternetApi& net_;
    NetHandle handle_;
};

// The most of a proxy's refusal that is read to send the request again.
constexpr std::int64_t kMaxDroppedBody = 1 << 20;

struct End {
    Ending ending;
    std::string result;
};

class Attempt {
  public:
    Attempt(const Seams& seams, CallShared& call, AttemptState& state, const AttemptPlan& plan)
        : s_(seams), call_(call), a_(state), plan_(plan) {}

    End run() {
        // A request the proxy refused for want of a login comes back with the user's
        // credentials, to be sent again on its own handles.
        const HeldRequest& held = plan_.held;
        NetOwner session(s_.net, held.session);
        NetOwner connection(s_.net, held.connection);
        NetOwner request(s_.net, held.request);
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

        std::string url = request.get() ? held.url : call_.url;
        int hop = request.get() ? held.hop : 0;
        const Answer answer = ask(session, connection, request, url, hop, headers);
        if (answer.refusal)
            return refused(session, request, url, answer.refusal);
        if (answer.end)
            return *answer.end;
        const int status = answer.status;

        if (status == 407) {
            // The window asks the user for the proxy's login; the request can be sent again on
            // its handle once the proxy's answer has been read.
            if (const std::optional<End> failed = dropBody(request))
                return *failed;
            a_.held =
                HeldRequest{session.release(), connection.release(), request.release(), url, hop};
            return {Ending::ProxyLogin, results::kProxyAuthErr};
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
            if (const std::optional<End> cut = readHead(request, head))
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
                resumeOverlap({header(request, kQueryContentRange), length,
                               header(request, kQueryEtag), header(request, kQueryLastModified)},
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
                                header(request, kQueryLastModified));
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

  private:
    // A refused certificate is final: never tried again, never with weaker checks.
    static End internetFailure(std::uint32_t error) { return ended(resultForInternetError(error)); }
    static End ended(const std::string& result) {
        return {results::worthRetry(result) ? Ending::Cut : Ending::Failed, result};
    }

    // The answer to the request for `url` after its redirects, followed here under our rules,
    // not by WinINet (`url` and `hop` follow them), or how the attempt ends.
    struct Answer {
        std::optional<End> end;
        std::uint32_t refusal = 0;  // the code the request could not be sent with
        int status = 0;
    };
    Answer ask(const NetOwner& session, NetOwner& connection, NetOwner& request, std::string& url,
               int& hop, const std::string& headers) {
        for (;; ++hop) {
            if (!request.get())
                if (const std::optional<End> failed =
                        openRequest(session, connection, request, url))
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

    // The request for `url` could not be sent: the result names what the user can mend (see
    // resultForRefusedRequest). A network that wants a login first intercepts HTTPS with a
    // certificate of its own and answers plain HTTP with its page: then the login is named.
    End refused(const NetOwner& session, const NetOwner& request, const std::string& url,
                std::uint32_t error) {
        RefusedRequest refusal{error, isSecureUrl(url), false, std::nullopt};
        if (refusal.secure) {
            const Result<std::uint32_t> flags =
                s_.net.queryOption(request.get(), kOptionSecurityFlags);
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
        if (isRefusedCertificate(error) && loginPageOverHttp(session, url, result))
            return {Ending::Failed, results::kPageErr};
        return ended(result);
    }

    // True when the server, asked over plain HTTP for the same path, answers with a web page;
    // only its status, headers and first bytes are read, nothing is written. While it runs, a
    // stalled question stands for `refusedResult`.
    bool loginPageOverHttp(const NetOwner& session, const std::string& refusedUrl,
                           const std::string& refusedResult) {
        std::optional<std::string> plain = plainHttpUrl(refusedUrl);
        if (!plain)
            return false;
        a_.refusedResult = refusedResult;
        a_.probing.store(true);
        NetOwner connection(s_.net, 0);
        NetOwner request(s_.net, 0);
        int hop = 0;
        const Answer answer = ask(session, connection, request, *plain, hop, "");
        if (answer.end || answer.refusal || answer.status < 200 || answer.status > 299)
            return false;
        const std::optional<std::string> contentType = header(request, kQueryContentType);
        if (isWebPage(contentType, {}, false))
            return true;
        pacer_.emplace(s_.clock.nowMs());
        Head head;
        return !readHead(request, head) && isWebPage(contentType, head.bytes, true);
    }

    // The request for `url` on a connection to its server, in place of the previous hop's.
    std::optional<End> openRequest(const NetOwner& session, NetOwner& connection, NetOwner& request,
                                   const std::string& url) {
        const std::optional<UrlParts> parts = splitUrl(url);
        if (!parts)
            return End{Ending::Failed, results::kNetErr};
        request.reset(0);
        const Result<NetHandle> c = s_.net.connect(session.get(), parts->host, parts->port);
        if (!c.ok())
            return internetFailure(c.error);
        connection.reset(c.value);
        // Not through the Internet cache: a package must not take twice its size on disk.
        // Keep-alive: a proxy's NTLM or Negotiate login holds for its connection only.
        const Result<NetHandle> r = s_.net.openRequest(
            connection.get(), parts->object,
            kFlagExistingConnect | kFlagNoCacheWrite | kFlagReload | kFlagNoAutoRedirect |
                kFlagKeepConnection | (parts->secure ? kFlagSecure : 0));
        if (!r.ok())
            return internetFailure(r.error);
        request.reset(r.value);
        return std::nullopt;
    }

    // Sends the request. A certificate whose revocation status could not be obtained (the lists'
    // server unreachable, as often behind a proxy that Windows does not use for them) is
    // accepted, as browsers do: the request is sent once more without the revocation check. A
    // revoked certificate, and every other refusal, stays final.
    Status send(const NetOwner& request, const std::string& headers) {
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

    std::optional<std::string> header(const NetOwner& request, std::uint32_t level) {
        Result<std::string> r = s_.net.queryInfo(request.get(), level);
        if (!r.ok())
            return std::nullopt;
        return std::move(r.value);
    }
    static std::optional<std::int64_t> number(const std::optional<std::string>& text) {
        return text ? parseContentLength(*text) : std::nullopt;
    }

    bool mine() const { return call_.owner.load() == a_.number; }

    // Under the lock: the file goes on at `offset` when resumed, else starts empty.
    std::optional<End> prepareFile(bool resumed, std::int64_t offset, std::int64_t total) {
        norvik::LockGuard guard(call_.lock);
        if (!mine())
            return End{Ending::Failed, results::kNetErr};
        if (resumed) {
            if (call_.bytesOnDisk != offset || !call_.file)
                return End{Ending::Restart, results::kNetErr};
        } else if (call_.file) {
            const Status truncated = s_.files.truncate(call_.file, 0);
            if (!truncated.ok())
                return End{Ending::Failed, resultForFileError(truncated.error)};
            call_.bytesOnDisk = 0;
        } else {
            const Result<FileHandle> created = s_.files.create(call_.partialPath);
            if (!created.ok())
                return End{Ending::Failed, resultForFileError(created.error)};
            call_.file = created.value;
            call_.bytesOnDisk = 0;
        }
        a_.total.store(total);
        a_.fileBytes.store(call_.bytesOnDisk);
        return std::nullopt;
    }

    // The first bytes of a body, read until they tell whether it is a web page.
    struct Head {
        std::string bytes;
        bool ended = false;  // the body ended within them
    };

    // One read of what the link brings (see ReadPacer) into `buffer`: `got` bytes, 0 at the end
    // of the data; or how the attempt ends.
    std::optional<End> readChunk(const NetOwner& request, std::vector<char>& buffer,
                                 std::uint32_t& got) {
        std::uint32_t want = kChunkSize;
        if (!pacer_->wholeChunks()) {
            const Result<std::uint32_t> available = s_.net.queryDataAvailable(request.get());
            if (!available.ok())
                return End{Ending::Cut, results::kNetErr};
            if (available.value > 0 && available.value < kChunkSize)
                want = available.value;
        }
        const std::uint32_t start = s_.clock.nowMs();
        const Result<std::uint32_t> read = s_.net.readFile(request.get(), buffer.data(), want);
        pacer_->afterRead(read.value, start, s_.clock.nowMs());
        if (!read.ok())
            return End{Ending::Cut, results::kNetErr};
        if (read.value > want)
            return End{Ending::Failed, results::kNetErr};
        a_.received.fetch_add(read.value);
        got = read.value;
        return std::nullopt;
    }

    // Reads a body that is not the file (a proxy's page) to its end, up to kMaxDroppedBody.
    std::optional<End> dropBody(const NetOwner& request) {
        pacer_.emplace(s_.clock.nowMs());
        std::vector<char> buffer(kChunkSize);
        for (std::int64_t dropped = 0;;) {
            std::uint32_t got = 0;
            if (const std::optional<End> failed = readChunk(request, buffer, got))
                return failed;
            if (got == 0)
                return std::nullopt;
            dropped += got;
            if (dropped > kMaxDroppedBody)
                return End{Ending::Failed, results::kProxyAuthErr};
        }
    }

    // Reads until a byte decides, the body ends or kPageSniffBytes are in hand.
    std::optional<End> readHead(const NetOwner& request, Head& head) {
        std::vector<char> buffer(kChunkSize);
        PageSniff sniff;
        while (sniff.undecided(head.bytes) && head.bytes.size() < kPageSniffBytes) {
            std::uint32_t got = 0;
            if (const std::optional<End> failed = readChunk(request, buffer, got))
                return failed;
            if (got == 0) {
                head.ended = true;
                break;
            }
            head.bytes.append(buffer.data(), got);
        }
        return std::nullopt;
    }

    // Under the lock: appends received bytes to the partial file.
    std::optional<End> store(const char* data, std::size_t size, std::int64_t total) {
        if (size == 0)
            return std::nullopt;
        norvik::LockGuard guard(call_.lock);
        if (!mine())
            return End{Ending::Failed, results::kNetErr};
        if (call_.bytesOnDisk + static_cast<std::int64_t>(size) > total)
            return End{Ending::Failed, results::kNetErr};  // more than announced: not the file
        const Status written = s_.files.write(call_.file, data, size);
        if (!written.ok())
            return End{Ending::Failed, resultForFileError(written.error)};
        call_.bytesOnDisk += static_cast<std::int64_t>(size);
        a_.fileBytes.store(call_.bytesOnDisk);
        return std::nullopt;
    }

    // The rest of the body into the partial file, up to the end of the data; its first `skip`
    // bytes are already in the file.
    std::optional<End> readBody(const NetOwner& request, std::int64_t total, std::int64_t skip) {
        std::vector<char> buffer(kChunkSize);
        for (;;) {
            std::uint32_t got = 0;
            if (const std::optional<End> failed = readChunk(request, buffer, got))
                return failed;
            if (got == 0)
                return std::nullopt;
            const std::uint32_t skipped =
                static_cast<std::uint32_t>(std::min<std::int64_t>(skip, got));
            skip -= skipped;
            if (const std::optional<End> failed =
                    store(buffer.data() + skipped, got - skipped, total))
                return failed;
        }
    }

    // The whole file on the disk, checked, then under its final name.
    End finish(std::int64_t total) {
        {
            norvik::LockGuard guard(call_.lock);
            if (!mine())
                return {Ending::Failed, results::kNetErr};
            if (call_.bytesOnDisk < total)
                return {Ending::Cut, results::kNetErr};  // the connection ended early
            const Status flushed = s_.files.flush(call_.file);
            const Status closed = s_.files.close(std::exchange(call_.file, 0));
            if (!flushed.ok() || !closed.ok())
                return {Ending::Failed,
                        resultForFileError(flushed.ok() ? closed.error : flushed.error)};
            a_.complete.store(true);
        }
        if (call_.accept) {
            const std::string refused = call_.accept(call_.partialPath);
            if (!refused.empty())
                return {Ending::Failed, refused};
        }

        // The lock is held for each try of the rename alone, so that giving up never waits for
        // the pauses between them.
        const std::uint32_t start = s_.clock.nowMs();
        for (;;) {
            Status renamed;
            {
                norvik::LockGuard guard(call_.lock);
                if (!mine()) {
                    // Given up while the check held the file, which could not be removed then.
                    if (call_.partialLeft.load())
                        s_.files.remove(call_.partialPath);
                    return {Ending::Failed, results::kNetErr};
                }
                renamed = s_.files.replace(call_.partialPath, call_.finalPath);
            }
            if (renamed.ok())
                return {Ending::Done, results::kResultOk};
            // A target another program holds open may be let go within moments.
            if (!mayClearSoon(renamed.error) || s_.clock.nowMs() - start >= kRenameRetryMs)
                return {Ending::Failed, resultForFileError(renamed.error)};
            s_.clock.sleepMs(kRenamePauseMs);
        }
    }

    const Seams& s_;
    CallShared& call_;
    AttemptState& a_;
    const AttemptPlan& plan_;
    std::optional<ReadPacer> pacer_;  // from when the body is read
};

}  // namespace

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
