// GetDriveTypeW, mpr's WNetGetUniversalNameW and WNetGetConnectionW (mpr.dll is delay-loaded:
// only an elevated start from a network drive asks), and the token's elevation.
#include "app/win32/drive_names.h"

#include <windows.h>
// after windows.h, whose types it uses
#include <winnetwk.h>

#include <string>
#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/utf16.h"

namespace app::win32 {
namespace {

using norvik::win32::toUtf8;
using norvik::win32::toWide;

// A function of advapi32, loaded by its full path in the system folder; nullptr when missing.
template <typename Function>
Function advapiFunction(const char* name) {
    static const HMODULE advapi = [] {
        wchar_t folder[MAX_PATH];
        const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return HMODULE{};
        return LoadLibraryExW((std::wstring(folder, n) + L"\\advapi32.dll").c_str(), nullptr,
                              LOAD_WITH_ALTERED_SEARCH_PATH);
    }();
    const FARPROC found = advapi ? GetProcAddress(advapi, name) : nullptr;
    // Through the generic function pointer type, which converts to any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

class Win32DriveNames : public DriveNames {
  public:
    Kind kindOf(const std::string& root) override {
        switch (GetDriveTypeW(toWide(root).c_str())) {
            case DRIVE_NO_ROOT_DIR:
                return Kind::NoRootDir;
            case DRIVE_REMOTE:
                return Kind::Remote;
            default:
                return Kind::Other;
        }
    }

    std::string universalName(const std::string& path) override {
        const std::wstring wide = toWide(path);
        // The structure points into the buffer that holds it; grown once when too small.
        std::vector<unsigned char> buffer(sizeof(UNIVERSAL_NAME_INFOW) +
                                          sizeof(wchar_t) * (MAX_PATH + 1));
        for (int tries = 0; tries < 2; ++tries) {
            DWORD size = static_cast<DWORD>(buffer.size());
            const DWORD status = WNetGetUniversalNameW(wide.c_str(), UNIVERSAL_NAME_INFO_LEVEL,
                                                       buffer.data(), &size);
            if (status == ERROR_MORE_DATA && size > buffer.size()) {
                buffer.resize(size);
                continue;
            }
            if (status != NO_ERROR)
                return {};
            const auto* info = reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer.data());
            return info->lpUniversalName ? toUtf8(info->lpUniversalName) : std::string();
        }
        return {};
    }

    std::string connectionOf(const std::string& drive) override {
        const std::wstring wide = toWide(drive);
        std::vector<wchar_t> name(MAX_PATH + 1);
        for (int tries = 0; tries < 2; ++tries) {
            DWORD length = static_cast<DWORD>(name.size());
            const DWORD status = WNetGetConnectionW(wide.c_str(), name.data(), &length);
            if (status == ERROR_MORE_DATA && length > name.size()) {
                name.resize(length);
                continue;
            }
            return status == NO_ERROR ? toUtf8(name.data()) : std::string();
        }
        return {};
    }

    bool runsElevated() override {
        using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
        using GetTokenInformationFn =
            BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
        const auto openToken = advapiFunction<OpenProcessTokenFn>("OpenProcessToken");
        const auto tokenInformation = advapiFunction<GetTokenInformationFn>("GetTokenInformation");
        HANDLE raw = nullptr;
        if (!openToken || !tokenInformation || !openToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
            return false;
        const norvik::win32::UniqueKernelHandle token(raw);
        // Windows XP has no such class (Vista and later) and refuses the question: nothing is
        // elevated there.
        TOKEN_ELEVATION answer{};
        DWORD written = 0;
        return tokenInformation(token.get(), TokenElevation, &answer, sizeof answer, &written) &&
               answer.TokenIsElevated != 0;
    }
};

}  // namespace

DriveNames& realDriveNames() {
    static Win32DriveNames names;
    return names;
}

}  // namespace app::win32
