#pragma once
// The engine's seams bound to WinINet and kernel32, and the system's digit-grouping separator.
#include <windows.h>

#include <functional>
#include <string>

#include "common/win32/unique_handle.h"
#include "common/win32/utf16.h"
#include "download/internet_api.h"
#include "download/thread_api.h"

namespace download::win32 {

class WinInetApi : public InternetApi {
  public:
    bool deleteUrlCacheEntry(const std::string& url) override;
    Result<NetHandle> open(const std::string& agent, std::uint32_t accessType, const char* proxy,
                           const char* bypass, std::uint32_t flags) override;
    Status setOption(NetHandle handle, std::uint32_t option, std::uint32_t value) override;
    Result<std::uint32_t> queryOption(NetHandle handle, std::uint32_t option) override;
    Result<std::string> queryStringOption(NetHandle handle, std::uint32_t option) override;
    Status setStringOption(NetHandle handle, std::uint32_t option,
                           const std::string& value) override;
    Result<NetHandle> connect(NetHandle session, const std::string& host,
                              std::uint16_t port) override;
    Result<NetHandle> openRequest(NetHandle connection, const std::string& object,
                                  std::uint32_t flags) override;
    Result<std::uint64_t> certificateStart(NetHandle request) override;
    Status sendRequest(NetHandle request, const std::string& headers) override;
    Result<std::string> queryInfo(NetHandle request, std::uint32_t infoLevel) override;
    Result<std::uint32_t> queryDataAvailable(NetHandle request) override;
    Result<std::uint32_t> readFile(NetHandle request, void* buffer, std::uint32_t toRead) override;
    std::uint32_t loginDialog(NetHandle request) override;
    void closeHandle(NetHandle handle) override;

    // The window that owns the credentials dialog; without one a login is refused unasked.
    std::function<HWND()> dialogOwner;
};

// Files through CreateFileW / WriteFile / MoveFileExW; UTF-8 paths converted to UTF-16.
class Win32FileApi : public FileApi {
  public:
    Result<FileHandle> create(const std::string& path) override;
    Status write(FileHandle file, const void* data, std::size_t size) override;
    Status truncate(FileHandle file, std::int64_t size) override;
    Status flush(FileHandle file) override;
    Status close(FileHandle file) override;
    Status replace(const std::string& from, const std::string& to) override;
    Status remove(const std::string& path) override;
};

// GetTickCount, Sleep and GetSystemTimeAsFileTime.
class Win32Clock : public Clock {
  public:
    std::uint32_t nowMs() override;
    void sleepMs(std::uint32_t ms) override;
    std::uint64_t systemTime() override;
};

// CreateThread for the transfer, MsgWaitForMultipleObjects on an event for the window's thread.
class Win32Threads : public Threads {
  public:
    Win32Threads();
    bool start(std::function<void()> body) override;
    void waitForMessageOrWake(std::uint32_t ms) override;
    void wake() override;

  private:
    norvik::win32::UniqueKernelHandle wakeEvent_;
};

using norvik::win32::toUtf8;
using norvik::win32::toWide;

// The user's digit-grouping separator (LOCALE_STHOUSAND) as UTF-8.
std::string systemGroupSeparator();

}  // namespace download::win32
