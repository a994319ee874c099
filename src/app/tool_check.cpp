#include "app/tool_check.h"

#include <atomic>

#include "app/one_copy.h"
#include "app/scanner_patience.h"
#include "app/tool_trust.h"
#include "common/frame.h"
#include "common/windows_codes.h"
#include "results/results.h"

namespace app {

SignatureCheck checkJustWritten(download::Clock& clock,
                                const std::function<SignatureCheck()>& check) {
    ScannerPatience patience(clock, {});
    SignatureCheck found = check();
    while (patience.again(found.openError))
        found = check();
    return found;
}

bool quarantined(const SignatureCheck& check) {
    switch (check.openError) {
        case norvik::kErrorSharingViolation:
        case norvik::kErrorFileNotFound:
        case norvik::kErrorAccessDenied:
            return true;
        default:
            return false;
    }
}

namespace {

// Only such a refusal may be mended by a root that Windows fetches.
bool refusedForRootOnly(const SignatureCheck& check, const std::string& publisher) {
    return toolSignatureResult(check, publisher) == results::kRootErr;
}

// What the checking thread and the window's thread share; the last of them frees it.
struct CheckJob {
    explicit CheckJob(std::uint32_t boundMs) : roots(boundMs) {}
    RootsFirst roots;
    SignatureCheck result;  // written before `done`
    std::atomic<bool> done{false};
};

}  // namespace

std::string checkDownloadedTool(SignatureVerifier& verifier, download::Clock& clock,
                                const std::string& path, const std::string& publisher,
                                RootsFirst& roots) {
    if (publisher.empty())
        return results::kResultOk;
    const SignatureCheck check = roots.run(
        clock,
        [&](bool retrievalAllowed) {
            return checkJustWritten(clock,
                                    [&] { return verifier.checkFile(path, retrievalAllowed); });
        },
        [&](const SignatureCheck& tried) { return refusedForRootOnly(tried, publisher); });
    return quarantined(check) ? results::kVirusErr : toolSignatureResult(check, publisher);
}

std::string checkHeldTool(const std::shared_ptr<HeldProgram>& held, const std::string& publisher,
                          download::Threads& threads, download::Clock& clock, std::uint32_t boundMs,
                          const std::function<void()>& pump) {
    if (publisher.empty())
        return results::kResultOk;
    auto job = std::make_shared<CheckJob>(boundMs);
    // From before the thread starts: the bound covers both tries, however the threads run.
    const std::uint32_t since = clock.nowMs();
    if (!threads.start([job, held, publisher, &threads, &clock] {
            job->result = job->roots.run(
                clock, [&](bool retrievalAllowed) { return held->signature(retrievalAllowed); },
                [&](const SignatureCheck& tried) { return refusedForRootOnly(tried, publisher); });
            job->done.store(true);
            threads.wake();
        }))
        return results::kSignTimeoutErr;
    // The bound first: a verdict that comes after it is not waited for.
    while (clock.nowMs() - since < boundMs) {
        if (job->done.load())
            return toolSignatureResult(job->result, publisher);
        threads.waitForMessageOrWake(norvik::kFrameMs);
        if (pump)
            pump();
    }
    return job->roots.resultAtBound();
}

}  // namespace app
