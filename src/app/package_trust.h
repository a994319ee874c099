#pragma once
// Whether a package is the maker's own: its detached signature, `<package>.p7s` beside it on the
// server (a DER CMS SignedData over the package's bytes, SHA-256, made with the maker's
// code-signing certificate, its chain included), checked against the bytes on the disk when the
// package's download is complete and before it replaces the old one.
#include <cstddef>
#include <string>

#include "app/roots_first.h"
#include "app/tool_trust.h"
#include "download/memory_download.h"
#include "download/thread_api.h"

namespace app {

inline constexpr const char* kSignatureSuffix = ".p7s";
// The most a package's signature may hold (a signature with a chain of three certificates is
// about 5 KiB); it is kept in memory, never written.
inline constexpr std::size_t kMaxPackageSignatureBytes = 64 * 1024;

// The check of a file against its detached signature. Safe to call from any thread.
class PackageVerifier {
  public:
    virtual ~PackageVerifier() = default;
    // Streams the file at `path` through the detached `signature`; when the signature matches
    // the bytes, judges the signer's chain for the code-signing purpose, fetching from the
    // network what the chain lacks only when `fetchRoots` (else from the computer's cache only).
    // `status` is 0 for a valid signature, else the HRESULT or Windows error code of what refused
    // it (CERT_E_UNTRUSTEDROOT and CERT_E_CHAINING as for the tool); `signer` is the signer's
    // subject common name once the signature matched.
    virtual SignatureCheck check(const std::string& path, const std::string& signature,
                                 bool fetchRoots) = 0;
};

// What the download of a package's signature means for the package: "" when `signature` holds
// it; "PackageSignErr" when the server has none (404, 410) or it is larger than its bound; else
// the download's own result (NetErr, PageErr, ProxyAuthErr, ...), as for any file.
std::string signatureDownloadResult(const download::MemoryDownload& signature);

// The verdict on a package, as toolSignatureResult judges a tool, with "PackageSignErr" for
// every refusal that is not a missing root or a wrong clock.
std::string packageSignatureResult(const SignatureCheck& check, const std::string& publisher);

// The verdict on the package that its download has just written and closed at `path`, on the
// transfer thread, as for the tool: from the computer's cache first, and once more with the
// chain's missing parts fetched when refused for the root alone (`roots` tells the caller which
// try was under way when the engine's bound passed); a scanner is waited for
// (checkJustWritten), a quarantined file is "VirusErr".
std::string checkDownloadedPackage(PackageVerifier& verifier, download::Clock& clock,
                                   const std::string& path, const std::string& signature,
                                   const std::string& publisher, RootsFirst& roots);

}  // namespace app
