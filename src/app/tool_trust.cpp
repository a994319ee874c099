#include "app/tool_trust.h"

#include "download/failure_results.h"
#include "download/transfer.h"

namespace app {

namespace {

// The Windows error code inside an HRESULT_FROM_WIN32 value; 0 for any other HRESULT.
std::uint32_t win32CodeOf(std::uint32_t hresult) {
    return (hresult & 0xFFFF0000u) == 0x80070000u ? hresult & 0xFFFFu : 0;
}

}  // namespace

std::string toolSignatureResult(const SignatureCheck& check, const std::string& publisher) {
    if (publisher.empty())
        return download::kResultOk;
    if (download::isVirusError(check.openError) ||
        download::isVirusError(win32CodeOf(check.status)))
        return download::kVirusErr;
    if (check.status == kTrustValid && check.signer == publisher)
        return download::kResultOk;
    // A changed file fails its digest before the chain is judged, so these two codes come only
    // for an intact signature.
    if ((check.status == kTrustUntrustedRoot || check.status == kTrustChaining) &&
        check.signer == publisher)
        return download::kRootErr;
    if (check.status == kTrustExpired && check.checkedAt != 0 &&
        check.checkedAt < check.signerValidFrom)
        return download::kClockErr;
    return download::kSignErr;
}

bool isPublishersFile(const SignatureCheck& check, const std::string& publisher) {
    return toolSignatureResult(check, publisher).empty();
}

}  // namespace app
