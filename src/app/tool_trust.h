#pragma once
// Whether an update tool is the maker's own: the decision on what the Authenticode check of the
// file found, kept apart from the system call so that it can be checked anywhere.
#include <cstdint>
#include <string>

namespace app {

// Results of the check (values of WinVerifyTrust's HRESULTs).
inline constexpr std::uint32_t kTrustValid = 0;
inline constexpr std::uint32_t kTrustNoSignature = 0x800B0100;  // TRUST_E_NOSIGNATURE
inline constexpr std::uint32_t kTrustBadDigest = 0x80096010;    // TRUST_E_BAD_DIGEST

// What the Authenticode check of one file found.
struct SignatureCheck {
    std::uint32_t status = kTrustNoSignature;
    // The subject common name of the signer's certificate (UTF-8); "" when there is none.
    std::string signer;
};

// True when the check found a valid signature by `publisher`. An empty `publisher` turns the
// check off: every file is accepted.
bool isPublishersFile(const SignatureCheck& check, const std::string& publisher);

}  // namespace app
