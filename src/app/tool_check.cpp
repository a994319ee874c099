#include "app/tool_check.h"

#include <atomic>

#include "app/one_copy.h"
#include "app/scanner_patience.h"
#include "app/tool_trust.h"
#include "common/frame.h"
#include "common/windows_codes.h"
#include "results/results.h"

namespace app {

std::string checkDownloadedTool(SignatureVerifier& verifier, download::Clock& clock,
                                const std::string& path, const std::string& publisher) {
    if (publisher.empty())
        return results::kResultOk;
    // On the transfer thread: nothing to pump between the tries.
    ScannerPatience patience(clock, {});
    SignatureCheck check = verifier.checkFile(path);
    while (patience.again(check.openError))
        check = verifier.checkFile(path);
    switch (check.openError) {
        case norvik::kErrorSharingViolation:
        case norvik::kErrorFileNotFound:
        case norvik::kErrorAccessDenied:
            return results::kVirusErr;
        default:
            return toolSignatureResult(check, publisher);
    }
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
