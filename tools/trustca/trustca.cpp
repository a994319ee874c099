// trustca <file.der>: trusts the certificate as a root CA in this machine's ROOT store.
// Exit code 0 on success, 1 on a usage or file error, 2 when the store refuses.
#include <windows.h>
// after windows.h, whose types it uses
#include <wincrypt.h>

#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: trustca <certificate.der>\n");
        return 1;
    }
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"trustca: cannot open %ls\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der(64 * 1024);
    DWORD got = 0;
    const BOOL read = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &got, nullptr);
    CloseHandle(file);
    if (!read || got == 0 || got == der.size()) {
        std::fwprintf(stderr, L"trustca: cannot read %ls\n", argv[1]);
        return 1;
    }
    const HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "ROOT");
    if (!store) {
        std::fwprintf(stderr, L"trustca: cannot open the ROOT store (%lu)\n", GetLastError());
        return 2;
    }
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), got,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        std::fwprintf(stderr, L"trustca: the store refused the certificate (%lu)\n", error);
        return 2;
    }
    return 0;
}
