#include "download/failure_results.h"

#include "common/windows_codes.h"
#include "results/results.h"

namespace download {

using namespace norvik;

std::string resultForInternetError(std::uint32_t winInetError) {
    switch (winInetError) {
        case kErrorInternetSecCertDateInvalid:
            return results::kClockErr;
        case kErrorInternetSecCertCnInvalid:
        case kErrorInternetInvalidCa:
        case kErrorInternetSecCertErrors:
        case kErrorInternetSecCertNoRev:
        case kErrorInternetSecCertRevFailed:
        case kErrorInternetSecurityChannelError:
        case kErrorInternetSecInvalidCert:
        case kErrorInternetSecCertRevoked:
            return results::kSecureErr;
        default:
            return results::kNetErr;
    }
}

std::string resultForFileError(std::uint32_t windowsError) {
    return isVirusError(windowsError) ? results::kVirusErr : results::kDiskErr;
}

bool mayClearSoon(std::uint32_t windowsError) {
    return windowsError == kErrorSharingViolation || windowsError == kErrorLockViolation ||
           windowsError == kErrorAccessDenied;
}

}  // namespace download
