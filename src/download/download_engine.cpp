#include "download/download_engine.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "common/ascii.h"
#include "common/rounding.h"

namespace download {

namespace {

// A real value converted to a 32-bit integer (halves to even); out of range is a run-time error.
std::int32_t toInt32(double value) {
    const double r = norvik::roundHalfEven(value);
    if (!(r >= std::numeric_limits<std::int32_t>::min() &&
          r <= std::numeric_limits<std::int32_t>::max()))
        throw std::overflow_error("Overflow");
    return static_cast<std::int32_t>(r);
}

// The same for the 16-bit percentage.
int toInt16(double value) {
    const double r = norvik::roundHalfEven(value);
    if (!(r >= -32768.0 && r <= 32767.0))
        throw std::overflow_error("Overflow");
    return static_cast<int>(r);
}

}  // namespace

std::string normaliseCacheUrl(const std::string& url) {
    // From the 8th character on for https, so that the slashes of "https://" are passed over.
    const std::size_t from = url.find("https://") != std::string::npos ? 7 : 0;
    const std::size_t slash = url.find('/', from);
    if (slash == std::string::npos)
        return url;
    std::string result = url;
    std::transform(result.begin(), result.begin() + static_cast<std::ptrdiff_t>(slash) + 1,
                   result.begin(), norvik::asciiLower);
    return result;
}

ProxyChoice chooseProxy(const std::string& proxy) {
    if (!proxy.empty() && proxy.back() == ':')
        return ProxyChoice{false, {}};
    return ProxyChoice{true, proxy};
}

std::int64_t bytesToKilobytes(std::int64_t bytes) {
    // Exact integer form of round-half-even(bytes / 1024), also beyond 2^53.
    std::int64_t q = bytes / 1024;
    std::int64_t r = bytes % 1024;
    if (r < 0) {
        r += 1024;
        --q;
    }
    if (r > 512 || (r == 512 && (q % 2 != 0)))
        ++q;
    return q;
}

std::string formatGrouped(double value, const std::string& separator) {
    const double r = norvik::roundHalfEven(value);
    if (r == 0.0)
        return {};
    const bool negative = r < 0;
    std::uint64_t n = static_cast<std::uint64_t>(negative ? -r : r);
    std::string digits = std::to_string(n);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3 * separator.size() + 1);
    if (negative)
        out.push_back('-');
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out.push_back(digits[i]);
    }
    return out;
}

std::string progressCaption(int percentage, double kilobytesDone, std::int64_t announcedKb,
                            const std::string& separator) {
    std::string text = "Downloading ... ";
    text += std::to_string(percentage);
    text += "%: ";
    text += formatGrouped(kilobytesDone, separator);
    text += "Kb / ";
    text += formatGrouped(static_cast<double>(announcedKb), separator);
    text += "Kb";
    return text;
}

std::string finishedCaption(std::int64_t announcedKb) {
    const std::string n = std::to_string(announcedKb);
    return "Finished 100%: " + n + "Kb / " + n + "Kb";
}

// The progress view of one call.
struct Engine::View {
    form::Control* caption = nullptr;
    form::Control* bar = nullptr;
    bool started = false;  // the start caption is shown
    std::int64_t shownBytes = -1;
    std::int64_t total = -1;
    // While the caller's check runs, the caption says so; the progress it replaced comes back
    // when the check refuses the file.
    bool checking = false;
    std::string beforeCheck;
};

Engine::Engine(InternetApi& net, FileApi& files, Clock& clock, Threads& threads)
    : net_(net), files_(files), clock_(clock), threads_(threads) {}

void Engine::setWindowsVersion(std::uint32_t major, std::uint32_t minor, std::uint8_t productType) {
    secure_.oldTlsResult = oldTlsResult(major, minor, productType);
}

void Engine::clearUrlCacheEntry(const std::string& url) {
    try {
        net_.deleteUrlCacheEntry(normaliseCacheUrl(url));
    } catch (...) {
        // Dropping the cache entry is a courtesy; its failure is nobody's concern.
    }
}

void Engine::waitAndPump() {
    threads_.waitForMessageOrWake(norvik::kFrameMs);
    if (pump_)
        pump_();
}

// Gives up the call's transfer threads and removes the partial file. The lock is only ever held
// around short file operations (a write, the flush and close, one try of the rename), never
// across a network call, the caller's check or a pause between rename tries, so it comes free
// when the operation under way returns; `patient` waits for it (pumping) so that the file is
// closed before it is deleted.
void Engine::giveUp(CallShared& call, bool patient) {
    call.owner.store(CallShared::kGivenUp);
    const std::uint32_t start = clock_.nowMs();
    bool locked = false;
    while (!(locked = call.lock.tryLock())) {
        if (clock_.nowMs() - start >=
            (patient ? 1000u * static_cast<std::uint32_t>(stallSeconds_) : 250u))
            break;  // the transfer thread closes it when it ends; deleted then
        if (patient)
            waitAndPump();
        else
            clock_.sleepMs(10);  // the program is ending: no more messages
    }
    if (locked && call.file)
        call.files.close(std::exchange(call.file, 0));
    // The caller's check may hold the file open: then the attempt that runs it removes the file
    // when the check ends, and sees under the lock that it has to.
    if (!call.files.remove(call.partialPath).ok())
        call.partialLeft.store(true);
    if (locked)
        call.lock.unlock();
}

void Engine::abandonActiveDownloads() {
    for (const std::shared_ptr<CallShared>& call : active_) {
        call->abandoned.store(true);
        giveUp(*call, false);
    }
    endUpgrade();
}

std::string Engine::downloadFile(const std::string& remotePath, const std::string& localPath,
                                 form::Control* caption, form::Control* bar,
                                 const std::string& proxy, const AcceptFile& accept) {
    if (baseUrl_.empty() || remotePath.empty() || localPath.empty())
        return results::kFileErr;
    return runDownload(std::make_shared<CallShared>(files_), remotePath, localPath, caption, bar,
                       proxy, accept);
}

MemoryDownload Engine::downloadToMemory(const std::string& remotePath, std::size_t maxBytes,
                                        const std::string& proxy) {
    MemoryDownload out;
    if (baseUrl_.empty() || remotePath.empty()) {
        out.result = results::kFileErr;
        return out;
    }
    // The call's storage lives as long as the call: a given-up transfer thread may still hold
    // the call after this returns.
    struct InMemory {
        explicit InMemory(std::size_t max) : sink(max), call(sink) {}
        MemorySink sink;
        CallShared call;
    };
    const auto memory = std::make_shared<InMemory>(maxBytes);
    // The remote path names the call where a local path would (nothing is written under it).
    out.result = runDownload(std::shared_ptr<CallShared>(memory, &memory->call), remotePath,
                             remotePath, nullptr, nullptr, proxy, {});
    out.tooLarge = memory->sink.tooLarge();
    if (out.result == results::kResultOk)
        out.bytes = memory->sink.kept();
    return out;
}

std::string Engine::runDownload(const std::shared_ptr<CallShared>& call,
                                const std::string& remotePath, const std::string& localPath,
                                form::Control* caption, form::Control* bar,
                                const std::string& proxy, const AcceptFile& accept) {
    call->url = baseUrl_ + remotePath;
    if (!probePath_.empty()) {
        const std::string configured = baseUrl_ + probePath_;
        call->probeUrl = plainHttpUrl(configured).value_or(configured);
    }
    call->proxy = chooseProxy(proxy);
    call->partialPath = partialName(localPath);
    call->finalPath = localPath;
    call->accept = accept;
    call->stallMs = 1000u * static_cast<std::uint32_t>(stallSeconds_);
    call->secure = secure_;
    clearUrlCacheEntry(call->url);

    // Whatever way the call ends (also by an exception from a handler run by the pump), its
    // transfer is given up and its partial file removed unless it took the final name.
    struct Guard {
        Engine& engine;
        std::shared_ptr<CallShared> call;
        bool settled = false;
        ~Guard() {
            if (!settled)
                engine.giveUp(*call, false);
            engine.active_.erase(std::find(engine.active_.begin(), engine.active_.end(), call));
        }
    };
    active_.push_back(call);
    Guard guard{*this, call};

    View view;
    if (caption && bar) {
        view.caption = caption;
        view.bar = bar;
    }
    const std::string result = runCall(call, view);
    if (result != results::kResultOk && !call->abandoned.load())
        giveUp(*call, true);
    guard.settled = true;
    return result;
}

std::string Engine::runCall(const std::shared_ptr<CallShared>& shared, View& view) {
    CallShared& call = *shared;
    // Shows the attempt's published progress, at most once per wait.
    auto show = [&](const AttemptState& a) {
        const std::int64_t total = a.total.load();
        if (!view.caption || total < 0)
            return;
        if (!view.started) {
            view.caption->setText(kStartCaption);
            view.bar->setWidth(1);
            view.started = true;
        }
        const std::int64_t bytes = a.fileBytes.load();
        if (bytes == view.shownBytes && total == view.total)
            return;
        if (bytes < view.shownBytes)
            view.bar->setWidth(1);  // started again from zero
        view.shownBytes = bytes;
        view.total = total;
        const std::int64_t announcedKb = bytesToKilobytes(total);
        if (announcedKb > 0 && bytes > 0)
            updateProgress(bytes, announcedKb, *view.caption, *view.bar);
    };

    // The caller's check of the complete file: shown in the caption, and bounded.
    auto checkShown = [&](bool on) {
        if (!view.caption || view.checking == on)
            return;
        view.checking = on;
        try {
            if (on)
                view.beforeCheck = view.caption->text();
            view.caption->setText(on ? checkingCaption(call.finalPath) : view.beforeCheck);
        } catch (const std::exception&) {
            // Only the caption: the check and its result are not affected.
        }
    };

    const std::uint32_t stallMs = call.stallMs;
    const std::uint32_t checkMs = 1000u * static_cast<std::uint32_t>(checkSeconds_);
    AttemptPlan plan;
    bool progressMade = false;
    for (int number = 1, retries = 0;; ++number) {
        call.owner.store(number);
        auto attempt = std::make_shared<AttemptState>(number);
        // The call's own storage: the file seam, or memory.
        const Seams seams{net_, call.files, clock_, threads_};
        plan.login = proxyLogin_;
        if (!threads_.start(
                [seams, shared, attempt, plan] { runAttempt(seams, shared, attempt, plan); }))
            return results::kNetErr;
        plan.held = {};  // the attempt's now

        // The stall clock: every kStallBytes received restart it.
        std::uint32_t markTime = clock_.nowMs();
        std::int64_t markBytes = 0;
        Ending ending = Ending::Cut;
        std::string result = results::kNetErr;
        std::optional<std::uint32_t> checkSince;
        for (;;) {
            if (call.abandoned.load())
                return results::kNetErr;
            if (attempt->ended.load()) {
                ending = attempt->ending;
                result = attempt->result;
                break;
            }
            const std::int64_t received = attempt->received.load();
            if (received - markBytes >= kStallBytes) {
                markBytes = received;
                markTime = clock_.nowMs();
            } else if (!attempt->complete.load() && clock_.nowMs() - markTime >= stallMs) {
                if (attempt->probing.load()) {
                    // The question for a login page over plain HTTP brought no answer in time:
                    // the certificate's refusal stands.
                    ending = Ending::Failed;
                    result = attempt->refusedResult;
                }
                break;  // stalled: a cut like any other
            }
            try {
                show(*attempt);
            } catch (const std::exception&) {
                return results::kNetErr;
            }
            if (call.accept && attempt->complete.load()) {
                if (!checkSince) {
                    checkSince = clock_.nowMs();
                    checkShown(true);
                } else if (clock_.nowMs() - *checkSince >= checkMs) {
                    // Given up like a stalled attempt: the check removes the file when it ends.
                    checkShown(false);
                    return results::kSignTimeoutErr;
                }
            }
            waitAndPump();
        }
        if (ending != Ending::Done)
            checkShown(false);
        call.owner.store(CallShared::kNobody);
        try {
            show(*attempt);
        } catch (const std::exception&) {
            return results::kNetErr;
        }

        // A handshake that got through earlier in this call proves the secure channel: a later
        // failure to set it up is the network's.
        if (isOldTlsResult(result) && progressMade) {
            ending = Ending::Cut;
            result = results::kNetErr;
        }
        progressMade = progressMade || attempt->fileReceived.load() > 0;
        if (attempt->total.load() >= 0 && attempt->freshStart)
            plan = AttemptPlan{attempt->validator, attempt->total.load(), {}, {}};
        if (ending == Ending::Done) {
            if (view.caption && bytesToKilobytes(view.total) > 0) {
                try {
                    view.bar->setWidth(view.caption->width());
                    view.caption->setText(finishedCaption(bytesToKilobytes(view.total)));
                } catch (const std::exception&) {
                    // The file is complete and in place; a refused view property does not undo
                    // that.
                }
            }
            return results::kResultOk;
        }
        if (ending == Ending::ProxyLogin) {
            // The system's dialog, on this thread while no transfer runs (so no stall clock);
            // the window stays usable beside it. Credentials given: the same request again, as
            // often as the user tries; no attempt of the budget is used up by it.
            plan.held = std::make_shared<HeldRequest>(std::move(attempt->held));
            const NetHandle request = plan.held->request.get();
            const bool retry = net_.loginDialog(request) == kErrorForceRetry;
            if (retry && !call.abandoned.load()) {
                keepProxyLogin(request);
                continue;
            }
            return call.abandoned.load() ? results::kNetErr : results::kProxyAuthErr;
        }
        const bool retryable = ending == Ending::Cut || ending == Ending::Restart;
        if (!retryable || !progressMade || retries == kMaxRetries)
            return result;
        ++retries;
        if (ending == Ending::Restart)
            plan.validator = {};  // from zero, without a range
        const std::uint32_t pauseStart = clock_.nowMs();
        while (clock_.nowMs() - pauseStart < retryDelayMs(retries)) {
            if (call.abandoned.load())
                return results::kNetErr;
            waitAndPump();
        }
    }
}

// What the dialog put on the request serves the later requests of the upgrade. When it cannot
// be read, the request still carries it and a later one may ask again.
void Engine::keepProxyLogin(NetHandle request) {
    Result<std::string> user = net_.queryStringOption(request, kOptionProxyUsername);
    Result<std::string> password = net_.queryStringOption(request, kOptionProxyPassword);
    if (user.ok() && password.ok())
        proxyLogin_ = std::make_shared<const ProxyCredentials>(std::move(user.value),
                                                               std::move(password.value));
    ProxyCredentials::wipe(user.value);
    ProxyCredentials::wipe(password.value);
}

void Engine::updateProgress(std::int64_t bytesDone, std::int64_t announcedKb,
                            form::Control& caption, form::Control& bar) {
    const double kbDone = static_cast<double>(bytesDone) / 1024.0;
    const double fraction = kbDone / static_cast<double>(announcedKb);
    const int percentage = toInt16(fraction * 100.0);

    // Setting an unchanged value would only make the window repaint for nothing.
    std::string text = progressCaption(percentage, kbDone, announcedKb, separator_);
    if (caption.text() != text)
        caption.setText(text);

    if (bar.width() < caption.width()) {
        // Width × kilobytes first, then the division: an exact half stays exact and rounds to
        // even (300 × 44 / 480 is 27.5 and gives 28; 300 × (44 / 480) is 27.4999… and gives 27).
        const int width = toInt32(caption.width() * kbDone / static_cast<double>(announcedKb));
        if (width != bar.width())
            bar.setWidth(width);
    }
    // The bar never grows beyond the caption.
    if (bar.width() > caption.width())
        bar.setWidth(caption.width());
}

}  // namespace download
