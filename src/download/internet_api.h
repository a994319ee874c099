#pragma once
// The thin seams the download engine works through: the WinINet calls it makes and the few file
// operations it needs. Every failing call reports the Windows error code (GetLastError) of its
// failure, so that the engine names the failure from it. The Windows layer implements them with
// WinINet and kernel32; tests implement them with scripted fakes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/windows_codes.h"

namespace download {

// The outcome of a seam call: its value, or the Windows error code of its failure.
template <typename T>
struct Result {
    T value{};
    std::uint32_t error = 0;  // 0: success
    bool ok() const { return error == 0; }
};
struct Done {};
using Status = Result<Done>;

template <typename T>
Result<T> success(T value) {
    return Result<T>{std::move(value), 0};
}
inline Status success() {
    return Status{};
}
// A failure whose call reported no code still is a failure.
template <typename T = Done>
Result<T> failure(std::uint32_t error) {
    return Result<T>{T{}, error != 0 ? error : norvik::kErrorGenFailure};
}

// An opaque WinINet handle; 0 is "no handle".
using NetHandle = std::uintptr_t;

// WinINet constants the engine passes through the seam (values as in <wininet.h>).
inline constexpr std::uint32_t kOpenTypePreconfig = 0;             // INTERNET_OPEN_TYPE_PRECONFIG
inline constexpr std::uint32_t kOpenTypeProxy = 3;                 // INTERNET_OPEN_TYPE_PROXY
inline constexpr std::uint32_t kFlagExistingConnect = 0x20000000;  // INTERNET_FLAG_EXISTING_CONNECT
inline constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000;     // INTERNET_FLAG_NO_CACHE_WRITE
inline constexpr std::uint32_t kFlagReload = 0x80000000;           // INTERNET_FLAG_RELOAD
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x00200000;   // INTERNET_FLAG_NO_AUTO_REDIRECT
inline constexpr std::uint32_t kFlagKeepConnection = 0x00400000;   // INTERNET_FLAG_KEEP_CONNECTION
inline constexpr std::uint32_t kFlagSecure = 0x00800000;           // INTERNET_FLAG_SECURE
inline constexpr std::uint32_t kFlagNoCookies = 0x00080000;        // INTERNET_FLAG_NO_COOKIES
inline constexpr std::uint32_t kQueryContentType = 1;              // HTTP_QUERY_CONTENT_TYPE
inline constexpr std::uint32_t kQueryContentLength = 5;            // HTTP_QUERY_CONTENT_LENGTH
inline constexpr std::uint32_t kQueryStatusCode = 19;              // HTTP_QUERY_STATUS_CODE
inline constexpr std::uint32_t kQueryContentEncoding = 29;         // HTTP_QUERY_CONTENT_ENCODING
inline constexpr std::uint32_t kQueryLocation = 33;                // HTTP_QUERY_LOCATION
inline constexpr std::uint32_t kQueryAcceptRanges = 42;            // HTTP_QUERY_ACCEPT_RANGES
inline constexpr std::uint32_t kQueryEtag = 54;                    // HTTP_QUERY_ETAG
inline constexpr std::uint32_t kQueryLastModified = 11;            // HTTP_QUERY_LAST_MODIFIED
inline constexpr std::uint32_t kQueryDate = 9;                     // HTTP_QUERY_DATE
inline constexpr std::uint32_t kQueryTransferEncoding = 63;        // HTTP_QUERY_TRANSFER_ENCODING
inline constexpr std::uint32_t kQueryContentRange = 53;            // HTTP_QUERY_CONTENT_RANGE
inline constexpr std::uint32_t kOptionConnectTimeout = 2;  // INTERNET_OPTION_CONNECT_TIMEOUT
inline constexpr std::uint32_t kOptionSendTimeout = 5;     // INTERNET_OPTION_SEND_TIMEOUT
inline constexpr std::uint32_t kOptionReceiveTimeout = 6;  // INTERNET_OPTION_RECEIVE_TIMEOUT
inline constexpr std::uint32_t kOptionSecurityFlags = 31;  // INTERNET_OPTION_SECURITY_FLAGS
// SECURITY_FLAG_IGNORE_REVOCATION
inline constexpr std::uint32_t kSecurityFlagIgnoreRevocation = 0x00000080;
// SECURITY_FLAG_SECURE: the request's secure channel was set up.
inline constexpr std::uint32_t kSecurityFlagSecure = 0x00000001;
inline constexpr std::uint32_t kErrorForceRetry = 12032;         // ERROR_INTERNET_FORCE_RETRY
inline constexpr std::uint32_t kOptionMaxConnsPerServer = 73;    // ..._MAX_CONNS_PER_SERVER
inline constexpr std::uint32_t kOptionMaxConnsPer10Server = 74;  // ..._MAX_CONNS_PER_1_0_SERVER
inline constexpr std::uint32_t kConnectionsPerServer = 10;
inline constexpr std::uint32_t kOptionProxyUsername = 43;  // INTERNET_OPTION_PROXY_USERNAME
inline constexpr std::uint32_t kOptionProxyPassword = 44;  // INTERNET_OPTION_PROXY_PASSWORD

class InternetApi {
  public:
    virtual ~InternetApi() = default;
    // DeleteUrlCacheEntryA.
    virtual bool deleteUrlCacheEntry(const std::string& url) = 0;
    // InternetOpenA; proxy and bypass are null for "none".
    virtual Result<NetHandle> open(const std::string& agent, std::uint32_t accessType,
                                   const char* proxy, const char* bypass, std::uint32_t flags) = 0;
    // InternetSetOptionA with a DWORD value.
    virtual Status setOption(NetHandle handle, std::uint32_t option, std::uint32_t value) = 0;
    // InternetQueryOptionA of a DWORD value.
    virtual Result<std::uint32_t> queryOption(NetHandle handle, std::uint32_t option) = 0;
    // InternetQueryOptionW and InternetSetOptionW of a string value (UTF-8 here); a secret's
    // buffers on the way are overwritten.
    virtual Result<std::string> queryStringOption(NetHandle handle, std::uint32_t option) = 0;
    virtual Status setStringOption(NetHandle handle, std::uint32_t option,
                                   const std::string& value) = 0;
    // InternetConnectA to an HTTP server, without user name or password, flags and context 0.
    virtual Result<NetHandle> connect(NetHandle session, const std::string& host,
                                      std::uint16_t port) = 0;
    // HttpOpenRequestA: a GET of `object` (path and query) over HTTP/1.1 accepting any type, no
    // referrer, context 0.
    virtual Result<NetHandle> openRequest(NetHandle connection, const std::string& object,
                                          std::uint32_t flags) = 0;
    // InternetQueryOptionA of INTERNET_OPTION_SECURITY_CERTIFICATE_STRUCT: from when the server's
    // certificate is valid (its ftStart, FILETIME units), the structure's strings freed. Asked
    // only after ERROR_INTERNET_SEC_CERT_DATE_INVALID: after a handshake that failed before any
    // certificate came, Wine crashes in it.
    virtual Result<std::uint64_t> certificateStart(NetHandle request) = 0;
    // HttpSendRequestA with the extra request `headers` (CR LF separated, "" for none) and no
    // body. It may be sent again on the same handle once the answer's body has been read.
    virtual Status sendRequest(NetHandle request, const std::string& headers) = 0;
    // HttpQueryInfoA with index 0 into a zero-filled buffer of 1024 bytes (larger when the
    // header needs it): the header's text.
    virtual Result<std::string> queryInfo(NetHandle request, std::uint32_t infoLevel) = 0;
    // InternetQueryDataAvailable: waits until some of the body has arrived (or its end) and
    // tells how many bytes can be read without waiting; 0 at the end of the data.
    virtual Result<std::uint32_t> queryDataAvailable(NetHandle request) = 0;
    // InternetReadFile: the count of bytes read into `buffer`; 0 at the end of the data. It
    // waits until `toRead` bytes have arrived or the data ends.
    virtual Result<std::uint32_t> readFile(NetHandle request, void* buffer,
                                           std::uint32_t toRead) = 0;
    // InternetErrorDlg with ERROR_INTERNET_INCORRECT_PASSWORD for a request a proxy (or server)
    // refused for want of a login: the system's own credentials dialog, owned by the program's
    // window, which puts what the user gives on the request. ERROR_INTERNET_FORCE_RETRY
    // (kErrorForceRetry) when the user gave credentials; anything else is a refusal (Cancel, or
    // no window to show it on). Called on the window's thread only.
    virtual std::uint32_t loginDialog(NetHandle request) = 0;
    // InternetCloseHandle.
    virtual void closeHandle(NetHandle handle) = 0;
};

// An open output file of the file seam; 0 is "no file".
using FileHandle = std::uintptr_t;

// The file operations of a download. Paths are UTF-8.
class FileApi {
  public:
    virtual ~FileApi() = default;
    // Creates the file for sequential writing, replacing a file of that name; others may read it
    // and delete it (a delete then takes effect when the file is closed).
    virtual Result<FileHandle> create(const std::string& path) = 0;
    // Writes all `size` bytes.
    virtual Status write(FileHandle file, const void* data, std::size_t size) = 0;
    // Cuts the file to `size` bytes and goes on writing there.
    virtual Status truncate(FileHandle file, std::int64_t size) = 0;
    // Puts every byte written so far on the disk.
    virtual Status flush(FileHandle file) = 0;
    // Closes the file; a failure means data may be lost.
    virtual Status close(FileHandle file) = 0;
    // Renames `from` to `to` in one step, replacing an existing `to`, written through to the
    // disk; on failure `to` is left as it was.
    virtual Status replace(const std::string& from, const std::string& to) = 0;
    // Deletes the file (when it is open with delete sharing, once it is closed).
    virtual Status remove(const std::string& path) = 0;
};

}  // namespace download
