// WinVerifyTrust with the generic Authenticode policy, and the signer's name from its state.
#include "app/win32/signature_check.h"

// after windows.h, whose types they use
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/utf16.h"

namespace app::win32 {
namespace {

static_assert(kTrustNoSignature == static_cast<std::uint32_t>(TRUST_E_NOSIGNATURE) &&
              kTrustExpired == static_cast<std::uint32_t>(CERT_E_EXPIRED) &&
              kTrustBadDigest == static_cast<std::uint32_t>(TRUST_E_BAD_DIGEST));

std::uint64_t fileTimeValue(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The certificate that signed, as far as the verification got; null when it got no signer.
PCCERT_CONTEXT signerCertificate(HANDLE stateData) {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(stateData);
    if (!provider)
        return nullptr;
    CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain)
        return nullptr;
    return signer->pasCertChain[0].pCert;
}

class Win32SignatureVerifier : public SignatureVerifier {
  public:
    // Opened here rather than by WinVerifyTrust, so that a file an antivirus program keeps
    // from being read is told by its own error code. Others may still read and delete it.
    SignatureCheck checkFile(const std::string& path, bool retrievalAllowed) override {
        const std::wstring wide = norvik::win32::toWide(path);
        const norvik::win32::UniqueFileHandle file(
            CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            SignatureCheck check;
            check.openError = static_cast<std::uint32_t>(GetLastError());
            return check;
        }
        return checkSignature(wide, file.get(), retrievalAllowed);
    }
};

}  // namespace

std::string signerCommonName(PCCERT_CONTEXT certificate) {
    char oid[] = szOID_COMMON_NAME;
    const DWORD length = CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, oid, nullptr, 0);
    if (length <= 1)
        return {};
    std::vector<wchar_t> name(length);
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, oid, name.data(), length);
    return norvik::win32::toUtf8(name.data());
}

SignatureCheck checkSignature(const std::wstring& path, HANDLE file, bool retrievalAllowed) {
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file;

    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // Cache-only: whatever the chain needs must already be on this machine. Otherwise the chain
    // may be completed from the network (on Vista and later that is how a root missing from the
    // disk is fetched through the automatic root update); revocation is still not checked.
    // Windows XP does not support the cache-only flag: there the first check may already fetch.
    // Wine takes a chain to an untrusted root as valid, so it never asks for the second check.
    data.dwProvFlags = retrievalAllowed ? WTD_REVOCATION_CHECK_NONE : WTD_CACHE_ONLY_URL_RETRIEVAL;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG status = WinVerifyTrust(noUser, &action, &data);

    SignatureCheck check;
    check.status = static_cast<std::uint32_t>(status);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    check.checkedAt = fileTimeValue(now);
    // The signer's validity and name also when the signature is refused: as out of its validity
    // (a wrong clock), or for a root this computer lacks.
    if (const PCCERT_CONTEXT certificate = signerCertificate(data.hWVTStateData)) {
        if (certificate->pCertInfo)
            check.signerValidFrom = fileTimeValue(certificate->pCertInfo->NotBefore);
        check.signer = signerCommonName(certificate);
    }

    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(noUser, &action, &data);
    return check;
}

SignatureVerifier& realSignatureVerifier() {
    static Win32SignatureVerifier verifier;
    return verifier;
}

}  // namespace app::win32
