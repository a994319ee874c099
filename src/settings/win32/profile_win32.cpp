#include "settings/win32/profile_win32.h"

#include <windows.h>

#include <vector>

#include "common/win32/utf16.h"

namespace settings::win32 {

namespace {

std::wstring wide(const std::string& utf8) {
    return norvik::win32::toWide(utf8);
}

std::string utf8(const wchar_t* text, std::size_t length) {
    return norvik::win32::toUtf8(std::wstring(text, length));
}

// Larger than any entry a profile file holds in practice; bounds the growing buffer.
constexpr DWORD kMaxEntry = 1u << 20;

}  // namespace

std::string Win32ProfileApi::windowsDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    UINT n = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
        if (n >= buffer.size())
            return {};
    }
    return utf8(buffer.data(), n);
}

std::string Win32ProfileApi::readString(const std::string& section, const std::string& key,
                                        const std::string& file) {
    const std::wstring s = wide(section), k = wide(key), f = wide(file);
    // The call cuts a long value to the buffer and then returns size - 1: grow until it fits.
    for (DWORD size = 256;; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD n =
            GetPrivateProfileStringW(s.c_str(), k.c_str(), L"", buffer.data(), size, f.c_str());
        if (n < size - 1 || size >= kMaxEntry)
            return utf8(buffer.data(), n);
    }
}

bool Win32ProfileApi::writeString(const std::string& section, const std::string& key,
                                  const std::string& value, const std::string& file) {
    return WritePrivateProfileStringW(wide(section).c_str(), wide(key).c_str(), wide(value).c_str(),
                                      wide(file).c_str()) != FALSE;
}

}  // namespace settings::win32
