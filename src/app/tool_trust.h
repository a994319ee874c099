#pragma once
// Whether an update tool is the maker's own: the decision on what the Authenticode check of the
// file found, kept apart from the system call so that it can be checked anywhere.
#include <cstdint>
#include <string>

namespace app {

// Results of the check (values of WinVerifyTrust's HRESULTs).
inline constexpr std::uint32_t kTrustValid = 0;
inline constexpr std::uint32_t kTrustNoSignature = 0x800B0100;  // TRUST_E_NOSIGNATURE
inline constexpr std::uint32_t kTrustExpired = 0x800B0101;      // CERT_E_EXPIRED
inline constexpr std::uint32_t kTrustBadDigest = 0x80096010;    // TRUST_E_BAD_DIGEST

// What the Authenticode check of one file found.
struct SignatureCheck {
    std::uint32_t status = kTrustNoSignature;
    // The subject common name of the signer's certificate (UTF-8); "" when there is none.
    std::string signer;
    // The Windows error code of opening the file for the check; 0 when it was opened.
    std::uint32_t openError = 0;
    // When the check was made, and from when the signer's certificate is valid: 100-nanosecond
    // units since 1601 (FILETIME, UTC); 0 when unknown.
    std::uint64_t checkedAt = 0;
    std::uint64_t signerValidFrom = 0;
};

// The verdict on a tool: "" when the check found a valid signature by `publisher` (or the check
// is off: an empty `publisher` accepts every file); "VirusErr" when an antivirus program kept the
// file from being read; "ClockErr" when the signature was refused as out of its validity period
// while the computer's date lies before the signer's certificate begins (the clock is wrong, so
// no signature can be judged); "SignErr" for every other refusal.
std::string toolSignatureResult(const SignatureCheck& check, const std::string& publisher);

}  // namespace app
