#pragma once
// The result a failing Windows call stands for, decided in one place for the download engine and
// for the start of the update tool.
#include <cstdint>
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

// A scanner refused or removed the file (values as in the Windows SDK's <winerror.h>; mingw-w64
// lacks them).
inline constexpr std::uint32_t kErrorVirusInfected = 225;  // ERROR_VIRUS_INFECTED
inline constexpr std::uint32_t kErrorVirusDeleted = 226;   // ERROR_VIRUS_DELETED

// The result of a request that WinINet could not open: "ClockErr" for a certificate outside its
// validity period (most often the computer's date is wrong), "SecureErr" for any other refused
// certificate or a secure channel that could not be set up, "NetErr" for everything else. Only
// "NetErr" is worth another attempt: a refused certificate stays refused.
std::string resultForInternetError(std::uint32_t winInetError);

// True for the refusals of the server's certificate (unknown issuer, another host, out of its
// validity period, invalid) and of the secure channel: what a network that intercepts HTTPS to
// show its login page makes WinINet answer.
bool isRefusedCertificate(std::uint32_t winInetError);

// The result of a failing local file operation: "VirusErr" when an antivirus program blocked or
// removed the file, else "DiskErr".
std::string resultForFileError(std::uint32_t windowsError);

// True when an antivirus program blocked or removed the file.
bool isVirusError(std::uint32_t windowsError);

}  // namespace download
