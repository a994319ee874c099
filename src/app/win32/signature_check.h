#pragma once
// The Authenticode check of a program file with WinVerifyTrust.
#include <windows.h>
// after windows.h, whose types it uses
#include <wincrypt.h>

#include <string>

#include "app/services.h"

namespace app::win32 {

// Verifies the signature of the file at `path` (when `file` is not null, exactly the file open
// under that handle) without any user interface and without revocation data, and reads the
// signer's subject common name. Without `retrievalAllowed` nothing is fetched from the network;
// with it Windows may fetch what the chain lacks (its root through the automatic root update).
SignatureCheck checkSignature(const std::wstring& path, HANDLE file, bool retrievalAllowed);

SignatureVerifier& realSignatureVerifier();

// The subject common name of a certificate (UTF-8); "" when it has none.
std::string signerCommonName(PCCERT_CONTEXT certificate);

}  // namespace app::win32
