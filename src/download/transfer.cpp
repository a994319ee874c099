#include "download/transfer.h"

#include <algorithm>
#include <utility>
#include <vector>

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
    void reset(NetHandle handle) {
        if (handle_)
            net_.closeHandle(handle_);
        handle_ = handle;
    }

  private:
    InternetApi& net_;
    NetHandle handle_;
};

struct End {
    Ending ending;
    std::string result;
};

class Attempt {
  public:
    Attempt(const Seams& seams, CallShared& call, AttemptState& state, const AttemptPlan& plan)
        : s_(seams), call_(call), a_(state), plan_(plan), pacer_(seams.clock.nowMs()) {}

    End run() {
        const ProxyChoice& proxy = call_.proxy;
        const Result<NetHandle> opened =
            proxy.useProxy
                ? s_.net.open(kAgent, kOpenTypeProxy, proxy.server.c_str(), kBypassList, 0)
                : s_.net.open(kAgent, kOpenTypePreconfig, nullptr, nullptr, 0);
        if (!opened.ok())
            return {Ending::Cut, kNetErr};
        NetOwner session(s_.net, opened.value);
        // Windows honours these; where they are not (Wine), the window's stall clock still is.
        for (std::uint32_t option :
             {kOptionConnectTimeout, kOptionSendTimeout, kOptionReceiveTimeout})
            s_.net.setOption(session.get(), option, call_.stallMs);

        std::int64_t offset = 0;
        if (!plan_.validator.empty()) {
            norvik::LockGuard guard(call_.lock);
            offset = call_.bytesOnDisk;
        }
        const bool ranged = !plan_.validator.empty() && offset > 0 && offset < plan_.total;
        const std::string headers = ranged ? rangeHeaders(offset, plan_.validator) : "";

        NetOwner request(s_.net, 0);
        const Opened answer = openFollowingRedirects(session, call_.url, headers, request);
        if (answer.refusal && isRefusedCertificate(answer.refusal) &&
            loginPageOverHttp(session, answer.url, answer.end->result))
            return {Ending::Failed, kPageErr};
        if (answer.end)
            return *answer.end;
        const int status = answer.status;

        if (status == 407)
            return {Ending::Failed, kProxyAuthErr};
        if (status == 404 || status == 410)
            return {Ending::Failed, kFileErr};
        if (ranged && status == 416)
            return {Ending::Restart, kNetErr};
        const bool resumed = ranged && status == 206;
        // "No content" is no file, and a part of one that was not asked for is not the file.
        if (!resumed &&
            (status < 200 || status > 299 || status == 204 || status == 205 || status == 206))
            return {Ending::Failed, kNetErr};
        // A network that wants a login first answers with its page, whatever was asked for.
        const std::optional<std::string> contentType = header(request, kQueryContentType);
        if (isWebPage(contentType, {}, false))
            return {Ending::Failed, kPageErr};
        // Only an uncoded body is the file itself.
        if (!isIdentityCoding(header(request, kQueryContentEncoding)))
            return {Ending::Failed, kNetErr};
        // A body that starts the file is judged on its first bytes before anything is written.
        pacer_ = ReadPacer(s_.clock.nowMs());
        Head head;
        if (!resumed) {
            if (const std::optional<End> cut = readHead(request, head))
                return *cut;
            if (isWebPage(contentType, head.bytes, true))
                return {Ending::Failed, kPageErr};
        }
        // Only a body whose length is known can be proven whole.
        if (!isIdentityCoding(header(request, kQueryTransferEncoding)))
            return {Ending::Failed, kNetErr};
        const std::optional<std::int64_t> length = number(header(request, kQueryContentLength));
        std::int64_t total = 0;
        if (resumed) {
            const std::optional<std::string> range = header(request, kQueryContentRange);
            if (!rangeAnswerFits(range ? parseContentRange(*range) : std::nullopt, length, offset,
                                 plan_.total))
                return {Ending::Restart, kNetErr};
            total = plan_.total;
        } else {
            if (!length)
                return {Ending::Failed, kNetErr};
            total = *length;
            a_.validator = validator(request);
            a_.freshStart = true;
        }

        if (const std::optional<End> failed = prepareFile(resumed, offset, total))
            return *failed;
        if (const std::optional<End> failed = store(head.bytes.data(), head.bytes.size(), total))
            return *failed;
        if (!head.ended)
            if (const std::optional<End> cut = readBody(request, total))
                return *cut;
        return finish(total);
    }

  private:
    // The answer to a request after its redirects, or how the attempt ends.
    struct Opened {
        std::optional<End> end;
        std::uint32_t refusal = 0;  // the code WinINet refused the last request with
        std::string url;            // the URL of the answer or of the refused request
        int status = 0;
    };

    // Opens `url` and follows its redirects, here under our rules, not by WinINet.
    Opened openFollowingRedirects(const NetOwner& session, std::string url,
                                  const std::string& headers, NetOwner& request) {
        for (int hop = 0;; ++hop) {
            // Not through the Internet cache: a package must not take twice its size on disk.
            const Result<NetHandle> r = s_.net.openUrl(
                session.get(), url, headers,
                kFlagExistingConnect | kFlagNoCacheWrite | kFlagReload | kFlagNoAutoRedirect);
            if (!r.ok()) {
                // A refused certificate is final: never tried again, never with weaker checks.
                SecureContext secure = call_.secure;
                secure.now = s_.clock.systemTime();
                const std::string result = resultForRefusedRequest(
                    {r.error, isSecureUrl(url), false, std::nullopt}, secure);
                return {End{result == kNetErr ? Ending::Cut : Ending::Failed, result}, r.error,
                        url};
            }
            request.reset(r.value);
            const std::optional<std::int64_t> code = number(header(request, kQueryStatusCode));
            if (!code)
                return {End{Ending::Cut, kNetErr}, 0, url,
                        0};  // no status line: the server went away
            if (*code > 999)
                return {End{Ending::Failed, kNetErr}, 0, url, 0};
            const int status = static_cast<int>(*code);
            if (!isRedirectStatus(status))
                return {std::nullopt, 0, url, status};
            const std::optional<std::string> location = header(request, kQueryLocation);
            const std::optional<std::string> next =
                location ? resolveLocation(url, *location) : std::nullopt;
            if (hop == kMaxRedirects || !next || isDowngrade(url, *next))
                return {End{Ending::Failed, kNetErr}, 0, url, 0};
            url = *next;
        }
    }

    // A network that wants a login first intercepts HTTPS with a certificate of its own, and
    // answers plain HTTP with its login page. True when the same server, asked over http for
    // the same path, answers with a web page; its status, headers and first bytes are read,
    // nothing is written. While it runs, a stalled probe stands for `refusedResult`.
    bool loginPageOverHttp(const NetOwner& session, const std::string& refusedUrl,
                           const std::string& refusedResult) {
        const std::optional<std::string> plain = plainHttpUrl(refusedUrl);
        if (!plain)
            return false;
        a_.refusedResult = refusedResult;
        a_.probing.store(true);
        NetOwner request(s_.net, 0);
        const Opened opened = openFollowingRedirects(session, *plain, "", request);
        if (opened.end || opened.status < 200 || opened.status > 299)
            return false;
        const std::optional<std::string> contentType = header(request, kQueryContentType);
        if (isWebPage(contentType, {}, false))
            return true;
        pacer_ = ReadPacer(s_.clock.nowMs());
        Head head;
        return !readHead(request, head) && isWebPage(contentType, head.bytes, true);
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

    // The If-Range value of a server that resumes: a strong ETag, else Last-Modified.
    std::string validator(const NetOwner& request) {
        const std::optional<std::string> ranges = header(request, kQueryAcceptRanges);
        if (!ranges || parseToken(*ranges) != "bytes")
            return {};
        const std::optional<std::string> etag = header(request, kQueryEtag);
        if (etag && !etag->empty() && etag->rfind("W/", 0) != 0)
            return *etag;
        return header(request, kQueryLastModified).value_or("");
    }
    static std::string parseToken(const std::string& text) {
        std::string t;
        for (char c : text)
            if (c != ' ' && c != '\t')
                t.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
        return t;
    }

    bool mine() const { return call_.owner.load() == a_.number; }

    // Under the lock: the file goes on at `offset` when resumed, else starts empty.
    std::optional<End> prepareFile(bool resumed, std::int64_t offset, std::int64_t total) {
        norvik::LockGuard guard(call_.lock);
        if (!mine())
            return End{Ending::Failed, kNetErr};
        if (resumed) {
            if (call_.bytesOnDisk != offset || !call_.file)
                return End{Ending::Restart, kNetErr};
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
        if (!pacer_.wholeChunks()) {
            const Result<std::uint32_t> available = s_.net.queryDataAvailable(request.get());
            if (!available.ok())
                return End{Ending::Cut, kNetErr};
            if (available.value > 0 && available.value < kChunkSize)
                want = available.value;
        }
        const std::uint32_t start = s_.clock.nowMs();
        const Result<std::uint32_t> read = s_.net.readFile(request.get(), buffer.data(), want);
        pacer_.afterRead(read.value, start, s_.clock.nowMs());
        if (!read.ok())
            return End{Ending::Cut, kNetErr};
        if (read.value > want)
            return End{Ending::Failed, kNetErr};
        a_.received.fetch_add(read.value);
        got = read.value;
        return std::nullopt;
    }

    // Reads until a byte decides, the body ends or kPageSniffBytes are in hand.
    std::optional<End> readHead(const NetOwner& request, Head& head) {
        std::vector<char> buffer(kChunkSize);
        while (firstBytesUndecided(head.bytes) && head.bytes.size() < kPageSniffBytes) {
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
            return End{Ending::Failed, kNetErr};
        if (call_.bytesOnDisk + static_cast<std::int64_t>(size) > total)
            return End{Ending::Failed, kNetErr};  // more than announced: not the file
        const Status written = s_.files.write(call_.file, data, size);
        if (!written.ok())
            return End{Ending::Failed, resultForFileError(written.error)};
        call_.bytesOnDisk += static_cast<std::int64_t>(size);
        a_.fileBytes.store(call_.bytesOnDisk);
        return std::nullopt;
    }

    // The rest of the body into the partial file, up to the end of the data.
    std::optional<End> readBody(const NetOwner& request, std::int64_t total) {
        std::vector<char> buffer(kChunkSize);
        for (;;) {
            std::uint32_t got = 0;
            if (const std::optional<End> failed = readChunk(request, buffer, got))
                return failed;
            if (got == 0)
                return std::nullopt;
            if (const std::optional<End> failed = store(buffer.data(), got, total))
                return failed;
        }
    }

    // The whole file on the disk, checked, then under its final name.
    End finish(std::int64_t total) {
        {
            norvik::LockGuard guard(call_.lock);
            if (!mine())
                return {Ending::Failed, kNetErr};
            if (call_.bytesOnDisk < total)
                return {Ending::Cut, kNetErr};  // the connection ended early
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
                    return {Ending::Failed, kNetErr};
                }
                renamed = s_.files.replace(call_.partialPath, call_.finalPath);
            }
            if (renamed.ok())
                return {Ending::Done, kResultOk};
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
    ReadPacer pacer_;
};

}  // namespace

void runAttempt(Seams seams, std::shared_ptr<CallShared> call,
                std::shared_ptr<AttemptState> attempt, AttemptPlan plan) {
    End end{Ending::Failed, kNetErr};
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
