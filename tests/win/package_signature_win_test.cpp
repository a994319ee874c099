// The check of a package against its detached CMS signature with crypt32, on packages and
// signatures made with openssl when the test runs (make_package_signatures.sh; the prefix trusts
// the "trusted" test CA only).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "app/package_trust.h"
#include "app/win32/package_signature.h"
#include "download/win32/win32_seams.h"
#include "win_test_support.h"

namespace {

const std::string kPublisher = "Norvik Software JSC";

struct Case {
    const char* signature;  // a file of the fixtures' folder, checked against package.bin
    std::uint32_t status;
    const char* signer;
    const char* result;  // the verdict with roots fetched on refusal ("" accepted)
};

TEST(PackageSignatureWin, OnlyTheMakersSignatureOfTheseBytesPasses) {
    const std::optional<std::string> dir = wintest::env("NORVIK_TEST_PACKAGE_SIGNATURES");
    ASSERT_TRUE(dir) << "run through run_win_tests.py";
    app::PackageVerifier& verifier = app::win32::realPackageVerifier();
    download::win32::Win32Clock clock;
    for (const Case& c : {
             Case{"good.p7s", 0, "Norvik Software JSC", ""},
             Case{"other-bytes.p7s", 0x80091007, "", "PackageSignErr"},
             Case{"other-signer.p7s", 0, "Other Software Ltd", "PackageSignErr"},
             Case{"not-code-signing.p7s", 0x800B0110, "Norvik Software JSC", "PackageSignErr"},
             Case{"untrusted-root.p7s", 0x800B0109, "Norvik Software JSC", "RootErr"},
             Case{"truncated.p7s", 0x80093102, "", "PackageSignErr"},
         }) {
        SCOPED_TRACE(c.signature);
        const std::optional<std::string> signature = wintest::readAll(*dir + "\\" + c.signature);
        ASSERT_TRUE(signature);
        const std::string package = *dir + "\\package.bin";
        for (const bool fetchRoots : {false, true}) {
            const app::SignatureCheck check = verifier.check(package, *signature, fetchRoots);
            EXPECT_EQ(check.status, c.status) << std::hex << check.status;
            EXPECT_EQ(check.signer, c.signer);
            EXPECT_EQ(check.openError, 0u);
        }
        app::RootsFirst roots(60000);
        EXPECT_EQ(
            app::checkDownloadedPackage(verifier, clock, package, *signature, kPublisher, roots),
            c.result);
    }
}

TEST(PackageSignatureWin, APackageThatCannotBeOpenedKeepsItsErrorCode) {
    wintest::TempFolder dir;
    const app::SignatureCheck check =
        app::win32::realPackageVerifier().check(dir.file("missing.rar"), "x", false);
    EXPECT_EQ(check.openError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
