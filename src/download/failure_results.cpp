#include "download/failure_results.h"

#include "download/transfer.h"

namespace download {

std::string resultForInternetError(std::uint32_t winInetError) {
    switch (winInetError) {
        case kErrorCertDateInvalid:
            return kClockErr;
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
