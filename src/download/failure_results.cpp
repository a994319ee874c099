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

bool isRefusedCertificate(std::uint32_t winInetError) {
    switch (winInetError) {
        case kErrorInternetInvalidCa:
        case kErrorInternetSecCertCnInvalid:
        case kErrorInternetSecCertDateInvalid:
        case kErrorInternetSecInvalidCert:
        case kErrorInternetSecurityChannelError:
            return true;
        default:
            return false;
    }
}

std::string oldTlsResult(std::uint32_t major, std::uint32_t minor, std::uint8_t productType) {
    if (major != 6 || minor > 1)
        return {};
    if (minor == 1)
        return results::kTlsErr;
    const bool server = productType != 0 && productType != kProductWorkstation;
    return server ? results::kTlsServer2008Err : results::kTlsVistaErr;
}

bool isOldTlsResult(const std::string& result) {
    return result == results::kTlsErr || result == results::kTlsVistaErr ||
           result == results::kTlsServer2008Err;
}

std::string resultForRefusedRequest(const RefusedRequest& request, const SecureContext& context) {
    if (request.error == kErrorInternetSecCertDateInvalid) {
        const bool clockBehind =
            context.now < context.buildDate ||
            (request.certificateStart && context.now < *request.certificateStart);
        return clockBehind ? results::kClockErr : results::kCertExpiredErr;
    }
    // Such a Windows offers TLS 1.0 (or up to 1.1): a server of today ends the handshake with
    // an alert, or closes or resets the connection.
    const bool handshakeFailed = request.secure && !request.channelSetUp &&
                                 (request.error == kErrorInternetSecurityChannelError ||
                                  request.error == kErrorInternetConnectionAborted ||
                                  request.error == kErrorInternetConnectionReset);
    if (!context.oldTlsResult.empty() && handshakeFailed)
        return context.oldTlsResult;
    return resultForInternetError(request.error);
}

std::string resultForFileError(std::uint32_t windowsError) {
    return isVirusError(windowsError) ? results::kVirusErr : results::kDiskErr;
}

bool mayClearSoon(std::uint32_t windowsError) {
    return windowsError == kErrorSharingViolation || windowsError == kErrorLockViolation ||
           windowsError == kErrorAccessDenied;
}

}  // namespace download
