#pragma once
// The Windows error codes the platform-free code decides on, each defined once. Each is named
// after its Windows name (kErrorSharingViolation is ERROR_SHARING_VIOLATION) with the value of the
// Windows SDK's <winerror.h> and <wininet.h>; the Windows layer checks them against mingw-w64's
// headers where those have them.
#include <cstdint>

namespace norvik {

// <winerror.h>
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorFileTooLarge = 223;
// An antivirus program refused or removed the file (mingw-w64's headers lack both).
inline constexpr std::uint32_t kErrorVirusInfected = 225;
inline constexpr std::uint32_t kErrorVirusDeleted = 226;
// Vista and later (not in the XP headers the program builds against).
inline constexpr std::uint32_t kErrorElevationRequired = 740;

// <wininet.h>: the connection closed or reset before an answer came.
inline constexpr std::uint32_t kErrorInternetConnectionAborted = 12030;
inline constexpr std::uint32_t kErrorInternetConnectionReset = 12031;
// <wininet.h>: refusals of the server's certificate or of a secure channel.
inline constexpr std::uint32_t kErrorInternetSecCertDateInvalid = 12037;
inline constexpr std::uint32_t kErrorInternetSecCertCnInvalid = 12038;
inline constexpr std::uint32_t kErrorInternetInvalidCa = 12045;
inline constexpr std::uint32_t kErrorInternetSecCertErrors = 12055;
inline constexpr std::uint32_t kErrorInternetSecCertNoRev = 12056;
// The revocation status could not be obtained. Wine never checks revocation; it answers this to
// a chain it cannot complete (an unknown issuer), and, sent again without the revocation check,
// ERROR_INTERNET_INVALID_CA.
inline constexpr std::uint32_t kErrorInternetSecCertRevFailed = 12057;
inline constexpr std::uint32_t kErrorInternetSecurityChannelError = 12157;
inline constexpr std::uint32_t kErrorInternetSecInvalidCert = 12169;
inline constexpr std::uint32_t kErrorInternetSecCertRevoked = 12170;

// True when an antivirus program blocked or removed the file.
inline bool isVirusError(std::uint32_t windowsError) {
    return windowsError == kErrorVirusInfected || windowsError == kErrorVirusDeleted;
}

}  // namespace norvik
