#include "download/win32/win32_seams.h"

#include <wininet.h>

#include <memory>
#include <vector>

#include "download/failure_results.h"

namespace download::win32 {

static_assert(kQueryContentType == HTTP_QUERY_CONTENT_TYPE &&
              kErrorCertDateInvalid == ERROR_INTERNET_SEC_CERT_DATE_INVALID &&
              kErrorCertCnInvalid == ERROR_INTERNET_SEC_CERT_CN_INVALID &&
              kErrorInvalidCa == ERROR_INTERNET_INVALID_CA &&
              kErrorCertErrors == ERROR_INTERNET_SEC_CERT_ERRORS &&
              kErrorSecurityChannel == ERROR_INTERNET_SECURITY_CHANNEL_ERROR &&
              kErrorInvalidCert == ERROR_INTERNET_SEC_INVALID_CERT &&
              kErrorCertRevoked == ERROR_INTERNET_SEC_CERT_REVOKED &&
              kErrorCertNoRevocation == ERROR_INTERNET_SEC_CERT_NO_REV &&
              kErrorCertRevocationFailed == ERROR_INTERNET_SEC_CERT_REV_FAILED);

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
// The outcome of a call that reports success by `ok` and its failure through GetLastError.
Status status(BOOL ok) {
    return ok ? success() : failure(GetLastError());
}
}  // namespace

bool WinInetApi::deleteUrlCacheEntry(const std::string& url) {
    return DeleteUrlCacheEntryA(url.c_str()) != FALSE;
}

Result<NetHandle> WinInetApi::open(const std::string& agent, std::uint32_t accessType,
                                   const char* proxy, const char* bypass, std::uint32_t flags) {
    const HINTERNET session = InternetOpenA(agent.c_str(), accessType, proxy, bypass, flags);
    return session ? success(n(session)) : failure<NetHandle>(GetLastError());
}

Status WinInetApi::setOption(NetHandle handle, std::uint32_t option, std::uint32_t value) {
    DWORD v = value;
    return status(InternetSetOptionA(h(handle), option, &v, sizeof v));
}

Result<NetHandle> WinInetApi::openUrl(NetHandle session, const std::string& url,
                                      const std::string& headers, std::uint32_t flags) {
    const HINTERNET request =
        InternetOpenUrlA(h(session), url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                         static_cast<DWORD>(headers.size()), flags, 0);
    return request ? success(n(request)) : failure<NetHandle>(GetLastError());
}

Result<std::string> WinInetApi::queryInfo(NetHandle request, std::uint32_t infoLevel) {
    std::vector<char> buffer(1024, '\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        DWORD index = 0;
        if (HttpQueryInfoA(h(request), infoLevel, buffer.data(), &length, &index)) {
            buffer.push_back('\0');
            return success(std::string(buffer.data()));
        }
        const DWORD error = GetLastError();
        // A header longer than the buffer: `length` tells the size it needs.
        if (error != ERROR_INSUFFICIENT_BUFFER || length <= buffer.size() || length > 65536)
            return failure<std::string>(error);
        buffer.assign(length + 1, '\0');
    }
}

Result<std::uint32_t> WinInetApi::queryDataAvailable(NetHandle request) {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(h(request), &available, 0, 0))
        return failure<std::uint32_t>(GetLastError());
    return success<std::uint32_t>(available);
}

Result<std::uint32_t> WinInetApi::readFile(NetHandle request, void* buffer, std::uint32_t toRead) {
    DWORD got = 0;
    if (!InternetReadFile(h(request), buffer, toRead, &got))
        return failure<std::uint32_t>(GetLastError());
    return success<std::uint32_t>(got);
}

void WinInetApi::closeHandle(NetHandle handle) {
    InternetCloseHandle(h(handle));
}

Result<FileHandle> Win32FileApi::create(const std::string& path) {
    // Delete sharing: the program's end may delete the file while a transfer thread still
    // holds it; the deletion then takes effect when the handle closes.
    const HANDLE file = CreateFileW(toWide(path).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failure<FileHandle>(GetLastError());
    return success(reinterpret_cast<FileHandle>(file));
}

Status Win32FileApi::write(FileHandle file, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD part = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(f(file), p, part, &written, nullptr))
            return failure(GetLastError());
        if (written == 0)
            return failure(ERROR_DISK_FULL);
        p += written;
        size -= written;
    }
    return success();
}

Status Win32FileApi::truncate(FileHandle file, std::int64_t size) {
    LARGE_INTEGER position;
    position.QuadPart = size;
    if (!SetFilePointerEx(f(file), position, nullptr, FILE_BEGIN))
        return failure(GetLastError());
    return status(SetEndOfFile(f(file)));
}

Status Win32FileApi::flush(FileHandle file) {
    return status(FlushFileBuffers(f(file)));
}

Status Win32FileApi::close(FileHandle file) {
    return status(CloseHandle(f(file)));
}

Status Win32FileApi::replace(const std::string& from, const std::string& to) {
    return status(MoveFileExW(toWide(from).c_str(), toWide(to).c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

Status Win32FileApi::remove(const std::string& path) {
    return status(DeleteFileW(toWide(path).c_str()));
}

std::uint32_t Win32Clock::nowMs() {
    return GetTickCount();
}

void Win32Clock::sleepMs(std::uint32_t ms) {
    Sleep(ms);
}

std::uint64_t Win32Clock::systemTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

Win32Threads::Win32Threads() : wakeEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

namespace {
DWORD WINAPI threadMain(LPVOID parameter) {
    const std::unique_ptr<std::function<void()>> body(
        static_cast<std::function<void()>*>(parameter));
    try {
        (*body)();
    } catch (...) {
        // A transfer reports its failures itself; nothing may escape a thread.
    }
    return 0;
}
}  // namespace

bool Win32Threads::start(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    // Nobody waits for the thread: it ends on its own, and its handle is only released.
    const norvik::win32::UniqueKernelHandle thread(
        CreateThread(nullptr, 0, threadMain, owned.get(), 0, nullptr));
    if (!thread)
        return false;
    owned.release();  // the thread deletes it
    return true;
}

void Win32Threads::waitForMessageOrWake(std::uint32_t ms) {
    HANDLE event = wakeEvent_.get();
    MsgWaitForMultipleObjects(event ? 1 : 0, &event, FALSE, ms, QS_ALLINPUT);
}

void Win32Threads::wake() {
    if (wakeEvent_)
        SetEvent(wakeEvent_.get());
}

}  // namespace download::win32
