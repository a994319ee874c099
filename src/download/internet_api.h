#pragma once
// The thin seams the download engine works through: the six WinINet calls it makes and the
// few file operations it needs. The Windows layer implements them with WinINet and kernel32;
// tests implement them with scripted fakes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace download {

// An opaque WinINet handle; 0 is "no handle".
using NetHandle = std::uintptr_t;

// WinINet constants the engine passes through the seam (values as in <wininet.h>).
inline constexpr std::uint32_t kOpenTypePreconfig = 0;             // INTERNET_OPEN_TYPE_PRECONFIG
inline constexpr std::uint32_t kOpenTypeProxy = 3;                 // INTERNET_OPEN_TYPE_PROXY
inline constexpr std::uint32_t kFlagExistingConnect = 0x20000000;  // INTERNET_FLAG_EXISTING_CONNECT
inline constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000;     // INTERNET_FLAG_NO_CACHE_WRITE
inline constexpr std::uint32_t kFlagReload = 0x80000000;           // INTERNET_FLAG_RELOAD
inline constexpr std::uint32_t kQueryContentLength = 5;            // HTTP_QUERY_CONTENT_LENGTH
inline constexpr std::uint32_t kQueryStatusCode = 19;              // HTTP_QUERY_STATUS_CODE

class InternetApi {
  public:
    virtual ~InternetApi() = default;
    // DeleteUrlCacheEntryA.
    virtual bool deleteUrlCacheEntry(const std::string& url) = 0;
    // InternetOpenA; proxy and bypass are null for "none". 0 when no session could be opened.
    virtual NetHandle open(const std::string& agent, std::uint32_t accessType, const char* proxy,
                           const char* bypass, std::uint32_t flags) = 0;
    // InternetOpenUrlA with no headers and context 0. 0 when the URL could not be opened.
    virtual NetHandle openUrl(NetHandle session, const std::string& url, std::uint32_t flags) = 0;
    // HttpQueryInfoA with index 0: fills `buffer` (of `*length` bytes) with the text of the
    // header and sets `*length` to the count of bytes written.
    virtual bool queryInfo(NetHandle request, std::uint32_t infoLevel, char* buffer,
                           std::uint32_t* length) = 0;
    // InternetReadFile.
    virtual bool readFile(NetHandle request, void* buffer, std::uint32_t toRead,
                          std::uint32_t* read) = 0;
    // InternetCloseHandle.
    virtual void closeHandle(NetHandle handle) = 0;
};

// An open output file of the file seam.
using FileHandle = std::uintptr_t;

// The file operations of a download. Paths are UTF-8.
class FileApi {
  public:
    virtual ~FileApi() = default;
    // Creates a new file for sequential writing; nullopt on failure, and when a file or folder of
    // that name exists already (it is then left exactly as it was).
    virtual std::optional<FileHandle> create(const std::string& path) = 0;
    // Writes all `size` bytes; false when not all of them could be written.
    virtual bool write(FileHandle file, const void* data, std::size_t size) = 0;
    // Puts every byte written so far on the disk; false on failure. A complete download is
    // flushed before it replaces the previous file, so that a power cut cannot leave the new
    // name holding data that never reached the disk.
    virtual bool flush(FileHandle file) = 0;
    // Closes the file; false when the system reports an error (data may be lost).
    virtual bool close(FileHandle file) = 0;
    // Length in bytes of the file at `path`; nullopt when it cannot be read.
    virtual std::optional<std::int64_t> length(const std::string& path) = 0;
    // Renames `from` to `to` in one step, replacing an existing `to`; false on failure, in which
    // case `to` is left as it was.
    virtual bool replace(const std::string& from, const std::string& to) = 0;
    // Deletes the file; false when it cannot be deleted (or does not exist).
    virtual bool remove(const std::string& path) = 0;
};

}  // namespace download
