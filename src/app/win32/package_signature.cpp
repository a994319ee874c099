// A package's detached signature (DER CMS SignedData) decoded with CryptMsgOpenToDecode, the
// package's bytes streamed through it with CryptMsgUpdate, the signature verified with
// CryptMsgControl, and the signer's chain built with CertGetCertificateChain for the
// code-signing purpose and judged by CertVerifyCertificateChainPolicy's base policy.
#include "app/win32/package_signature.h"

#include <windows.h>
// after windows.h, whose types it uses
#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "app/win32/signature_check.h"
#include "common/win32/unique_handle.h"
#include "common/win32/utf16.h"
#include "common/windows_codes.h"

namespace app::win32 {
namespace {

static_assert(norvik::kErrorFileTooLarge == ERROR_FILE_TOO_LARGE);

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// The package is read in pieces of this size: it is never in memory as a whole.
constexpr DWORD kReadSize = 64 * 1024;

void closeMessage(HCRYPTMSG message) {
    CryptMsgClose(message);
}
void closeStore(HCERTSTORE store) {
    CertCloseStore(store, 0);
}
void freeCertificate(PCCERT_CONTEXT certificate) {
    CertFreeCertificateContext(certificate);
}
void freeChain(PCCERT_CHAIN_CONTEXT chain) {
    CertFreeCertificateChain(chain);
}
// A crypt32 handle for which "none" is null, released by `Release`.
template <typename T, void (*Release)(T)>
struct CryptTraits {
    using type = T;
    static type invalid() { return nullptr; }
    static void close(type handle) { Release(handle); }
};
using Message = norvik::win32::UniqueHandle<CryptTraits<HCRYPTMSG, closeMessage>>;
using Store = norvik::win32::UniqueHandle<CryptTraits<HCERTSTORE, closeStore>>;
using Certificate = norvik::win32::UniqueHandle<CryptTraits<PCCERT_CONTEXT, freeCertificate>>;
using Chain = norvik::win32::UniqueHandle<CryptTraits<PCCERT_CHAIN_CONTEXT, freeChain>>;

std::uint32_t lastError() {
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<std::uint32_t>(error) : norvik::kErrorGenFailure;
}

std::uint64_t fileTimeValue(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Gives nothing back: a detached signature carries no content.
BOOL WINAPI noStreamOutput(const void*, BYTE*, DWORD, BOOL) {
    return TRUE;
}

// The signature's header in one final update, then the package's bytes as the detached
// content, piece by piece, the last update final (as CryptMsgUpdate documents it for a detached
// message): 0, or the error. `streamed` opens the message for stream processing.
std::uint32_t decode(const std::string& signature, HANDLE file, bool streamed, Message& message,
                     bool& contentRefused) {
    CMSG_STREAM_INFO stream{CMSG_INDEFINITE_LENGTH, &noStreamOutput, nullptr};
    message.reset(CryptMsgOpenToDecode(kEncoding, CMSG_DETACHED_FLAG, 0, 0, nullptr,
                                       streamed ? &stream : nullptr));
    if (!message)
        return lastError();
    const BYTE* header = reinterpret_cast<const BYTE*>(signature.data());
    if (!CryptMsgUpdate(message.get(), header, static_cast<DWORD>(signature.size()), TRUE))
        return lastError();
    std::vector<BYTE> buffer(kReadSize);
    for (bool first = true;; first = false) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), kReadSize, &got, nullptr))
            return static_cast<std::uint32_t>(HRESULT_FROM_WIN32(GetLastError()));
        // The end of the file (read as 0 bytes) is the final update.
        if (!CryptMsgUpdate(message.get(), buffer.data(), got, got == 0)) {
            contentRefused = first && got > 0;
            return lastError();
        }
        if (got == 0)
            return 0;
    }
}

// The signer's certificate, from the certificates the message carries; null (and the error)
// when it names none of them.
PCCERT_CONTEXT signerOf(HCRYPTMSG message, HCERTSTORE store, std::uint32_t& error) {
    DWORD size = 0;
    if (!CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size)) {
        error = lastError();
        return nullptr;
    }
    std::vector<BYTE> info(size);
    if (!CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(), &size)) {
        error = lastError();
        return nullptr;
    }
    const PCCERT_CONTEXT signer = CertGetSubjectCertificateFromStore(
        store, kEncoding, reinterpret_cast<PCERT_INFO>(info.data()));
    if (!signer)
        error = lastError();
    return signer;
}

// A message parameter of the first signer's, into `value`: 0, or the error.
std::uint32_t signerParam(HCRYPTMSG message, DWORD param, std::vector<BYTE>& value) {
    DWORD size = 0;
    if (!CryptMsgGetParam(message, param, 0, nullptr, &size))
        return lastError();
    value.resize(size);
    if (!CryptMsgGetParam(message, param, 0, value.data(), &size))
        return lastError();
    value.resize(size);
    return 0;
}

// The signer's signed messageDigest attribute is the hash of the bytes streamed through the
// message: 0, or why not. Windows compares them in CMSG_CTRL_VERIFY_SIGNATURE; Wine's crypt32
// verifies only the signature over the attributes, so the program compares them itself. A
// signature without the attribute (made over the content alone) is not one the release makes.
std::uint32_t digestStatus(HCRYPTMSG message) {
    std::vector<BYTE> attributes, computed;
    if (signerParam(message, CMSG_SIGNER_AUTH_ATTR_PARAM, attributes) != 0)
        return static_cast<std::uint32_t>(CRYPT_E_ATTRIBUTES_MISSING);
    if (const std::uint32_t error = signerParam(message, CMSG_COMPUTED_HASH_PARAM, computed))
        return error;
    const auto* list = reinterpret_cast<const CRYPT_ATTRIBUTES*>(attributes.data());
    for (DWORD i = 0; i < list->cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = list->rgAttr[i];
        if (std::strcmp(attribute.pszObjId, szOID_RSA_messageDigest) != 0)
            continue;
        if (attribute.cValue != 1)
            break;
        DWORD size = 0;
        const CRYPT_ATTR_BLOB& value = attribute.rgValue[0];
        if (!CryptDecodeObject(X509_ASN_ENCODING, X509_OCTET_STRING, value.pbData, value.cbData, 0,
                               nullptr, &size))
            return lastError();
        std::vector<BYTE> decoded(size);
        if (!CryptDecodeObject(X509_ASN_ENCODING, X509_OCTET_STRING, value.pbData, value.cbData, 0,
                               decoded.data(), &size))
            return lastError();
        const auto* digest = reinterpret_cast<const CRYPT_DATA_BLOB*>(decoded.data());
        const bool same = digest->cbData == computed.size() &&
                          std::memcmp(digest->pbData, computed.data(), computed.size()) == 0;
        return same ? 0 : static_cast<std::uint32_t>(CRYPT_E_HASH_VALUE);
    }
    return static_cast<std::uint32_t>(CRYPT_E_ATTRIBUTES_MISSING);
}

// The signer's chain for the code-signing purpose, judged by the base policy: 0, or why not.
std::uint32_t chainStatus(PCCERT_CONTEXT signer, HCERTSTORE carried, bool fetchRoots) {
    char codeSigning[] = szOID_PKIX_KP_CODE_SIGNING;
    LPSTR usages[] = {codeSigning};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    // No revocation check, as for the update tool.
    const DWORD flags = fetchRoots ? 0 : CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!CertGetCertificateChain(nullptr, signer, nullptr, carried, &para, flags, nullptr, &built))
        return lastError();
    const Chain chain(built);
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_BASE, chain.get(), &policy, &status))
        return lastError();
    return static_cast<std::uint32_t>(status.dwError);
}

class Win32PackageVerifier : public PackageVerifier {
  public:
    SignatureCheck check(const std::string& path, const std::string& signature,
                         bool fetchRoots) override {
        SignatureCheck check;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        check.checkedAt = fileTimeValue(now);
        // Others may still read and delete it; nobody may change it while it is read.
        const norvik::win32::UniqueFileHandle file(CreateFileW(
            norvik::win32::toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) {
            check.openError = static_cast<std::uint32_t>(GetLastError());
            return check;
        }
        // Wine's crypt32 takes the content of a detached message in pieces only when it is
        // opened for stream processing (it refuses the first non-final update with
        // CRYPT_E_MSG_ERROR): then the package is read again so.
        Message message;
        bool contentRefused = false;
        std::uint32_t error = decode(signature, file.get(), false, message, contentRefused);
        if (error == static_cast<std::uint32_t>(CRYPT_E_MSG_ERROR) && contentRefused) {
            if (SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
                check.status = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(GetLastError()));
                return check;
            }
            error = decode(signature, file.get(), true, message, contentRefused);
        }
        if (error) {
            check.status = error;
            return check;
        }
        const Store carried(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.get()));
        if (!carried) {
            check.status = lastError();
            return check;
        }
        const Certificate signer(signerOf(message.get(), carried.get(), error));
        if (!signer) {
            check.status = error;
            return check;
        }
        // The signature over these bytes by that certificate's key.
        if (!CryptMsgControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE,
                             signer.get()->pCertInfo)) {
            check.status = lastError();
            return check;
        }
        if (const std::uint32_t digest = digestStatus(message.get())) {
            check.status = digest;
            return check;
        }
        check.signer = signerCommonName(signer.get());
        check.signerValidFrom = fileTimeValue(signer.get()->pCertInfo->NotBefore);
        check.status = chainStatus(signer.get(), carried.get(), fetchRoots);
        return check;
    }
};

}  // namespace

PackageVerifier& realPackageVerifier() {
    static Win32PackageVerifier verifier;
    return verifier;
}

}  // namespace app::win32
