// The Authenticode check of the update tool with WinVerifyTrust on the signed stand-in tool and
// its copies (another publisher, no signature, one byte changed) made by the build, and the
// tool held for its start.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/tool_check.h"
#include "app/tool_trust.h"
#include "app/win32/platform.h"
#include "app/win32/signature_check.h"
#include "common/win32/unique_handle.h"
#include "download/win32/win32_seams.h"
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
        // By name (the downloaded file) and through the handle that holds it for its start,
        // cache-only and with retrieval allowed (the second try for a missing root).
        const std::uint64_t before = nowFileTime();
        const app::SignatureCheck byName = verifier.checkFile(path, false);
        const app::SignatureCheck fetching = verifier.checkFile(path, true);
        const app::HoldResult held = launcher.hold(path);
        ASSERT_NE(held.program, nullptr);
        const app::SignatureCheck byHandle = held.program->signature(false);
        const std::uint64_t after = nowFileTime();
        for (const app::SignatureCheck& check : {byName, fetching, byHandle}) {
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
        app::win32::realSignatureVerifier().checkFile(dir.file("missing.exe"), false);
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
        EXPECT_EQ(app::toolSignatureResult(held.program->signature(false), kPublisher), "");
    }
    EXPECT_TRUE(MoveFileExW(other.c_str(), wideTool.c_str(), MOVEFILE_REPLACE_EXISTING));
}

// A held tool whose check lasts until the test lets it end.
class SlowCheck : public app::HeldProgram {
  public:
    SlowCheck(HANDLE started, HANDLE release) : started_(started), release_(release) {}
    app::SignatureCheck signature(bool) override {
        SetEvent(started_);
        WaitForSingleObject(release_, 20000);
        return {app::kTrustValid, kPublisher};
    }

  private:
    HANDLE started_, release_;
};

struct Probe {
    HWND window;
    HANDLE started, release;
    bool answered = false;
};

// Another program's view of the window while the check is held: WM_NULL answered within 250 ms.
DWORD WINAPI probeWindow(void* context) {
    Probe& probe = *static_cast<Probe*>(context);
    if (WaitForSingleObject(probe.started, 20000) == WAIT_OBJECT_0) {
        DWORD_PTR result = 0;
        probe.answered =
            SendMessageTimeoutW(probe.window, WM_NULL, 0, 0, SMTO_BLOCK, 250, &result) != 0;
    }
    SetEvent(probe.release);
    return 0;
}

TEST(ToolTrustWin, TheHeldToolsCheckLeavesTheWindowAnswering) {
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    const norvik::win32::UniqueKernelHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const norvik::win32::UniqueKernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Probe probe{window, started.get(), release.get()};
    const norvik::win32::UniqueKernelHandle prober(
        CreateThread(nullptr, 0, probeWindow, &probe, 0, nullptr));
    ASSERT_TRUE(static_cast<bool>(prober));
    download::win32::Win32Threads threads;
    download::win32::Win32Clock clock;
    const auto held = std::make_shared<SlowCheck>(started.get(), release.get());
    const std::string verdict = app::checkHeldTool(held, kPublisher, threads, clock, 20000, [] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    });
    WaitForSingleObject(prober.get(), 20000);
    EXPECT_TRUE(probe.answered);
    EXPECT_EQ(verdict, "");
    DestroyWindow(window);
}

}  // namespace
