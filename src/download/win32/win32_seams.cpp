#include "download/win32/win32_seams.h"

#include <wininet.h>

#include <cwchar>
#include <memory>
#include <vector>

#include "common/windows_codes.h"

namespace download::win32 {

static_assert(kFlagSecure == INTERNET_FLAG_SECURE && kSecurityFlagSecure == SECURITY_FLAG_SECURE &&
              kFlagKeepConnection == INTERNET_FLAG_KEEP_CONNECTION &&
              kOptionSecurityFlags == INTERNET_OPTION_SECURITY_FLAGS &&
              kSecurityFlagIgnoreRevocation == SECURITY_FLAG_IGNORE_REVOCATION &&
              kErrorForceRetry == ERROR_INTERNET_FORCE_RETRY &&
              kOptionMaxConnsPerServer == INTERNET_OPTION_MAX_CONNS_PER_SERVER &&
              kOptionMaxConnsPer10Server == INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER &&
              kOptionProxyUsername == INTERNET_OPTION_PROXY_USERNAME &&
              kOptionProxyPassword == INTERNET_OPTION_PROXY_PASSWORD);
static_assert(kQueryContentType == HTTP_QUERY_CONTENT_TYPE &&
              norvik::kErrorAccessDenied == ERROR_ACCESS_DENIED &&
              norvik::kErrorGenFailure == ERROR_GEN_FAILURE &&
              norvik::kErrorSharingViolation == ERROR_SHARING_VIOLATION &&
              norvik::kErrorLockViolation == ERROR_LOCK_VIOLATION &&
              norvik::kErrorAlreadyExists == ERROR_ALREADY_EXISTS &&
              norvik::kErrorInternetConnectionAborted == ERROR_INTERNET_CONNECTION_ABORTED &&
              norvik::kErrorInternetConnectionReset == ERROR_INTERNET_CONNECTION_RESET &&
              norvik::kErrorInternetSecCertDateInvalid == ERROR_INTERNET_SEC_CERT_DATE_INVALID &&
              norvik::kErrorInternetSecCertCnInvalid == ERROR_INTERNET_SEC_CERT_CN_INVALID &&
              norvik::kErrorInternetInvalidCa == ERROR_INTERNET_INVALID_CA &&
              norvik::kErrorInternetSecCertErrors == ERROR_INTERNET_SEC_CERT_ERRORS &&
              norvik::kErrorInternetSecurityChannelError == ERROR_INTERNET_SECURITY_CHANNEL_ERROR &&
              norvik::kErrorInternetSecInvalidCert == ERROR_INTERNET_SEC_INVALID_CERT &&
              norvik::kErrorInternetSecCertRevoked == ERROR_INTERNET_SEC_CERT_REVOKED &&
              norvik::kErrorInternetSecCertNoRev == ERROR_INTERNET_SEC_CERT_NO_REV &&
              norvik::kErrorInternetSecCertRevFailed == ERROR_INTERNET_SEC_CERT_REV_FAILED);

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

Result<std::uint32_t> WinInetApi::queryOption(NetHandle handle, std::uint32_t option) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!InternetQueryOptionA(h(handle), option, &value, &size))
        return failure<std::uint32_t>(GetLastError());
    return success<std::uint32_t>(value);
}

Result<std::string> WinInetApi::queryStringOption(NetHandle handle, std::uint32_t option) {
    std::wstring buffer(256, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (InternetQueryOptionW(h(handle), option, buffer.data(), &size)) {
            // The string ends at its null (the size returned counts characters, not bytes).
            buffer.back() = L'\0';
            buffer.resize(std::wcslen(buffer.c_str()));
            std::string text = toUtf8(buffer);
            buffer.resize(buffer.capacity());
            SecureZeroMemory(buffer.data(), buffer.size() * sizeof(wchar_t));
            return success(std::move(text));
        }
        const DWORD error = GetLastError();
        // Too small: `size` tells the bytes it needs, the null included.
        const std::size_t needed = size / sizeof(wchar_t) + 1;
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size() || needed > 32768)
            return failure<std::string>(error);
        buffer.assign(needed, L'\0');
    }
}

Status WinInetApi::setStringOption(NetHandle handle, std::uint32_t option,
                                   const std::string& value) {
    std::wstring wide = toWide(value);
    // A string's length in characters, its null included.
    const Status set = status(
        InternetSetOptionW(h(handle), option, wide.data(), static_cast<DWORD>(wide.size() + 1)));
    SecureZeroMemory(wide.data(), wide.size() * sizeof(wchar_t));
    return set;
}

Result<std::uint64_t> WinInetApi::certificateStart(NetHandle request) {
    // Its strings are ANSI whatever the header's LPTSTR says; only their pointers are used here.
    INTERNET_CERTIFICATE_INFO info;
    ZeroMemory(&info, sizeof info);
    DWORD size = sizeof info;
    if (!InternetQueryOptionA(h(request), INTERNET_OPTION_SECURITY_CERTIFICATE_STRUCT, &info,
                              &size))
        return failure<std::uint64_t>(GetLastError());
    // The caller frees the structure's strings (LocalFree ignores null ones).
    for (void* text : {info.lpszSubjectInfo, info.lpszIssuerInfo, info.lpszProtocolName,
                       info.lpszSignatureAlgName, info.lpszEncryptionAlgName})
        LocalFree(text);
    return success((std::uint64_t{info.ftStart.dwHighDateTime} << 32) | info.ftStart.dwLowDateTime);
}

Result<NetHandle> WinInetApi::connect(NetHandle session, const std::string& host,
                                      std::uint16_t port) {
    const HINTERNET connection = InternetConnectA(h(session), host.c_str(), port, nullptr, nullptr,
                                                  INTERNET_SERVICE_HTTP, 0, 0);
    return connection ? success(n(connection)) : failure<NetHandle>(GetLastError());
}

Result<NetHandle> WinInetApi::openRequest(NetHandle connection, const std::string& object,
                                          std::uint32_t flags) {
    // Any type: without accept types a server may take the client for one of text only.
    const char* anyType[] = {"*/*", nullptr};
    const HINTERNET request =
        HttpOpenRequestA(h(connection), "GET", object.c_str(), nullptr, nullptr, anyType, flags, 0);
    return request ? success(n(request)) : failure<NetHandle>(GetLastError());
}

Status WinInetApi::sendRequest(NetHandle request, const std::string& headers) {
    return status(HttpSendRequestA(h(request), headers.empty() ? nullptr : headers.c_str(),
                                   static_cast<DWORD>(headers.size()), nullptr, 0));
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

namespace {
HWND ownerToEnable = nullptr;

// Runs once from within the dialog's own message loop.
void CALLBACK enableOwner(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    EnableWindow(ownerToEnable, TRUE);
}
}  // namespace

std::uint32_t WinInetApi::loginDialog(NetHandle request) {
    const HWND owner = dialogOwner ? dialogOwner() : nullptr;
    if (!owner || !IsWindow(owner))
        return ERROR_CANCELLED;
    // Owned by the window, the dialog stays in front of it; a modal dialog disables its owner
    // though, and exit must stay at hand: the window is enabled again at once, from within the
    // dialog's loop (a thread timer, dispatched there). The dialog puts the credentials on the
    // request (Wine: on the session), and the system's own "save password" box is the user's
    // choice; the program keeps none.
    ownerToEnable = owner;
    const UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, enableOwner);
    const DWORD answer =
        InternetErrorDlg(owner, h(request), ERROR_INTERNET_INCORRECT_PASSWORD,
                         FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                             FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                         nullptr);
    if (timer)
        KillTimer(nullptr, timer);
    EnableWindow(owner, TRUE);
    return answer;
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
    // Every message but a pending repaint ends the wait. DoEvents leaves the invalid region alone
    // until a frame time has passed since the last paint, and a repaint it has not taken still
    // counts as news to the next wait (in Wine): the window's thread would spin through its
    // waits while the progress keeps invalidating. Windows documents that the wait ends only for
    // input new since the queue was last looked at, but each progress update invalidates anew.
    // The wait ends within `ms` anyway, and the pump after it paints, on both.
    MsgWaitForMultipleObjects(event ? 1 : 0, &event, FALSE, ms, QS_ALLINPUT & ~QS_PAINT);
}

void Win32Threads::wake() {
    if (wakeEvent_)
        SetEvent(wakeEvent_.get());
}

}  // namespace download::win32
