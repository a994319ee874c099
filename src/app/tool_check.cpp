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

std::string checkDownloadedTool(SignatureVerifier& verifier, download::Clock& clock,
                                const std::string& path, const std::string& publisher) {
    if (publisher.empty())
        return results::kResultOk;
    const SignatureCheck check = checkJustWritten(clock, [&] { return verifier.checkFile(path); });
    return quarantined(check) ? results::kVirusErr : toolSignatureResult(check, publisher);
}

namespace {

// What the checking thread and the window's thread share; the last of them frees it.
struct CheckJob {
    SignatureCheck result;  // written before `done`
    std::atomic<bool> done{false};
};

}  // namespace

std::string checkHeldTool(const std::shared_ptr<HeldProgram>& held, const std::string& publisher,
                          download::Threads& threads, download::Clock& clock, std::uint32_t boundMs,
                          const std::function<void()>& pump) {
    if (publisher.empty())
        return results::kResultOk;
    auto job = std::make_shared<CheckJob>();
    if (!threads.start([job, held, &threads] {
            job->result = held->signature();
            job->done.store(true);
            threads.wake();
        }))
        return results::kSignTimeoutErr;
    const std::uint32_t since = clock.nowMs();
    while (!job->done.load()) {
        if (clock.nowMs() - since >= boundMs)
            return results::kSignTimeoutErr;
        threads.waitForMessageOrWake(norvik::kFrameMs);
        if (pump)
            pump();
    }
    return toolSignatureResult(job->result, publisher);
}

}  // namespace app
