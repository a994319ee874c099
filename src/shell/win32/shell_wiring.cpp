// The folder picker bound to Shell32.
#include "shell/win32/shell_wiring.h"

#include <windows.h>
//
#include <objbase.h>
#include <shlobj.h>

#include "common/win32/com_apartment.h"
#include "common/win32/utf16.h"
#include "shell/mod_open_dir.h"

namespace shell::win32 {
namespace {

using norvik::win32::toUtf8;
using norvik::win32::toWide;

// Writes a wide buffer's text (up to its first NUL) into a NUL-filled UTF-8 buffer.
void storeText(const wchar_t* wide, std::string& buffer) {
    std::string text = toUtf8(std::wstring(wide));
    if (text.size() < buffer.size())
        text.resize(buffer.size(), '\0');
    buffer = std::move(text);
}

class Win32ShellApi : public ShellApi {
  public:
    long getSpecialFolderLocation(std::uintptr_t owner, int folder, ItemList& item) override {
        PIDLIST_ABSOLUTE pidl = nullptr;
        const HRESULT hr = SHGetSpecialFolderLocation(reinterpret_cast<HWND>(owner), folder, &pidl);
        if (SUCCEEDED(hr))
            item = reinterpret_cast<ItemList>(pidl);
        return hr;
    }

    ItemList browseForFolder(BrowseInfo& info) override {
        wchar_t displayName[MAX_PATH] = {};
        const std::wstring title = toWide(info.lpszTitle);
        BROWSEINFOW bi = {};
        bi.hwndOwner = reinterpret_cast<HWND>(info.hwndOwner);
        bi.pidlRoot = reinterpret_cast<PCIDLIST_ABSOLUTE>(info.pidlRoot);
        bi.pszDisplayName = displayName;
        bi.lpszTitle = title.c_str();
        bi.ulFlags = info.ulFlags;
        bi.lpfn = nullptr;
        bi.lParam = 0;
        bi.iImage = 0;
        PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&bi);
        info.iImage = bi.iImage;
        displayName[MAX_PATH - 1] = L'\0';
        if (info.pszDisplayName)
            storeText(displayName, *info.pszDisplayName);
        return reinterpret_cast<ItemList>(chosen);
    }

    bool getPathFromIDList(ItemList item, std::string& path) override {
        wchar_t buffer[MAX_PATH] = {};
        if (!SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(item), buffer))
            return false;
        buffer[MAX_PATH - 1] = L'\0';
        storeText(buffer, path);
        return true;
    }

    void freeItemList(ItemList item) override { CoTaskMemFree(reinterpret_cast<void*>(item)); }
};

}  // namespace

std::string SelectFolder() {
    // The shell's folder dialog runs on this thread and needs it to be an apartment; without
    // one the picker is skipped like any other failure of its steps.
    if (!norvik::win32::enterShellApartment())
        return "";
    Win32ShellApi api;
    return shell::SelectFolder(api);
}

}  // namespace shell::win32
