#pragma once
// The result a failing Windows call stands for, decided in one place for the download engine and
// for the start of the update tool.
#include <cstdint>
#include <optional>
#include <string>

namespace download {

// WinINet's refusals of the server's certificate or of a secure channel (values as in
// <wininet.h>).
// ERROR_INTERNET_SEC_CERT_DATE_INVALID
inline constexpr std::uint32_t kErrorCertDateInvalid = 12037;
inline constexpr std::uint32_t kErrorCertCnInvalid = 12038;  // ERROR_INTERNET_SEC_CERT_CN_INVALID
inline constexpr std::uint32_t kErrorInvalidCa = 12045;      // ERROR_INTERNET_INVALID_CA
inline constexpr std::uint32_t kErrorCertErrors = 12055;     // ERROR_INTERNET_SEC_CERT_ERRORS
inline constexpr std::uint32_t kErrorCertNoRevocation = 12056;  // ERROR_INTERNET_SEC_CERT_NO_REV
// ERROR_INTERNET_SEC_CERT_REV_FAILED (what Wine answers to the test servers' certificate from an
// untrusted issuer)
inline constexpr std::uint32_t kErrorCertRevocationFailed = 12057;
// ERROR_INTERNET_SECURITY_CHANNEL_ERROR
inline constexpr std::uint32_t kErrorSecurityChannel = 12157;
inline constexpr std::uint32_t kErrorInvalidCert = 12169;  // ERROR_INTERNET_SEC_INVALID_CERT
inline constexpr std::uint32_t kErrorCertRevoked = 12170;  // ERROR_INTERNET_SEC_CERT_REVOKED

// The connection was closed or reset before an answer (values as in <wininet.h>).
inline constexpr std::uint32_t kErrorConnectionAborted =
    12030;                                                     // ERROR_INTERNET_CONNECTION_ABORTED
inline constexpr std::uint32_t kErrorConnectionReset = 12031;  // ERROR_INTERNET_CONNECTION_RESET

// A scanner refused or removed the file (values as in the Windows SDK's <winerror.h>; mingw-w64
// lacks them).
inline constexpr std::uint32_t kErrorVirusInfected = 225;  // ERROR_VIRUS_INFECTED
inline constexpr std::uint32_t kErrorVirusDeleted = 226;   // ERROR_VIRUS_DELETED

// True for the refusals of the server's certificate (unknown issuer, another host, out of its
// validity period, invalid) and of the secure channel: what a network that intercepts HTTPS to
// show its login page makes WinINet answer.
bool isRefusedCertificate(std::uint32_t winInetError);

// What a refused secure request is judged by besides its code. Dates are FILETIME units
// (100 ns since 1601, UTC).
struct SecureContext {
    // Windows 6.0 and 6.1, where WinINet has no TLS 1.2 (Vista) or has it off unless Internet
    // Explorer 11 is installed (7).
    bool oldTlsWindows = false;
    std::uint64_t now = 0;        // the computer's date
    std::uint64_t buildDate = 0;  // the date this program was built from; 0 when unknown
};
struct RefusedRequest {
    std::uint32_t error = 0;
    bool secure = false;  // an https request
    // The secure channel was set up before the request failed (SECURITY_FLAG_SECURE).
    bool channelSetUp = false;
    // From when the server's certificate is valid, when the request holds it.
    std::optional<std::uint64_t> certificateStart;
};

// The result of a request that WinINet could not send, named for what the user can mend:
// "ClockErr" for a certificate out of its validity period while the computer's date lies before
// this build's or the certificate's start, else "CertExpiredErr" (the certificate expired on the
// server); on Windows 6.0 and 6.1 "TlsErr" for a secure channel that could not be set up (12157,
// or the connection closed or reset before the channel stood); "SecureErr" for any other
// refused certificate or secure channel; "NetErr" for everything else. Only "NetErr" is worth
// another attempt: a refused certificate stays refused.
std::string resultForRefusedRequest(const RefusedRequest& request, const SecureContext& context);

// The result of a failing local file operation: "VirusErr" when an antivirus program blocked or
// removed the file, else "DiskErr".
std::string resultForFileError(std::uint32_t windowsError);

// True when an antivirus program blocked or removed the file.
bool isVirusError(std::uint32_t windowsError);

}  // namespace download
