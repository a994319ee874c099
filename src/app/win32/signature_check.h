#pragma once
// The Authenticode check of a program file with WinVerifyTrust.
#include <windows.h>

#include <string>

#include "app/services.h"

namespace app::win32 {

// Verifies the signature of the file at `path` (when `file` is not null, exactly the file open
// under that handle) without any user interface and without fetching revocation data from the
// network, and reads the signer's subject common name.
SignatureCheck checkSignature(const std::wstring& path, HANDLE file);

SignatureVerifier& realSignatureVerifier();

}  // namespace app::win32
