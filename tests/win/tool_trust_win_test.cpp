// The Authenticode check of the update tool with WinVerifyTrust on the signed stand-in tool and
// its copies (another publisher, no signature, one byte changed) made by the build, and the
// tool held for its start.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "app/tool_trust.h"
#include "app/win32/platform.h"
#include "app/win32/signature_check.h"
#include "win_test_support.h"

namespace {

std::uint64_t nowFileTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

using norvik::win32::toWide;
using wintest::TempFolder;

const std::string kPublisher = "Norvik Software JSC";

// The build's tools folder, beside this test's own folder (build/tests/win).
std::string toolsFolder() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    for (int i = 0; i < 3; ++i)
        path = path.substr(0, path.find_last_of(L"\\/"));
    return wintest::toUtf8(path) + "\\tools";
}

struct Variant {
    const char* file;
    std::uint32_t status;
    const char* signer;
    bool accepted;
};

TEST(ToolTrustWin, WinVerifyTrustTellsTheMakersToolFromEveryOther) {
    const std::string tools = toolsFolder();
    app::SignatureVerifier& verifier = app::win32::realSignatureVerifier();
    app::ProcessLauncher& launcher = app::win32::realProcessLauncher();
    for (const Variant& v :
         {Variant{"Sandel.exe", app::kTrustValid, "Norvik Software JSC", true},
          Variant{"sandel-variants\\Sandel-other.exe", app::kTrustValid, "Other Software Ltd",
                  false},
          Variant{"sandel-variants\\Sandel-unsigned.exe", app::kTrustNoSignature, "", false},
          Variant{"sandel-variants\\Sandel-tampered.exe", app::kTrustBadDigest, "", false}}) {
        SCOPED_TRACE(v.file);
        const std::string path = tools + "\\" + v.file;
        ASSERT_TRUE(wintest::exists(path));
        // By name (the downloaded file) and through the handle that holds it for its start.
        const std::uint64_t before = nowFileTime();
        const app::SignatureCheck byName = verifier.checkFile(path);
        const app::HoldResult held = launcher.hold(path);
        ASSERT_NE(held.program, nullptr);
        const app::SignatureCheck byHandle = held.program->signature();
        const std::uint64_t after = nowFileTime();
        for (const app::SignatureCheck& check : {byName, byHandle}) {
            EXPECT_EQ(check.status, v.status) << std::hex << check.status;
            EXPECT_EQ(check.signer, v.signer);
            EXPECT_EQ(app::toolSignatureResult(check, kPublisher).empty(), v.accepted);
            // The signer's certificate began before now (the build made it): what tells a wrong
            // clock from an expired signature.
            EXPECT_EQ(check.openError, 0u);
            // The moment of the check is now, as a FILETIME.
            EXPECT_GE(check.checkedAt, before);
            EXPECT_LE(check.checkedAt, after);
            if (v.status == app::kTrustValid) {
                EXPECT_NE(check.signerValidFrom, 0u);
                EXPECT_LT(check.signerValidFrom, check.checkedAt);
            }
        }
    }
}

// The downloaded file is opened for its check by the program itself, which keeps the error code
// that names a file an antivirus program blocks.
TEST(ToolTrustWin, AFileThatCannotBeOpenedKeepsItsErrorCode) {
    TempFolder dir;
    const app::SignatureCheck check =
        app::win32::realSignatureVerifier().checkFile(dir.file("missing.exe"));
    EXPECT_EQ(check.openError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(app::toolSignatureResult(check, kPublisher), "SignErr");
}

TEST(ToolTrustWin, AHeldToolCannotBeChangedRenamedOrDeletedUntilReleased) {
    TempFolder dir;
    const std::string tool = dir.file("Sandel.exe");
    const std::wstring wideTool = toWide(tool);
    ASSERT_TRUE(CopyFileW(toWide(toolsFolder() + "\\Sandel.exe").c_str(), wideTool.c_str(), FALSE));
    ASSERT_TRUE(wintest::writeAll(dir.file("other.exe"), "another program"));
    const std::wstring other = toWide(dir.file("other.exe"));
    {
        const app::HoldResult held = app::win32::realProcessLauncher().hold(tool);
        ASSERT_NE(held.program, nullptr);
        const HANDLE writer = CreateFileW(wideTool.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        EXPECT_FALSE(DeleteFileW(wideTool.c_str()));
        EXPECT_FALSE(MoveFileExW(wideTool.c_str(), toWide(dir.file("moved.exe")).c_str(), 0));
        EXPECT_FALSE(MoveFileExW(other.c_str(), wideTool.c_str(), MOVEFILE_REPLACE_EXISTING));
        // Still what was checked: readable, and signed by the maker.
        EXPECT_EQ(app::toolSignatureResult(held.program->signature(), kPublisher), "");
    }
    EXPECT_TRUE(MoveFileExW(other.c_str(), wideTool.c_str(), MOVEFILE_REPLACE_EXISTING));
}

}  // namespace
