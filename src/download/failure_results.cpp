#include "download/failure_results.h"

#include "download/transfer.h"

namespace download {

namespace {

std::string resultForCode(std::uint32_t winInetError) {
    switch (winInetError) {
        case kErrorCertCnInvalid:
        case kErrorInvalidCa:
        case kErrorCertErrors:
        case kErrorCertNoRevocation:
        case kErrorCertRevocationFailed:
        case kErrorSecurityChannel:
        case kErrorInvalidCert:
        case kErrorCertRevoked:
            return kSecureErr;
        default:
            return kNetErr;
    }
}

}  // namespace

std::string resultForRefusedRequest(const RefusedRequest& request, const SecureContext& context) {
    if (request.error == kErrorCertDateInvalid) {
        const bool clockBehind =
            context.now < context.buildDate ||
            (request.certificateStart && context.now < *request.certificateStart);
        return clockBehind ? kClockErr : kCertExpiredErr;
    }
    // Such a Windows offers TLS 1.0 (or up to 1.1): a server of today ends the handshake,
    // with an alert or by closing or resetting the connection.
    const bool handshakeFailed =
        request.secure && !request.channelSetUp &&
        (request.error == kErrorSecurityChannel || request.error == kErrorConnectionAborted ||
         request.error == kErrorConnectionReset);
    if (context.oldTlsWindows && handshakeFailed)
        return kTlsErr;
    return resultForCode(request.error);
}

bool isRefusedCertificate(std::uint32_t winInetError) {
    switch (winInetError) {
        case kErrorInvalidCa:
        case kErrorCertCnInvalid:
        case kErrorCertDateInvalid:
        case kErrorInvalidCert:
        case kErrorSecurityChannel:
            return true;
        default:
            return false;
    }
}

bool isVirusError(std::uint32_t windowsError) {
    return windowsError == kErrorVirusInfected || windowsError == kErrorVirusDeleted;
}

std::string resultForFileError(std::uint32_t windowsError) {
    return isVirusError(windowsError) ? kVirusErr : kDiskErr;
}

}  // namespace download
