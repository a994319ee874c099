#include "download/win32/win32_seams.h"

#include <windows.h>
#include <wininet.h>

#include "common/win32/utf16.h"

#include <limits>

namespace download::win32 {

std::string systemGroupSeparator() {
    wchar_t buffer[8] = {};
    const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buffer, 8);
    if (n <= 1)
        return {};
    return toUtf8(std::wstring(buffer, static_cast<std::size_t>(n - 1)));
}

namespace {
HINTERNET h(NetHandle handle) {
    return reinterpret_cast<HINTERNET>(handle);
}
NetHandle n(HINTERNET handle) {
    return reinterpret_cast<NetHandle>(handle);
}
HANDLE f(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}
}  // namespace

bool WinInetApi::deleteUrlCacheEntry(const std::string& url) {
    return DeleteUrlCacheEntryA(url.c_str()) != FALSE;
}

NetHandle WinInetApi::open(const std::string& agent, std::uint32_t accessType, const char* proxy,
                           const char* bypass, std::uint32_t flags) {
    return n(InternetOpenA(agent.c_str(), accessType, proxy, bypass, flags));
}

NetHandle WinInetApi::openUrl(NetHandle session, const std::string& url, std::uint32_t flags) {
    return n(InternetOpenUrlA(h(session), url.c_str(), nullptr, 0, flags, 0));
}

bool WinInetApi::queryInfo(NetHandle request, std::uint32_t infoLevel, char* buffer,
                           std::uint32_t* length) {
    DWORD len = *length;
    DWORD index = 0;
    const BOOL ok = HttpQueryInfoA(h(request), infoLevel, buffer, &len, &index);
    *length = len;
    return ok != FALSE;
}

bool WinInetApi::readFile(NetHandle request, void* buffer, std::uint32_t toRead,
                          std::uint32_t* read) {
    DWORD got = 0;
    const BOOL ok = InternetReadFile(h(request), buffer, toRead, &got);
    *read = got;
    return ok != FALSE;
}

void WinInetApi::closeHandle(NetHandle handle) {
    InternetCloseHandle(h(handle));
}

std::optional<FileHandle> Win32FileApi::create(const std::string& path) {
    const HANDLE file =
        CreateFileW(toWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    return reinterpret_cast<FileHandle>(file);
}

bool Win32FileApi::write(FileHandle file, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD part = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(f(file), p, part, &written, nullptr) || written == 0)
            return false;
        p += written;
        size -= written;
    }
    return true;
}

bool Win32FileApi::flush(FileHandle file) {
    return FlushFileBuffers(f(file)) != FALSE;
}

bool Win32FileApi::close(FileHandle file) {
    return CloseHandle(f(file)) != FALSE;
}

std::optional<std::int64_t> Win32FileApi::length(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(toWide(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::nullopt;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool Win32FileApi::replace(const std::string& from, const std::string& to) {
    return MoveFileExW(toWide(from).c_str(), toWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool Win32FileApi::remove(const std::string& path) {
    return DeleteFileW(toWide(path).c_str()) != FALSE;
}

}  // namespace download::win32
