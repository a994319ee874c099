#include "app/package_trust.h"

#include "app/tool_check.h"
#include "results/results.h"

namespace app {

std::string signatureDownloadResult(const download::MemoryDownload& signature) {
    if (signature.tooLarge || signature.result == results::kFileErr)
        return results::kPackageSignErr;
    return signature.result;
}

std::string packageSignatureResult(const SignatureCheck& check, const std::string& publisher) {
    const std::string result = toolSignatureResult(check, publisher);
    return result == results::kSignErr ? results::kPackageSignErr : result;
}

std::string checkDownloadedPackage(PackageVerifier& verifier, download::Clock& clock,
                                   const std::string& path, const std::string& signature,
                                   const std::string& publisher, RootsFirst& roots) {
    const SignatureCheck check = roots.run(
        clock,
        [&](bool fetchRoots) {
            return checkJustWritten(clock,
                                    [&] { return verifier.check(path, signature, fetchRoots); });
        },
        [&](const SignatureCheck& tried) {
            return packageSignatureResult(tried, publisher) == results::kRootErr;
        });
    return quarantined(check) ? results::kVirusErr : packageSignatureResult(check, publisher);
}

}  // namespace app
