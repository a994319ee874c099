#pragma once
// The engine's seams bound to WinINet and kernel32, and the system's digit-grouping separator.
#include <string>

#include "common/win32/utf16.h"
#include "download/internet_api.h"

namespace download::win32 {

class WinInetApi : public InternetApi {
  public:
    bool deleteUrlCacheEntry(const std::string& url) override;
    NetHandle open(const std::string& agent, std::uint32_t accessType, const char* proxy,
                   const char* bypass, std::uint32_t flags) override;
    NetHandle openUrl(NetHandle session, const std::string& url, std::uint32_t flags) override;
    bool queryInfo(NetHandle request, std::uint32_t infoLevel, char* buffer,
                   std::uint32_t* length) override;
    bool readFile(NetHandle request, void* buffer, std::uint32_t toRead,
                  std::uint32_t* read) override;
    void closeHandle(NetHandle handle) override;
};

// Files through CreateFileW / WriteFile / MoveFileExW; UTF-8 paths converted to UTF-16.
class Win32FileApi : public FileApi {
  public:
    std::optional<FileHandle> create(const std::string& path) override;
    bool write(FileHandle file, const void* data, std::size_t size) override;
    bool flush(FileHandle file) override;
    bool close(FileHandle file) override;
    std::optional<std::int64_t> length(const std::string& path) override;
    bool replace(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;
};

using norvik::win32::toUtf8;
using norvik::win32::toWide;

// The user's digit-grouping separator (LOCALE_STHOUSAND) as UTF-8.
std::string systemGroupSeparator();

}  // namespace download::win32
