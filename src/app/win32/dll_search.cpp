#include "app/win32/dll_search.h"

#include <windows.h>

#include <cstddef>
#include <string>

namespace app::win32 {
namespace {

constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// A function of kernel32 that older Windows lack; nullptr there.
template <typename Function>
Function kernelFunction(const char* name) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found = kernel ? GetProcAddress(kernel, name) : nullptr;
    // Through the generic function pointer type, which converts to any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

std::wstring systemFolder() {
    wchar_t buffer[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// Loaded for the whole run; a failure leaves the later load by name to the restricted search.
// The DLLs it imports are looked for in its own folder first, not in the program's.
void loadFromSystemFolder(const std::wstring& folder, const wchar_t* dll) {
    if (!folder.empty())
        LoadLibraryExW((folder + L"\\" + dll).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <std::size_t N>
void loadGroup(const wchar_t* const (&dlls)[N]) {
    const std::wstring folder = systemFolder();
    for (const wchar_t* dll : dlls)
        loadFromSystemFolder(folder, dll);
}

void removeCurrentFolderFromSearch() {
    using SetDllDirectoryWFn = BOOL(WINAPI*)(LPCWSTR);
    if (const auto setDirectory = kernelFunction<SetDllDirectoryWFn>("SetDllDirectoryW"))
        setDirectory(L"");
}

// Where the search could not be restricted: how many groups (in LateDlls' order) are loaded;
// -1 where it was restricted and none need to be.
int loadedGroups = -1;

}  // namespace

void loadDllsFromSystemFolderOnly(bool withoutDefaultDirectories) {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = kernelFunction<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
    if (!withoutDefaultDirectories && setDefault && setDefault(kSearchSystem32))
        return;
    removeCurrentFolderFromSearch();
    loadedGroups = 0;
    loadLateDlls(LateDlls::window);
}

void loadLateDlls(LateDlls group) {
    while (loadedGroups >= 0 && loadedGroups <= static_cast<int>(group)) {
        switch (static_cast<LateDlls>(loadedGroups)) {
            case LateDlls::window:
                loadGroup(kWindowDlls);
                break;
            case LateDlls::pictures:
                loadGroup(kPictureDlls);
                break;
            case LateDlls::folder:
                loadGroup(kFolderDlls);
                break;
            case LateDlls::network:
                loadGroup(kNetworkDlls);
                break;
        }
        ++loadedGroups;
    }
}

void loadAllLateDllsFromSystemFolder() {
    removeCurrentFolderFromSearch();
    if (loadedGroups < 0)
        loadedGroups = 0;
    loadLateDlls(LateDlls::network);
}

void loadTlsDllFromSystemFolder() {
    static bool loaded = false;
    if (!loaded) {
        const std::wstring folder = systemFolder();
        for (const wchar_t* dll : {L"crypt32.dll", L"secur32.dll"})
            loadFromSystemFolder(folder, dll);
    }
    loaded = true;
}

}  // namespace app::win32
