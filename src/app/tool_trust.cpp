#include "app/tool_trust.h"

#include "common/windows_codes.h"
#include "results/results.h"

namespace app {

namespace {

// The Windows error code inside an HRESULT_FROM_WIN32 value; 0 for any other HRESULT.
std::uint32_t win32CodeOf(std::uint32_t hresult) {
    return (hresult & 0xFFFF0000u) == 0x80070000u ? hresult & 0xFFFFu : 0;
}

}  // namespace

std::string toolSignatureResult(const SignatureCheck& check, const std::string& publisher) {
    if (publisher.empty())
        return results::kResultOk;
    if (norvik::isVirusError(check.openError) || norvik::isVirusError(win32CodeOf(check.status)))
        return results::kVirusErr;
    if (check.status == kTrustValid && check.signer == publisher)
        return results::kResultOk;
    if (check.status == kTrustExpired && check.checkedAt != 0 &&
        check.checkedAt < check.signerValidFrom)
        return results::kClockErr;
    return results::kSignErr;
}

}  // namespace app
