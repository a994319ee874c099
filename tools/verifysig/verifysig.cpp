// verifysig <file>...: checks each file's Authenticode signature with WinVerifyTrust as the
// program checks the update tool's, and prints one line per file:
//   <file>: valid, signed by <common name>
//   <file>: refused (0x800b0100)
// Exit code 0 when every file is valid, 1 when one is not, 2 on a usage error.
#include <cstdio>

#include "app/win32/signature_check.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: verifysig <file>...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const app::SignatureCheck check = app::win32::checkSignature(argv[i], nullptr, false);
        if (check.status == app::kTrustValid) {
            std::printf("%ls: valid, signed by %s\n", argv[i], check.signer.c_str());
        } else {
            std::printf("%ls: refused (0x%08lx)\n", argv[i],
                        static_cast<unsigned long>(check.status));
            status = 1;
        }
    }
    return status;
}
