// WinVerifyTrust with the generic Authenticode policy, and the signer's name from its state.
#include "app/win32/signature_check.h"

// after windows.h, whose types they use
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "common/win32/utf16.h"

namespace app::win32 {
namespace {

static_assert(kTrustNoSignature == static_cast<std::uint32_t>(TRUST_E_NOSIGNATURE) &&
              kTrustBadDigest == static_cast<std::uint32_t>(TRUST_E_BAD_DIGEST));

// The subject common name of the certificate that signed, from a successful verification.
std::string signerCommonName(HANDLE stateData) {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(stateData);
    if (!provider)
        return {};
    CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain ||
        !signer->pasCertChain[0].pCert)
        return {};
    const PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    char oid[] = szOID_COMMON_NAME;
    const DWORD length = CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, oid, nullptr, 0);
    if (length <= 1)
        return {};
    std::vector<wchar_t> name(length);
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, oid, name.data(), length);
    return norvik::win32::toUtf8(name.data());
}

class Win32SignatureVerifier : public SignatureVerifier {
  public:
    SignatureCheck checkFile(const std::string& path) override {
        return checkSignature(norvik::win32::toWide(path), nullptr);
    }
};

}  // namespace

SignatureCheck checkSignature(const std::wstring& path, HANDLE file) {
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
    // Whatever the chain needs must already be on this machine: nothing is fetched.
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG status = WinVerifyTrust(noUser, &action, &data);

    SignatureCheck check;
    check.status = static_cast<std::uint32_t>(status);
    if (status == ERROR_SUCCESS)
        check.signer = signerCommonName(data.hWVTStateData);

    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(noUser, &action, &data);
    return check;
}

SignatureVerifier& realSignatureVerifier() {
    static Win32SignatureVerifier verifier;
    return verifier;
}

}  // namespace app::win32
